// Runs the real player in-process on Qt's offscreen platform: the real audio
// library from the build's bin folder on its "no sound" device, a private
// settings folder, captured message boxes and a scripted file dialog.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <tuple>
#include <utility>

#include "audio_fixtures.h"
#include "main_window/form1.h"
#include "main_window/player.h"
#include "settings/settings_store.h"

inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace chromola::testing {

// A message box shown: its icon, caption and text.
using ShownBox = std::tuple<QMessageBox::Icon, QString, QString>;

// Runs the event loop for `ms`.
inline void Spin(int ms) {
    QTest::qWait(ms);
}

class PlayerHarness {
  public:
    // Options before Start(); defaults: the build's bin folder (CHROMOLA_BIN_DIR,
    // where the programs and libbass.so live), device 0.
    PlayerHarness() {
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
    ~PlayerHarness() { Close(); }

    PlayerOptions& options() { return options_; }
    std::optional<int> Start() {
        player_ = std::make_unique<Player>(options_);
        const std::optional<int> status = player_->Start();
        if (!status) {
            player_->form().show();
            Spin(20);
        }
        return status;
    }
    Player& player() { return *player_; }
    Form1& form() { return player_->form(); }
    PlayerState& state() { return player_->state(); }

    // Clicks "Файл'ы" and chooses `paths` in the dialog (none: cancelled).
    void ChooseFiles(const QStringList& paths) {
        nextChoice_ = paths;
        QTest::mouseClick(form().Command1, Qt::LeftButton);
    }
    // Whether the current channel is playing.
    bool IsPlaying() { return player().bass().BASS_ChannelIsActive(state().CurrentChannel) != 0; }
    std::vector<ShownBox> boxes;

    // Closes the window (the unload runs) and destroys the player.
    void Close() {
        if (player_ != nullptr && player_->isLoaded()) {
            player_->form().close();
        }
        player_.reset();
    }

  private:
    QStringList nextChoice_;  // what the dialog chooses
    QTemporaryDir runtime_;
    PlayerOptions options_;
    std::unique_ptr<Player> player_;
};

// Removes the settings file so that the next start is a first start.
inline void ForgetSettings() {
    QFile::remove(SettingsFilePath());
}

inline QString QPath(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Writes `tone` as dir/name and returns its path.
inline QString WriteTone(const TempDir& dir, const std::string& name,
                         const Tone& tone = Tone{.seconds = 3},
                         AudioFormat format = AudioFormat::Wav) {
    EXPECT_TRUE(writeTone(dir / name, format, tone)) << name;
    return QPath(dir / name);
}

// A started player on a first start, with a folder for the test's files.
class PlayerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSettings();
        ASSERT_FALSE(harness.Start().has_value());
    }

    TempDir dir;
    PlayerHarness harness;
};

}  // namespace chromola::testing
