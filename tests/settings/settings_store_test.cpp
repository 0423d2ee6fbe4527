// The settings through the real file and the real player: the first start,
// damaged values, the write at exit and the file's safety when a write fails.
// Every rule of the values themselves: settings_codec_test.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "audio_fixtures.h"
#include "display/display_controller.h"
#include "player_harness.h"
#include "settings/settings_store.h"

#include <sys/stat.h>

namespace chromola::testing {
namespace {

using Values = QList<QPair<QString, QString>>;

void WriteStore(const Values& values) {
    ForgetSettings();
    QSettings settings(SettingsFilePath(), QSettings::IniFormat);
    for (const auto& [name, text] : values) {
        settings.setValue("Form/" + name, text);
    }
}

QString StoredText(const QString& name) {
    return QSettings(SettingsFilePath(), QSettings::IniFormat).value("Form/" + name).toString();
}

// The first start: default values, the idle look with the focus on the file
// button, and half the work area centred in it.
TEST(SettingsStore, FirstStartShowsTheIdleLookWithDefaultsCentredInTheWorkArea) {
    ForgetSettings();
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
    EXPECT_EQ(form.backColor(), QColor(12, 17, 11));
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_FALSE(form.Timer1.isActive());
    EXPECT_EQ(QApplication::focusWidget(), form.Command1);
    EXPECT_EQ(form.windowStateValue(), Form1::kNormal);
    EXPECT_EQ(form.VScroll1->value(), 17);
    EXPECT_EQ(harness.player().display().Brightness(), 0.425f);
    EXPECT_EQ(harness.state().PauseSeconds, 2.0);
    const PlayerState& state = harness.state();
    EXPECT_EQ(std::tuple(state.RedGain, state.GreenGain, state.BlueGain),
              std::tuple(.4f, .4f, .4f));
    EXPECT_EQ(state.InvertColours, 0);
    // The minimum size may enlarge the window afterwards on a small screen.
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const int right = work.x() + work.width();
    const int bottom = work.y() + work.height();
    const QRect frame = form.frameGeometry();
    EXPECT_EQ(frame.topLeft(), QPoint((right - right / 2) / 2, (bottom - bottom / 2) / 2));
    EXPECT_GE(frame.width(), right / 2);
    EXPECT_GE(frame.height(), bottom / 2);
}

// Damaged values are clamped or take their defaults before they reach the
// window (every rule: settings_codec_test); values the player keeps are
// written back as read. QSettings reads "1,2,3" as a list and escapes NUL.
TEST(SettingsStore, DamagedValuesAreClampedOrTakeTheirDefaults) {
    const QString nul5 = QString(QChar(u'\0')) + "5";
    const Values damaged = {{"State", "4"},   {"Pause", "75"},  {"Scroll", "1,2,3"},
                            {"Red", "40"},    {"Green", nul5},  {"Blue", "5"},
                            {"Inverse", "2"}, {"Track", "abc"}, {"Width", "1e999"}};
    WriteStore(damaged);
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    EXPECT_EQ(harness.form().windowStateValue(), Form1::kNormal);
    EXPECT_EQ(harness.state().PauseSeconds, 60.0);
    EXPECT_EQ(harness.form().VScroll1->value(), 17);
    EXPECT_EQ(harness.state().RedGain, 0.4f);
    EXPECT_EQ(harness.state().GreenGain, 0.4f);
    EXPECT_EQ(harness.state().BlueGain, 5 * 0.025f);
    EXPECT_EQ(harness.state().InvertColours, 2);
    EXPECT_EQ(harness.state().TrackIndex, 0);
    harness.Close();
    EXPECT_EQ(StoredText("Blue"), "5");
    EXPECT_EQ(StoredText("Inverse"), "2");
}

TEST(SettingsStore, ExitWritesPlaylistWindowAndOptionsThatTheNextStartRestores) {
    TempDir dir;
    const QString a = WriteTone(dir, "a.mp3", {.seconds = 30}, AudioFormat::Mp3);
    const QString b = WriteTone(dir, "b.ogg", {.seconds = 30}, AudioFormat::OggVorbis);
    const QString folder = QPath(dir.path());
    ForgetSettings();
    {
        PlayerHarness harness;
        ASSERT_FALSE(harness.Start().has_value());
        harness.ChooseFiles({a, b});
        QTest::mouseClick(harness.form().Command3, Qt::LeftButton);
        harness.form().VScroll1->setValue(20);
        harness.state().PauseSeconds = 2.5;
        harness.state().GreenGain = 24 * 0.025f;
        harness.form().move(150, 120);
    }
    const QChar nul(u'\0');
    EXPECT_EQ(StoredText("Path"), folder + nul + "a.mp3" + nul + "b.ogg" + nul + nul);
    EXPECT_EQ(StoredText("Track"), "1");
    EXPECT_EQ(StoredText("Scroll"), "20");
    EXPECT_EQ(StoredText("State"), "0");
    EXPECT_EQ(StoredText("Green"), "24");
    // With the locale's decimal separator (every decimal-comma rule:
    // settings_codec_test, which also runs under a decimal-comma locale).
    EXPECT_EQ(StoredText("Pause"), QLocale().decimalPoint() == "," ? "2,5" : "2.5");
    EXPECT_EQ(StoredText("Left"), "2250");
    EXPECT_EQ(StoredText("Top"), "1800");

    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.form().List1->count(), 2);
    EXPECT_EQ(again.form().List1->currentRow(), 1);
    EXPECT_TRUE(again.IsPlaying());
    EXPECT_EQ(again.form().VScroll1->value(), 20);
    EXPECT_EQ(again.state().PauseSeconds, 2.5);
    EXPECT_EQ(again.state().GreenGain, 24 * 0.025f);
    EXPECT_EQ(again.form().frameGeometry().topLeft(), QPoint(150, 120));

    // One file chosen alone is kept as its path; an emptied list as nothing.
    // A minimised window is stored as 1 but comes back normal.
    again.ChooseFiles({b});
    again.form().showMinimized();
    Spin(20);
    again.Close();
    EXPECT_EQ(StoredText("Path"), b);
    EXPECT_EQ(StoredText("State"), "1");

    PlayerHarness last;
    ASSERT_FALSE(last.Start().has_value());
    EXPECT_EQ(last.form().windowStateValue(), Form1::kNormal);
    last.form().List1->setCurrentRow(0);
    last.form().mDel->trigger();
    last.Close();
    EXPECT_EQ(StoredText("Path"), "");
}

TEST(SettingsStore, FailedWriteLeavesThePreviousFileWhole) {
    WriteStore({{"Scroll", "20"}, {"Path", "/music/a.mp3"}});
    QFile file(SettingsFilePath());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();

    // The new file would be larger than the process may write: a full disk.
    QProcess probe;
    probe.start("prlimit", {"--fsize=200", "--", SETTINGS_WRITE_PROBE});
    ASSERT_TRUE(probe.waitForFinished(10000));
    EXPECT_NE(probe.exitCode(), 0) << "the store must report the failed write";
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
}

// Something other than a file in the settings' place is neither read nor
// replaced: a FIFO would block whoever opens it (a hang fails the test by its
// time limit), and a folder is not the player's to remove.
TEST(SettingsStore, OnlyAFileIsReadOrReplaced) {
    const QString path = SettingsFilePath();
    const QString fifo = ScratchDir() + "/elsewhere.fifo";
    QDir().mkpath(QFileInfo(path).absolutePath());
    struct Case {
        const char* name;
        std::function<bool()> make;
        mode_t type;  // what lstat finds in the file's place, before and after
    };
    const Case cases[] = {
        {"FIFO", [&] { return ::mkfifo(QFile::encodeName(path), 0600) == 0; }, S_IFIFO},
        {"folder", [&] { return QDir().mkdir(path); }, S_IFDIR},
        {"link to a FIFO",
         [&] { return ::mkfifo(QFile::encodeName(fifo), 0600) == 0 && QFile::link(fifo, path); },
         S_IFLNK},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetSettings();
        ASSERT_TRUE(c.make());
        StoredSettings written;
        written.scroll = 30;
        EXPECT_FALSE(SettingsStore::Write(written, QLocale::c()));
        EXPECT_EQ(SettingsStore::Read(QLocale::c()).scroll, 17);
        struct stat left {};
        ASSERT_EQ(::lstat(QFile::encodeName(path), &left), 0);
        EXPECT_EQ(left.st_mode & S_IFMT, c.type);
        EXPECT_EQ(QDir(QFileInfo(path).absolutePath())
                      .entryList(QDir::Files | QDir::Hidden | QDir::NoSymLinks),
                  QStringList());
        if (!QFile::remove(path)) {
            QDir().rmdir(path);
        }
        QFile::remove(fifo);
    }
}

}  // namespace
}  // namespace chromola::testing
