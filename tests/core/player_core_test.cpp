// The player's rules on the core alone: the display's tick, the end of a
// track, the pause between tracks, the playlist, the keys and what the
// desktop's media controls see and may ask, against a scripted engine and a
// clock the test moves.
#include <QDir>
#include <QUrl>

#include <limits>

#include "desktop/mpris_state.h"
#include "display/level_bars.h"
#include "fake_player.h"
#include "keys/keyboard_control.h"
#include "playlist/chosen_files.h"
#include "transport_math.h"

namespace chromola::testing {
namespace {

constexpr int kPauseMs = 2010;  // 2 s: 201 steps of 10 ms

// The pause count to the hundredth of a second, which the clock-driven
// tests do not resolve.
TEST(Pause, StepsAreOneMoreThanTheRoundedHundredths) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const std::pair<double, int> rows[] = {
        {2.0, 201},   {0.125, 13}, {0.375, 39},
        {0.004, 1},   {0.0, 0},    {-1.0, 0},
        {60.0, 6001}, {kNaN, 0},   {1e300, std::numeric_limits<int>::max()}};
    for (const auto& [seconds, steps] : rows) {
        EXPECT_EQ(PauseSteps(seconds), steps) << seconds;
    }
}

// A band's colour reaches the window and the bars, which stand blue, green,
// red. Which band feeds which colour: the levels test (colour_test) and the
// tone_colours end-to-end case.
TEST_F(CoreTest, EachBandPaintsItsColourAndTheBarsFollowTheLevels) {
    for (const int bin : {5, 500}) {  // in the red bands, in the blue
        SCOPED_TRACE(bin);
        engine.tracks["t.wav"] = {.bin = bin};
        Choose({"t.wav"});
        clock.Advance(17);
        const ColourLevels& c = view.colour;
        EXPECT_GT(std::max(c.red, c.blue), 20);
        EXPECT_EQ(c.green + std::min(c.red, c.blue), 0);
        EXPECT_EQ(view.bars,
                  (std::array{LevelBarEnd(c.blue), LevelBarEnd(c.green), LevelBarEnd(c.red)}));
    }
}

TEST_F(CoreTest, SilenceIsBlackAndOnlyAnInversionOfOneMakesItWhite) {
    Choose({"quiet.wav"});
    for (const auto& [invert, level] : {std::pair{0, 0}, {1, 255}, {2, 0}}) {
        state.InvertColours = invert;
        clock.Advance(17);
        EXPECT_EQ(view.colour, (ColourLevels{level, level, level})) << invert;
    }
}

TEST_F(CoreTest, PositionBarFollowsTheHeardTimeExceptWhileTheThumbIsDragged) {
    engine.tracks["t.wav"] = {.seconds = 10};
    Choose({"t.wav"});
    EXPECT_EQ(view.positionMaximum, 10);
    clock.Advance(4000);
    EXPECT_EQ(view.position, 4);
    view.dragged = true;
    view.position = 9;
    clock.Advance(1000);
    EXPECT_EQ(view.position, 9);
}

TEST_F(CoreTest, MinimisedWindowKeepsItsColourWhileTheTrackMovesOn) {
    engine.tracks["a.wav"] = {.seconds = 1, .bin = 5};
    engine.tracks["b.wav"] = {.bin = 500};
    state.PauseSeconds = 0;
    Choose({"a.wav", "b.wav"});
    clock.Advance(100);
    view.windowState = kMinimised;
    clock.Advance(1500);
    EXPECT_EQ(engine.PlayingName(), "b.wav");
    // Set when the next entry starts; painted, it would be b.wav's blue.
    EXPECT_EQ(view.colour, kBlack);
    view.windowState = kNormal;
    clock.Advance(17);
    EXPECT_GT(view.colour.blue, 0);
}

TEST_F(CoreTest, EndOfTrackShowsThePictureWaitsThePauseWithControlsOffThenPlaysTheNext) {
    engine.tracks["a.wav"] = {.seconds = 1};
    Choose({"a.wav", "b.wav"});
    clock.Advance(1020);
    EXPECT_TRUE(core.sequence.isBetweenTracks());
    EXPECT_FALSE(clock.Ticking());
    EXPECT_TRUE(view.picture);
    EXPECT_EQ(view.colour, kIdleColour);
    EXPECT_FALSE(view.transport);

    clock.Advance(kPauseMs - 30);
    EXPECT_TRUE(core.sequence.isBetweenTracks());
    clock.Advance(30);
    ExpectPlaying(1, "b.wav");
    EXPECT_TRUE(view.transport);
    EXPECT_FALSE(view.picture);
    EXPECT_TRUE(clock.Ticking());
}

TEST_F(CoreTest, OneEntryRestartsAndAPauseOfZeroGoesStraightOn) {
    for (const double pause : {2.0, 0.0}) {
        SCOPED_TRACE(pause);
        state.PauseSeconds = pause;
        engine.tracks["only.wav"] = {.seconds = 1};
        Choose({"only.wav"});
        const int opened = engine.opened;
        clock.Advance(1020 + (pause > 0 ? kPauseMs : 0));
        EXPECT_EQ(engine.opened, opened + 1);
        EXPECT_EQ(engine.PlayingName(), "only.wav");
        EXPECT_FALSE(core.sequence.isBetweenTracks());
    }
}

TEST_F(CoreTest, ListEmptiedDuringPlayOrPauseLeavesThePlayerIdle) {
    for (const int removeAfterMs : {500, 1500}) {  // while playing, during the pause
        SCOPED_TRACE(removeAfterMs);
        engine.tracks["gone.wav"] = {.seconds = 1};
        Choose({"gone.wav"});
        clock.Advance(removeAfterMs);
        view.selected = 0;
        core.playlist.RemoveSelected();
        EXPECT_TRUE(state.Entries.isEmpty());
        clock.Advance(5000);
        ExpectIdle();
    }
}

TEST_F(CoreTest, TrackStartedByHandDuringThePauseReplacesThePendingStart) {
    engine.tracks["a.wav"] = {.seconds = 1};
    Choose({"a.wav", "b.wav"});
    clock.Advance(1500);
    ASSERT_TRUE(core.sequence.isBetweenTracks());
    engine.tracks["a.wav"].seconds = 10;
    view.selected = 0;
    core.playlist.PlaySelected();
    const int opened = engine.opened;
    EXPECT_FALSE(core.sequence.isBetweenTracks());
    EXPECT_TRUE(view.transport);
    EXPECT_FALSE(view.picture);
    clock.Advance(kPauseMs);
    EXPECT_EQ(engine.opened, opened) << "no second start after the pause";
    ExpectPlaying(0, "a.wav");
}

// With the ticks on a thread of their own, the end the last tick saw reaches
// the owner after the user has started a track by hand: it is stale and the
// chosen track plays on.
TEST_F(CoreTest, TrackStartedByHandBeforeTheEndReachesTheOwnerPlaysOn) {
    clock.queueHandOvers = true;
    engine.tracks["a.wav"] = {.seconds = 1};
    Choose({"a.wav", "b.wav"});
    clock.Advance(1020);
    ASSERT_FALSE(clock.Ticking());  // the tick that saw the end stopped them
    engine.tracks["a.wav"].seconds = 10;
    view.selected = 0;
    core.playlist.PlaySelected();
    clock.RunHandedOver();
    EXPECT_FALSE(core.sequence.isBetweenTracks());
    clock.Advance(kPauseMs + 17);
    clock.RunHandedOver();
    ExpectPlaying(0, "a.wav");
    EXPECT_TRUE(clock.Ticking());
}

// A failure is printed where the window prints, stays readable through the
// pause, and the player moves on.
TEST_F(CoreTest, FileThatCannotBePlayedIsReportedThroughThePauseAndSkipped) {
    engine.tracks["bad.mp3"] = {.opens = false};
    engine.tracks["mute.wav"] = {.plays = false};
    engine.tracks["song.mod"] = {.seconds = 3, .module = true};
    for (const auto& [name, message] : {std::pair{"bad.mp3", Playback::kCannotOpenMessage},
                                        {"mute.wav", Playback::kCannotPlayMessage}}) {
        SCOPED_TRACE(name);
        Choose({name, "song.mod"});
        EXPECT_EQ(view.message, QString::fromUtf8(message));
        EXPECT_TRUE(name != QString("bad.mp3") || state.CurrentChannel == 0u);
        clock.Advance(17);
        EXPECT_TRUE(core.sequence.isBetweenTracks());
        EXPECT_EQ(view.message, QString::fromUtf8(message));
        clock.Advance(kPauseMs);
        EXPECT_EQ(engine.PlayingName(), "song.mod") << "modules come through the fallback";
        EXPECT_TRUE(view.message.isEmpty());
        EXPECT_EQ(view.positionMaximum, 3);
    }
}

// After a whole round of failures the player stops where the last message
// can be read, instead of retrying every pause (or spinning with none).
TEST_F(CoreTest, ListInWhichNothingPlaysStopsAfterOneRoundAndAGoodFileResumesIt) {
    for (const double pause : {2.0, 0.0}) {
        SCOPED_TRACE(pause);
        state.PauseSeconds = pause;
        engine.tracks["x.mp3"] = {.opens = false};
        engine.tracks["y.mp3"] = {.opens = false};
        const int opened = engine.opened;
        Choose({"x.mp3", "y.mp3"});
        clock.Advance(3 * (kPauseMs + 17));
        EXPECT_EQ(engine.opened, opened);
        ExpectIdle();
        EXPECT_EQ(view.message, QString::fromUtf8(Playback::kCannotOpenMessage));
        EXPECT_EQ(state.Entries.size(), 2);

        engine.tracks["y.mp3"] = {.seconds = 1};  // the file was mended
        view.selected = 1;
        core.playlist.PlaySelected();
        clock.Advance(2 * (1020 + kPauseMs + 17));
        EXPECT_GE(engine.opened, opened + 2) << "the round went on past x.mp3 to y.mp3";
        EXPECT_TRUE(clock.Ticking() || core.sequence.isBetweenTracks());
    }
}

// Removing the playing entry plays the one that takes its place; removing
// another leaves playback alone and the index on the playing entry.
TEST_F(CoreTest, RemovingAnEntryKeepsTrackOfThePlayingOne) {
    const std::tuple<int, int, const char*, int> rows[] = {
        // playing, removed, then playing, TrackIndex
        {1, 1, "c.wav", 1},
        {2, 2, "a.wav", 0},
        {2, 0, "c.wav", 1},
        {0, 2, "a.wav", 0}};
    for (const auto& [playing, removed, after, index] : rows) {
        SCOPED_TRACE(removed);
        Choose({"a.wav", "b.wav", "c.wav"});
        view.selected = playing;
        core.playlist.PlaySelected();
        const int opened = engine.opened;
        view.selected = removed;
        core.playlist.RemoveSelected();
        ExpectPlaying(index, after);
        EXPECT_EQ(engine.opened, opened + (playing == removed ? 1 : 0));
    }
}

TEST_F(CoreTest, ChoosingFilesReplacesTheListAndACancelChangesNothing) {
    Choose({"a b.wav", "Мелодия.wav", "noext"});
    const QChar nul(u'\0');
    EXPECT_EQ(state.ChosenFiles, QFileInfo(Path("x")).path() + nul + "a b.wav" + nul +
                                     "Мелодия.wav" + nul + "noext" + nul + nul);
    EXPECT_EQ(view.entries, (QStringList{"a b.wav", "Мелодия.wav", "noext"}));
    ExpectPlaying(0, "a b.wav");
    const DWORD channel = state.CurrentChannel;
    core.playlist.ChooseFiles({});
    EXPECT_EQ(view.entries.size(), 3);
    EXPECT_EQ(state.CurrentChannel, channel);
    EXPECT_TRUE(clock.Ticking());
}

TEST_F(CoreTest, FilesOpenedFromOutsideListedUnderTheirCommonFolder) {
    ASSERT_TRUE(QDir().mkpath(Path("one")) && QDir().mkpath(Path("two")));
    Choose({"one/a.wav", "two/b.wav"});
    EXPECT_EQ(view.entries, (QStringList{"one/a.wav", "two/b.wav"}));
    EXPECT_EQ(engine.PlayingName(), "a.wav");
    int nothing = 0;
    core.playlist.nothingOpened = [&nothing] { ++nothing; };
    Open({Path("missing.wav")});
    EXPECT_EQ(nothing, 1);
    EXPECT_EQ(view.entries.size(), 2) << "nothing to play changes nothing";
    // A folder whose files all lie in one subfolder is stored under it.
    Open({Path("two")});
    EXPECT_EQ(view.entries, QStringList{"b.wav"});
    EXPECT_EQ(state.ChosenFiles, Path("two/b.wav"));
    EXPECT_EQ(engine.PlayingName(), "b.wav");
    const QString folder = QFileInfo(Path("x")).path();
    Open({folder});
    EXPECT_EQ(view.entries, (QStringList{"one/a.wav", "two/b.wav"}));
    const QChar nul(u'\0');
    EXPECT_EQ(RebuildChosenFiles(state.ChosenFiles, state.Entries),
              folder + nul + "one/a.wav" + nul + "two/b.wav" + nul + nul);
    EXPECT_EQ(nothing, 1);
}

// What can be played: paths_test (PlayableEntries).
TEST_F(CoreTest, FillingSkipsWhatCannotBePlayedAndWrapsTheIndex) {
    const QChar nul(u'\0');
    Choose({"1.wav", "2.wav", "3.wav", "4.wav", "5.wav"});
    const QStringList names = {"1.wav", "gone.wav", "2.wav", "3.wav", "4.wav", "5.wav"};
    state.ChosenFiles = QFileInfo(Path("x")).path() + nul + names.join(nul) + nul + nul;
    state.TrackIndex = 7;
    core.playlist.FillPlaylist();
    EXPECT_EQ(state.Entries, (QStringList{"1.wav", "2.wav", "3.wav", "4.wav", "5.wav"}));
    EXPECT_EQ(view.entries, state.Entries);
    ExpectPlaying(2, "3.wav");

    // Nothing left to play: the idle look, and the track that played stops.
    state.ChosenFiles = Path("gone.wav");
    core.playlist.FillPlaylist();
    EXPECT_TRUE(view.entries.isEmpty());
    ExpectIdle();
    EXPECT_EQ(view.bars, (std::array{kIdleBarEndTwips, kIdleBarEndTwips, kIdleBarEndTwips}));
}

// The number pad steps even while the buttons are disabled.
TEST_F(CoreTest, NumberPadStepsWrapRoundAndNeedTwoEntries) {
    Choose({"only.wav"});
    const int opened = engine.opened;
    core.keyboard.KeyDown(kKeyPad2);
    core.keyboard.KeyDown(kKeyPad8);
    EXPECT_EQ(engine.opened, opened);

    engine.tracks["a.wav"] = {.module = true};  // freed as a module when left
    Choose({"a.wav", "b.wav", "c.wav"});
    view.transport = false;
    core.keyboard.KeyDown(kKeyPad8);
    ExpectPlaying(2, "c.wav");
    core.keyboard.KeyDown(kKeyPad2);
    ExpectPlaying(0, "a.wav");
}

// F9 turns live mode on and off; starting a track leaves it; a source that
// cannot start or goes away is reported and the player stays usable.
TEST_F(CoreTest, LiveModeColoursWhatIsCapturedAndGivesWayToTracks) {
    for (const int source : {0, 1}) {  // the computer's sound, the microphone
        SCOPED_TRACE(source);
        state.LiveSource = source;
        engine.captureBin = 50;
        Choose({"a.wav", "b.wav"});
        core.keyboard.KeyDown(kKeyF9);
        EXPECT_EQ(engine.capturing,
                  source == 0 ? DWORD{CHROMOLA_CAPTURE_OUTPUT} : DWORD{CHROMOLA_CAPTURE_INPUT});
        EXPECT_EQ(engine.PlayingName(), "live");
        EXPECT_FALSE(view.picture);
        EXPECT_FALSE(view.positionEnabled);
        clock.Advance(17 * 100);  // longer than any track: nothing ends
        EXPECT_GT(view.colour.green, 20);
        EXPECT_EQ(state.Live, 1);
        core.playlist.NextTrack();
        EXPECT_EQ(state.Live, 0);
        EXPECT_EQ(engine.PlayingName(), "b.wav");
        EXPECT_TRUE(view.positionEnabled);
        core.keyboard.KeyDown(kKeyF9);
        core.keyboard.KeyDown(kKeyF9);
        EXPECT_EQ(state.Live, 0);
        ExpectIdle();
    }
    const std::tuple<bool, bool, const char*> failures[] = {
        {false, false, LiveCapture::kCannotCaptureMessage},
        {true, true, LiveCapture::kSourceLostMessage}};
    for (const auto& [starts, lost, message] : failures) {
        SCOPED_TRACE(message);
        engine.captureStarts = starts;
        core.keyboard.KeyDown(kKeyF9);
        engine.captureLost = lost;
        clock.Advance(34);
        EXPECT_EQ(view.message, QString::fromUtf8(message));
        EXPECT_EQ(state.Live, 0);
        ExpectIdle();
        EXPECT_TRUE(view.positionEnabled);
        core.playlist.NextTrack();
        EXPECT_NE(engine.PlayingName(), "") << "the player stays usable";
    }
}

TEST(KeyCodes, MainKeyboardAndNumberPadWithOrWithoutNumLock) {
    const std::tuple<int, Qt::KeyboardModifiers, KeyCode> rows[] = {
        {Qt::Key_8, Qt::KeypadModifier, kKeyPad8},
        {Qt::Key_Up, Qt::KeypadModifier, kKeyPad8},
        {Qt::Key_Down, Qt::KeypadModifier, kKeyPad2},
        {Qt::Key_Left, Qt::KeypadModifier, kKeyPad4},
        {Qt::Key_6, Qt::KeypadModifier, kKeyPad6},
        {Qt::Key_Plus, Qt::KeypadModifier, kKeyPadPlus},
        {Qt::Key_Minus, Qt::KeypadModifier, kKeyPadMinus},
        {Qt::Key_8, Qt::NoModifier, kKeyNone},
        {Qt::Key_Up, Qt::NoModifier, kKeyNone},
        {Qt::Key_Equal, Qt::NoModifier, kKeyPlus},
        {Qt::Key_Plus, Qt::ShiftModifier, kKeyPlus},
        {Qt::Key_Underscore, Qt::ShiftModifier, kKeyMinus},
        {Qt::Key_F1, Qt::ControlModifier, kKeyF1},
        {Qt::Key_F11, Qt::NoModifier, kKeyF11},
        {Qt::Key_Escape, Qt::NoModifier, kKeyEscape},
        {Qt::Key_MediaNext, Qt::NoModifier, kKeyMediaNext},
        {Qt::Key_MediaPrevious, Qt::NoModifier, kKeyMediaPrevious},
        {Qt::Key_MediaStop, Qt::NoModifier, kKeyMediaStop},
        {Qt::Key_MediaPlay, Qt::NoModifier, kKeyMediaPlay},
        {Qt::Key_MediaTogglePlayPause, Qt::NoModifier, kKeyMediaPlay}};
    for (const auto& [key, modifiers, code] : rows) {
        EXPECT_EQ(KeyCodeOf(key, modifiers), code) << std::hex << key;
    }
}

// A tenth of the track, not truncated, rounded half to even: a seek must
// neither go below 0 nor stick short of the end.
TEST_F(CoreTest, RewindAndForwardJumpByATenthWithTiesToEven) {
    engine.tracks["long.wav"] = {.seconds = 55};
    Choose({"long.wav"});
    clock.StopTicks();  // keep the bar where the test puts it
    const std::tuple<int, KeyCode, int> rows[] = {
        {6, kKeyPad4, 0}, {49, kKeyPad6, 54}, {50, kKeyPad6, 55}};  // of 55 s
    for (const auto& [value, key, expected] : rows) {
        view.position = value;
        core.keyboard.KeyDown(key);
        EXPECT_EQ(view.position, expected) << value;
        EXPECT_DOUBLE_EQ(engine.HeardSeconds(state.CurrentChannel), expected);
    }
}

TEST_F(CoreTest, BrightnessKeysStayInsideTheBarAndTheCaptionCountsFromSeventeen) {
    const std::tuple<int, KeyCode, int, const char*> steps[] = {
        {0, kKeyPlus, 17, "0"},   {3, kKeyPlus, 20, "+3"},      {20, kKeyPadPlus, 32, "+15"},
        {1, kKeyPlus, 32, "+15"}, {20, kKeyPadMinus, 12, "-5"}, {20, kKeyMinus, 2, "-15"},
        {1, kKeyMinus, 2, "-15"}};
    for (const auto& [presses, key, value, caption] : steps) {
        for (int i = 0; i < presses; ++i) {
            core.keyboard.KeyDown(key);
        }
        EXPECT_EQ(view.brightness, value) << caption;
        EXPECT_EQ(view.caption, caption);
        EXPECT_FLOAT_EQ(core.display.Brightness(), value * 0.025f);
    }
}

// The player cannot pause: Play starts the selected entry only when nothing
// plays, and Stop also drops the start pending after the pause.
TEST_F(CoreTest, MediaKeysStepStopAndStartTheSelectedEntry) {
    engine.tracks["a.wav"] = {.seconds = 1};
    Choose({"a.wav", "b.wav", "c.wav"});
    core.keyboard.KeyDown(kKeyMediaPrevious);
    EXPECT_EQ(engine.PlayingName(), "c.wav");
    core.keyboard.KeyDown(kKeyMediaNext);
    EXPECT_EQ(engine.PlayingName(), "a.wav");
    clock.Advance(1020);
    ASSERT_TRUE(core.sequence.isBetweenTracks());
    const int opened = engine.opened;
    core.keyboard.KeyDown(kKeyMediaPlay);
    EXPECT_EQ(engine.opened, opened) << "the pause runs on";
    core.keyboard.KeyDown(kKeyMediaStop);
    clock.Advance(5000);
    EXPECT_EQ(engine.opened, opened);
    EXPECT_FALSE(clock.Ticking());
    EXPECT_TRUE(view.transport);
    view.selected = 2;
    core.keyboard.KeyDown(kKeyMediaPlay);
    core.keyboard.KeyDown(kKeyMediaPlay);
    EXPECT_EQ(engine.PlayingName(), "c.wav");
    EXPECT_EQ(engine.opened, opened + 1);
}

TEST_F(CoreTest, F11TogglesFullScreenAndEscStopsOnlyOutsideTheOrdinaryView) {
    Choose({"a.wav"});
    core.keyboard.KeyDown(kKeyEscape);
    EXPECT_TRUE(clock.Ticking()) << "Esc in the ordinary view does nothing";
    core.keyboard.KeyDown(kKeyF11);
    EXPECT_TRUE(view.fullScreen);
    core.keyboard.KeyDown(kKeyF11);
    EXPECT_FALSE(view.fullScreen);
    view.windowState = kMaximised;
    core.keyboard.KeyDown(kKeyF11);
    EXPECT_EQ(view.windowState, kNormal) << "maximised first gives the ordinary view";

    core.keyboard.KeyDown(kKeyF11);
    core.keyboard.KeyDown(kKeyEscape);
    EXPECT_EQ(view.windowState, kNormal);
    EXPECT_FALSE(clock.Ticking());
    EXPECT_EQ(engine.PlayingName(), "");
    EXPECT_EQ(view.entries.size(), 1);
    core.keyboard.KeyDown(kKeyF1);
    core.keyboard.KeyDown(kKeyF2);
    core.keyboard.KeyDown(kKeyF2);
    EXPECT_EQ(view.helpShown, 1);
    EXPECT_EQ(view.setupShown, 2);
}

// What the desktop's media controls see and may ask.
class MprisTest : public CoreTest {
  protected:
    MprisTest() {
        mpris.propertiesChanged = [this](const QStringList& names) { changes.push_back(names); };
        mpris.seeked = [this](long long us) { seeks.push_back(us); };
    }
    const MprisSnapshot& Now() const { return mpris.Snapshot(); }

    MprisState mpris{engine, state, clock, core, [this](const QString& path) {
                         ++tagReads;
                         return ReadTrackTags(path);
                     }};
    int tagReads = 0;
    std::vector<QStringList> changes;
    std::vector<long long> seeks;
};

TEST_F(MprisTest, EachStartIsANewTrackAndThePauseBetweenTracksStillPlays) {
    engine.tracks["a.wav"] = {.seconds = 1.5};
    Choose({"a.wav", "b.wav"});
    ASSERT_EQ(changes.size(), 1u) << "one announcement for the whole change";
    EXPECT_EQ(changes[0], (QStringList{"PlaybackStatus", "Metadata", "CanGoNext", "CanGoPrevious",
                                       "CanPlay", "CanSeek"}));
    EXPECT_TRUE(Now().playing);
    EXPECT_EQ(tagReads, 0) << "nothing asked for the track yet";
    EXPECT_EQ(mpris.Track().title, "a.wav") << "no tags: the file name";
    EXPECT_EQ(mpris.Track().title, "a.wav");
    EXPECT_EQ(tagReads, 1) << "the tags are read once";
    EXPECT_TRUE(Now().track.artists.isEmpty());
    EXPECT_EQ(Now().track.lengthUs, 1'500'000);
    EXPECT_EQ(Now().track.url, QUrl::fromLocalFile(Path("a.wav")).toString());
    const QString first = Now().track.trackId;
    mpris.TempoChanged(128);
    EXPECT_EQ(Now().track.bpm, 128);
    EXPECT_EQ(changes.back(), QStringList{"Metadata"}) << "the tempo found is announced";

    clock.Advance(1600);
    ASSERT_TRUE(core.sequence.isBetweenTracks());
    EXPECT_TRUE(Now().playing);
    clock.Advance(2010);
    EXPECT_EQ(tagReads, 2) << "once asked, each new track is read as it starts";
    EXPECT_EQ(Now().track.title, "b.wav");
    EXPECT_NE(Now().track.trackId, first);
    EXPECT_EQ(Now().track.bpm, 0) << "the last track's tempo";
    EXPECT_EQ(changes.back(), QStringList{"Metadata"});

    mpris.Stop();
    EXPECT_EQ(changes.back(), QStringList{"PlaybackStatus"});
    EXPECT_EQ(mpris.PositionUs(), 0);
    view.selected = 0;
    core.playlist.RemoveSelected();
    core.playlist.RemoveSelected();
    EXPECT_EQ(Now(), MprisSnapshot{}) << "an empty list has no track";
}

TEST_F(MprisTest, PositionsGoToTheCurrentTrackOnlyAndPastItsEndToTheNext) {
    engine.tracks["a.wav"] = {.seconds = 10};
    Choose({"a.wav", "b.wav"});
    const QString id = Now().track.trackId;
    mpris.SetPosition("/org/chromola/Chromola/Track/0", 5'000'000);  // a stale id
    mpris.SetPosition(id, 11'000'000);                               // past the end
    mpris.SetPosition(id, -1);
    EXPECT_TRUE(seeks.empty());
    mpris.SetPosition(id, 5'000'000);
    EXPECT_EQ(seeks, std::vector<long long>{5'000'000});
    clock.Advance(1000);
    EXPECT_EQ(mpris.PositionUs(), 6'000'000);
    mpris.Seek(-9'000'000);
    EXPECT_EQ(seeks.back(), 0) << "no earlier than the start";
    mpris.Seek(12'000'000);
    EXPECT_EQ(engine.PlayingName(), "b.wav");
}

// What a local path opens: the core (FilesOpenedFromOutsideListedUnderTheirCommonFolder).
TEST_F(MprisTest, OpenUriTakesLocalFilesOnly) {
    Choose({"a.wav", "b.wav"});
    EXPECT_FALSE(mpris.OpenUri("https://example.org/a.wav"));
    NeedEventLoop();
    EXPECT_TRUE(mpris.OpenUri(QUrl::fromLocalFile(Path("b.wav")).toString()));
    SpinUntil([this] { return !core.playlist.Opening(); });
    EXPECT_EQ(view.entries, QStringList{"b.wav"});
    EXPECT_EQ(mpris.Track().title, "b.wav");
}

}  // namespace
}  // namespace chromola::testing
