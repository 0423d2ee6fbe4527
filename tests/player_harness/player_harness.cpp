#include "player_harness.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QThread>

#include <utility>

#include "settings/settings_store.h"

namespace chromola::testing {

QString QPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

QString WriteTone(const TempDir& dir, const std::string& name, Tone tone, AudioFormat format) {
    if (format == AudioFormat::OggOpus) {
        tone.rate = 48000;
    }
    EXPECT_TRUE(writeTone(dir / name, format, tone)) << name;
    return QPath(dir / name);
}

void ForgetSettings() {
    QFile::remove(SettingsFilePath());
}

void Spin(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

PlayerHarness::PlayerHarness() {
    options_.programDir = QStringLiteral(CHROMOLA_BIN_DIR);
    options_.outputDevice = 0;
    options_.instanceLockPath = runtime_.filePath(QStringLiteral("chromola.lock"));
    options_.messageBox = [this](QMessageBox::Icon icon, const QString& caption,
                                 const QString& text) {
        boxes.push_back({icon, caption, text});
    };
    options_.fileChooser = [this](QWidget*, const QString&) {
        return std::exchange(nextChoice_, {});
    };
    options_.mediaControls = false;
}

PlayerHarness::~PlayerHarness() {
    Close();
}

std::optional<int> PlayerHarness::Start() {
    player_ = std::make_unique<Player>(options_);
    const std::optional<int> status = player_->Start();
    if (!status) {
        player_->form().show();
        Spin(20);
    }
    return status;
}

void PlayerHarness::ChooseFiles(const QStringList& paths) {
    nextChoice_ = paths;
    QTest::mouseClick(form().Command1, Qt::LeftButton);
}

bool PlayerHarness::IsPlaying() {
    return player().bass().BASS_ChannelIsActive(state().CurrentChannel) != 0;
}

void PlayerHarness::Close() {
    if (player_ == nullptr) {
        return;
    }
    if (player_->isLoaded()) {
        player_->form().close();
    }
    player_.reset();
}

}  // namespace chromola::testing
