#include "playlist/track_sequence.h"

#include "transport_math.h"

namespace chromola {

namespace {
constexpr int kPauseStepMs = 10;
}  // namespace

TrackSequence::TrackSequence(PlayerState& state, PlayerView& view, Clock& clock, Playback& playback,
                             PlaylistController& playlist, DisplayController& display)
    : state_(state),
      view_(view),
      clock_(clock),
      playback_(playback),
      playlist_(playlist),
      display_(display) {}

void TrackSequence::EndOfTrack() {
    clock_.StopTicks();
    // With nothing left in the list, or after a whole round in which no
    // entry could be played, the player stops instead of retrying for ever.
    const bool stop = state_.Entries.isEmpty() || playlist_.WholeRoundFailed();
    if (!stop) {
        view_.EnableTransport(false);
    }
    view_.ShowPicture(true);
    display_.ShowIdleColour();
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

void TrackSequence::PauseElapsed() {
    StartNextEntry();
}

void TrackSequence::StartNextEntry() {
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

void TrackSequence::CancelPendingStart() {
    if (!clock_.PausePending()) {
        return;
    }
    clock_.CancelPause();
    view_.EnableTransport(true);
}

}  // namespace chromola
