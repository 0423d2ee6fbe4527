// The colour display on the real main window: tones become colours, silence
// black, the end of a track leads through the pause to the next entry.
#include <gtest/gtest.h>

#include <QTest>

#include "audio_fixtures.h"
#include "display/display_controller.h"
#include "player_harness.h"
#include "playlist/playlist_controller.h"

namespace chromola::testing {
namespace {

const QColor kIdle(12, 17, 11);

class DisplayTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ForgetSettings();
        ASSERT_FALSE(harness.Start().has_value());
    }
    QString WriteTone(const std::string& name, double frequency, double seconds) {
        testing::Tone tone;
        tone.frequency = frequency;
        tone.seconds = seconds;
        tone.amplitude = 0.8;
        EXPECT_TRUE(writeTone(dir / name, AudioFormat::Wav, tone));
        return QString::fromStdString((dir / name).string());
    }
    void Play(const QStringList& paths) {
        harness.nextChoice = paths;
        QTest::mouseClick(harness.form().Command1, Qt::LeftButton);
    }
    bool Playing() {
        return harness.player().bass().BASS_ChannelIsActive(harness.state().CurrentChannel) != 0;
    }

    TempDir dir;
    PlayerHarness harness;
};

TEST_F(DisplayTest, LowMiddleAndHighTonesPaintRedGreenAndBlue) {
    struct Case {
        double frequency;
        int dominant;  // 0 red, 1 green, 2 blue
    };
    for (const Case& c : {Case{100, 0}, Case{1000, 1}, Case{8000, 2}}) {
        SCOPED_TRACE(c.frequency);
        Play({WriteTone("tone" + std::to_string(int(c.frequency)) + ".wav", c.frequency, 3)});
        Spin(300);
        const QColor colour = harness.form().backColor();
        const int levels[3] = {colour.red(), colour.green(), colour.blue()};
        // A pure tone lights one band; its neighbours see only the window's
        // leakage.
        EXPECT_GE(levels[c.dominant], 20) << colour.name().toStdString();
        for (int other = 0; other < 3; ++other) {
            if (other != c.dominant) {
                EXPECT_GT(levels[c.dominant], 2 * levels[other]) << colour.name().toStdString();
            }
        }
        // The bars follow the levels: Line1 blue, Line2 green, Line3 red.
        EXPECT_EQ(harness.form().Frame1->lineX2(0), 180 + 7 * colour.blue());
        EXPECT_EQ(harness.form().Frame1->lineX2(1), 180 + 7 * colour.green());
        EXPECT_EQ(harness.form().Frame1->lineX2(2), 180 + 7 * colour.red());
        EXPECT_FALSE(harness.form().Image1->isVisible());
    }
}

TEST_F(DisplayTest, SilenceIsBlackAndInvertedSilenceWhite) {
    ASSERT_TRUE(writeSilence(dir / "quiet.wav", AudioFormat::Wav, 44100, 2, 3));
    const QString quiet = QString::fromStdString((dir / "quiet.wav").string());
    Play({quiet});
    Spin(150);
    EXPECT_EQ(harness.form().backColor(), QColor(0, 0, 0));
    EXPECT_EQ(harness.form().Frame1->lineX2(1), 180);

    harness.state().InvertColours = 1;
    Spin(100);
    EXPECT_EQ(harness.form().backColor(), QColor(255, 255, 255));
    EXPECT_EQ(harness.form().Frame1->lineX2(2), 1965);

    harness.state().InvertColours = 2;
    Spin(100);
    EXPECT_EQ(harness.form().backColor(), QColor(0, 0, 0));
}

TEST_F(DisplayTest, PositionBarFollowsThePlayingPosition) {
    Play({WriteTone("long.wav", 440, 10)});
    EXPECT_EQ(harness.form().HScroll1->maximum(), 10);
    const QWORD bytes =
        harness.player().bass().BASS_ChannelSeconds2Bytes(harness.state().CurrentChannel, 4.0);
    harness.player().bass().BASS_ChannelSetPosition(harness.state().CurrentChannel, bytes, 0);
    Spin(100);
    EXPECT_EQ(harness.form().HScroll1->value(), 4);
}

TEST_F(DisplayTest, SingleEntryRestartsAfterThePauseWithControlsDisabledMeanwhile) {
    harness.state().PauseSeconds = 0.3;
    Play({WriteTone("short.wav", 440, 0.3)});
    const DWORD first = harness.state().CurrentChannel;
    ASSERT_TRUE(WaitUntil([&] { return harness.player().display().isBetweenTracks(); }, 3000));
    Form1& form = harness.form();
    EXPECT_FALSE(form.Command1->isEnabled());
    EXPECT_FALSE(form.Command2->isEnabled());
    EXPECT_FALSE(form.List1->isEnabled());
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_EQ(form.backColor(), kIdle);
    EXPECT_FALSE(form.Timer1.isActive());

    ASSERT_TRUE(WaitUntil([&] { return harness.state().CurrentChannel != first; }, 3000));
    EXPECT_TRUE(Playing());
    EXPECT_TRUE(form.Command1->isEnabled());
    EXPECT_TRUE(form.List1->isEnabled());
    EXPECT_FALSE(form.Image1->isVisible());
    EXPECT_TRUE(form.Timer1.isActive());
    EXPECT_EQ(harness.state().TrackIndex, 0);
}

TEST_F(DisplayTest, NoPauseGoesStraightToTheNextEntry) {
    harness.state().PauseSeconds = 0;
    Play({WriteTone("a.wav", 440, 0.3), WriteTone("b.wav", 440, 2)});
    ASSERT_TRUE(WaitUntil([&] { return harness.state().TrackIndex == 1; }, 3000));
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
    EXPECT_TRUE(Playing());
    EXPECT_EQ(harness.form().List1->currentRow(), 1);
}

TEST_F(DisplayTest, ListEmptiedDuringPlaybackLeavesThePlayerIdle) {
    Play({WriteTone("gone.wav", 440, 0.4)});
    harness.form().mDel->trigger();
    ASSERT_EQ(harness.form().List1->count(), 0);
    ASSERT_TRUE(WaitUntil([&] { return !harness.form().Timer1.isActive(); }, 3000));
    Spin(50);
    EXPECT_TRUE(harness.form().Image1->isVisible());
    EXPECT_EQ(harness.form().backColor(), kIdle);
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
}

TEST_F(DisplayTest, TrackStartedByHandDuringThePauseReplacesThePendingStart) {
    harness.state().PauseSeconds = 5;
    Play({WriteTone("a.wav", 440, 0.3), WriteTone("b.wav", 440, 3)});
    ASSERT_TRUE(WaitUntil([&] { return harness.player().display().isBetweenTracks(); }, 3000));
    harness.form().List1->setCurrentRow(0);
    harness.player().playlist().PlaySelected();
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
    EXPECT_TRUE(harness.form().Command1->isEnabled());
    EXPECT_FALSE(harness.form().Image1->isVisible());
    EXPECT_EQ(harness.state().TrackIndex, 0);
    EXPECT_TRUE(Playing());
}

TEST_F(DisplayTest, MinimisedWindowKeepsItsColourButMovesOn) {
    harness.state().PauseSeconds = 0;
    Play({WriteTone("a.wav", 100, 0.5), WriteTone("b.wav", 8000, 2)});
    Spin(200);
    harness.form().showMinimized();
    ASSERT_TRUE(harness.form().isMinimized());
    const QColor before = harness.form().backColor();
    ASSERT_TRUE(WaitUntil([&] { return harness.state().TrackIndex == 1; }, 3000));
    Spin(200);
    EXPECT_EQ(harness.form().backColor(), QColor(Qt::black)) << "set when the next entry starts";
    EXPECT_NE(before, QColor(Qt::black));
    harness.form().showNormal();
    Spin(200);
    EXPECT_GT(harness.form().backColor().blue(), 0);
}

TEST_F(DisplayTest, BrightnessBarSetsFactorAndCaption) {
    struct Case {
        int value;
        float brightness;
        const char* caption;
    };
    for (const Case& c : {Case{2, 0.05f, "-15"}, Case{17, 0.425f, "0"}, Case{20, 0.5f, "+3"},
                          Case{32, 0.8f, "+15"}}) {
        harness.form().VScroll1->setValue(c.value);
        EXPECT_EQ(harness.player().display().Brightness(), c.brightness);
        EXPECT_EQ(harness.form().Label1->text(), c.caption);
    }
}

}  // namespace
}  // namespace chromola::testing
