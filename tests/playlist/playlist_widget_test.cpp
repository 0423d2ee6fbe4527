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

class PlaylistTest : public PlayerTest {
  protected:
    QStringList Entries() {
        QStringList entries;
        for (int i = 0; i < harness.form().List1->count(); ++i) {
            entries << harness.form().List1->item(i)->text();
        }
        return entries;
    }
};

TEST_F(PlaylistTest, EveryFormatPlaysAndModulesComeThroughTheFallback) {
    const std::pair<std::string, AudioFormat> cases[] = {
        {"tone.wav", AudioFormat::Wav},     {"tone.aif", AudioFormat::Aiff},
        {"tone.flac", AudioFormat::Flac},   {"tone.ogg", AudioFormat::OggVorbis},
        {"opus.ogg", AudioFormat::OggOpus}, {"tone.mp3", AudioFormat::Mp3},
        {"tone.mp2", AudioFormat::Mp2}};
    for (const auto& [name, format] : cases) {
        SCOPED_TRACE(name);
        harness.ChooseFiles({WriteTone(dir, name, Tone{.seconds = 3}, format)});
        EXPECT_EQ(Entries(), QStringList{QString::fromStdString(name)});
        EXPECT_TRUE(harness.IsPlaying());
        EXPECT_TRUE(harness.form().printedText().isEmpty());
        EXPECT_TRUE(harness.form().Timer1.isActive());
        EXPECT_EQ(harness.form().HScroll1->maximum(), 3);
    }
    ModuleSpec song;
    song.speed = 3;
    ASSERT_TRUE(writeProTrackerModule(dir / "song.mod", song));
    harness.ChooseFiles({QPath(dir / "song.mod")});
    EXPECT_TRUE(harness.IsPlaying());
    EXPECT_TRUE(harness.form().printedText().isEmpty());
    EXPECT_EQ(harness.form().HScroll1->maximum(), qRound(moduleSeconds(song)));
}

TEST_F(PlaylistTest, FileThatCannotBePlayedPrintsMessageAndStopsTimer) {
    ASSERT_TRUE(writeGarbage(dir / "noise.mp3", 20000));
    ASSERT_TRUE(writeBytes(dir / "empty.wav", {}));
    for (const char* name : {"noise.mp3", "empty.wav"}) {
        SCOPED_TRACE(name);
        harness.form().Timer1.start();
        harness.player().playback().PlayFile(QPath(dir / name));
        Form1& form = harness.form();
        EXPECT_EQ(form.printedText(), Playback::kCannotOpenMessage);
        EXPECT_EQ(form.printedPosition(),
                  QPointF(form.width() / 5.0 - form.width() / 10.0, form.height() / 2.0));
        EXPECT_FALSE(form.Timer1.isActive());
        EXPECT_EQ(harness.state().CurrentChannel, 0u);
    }
    // The first tick of a playable file paints over the message.
    harness.ChooseFiles({WriteTone(dir, "good.wav")});
    EXPECT_TRUE(harness.IsPlaying());
    EXPECT_TRUE(WaitUntil([&] { return harness.form().printedText().isEmpty(); }, 1000));
}

TEST_F(PlaylistTest, ChosenFilesTakesOneOrSeveralFilesAndCancelChangesNothing) {
    const QString single = WriteTone(dir, "one.wav");
    harness.ChooseFiles({single});
    EXPECT_EQ(harness.state().ChosenFiles, single);
    EXPECT_EQ(harness.state().PlaylistFolder, QPath(dir.path()) + "/");

    const QStringList three = {WriteTone(dir, "a b.wav"), WriteTone(dir, "Мелодия.wav"),
                               WriteTone(dir, "noext")};
    harness.ChooseFiles(three);
    const QChar nul(u'\0');
    EXPECT_EQ(harness.state().ChosenFiles, QPath(dir.path()) + nul + "a b.wav" + nul +
                                               "Мелодия.wav" + nul + "noext" + nul + nul);
    EXPECT_EQ(Entries(), (QStringList{"a b.wav", "Мелодия.wav", "noext"}));
    EXPECT_EQ(harness.form().List1->currentRow(), 0);
    EXPECT_TRUE(harness.IsPlaying());

    const DWORD channel = harness.state().CurrentChannel;
    harness.ChooseFiles({});  // cancelled
    EXPECT_EQ(Entries().size(), 3);
    EXPECT_EQ(harness.state().CurrentChannel, channel);
    EXPECT_TRUE(harness.IsPlaying());
    EXPECT_TRUE(harness.form().Timer1.isActive());
}

TEST_F(PlaylistTest, FillSkipsMissingHiddenAndFolderNamesAndWrapsTheIndex) {
    const QChar nul(u'\0');
    for (const char* name : {"1.wav", "2.wav", "3.wav", "4.wav", "5.wav", ".hidden.wav"}) {
        WriteTone(dir, name);
    }
    QDir(QPath(dir.path())).mkdir("folder.wav");
    const QStringList names = {"1.wav",      "gone.wav", "2.wav", ".hidden.wav",
                               "folder.wav", "3.wav",    "4.wav", "5.wav"};
    harness.state().ChosenFiles = QPath(dir.path()) + nul + names.join(nul) + nul + nul;
    harness.state().TrackIndex = 7;
    harness.player().playlist().FillPlaylist();
    EXPECT_EQ(Entries(), (QStringList{"1.wav", "2.wav", "3.wav", "4.wav", "5.wav"}));
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    EXPECT_FALSE(harness.form().Image1->isVisible());
    EXPECT_TRUE(harness.IsPlaying());

    // Nothing left to play: the idle look.
    harness.state().ChosenFiles = QPath(dir / "gone.wav");
    harness.player().playlist().FillPlaylist();
    EXPECT_TRUE(Entries().isEmpty());
    EXPECT_EQ(harness.form().backColor(), QColor(12, 17, 11));
    EXPECT_TRUE(harness.form().Image1->isVisible());
}

// Wrapping from the last entry to the first with the keys: keyboard_test.
TEST_F(PlaylistTest, StepsWrapRoundAndNeedTwoEntries) {
    harness.ChooseFiles({WriteTone(dir, "only.wav")});
    const DWORD only = harness.state().CurrentChannel;
    QTest::mouseClick(harness.form().Command3, Qt::LeftButton);
    QTest::mouseClick(harness.form().Command2, Qt::LeftButton);
    EXPECT_EQ(harness.state().CurrentChannel, only);

    harness.ChooseFiles(
        {WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav"), WriteTone(dir, "c.wav")});
    QTest::mouseClick(harness.form().Command2, Qt::LeftButton);
    EXPECT_EQ(harness.state().TrackIndex, 2);
    EXPECT_EQ(harness.form().List1->currentRow(), 2);
    EXPECT_TRUE(harness.IsPlaying());

    // A double-click plays the entry under the pointer.
    QListWidget* list = harness.form().List1;
    const QPoint second = list->visualItemRect(list->item(1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
    EXPECT_EQ(harness.state().TrackIndex, 1);
    EXPECT_TRUE(harness.IsPlaying());
}

TEST_F(PlaylistTest, PopupNeedsASelectionTooltipStaysAndRemovalKeepsPlaying) {
    harness.ChooseFiles({WriteTone(dir, "a.wav"), WriteTone(dir, "b.wav")});
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
    EXPECT_TRUE(harness.IsPlaying());
}

}  // namespace
}  // namespace chromola::testing
