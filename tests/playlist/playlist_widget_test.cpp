// The playlist on the real main window: choosing files, filling the list,
// stepping, the popup menu, the tooltip, and files that cannot be played.
// Real audio files on the library's "no sound" device.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTest>

#include "audio_fixtures.h"
#include "engine/playback.h"
#include "player_harness.h"
#include "playlist/playlist_controller.h"

namespace chromola::testing {
namespace {

QString Q(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

class PlaylistTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSettings();
        ASSERT_FALSE(harness.Start().has_value());
    }
    // Writes a short tone named `name` in the test's folder.
    QString WriteTone(const std::string& name, AudioFormat format = AudioFormat::Wav) {
        Tone tone;
        tone.seconds = 3;
        tone.rate = format == AudioFormat::OggOpus ? 48000 : 44100;
        EXPECT_TRUE(writeTone(dir / name, format, tone)) << name;
        return Q(dir / name);
    }
    void Choose(const QStringList& paths) {
        harness.nextChoice = paths;
        QTest::mouseClick(harness.form().Command1, Qt::LeftButton);
    }
    QStringList Entries() {
        QStringList entries;
        for (int i = 0; i < harness.form().List1->count(); ++i) {
            entries << harness.form().List1->item(i)->text();
        }
        return entries;
    }
    bool Playing() {
        return harness.player().bass().BASS_ChannelIsActive(harness.state().CurrentChannel) != 0;
    }

    TempDir dir;
    PlayerHarness harness;
};

TEST_F(PlaylistTest, EveryFormatPlaysAndModulesComeThroughTheFallback) {
    const std::pair<std::string, AudioFormat> cases[] = {
        {"tone.wav", AudioFormat::Wav},     {"tone.aif", AudioFormat::Aiff},
        {"tone.flac", AudioFormat::Flac},   {"tone.ogg", AudioFormat::OggVorbis},
        {"opus.ogg", AudioFormat::OggOpus}, {"tone.mp3", AudioFormat::Mp3},
        {"tone.mp2", AudioFormat::Mp2}};
    for (const auto& [name, format] : cases) {
        SCOPED_TRACE(name);
        Choose({WriteTone(name, format)});
        EXPECT_EQ(Entries(), QStringList{QString::fromStdString(name)});
        EXPECT_TRUE(Playing());
        EXPECT_TRUE(harness.form().printedText().isEmpty());
        EXPECT_TRUE(harness.form().Timer1.isActive());
        EXPECT_EQ(harness.form().HScroll1->maximum(), 3);
    }
    ModuleSpec song;
    song.speed = 3;
    ASSERT_TRUE(writeProTrackerModule(dir / "song.mod", song));
    Choose({Q(dir / "song.mod")});
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(harness.form().printedText().isEmpty());
    EXPECT_EQ(harness.form().HScroll1->maximum(), qRound(moduleSeconds(song)));
}

TEST_F(PlaylistTest, FileThatCannotBePlayedPrintsMessageAndStopsTimer) {
    ASSERT_TRUE(writeGarbage(dir / "noise.mp3", 20000));
    ASSERT_TRUE(writeBytes(dir / "empty.wav", {}));
    for (const char* name : {"noise.mp3", "empty.wav"}) {
        SCOPED_TRACE(name);
        harness.form().Timer1.start();
        harness.player().playback().PlayFile(Q(dir / name));
        Form1& form = harness.form();
        EXPECT_EQ(form.printedText(), Playback::kCannotOpenMessage);
        EXPECT_EQ(form.printedPosition(),
                  QPointF(form.width() / 5.0 - form.width() / 10.0, form.height() / 2.0));
        EXPECT_FALSE(form.Timer1.isActive());
        EXPECT_EQ(harness.state().CurrentChannel, 0u);
    }
    // The first tick of a playable file paints over the message.
    Choose({WriteTone("good.wav")});
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(WaitUntil([&] { return harness.form().printedText().isEmpty(); }, 1000));
}

TEST_F(PlaylistTest, ChosenFilesTakesOneOrSeveralFilesAndCancelChangesNothing) {
    const QString single = WriteTone("one.wav");
    Choose({single});
    EXPECT_EQ(harness.state().ChosenFiles, single);
    EXPECT_EQ(harness.state().PlaylistFolder, Q(dir.path()) + "/");

    const QStringList three = {WriteTone("a b.wav"), WriteTone("Мелодия.wav"), WriteTone("noext")};
    Choose(three);
    const QChar nul(u'\0');
    EXPECT_EQ(harness.state().ChosenFiles,
              Q(dir.path()) + nul + "a b.wav" + nul + "Мелодия.wav" + nul + "noext" + nul + nul);
    EXPECT_EQ(Entries(), (QStringList{"a b.wav", "Мелодия.wav", "noext"}));
    EXPECT_EQ(harness.form().List1->currentRow(), 0);
    EXPECT_TRUE(Playing());

    const DWORD channel = harness.state().CurrentChannel;
    Choose({});  // cancelled
    EXPECT_EQ(Entries().size(), 3);
    EXPECT_EQ(harness.state().CurrentChannel, channel);
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(harness.form().Timer1.isActive());
}

TEST_F(PlaylistTest, FillSkipsMissingHiddenAndFolderNamesAndWrapsTheIndex) {
    const QChar nul(u'\0');
    for (const char* name : {"1.wav", "2.wav", "3.wav", "4.wav", "5.wav", ".hidden.wav"}) {
        WriteTone(name);
    }
    QDir(Q(dir.path())).mkdir("folder.wav");
    const QStringList names = {"1.wav",      "gone.wav", "2.wav", ".hidden.wav",
                               "folder.wav", "3.wav",    "4.wav", "5.wav"};
    harness.state().ChosenFiles = Q(dir.path()) + nul + names.join(nul) + nul + nul;
    harness.state().TrackIndex = 7;
    harness.player().playlist().FillPlaylist();
    EXPECT_EQ(Entries(), (QStringList{"1.wav", "2.wav", "3.wav", "4.wav", "5.wav"}));
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    EXPECT_FALSE(harness.form().Image1->isVisible());
    EXPECT_TRUE(Playing());

    // Nothing left to play: the idle look.
    harness.state().ChosenFiles = Q(dir / "gone.wav");
    harness.player().playlist().FillPlaylist();
    EXPECT_TRUE(Entries().isEmpty());
    EXPECT_EQ(harness.form().backColor(), QColor(12, 17, 11));
    EXPECT_TRUE(harness.form().Image1->isVisible());
}

// Wrapping from the last entry to the first with the keys: keyboard_test.
TEST_F(PlaylistTest, StepsWrapRoundAndNeedTwoEntries) {
    Choose({WriteTone("only.wav")});
    const DWORD only = harness.state().CurrentChannel;
    QTest::mouseClick(harness.form().Command3, Qt::LeftButton);
    QTest::mouseClick(harness.form().Command2, Qt::LeftButton);
    EXPECT_EQ(harness.state().CurrentChannel, only);

    Choose({WriteTone("a.wav"), WriteTone("b.wav"), WriteTone("c.wav")});
    QTest::mouseClick(harness.form().Command2, Qt::LeftButton);
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    EXPECT_TRUE(Playing());

    // A double-click plays the entry under the pointer.
    QListWidget* list = harness.form().List1;
    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(harness.state().TrackIndex, 1);
    EXPECT_TRUE(Playing());
}

TEST_F(PlaylistTest, PopupNeedsASelectionTooltipStaysAndRemovalKeepsPlaying) {
    Choose({WriteTone("a.wav"), WriteTone("b.wav")});
    QListWidget* list = harness.form().List1;
    const QPoint onFirst = list->visualItemRect(list->item(0)).center();

    // The tooltip names the entry under the pointer and keeps it over empty
    // space.
    QTest::mouseMove(list->viewport(), list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(list->toolTip(), "b.wav");
    QTest::mouseMove(list->viewport(), QPoint(5, list->viewport()->height() - 3));
    EXPECT_EQ(list->toolTip(), "b.wav");

    list->setCurrentRow(-1);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, onFirst);
    EXPECT_FALSE(harness.form().mMenu->isVisible());

    list->setCurrentRow(1);
    QTest::mouseClick(list->viewport(), Qt::RightButton, {}, onFirst);
    EXPECT_TRUE(harness.form().mMenu->isVisible());
    EXPECT_EQ(list->currentRow(), 1) << "a right click must not move the selection";
    harness.form().mMenu->close();

    const DWORD channel = harness.state().CurrentChannel;
    harness.form().mDel->trigger();
    EXPECT_EQ(Entries(), QStringList{"a.wav"});
    EXPECT_EQ(harness.state().CurrentChannel, channel);
    EXPECT_TRUE(Playing());
}

}  // namespace
}  // namespace chromola::testing
