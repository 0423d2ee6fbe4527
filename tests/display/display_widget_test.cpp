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

using DisplayTest = PlayerTest;

// The display's tones: loud enough to light their band.
Tone Sine(double frequency, double seconds) {
    return {.frequency = frequency, .amplitude = 0.8, .seconds = seconds};
}

TEST_F(DisplayTest, LowMiddleAndHighTonesPaintRedGreenAndBlue) {
    // dominant: 0 red, 1 green, 2 blue
    for (const auto& [frequency, dominant] : {std::pair{100, 0}, {1000, 1}, {8000, 2}}) {
        SCOPED_TRACE(frequency);
        harness.ChooseFiles(
            {WriteTone(dir, "tone" + std::to_string(frequency) + ".wav", Sine(frequency, 3))});
        Spin(300);
        const QColor colour = harness.form().backColor();
        const int levels[3] = {colour.red(), colour.green(), colour.blue()};
        // A pure tone lights one band; its neighbours see only the window's
        // leakage.
        EXPECT_GE(levels[dominant], 20) << colour.name().toStdString();
        EXPECT_GT(levels[dominant],
                  2 * std::max(levels[(dominant + 1) % 3], levels[(dominant + 2) % 3]))
            << colour.name().toStdString();
        // The bars follow the levels: Line1 blue, Line2 green, Line3 red.
        EXPECT_EQ(harness.form().Frame1->lineX2(0), 180 + 7 * colour.blue());
        EXPECT_EQ(harness.form().Frame1->lineX2(1), 180 + 7 * colour.green());
        EXPECT_EQ(harness.form().Frame1->lineX2(2), 180 + 7 * colour.red());
    }
}

TEST_F(DisplayTest, SilenceIsBlackInvertedSilenceWhiteAndThePositionBarFollows) {
    harness.ChooseFiles({WriteTone(dir, "quiet.wav", {.amplitude = 0, .seconds = 10})});
    // Only exactly 1 inverts: a stored 2 must leave the colours alone.
    for (const auto& [invert, level] : {std::pair{0, 0}, {1, 255}, {2, 0}}) {
        harness.state().InvertColours = invert;
        Spin(150);
        EXPECT_EQ(harness.form().backColor(), QColor(level, level, level)) << invert;
        EXPECT_EQ(harness.form().Frame1->lineX2(1), 180 + 7 * level);
    }
    EXPECT_EQ(harness.form().HScroll1->maximum(), 10);
    BassLibrary& bass = harness.player().bass();
    const DWORD channel = harness.state().CurrentChannel;
    bass.BASS_ChannelSetPosition(channel, bass.BASS_ChannelSeconds2Bytes(channel, 4.0), 0);
    Spin(100);
    EXPECT_EQ(harness.form().HScroll1->value(), 4);
}

TEST_F(DisplayTest, SingleEntryRestartsAfterThePauseWithControlsDisabledMeanwhile) {
    harness.state().PauseSeconds = 0.3;
    harness.ChooseFiles({WriteTone(dir, "short.wav", Sine(440, 0.3))});
    const DWORD first = harness.state().CurrentChannel;
    ASSERT_TRUE(WaitUntil([&] { return harness.player().display().isBetweenTracks(); }, 3000));
    Form1& form = harness.form();
    EXPECT_FALSE(form.Command1->isEnabled());
    EXPECT_FALSE(form.List1->isEnabled());
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_EQ(form.backColor(), kIdle);
    EXPECT_FALSE(form.Timer1.isActive());

    ASSERT_TRUE(WaitUntil([&] { return harness.state().CurrentChannel != first; }, 3000));
    EXPECT_TRUE(harness.IsPlaying());
    EXPECT_TRUE(form.Command1->isEnabled());
    EXPECT_TRUE(form.List1->isEnabled());
    EXPECT_FALSE(form.Image1->isVisible());
    EXPECT_TRUE(form.Timer1.isActive());
}

TEST_F(DisplayTest, ListEmptiedDuringPlaybackLeavesThePlayerIdle) {
    harness.ChooseFiles({WriteTone(dir, "gone.wav", Sine(440, 0.4))});
    Form1& form = harness.form();
    form.mDel->trigger();
    ASSERT_EQ(form.List1->count(), 0);
    ASSERT_TRUE(WaitUntil([&] { return !form.Timer1.isActive(); }, 3000));
    Spin(50);
    EXPECT_TRUE(form.Image1->isVisible());
    EXPECT_EQ(form.backColor(), kIdle);
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
}

TEST_F(DisplayTest, TrackStartedByHandDuringThePauseReplacesThePendingStart) {
    harness.state().PauseSeconds = 5;
    harness.ChooseFiles(
        {WriteTone(dir, "a.wav", Sine(440, 0.3)), WriteTone(dir, "b.wav", Sine(440, 3))});
    ASSERT_TRUE(WaitUntil([&] { return harness.player().display().isBetweenTracks(); }, 3000));
    harness.form().List1->setCurrentRow(0);
    harness.player().playlist().PlaySelected();
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
    EXPECT_TRUE(harness.form().Command1->isEnabled());
    EXPECT_FALSE(harness.form().Image1->isVisible());
    EXPECT_EQ(harness.state().TrackIndex, 0);
    EXPECT_TRUE(harness.IsPlaying());
}

// A pause of 0 goes straight on, even while the window is minimised; the
// minimised window's colour is left alone but for the next entry's black.
TEST_F(DisplayTest, NoPauseGoesStraightOnAndAMinimisedWindowKeepsItsColour) {
    harness.state().PauseSeconds = 0;
    harness.ChooseFiles(
        {WriteTone(dir, "a.wav", Sine(100, 0.5)), WriteTone(dir, "b.wav", Sine(8000, 2))});
    Spin(200);
    harness.form().showMinimized();
    ASSERT_TRUE(harness.form().isMinimized());
    const QColor before = harness.form().backColor();
    EXPECT_NE(before, QColor(Qt::black));
    ASSERT_TRUE(WaitUntil([&] { return harness.state().TrackIndex == 1; }, 3000));
    EXPECT_FALSE(harness.player().display().isBetweenTracks());
    EXPECT_EQ(harness.form().List1->currentRow(), 1);
    EXPECT_TRUE(harness.IsPlaying());
    Spin(200);
    EXPECT_EQ(harness.form().backColor(), QColor(Qt::black)) << "set when the next entry starts";
    harness.form().showNormal();
    Spin(200);
    EXPECT_GT(harness.form().backColor().blue(), 0);
}

}  // namespace
}  // namespace chromola::testing
