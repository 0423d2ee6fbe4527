#include "display/display_controller.h"

#include "common/rounding.h"
#include "display/level_bars.h"
#include "transport_math.h"

#include <algorithm>

namespace chromola {

namespace {
constexpr int kPauseStepMs = 10;
}  // namespace

DisplayController::DisplayController(AudioEngine& bass, PlayerState& state, PlayerView& view,
                                     Clock& clock, Playback& playback, PlaylistController& playlist)
    : bass_(bass),
      state_(state),
      view_(view),
      clock_(clock),
      playback_(playback),
      playlist_(playlist) {}

void DisplayController::BrightnessChanged(int value) {
    brightnessValue_ = value;
    brightness_ = BrightnessFromValue(value);
    view_.ShowBrightness(value, BrightnessCaption(value));
}

void DisplayController::Tick() {
    const DWORD channel = state_.CurrentChannel;
    const bool live = state_.Live == 1;
    if (view_.WindowState() != kMinimised) {
        // A failed request leaves the last spectrum in place.
        bass_.BASS_ChannelGetData(channel, spectrum_.data(), BASS_DATA_FFT2048);
        const ColourLevels levels = ShownColour(clock_.NowMs());
        view_.SetBackColour(levels);
        for (ColourSink* sink : sinks_) {
            sink->ShowColour(levels);
        }
        // While the user drags the thumb the bar follows the pointer, not the
        // track; live sound has no position.
        if (!live && !view_.PositionDragged()) {
            const QWORD position = bass_.BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
            view_.SetPosition(RoundHalfEven(playback_.BytesToSeconds(channel, position)));
        }
        view_.SetLevelBarEnds(LevelBarEnd(levels.blue), LevelBarEnd(levels.green),
                              LevelBarEnd(levels.red));
    }
    const DWORD active = bass_.BASS_ChannelIsActive(channel);
    if (live) {
        if (active != BASS_ACTIVE_PLAYING && liveSourceLost) {
            liveSourceLost();
        }
    } else if (active == 0) {
        EndOfTrack();
    }
}

ColourLevels DisplayController::ShownColour(long long nowMs) {
    float brightness = brightness_;
    if (state_.AutoLevel == 1) {
        const ColourParams neutral{BrightnessFromValue(17) * autoLevel_.Factor(), 0.4f, 0.4f, 0.4f,
                                   0};
        const ColourLevels loudness = ComputeColourLevels(spectrum_, neutral);
        brightness *= autoLevel_.Update(std::max({loudness.red, loudness.green, loudness.blue}),
                                        nowMs - lastTickMs_);
    }
    lastTickMs_ = nowMs;
    const ColourLevels levels = ComputeColourLevels(
        spectrum_,
        {brightness, state_.RedGain, state_.GreenGain, state_.BlueGain, state_.InvertColours});
    if (state_.FlashLimit == 1) {
        return flashLimiter_.Limit(levels, nowMs);
    }
    flashLimiter_.Shown(levels, nowMs);
    return levels;
}

void DisplayController::EndOfTrack() {
    clock_.StopTicks();
    // With nothing left in the list, or after a whole round in which no
    // entry could be played, the player stops instead of retrying for ever.
    const bool stop = state_.Entries.isEmpty() || playlist_.WholeRoundFailed();
    if (!stop) {
        view_.EnableTransport(false);
    }
    view_.ShowPicture(true);
    ShowIdleColour();
    view_.ClearMessage();
    // A track that could not be played ends at the first tick after its
    // message was printed; the message stays up through the pause so that
    // it can be read, until the next track starts.
    if (!playlist_.Failure().isEmpty()) {
        view_.PrintMessage(playlist_.Failure());
    }
    if (stop) {
        playback_.Notify(PlaybackEvent::Stopped);
        return;
    }
    const int steps = PauseSteps(state_.PauseSeconds);
    if (steps > 0) {
        clock_.StartPause(steps * kPauseStepMs);
    } else {
        StartNextEntry();
    }
}

void DisplayController::ShowIdleColour() {
    view_.SetBackColour(kIdleColour);
    flashLimiter_.Shown(kIdleColour, clock_.NowMs());
    for (ColourSink* sink : sinks_) {
        sink->ShowIdle();
    }
}

void DisplayController::PauseElapsed() {
    StartNextEntry();
}

void DisplayController::StartNextEntry() {
    const int count = static_cast<int>(state_.Entries.size());
    if (count == 0) {
        // The list was emptied during the pause: nothing to go on with.
        view_.EnableTransport(true);
        playback_.Notify(PlaybackEvent::Stopped);
        return;
    }
    state_.TrackIndex = NextIndex(state_.TrackIndex, count);
    view_.SelectEntry(state_.TrackIndex);
    view_.EnableTransport(true);
    view_.ShowPicture(false);
    view_.SetBackColour(kBlack);
    playlist_.PlaySelected();
}

void DisplayController::CancelPendingStart() {
    if (!clock_.PausePending()) {
        return;
    }
    clock_.CancelPause();
    view_.EnableTransport(true);
}

}  // namespace chromola
