// The settings through the real file and the real player: the first start,
// clamps and defaults of damaged values, the write at exit and the file's
// safety when a write fails.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QTest>

#include "audio_fixtures.h"
#include "display/display_controller.h"
#include "player_harness.h"
#include "settings/settings_store.h"

namespace chromola::testing {
namespace {

void WriteStore(const QList<QPair<QString, QString>>& values) {
    ForgetSettings();
    QSettings settings(SettingsStore::FilePath(), QSettings::IniFormat);
    settings.beginGroup("Form");
    for (const auto& [name, text] : values) {
        settings.setValue(name, text);
    }
    settings.endGroup();
}

QString StoredText(const QString& name) {
    QSettings settings(SettingsStore::FilePath(), QSettings::IniFormat);
    return settings.value("Form/" + name).toString();
}

TEST(SettingsStore, FirstStartTakesDefaultsAndCentresHalfTheWorkArea) {
    ForgetSettings();
    PlayerHarness harness;
    ASSERT_FALSE(harness.Start().has_value());
    Form1& form = harness.form();
    EXPECT_EQ(form.windowStateValue(), Form1::kNormal);
    EXPECT_EQ(harness.state().PauseSeconds, 2.0);
    EXPECT_EQ(form.List1->count(), 0);
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_EQ(form.backColor(), QColor(12, 17, 11));
    EXPECT_EQ(form.VScroll1->value(), 17);
    EXPECT_EQ(harness.player().display().Brightness(), 0.425f);
    EXPECT_EQ(form.Label1->text(), "0");
    EXPECT_EQ(harness.state().RedGain, 0.4f);
    EXPECT_EQ(harness.state().BlueGain, 0.4f);
    EXPECT_EQ(harness.state().InvertColours, 0);
    // Half of the area up to the work area's right and bottom edges, centred
    // in it (the minimum size may enlarge it afterwards on a small screen).
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    const int right = work.x() + work.width();
    const int bottom = work.y() + work.height();
    const QRect frame = form.frameGeometry();
    EXPECT_EQ(frame.topLeft(), QPoint((right - right / 2) / 2, (bottom - bottom / 2) / 2));
    EXPECT_GE(frame.width(), right / 2);
    EXPECT_GE(frame.height(), bottom / 2);
}

TEST(SettingsStore, OutOfRangeValuesAreClampedOrTakeDefaults) {
    WriteStore({{"State", "4"},
                {"Pause", "75"},
                {"Scroll", "40"},
                {"Red", "40"},
                {"Green", "1"},
                {"Blue", "5"},
                {"Inverse", "2"},
                {"Track", "-3"},
                {"Left", "0"},
                {"Top", "3000"},
                {"Width", "9000"},
                {"Height", "6000"}});
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

TEST(SettingsStore, GarbageValuesTakeTheirDefaults) {
    for (const QString& garbage : {QString("abc"), QString(""), QString("1e999"),
                                   QString(QChar(u'\0')) + "5", QString("1,2,3")}) {
        SCOPED_TRACE(garbage.toStdString());
        WriteStore({{"State", garbage},
                    {"Pause", garbage},
                    {"Scroll", garbage},
                    {"Red", garbage},
                    {"Track", garbage},
                    {"Inverse", garbage},
                    {"Left", garbage},
                    {"Width", garbage}});
        PlayerHarness harness;
        ASSERT_FALSE(harness.Start().has_value());
        EXPECT_EQ(harness.form().windowStateValue(), Form1::kNormal);
        EXPECT_EQ(harness.state().PauseSeconds, 2.0);
        EXPECT_EQ(harness.form().VScroll1->value(), 17);
        EXPECT_EQ(harness.state().RedGain, 0.4f);
        EXPECT_EQ(harness.state().TrackIndex, 0);
        EXPECT_EQ(harness.state().InvertColours, 0);
    }
}

TEST(SettingsStore, ExitWritesPlaylistWindowAndOptionsThatTheNextStartRestores) {
    TempDir dir;
    testing::Tone tone;
    tone.seconds = 30;
    ASSERT_TRUE(writeTone(dir / "a.mp3", AudioFormat::Mp3, tone));
    ASSERT_TRUE(writeTone(dir / "b.ogg", AudioFormat::OggVorbis, tone));
    const QString folder = QString::fromStdString(dir.path().string());
    ForgetSettings();
    {
        PlayerHarness harness;
        ASSERT_FALSE(harness.Start().has_value());
        harness.nextChoice = {folder + "/a.mp3", folder + "/b.ogg"};
        QTest::mouseClick(harness.form().Command1, Qt::LeftButton);
        QTest::mouseClick(harness.form().Command3, Qt::LeftButton);
        harness.form().VScroll1->setValue(20);
        harness.state().PauseSeconds = 2.5;
        harness.state().GreenGain = 24 * 0.025f;
        harness.form().move(150, 120);
        harness.Close();
    }
    const QChar nul(u'\0');
    EXPECT_EQ(StoredText("Path"), folder + nul + "a.mp3" + nul + "b.ogg" + nul + nul);
    EXPECT_EQ(StoredText("Track"), "1");
    EXPECT_EQ(StoredText("Scroll"), "20");
    EXPECT_EQ(StoredText("State"), "0");
    EXPECT_EQ(StoredText("Green"), "24");
    EXPECT_EQ(StoredText("Pause"), QLocale().decimalPoint() == "," ? "2,5" : "2.5");
    EXPECT_EQ(StoredText("Left"), "2250");
    EXPECT_EQ(StoredText("Top"), "1800");

    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.form().List1->count(), 2);
    EXPECT_EQ(again.form().List1->currentRow(), 1);
    EXPECT_NE(again.player().bass().BASS_ChannelIsActive(again.state().CurrentChannel), 0u);
    EXPECT_EQ(again.form().VScroll1->value(), 20);
    EXPECT_EQ(again.state().PauseSeconds, 2.5);
    EXPECT_EQ(again.form().frameGeometry().topLeft(), QPoint(150, 120));

    // One file chosen alone is kept as its path; an emptied list as nothing.
    again.nextChoice = {folder + "/b.ogg"};
    QTest::mouseClick(again.form().Command1, Qt::LeftButton);
    again.Close();
    EXPECT_EQ(StoredText("Path"), folder + "/b.ogg");

    PlayerHarness last;
    ASSERT_FALSE(last.Start().has_value());
    last.form().List1->setCurrentRow(0);
    last.form().mDel->trigger();
    last.Close();
    EXPECT_EQ(StoredText("Path"), "");
}

TEST(SettingsStore, MinimisedCloseStoresOneAndNextStartIsNormal) {
    ForgetSettings();
    {
        PlayerHarness harness;
        ASSERT_FALSE(harness.Start().has_value());
        harness.form().showMinimized();
        Spin(20);
        harness.Close();
    }
    EXPECT_EQ(StoredText("State"), "1");
    PlayerHarness again;
    ASSERT_FALSE(again.Start().has_value());
    EXPECT_EQ(again.form().windowStateValue(), Form1::kNormal);
}

TEST(SettingsStore, FailedWriteLeavesThePreviousFileWhole) {
    WriteStore({{"Scroll", "20"}, {"Path", "/music/a.mp3"}});
    QFile file(SettingsStore::FilePath());
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
    EXPECT_EQ(StoredText("Scroll"), "20");
}

}  // namespace
}  // namespace chromola::testing
