// From one track to the next: when a track has been heard to its end the
// idle picture shows, the pause between tracks runs without blocking, and
// the next entry starts (wrapping round) by the playlist's one road. A list
// in which no entry could be played in a whole round stops instead of
// retrying for ever.
#pragma once

#include "clock.h"
#include "display/display_controller.h"
#include "engine/playback.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/playlist_controller.h"

namespace chromola {

class TrackSequence {
  public:
    TrackSequence(PlayerState& state, PlayerView& view, Clock& clock, Playback& playback,
                  PlaylistController& playlist, DisplayController& display);

    // The display heard the track end; on the clock's owner thread.
    void EndOfTrack();
    // The pause between tracks is over.
    void PauseElapsed();
    bool isBetweenTracks() const { return clock_.PausePending(); }
    // Drops the pending start of the next entry (a track was started or
    // stopped by hand meanwhile, or the window is closing) and gives the
    // controls back.
    void CancelPendingStart();

  private:
    void StartNextEntry();

    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    PlaylistController& playlist_;
    DisplayController& display_;
};

}  // namespace chromola
