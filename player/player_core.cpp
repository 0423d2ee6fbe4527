#include "player_core.h"

namespace chromola {

PlayerCore::PlayerCore(AudioEngine& engine, PlayerState& state, PlayerView& view, Clock& clock)
    : playback(engine, state),
      playlist(state, view, clock, playback),
      display(engine, state, view, clock, playback),
      sequence(state, view, clock, playback, playlist, display),
      live(engine, state, view, clock, playback, display, sequence),
      keyboard(engine, state, view, clock, playback, playlist, display, sequence, live),
      beats(engine, state, playback) {
    display.FollowBeats(&beats);
    // A track started by hand or by a key during the pause between tracks
    // replaces the pending start of the next entry.
    playlist.beforeTrackStart = [this, &view] {
        live.Leave(false);
        if (sequence.isBetweenTracks()) {
            sequence.CancelPendingStart();
            view.ShowPicture(false);
            view.SetBackColour(kBlack);
        }
    };
    playlist.showIdleColour = [this] { display.ShowIdleColour(); };
    display.trackEnded = [this] { sequence.EndOfTrack(); };
    display.liveSourceLost = [this] { live.SourceLost(); };
}

}  // namespace chromola
