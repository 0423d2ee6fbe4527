#include "player_core.h"

namespace chromola {

PlayerCore::PlayerCore(AudioEngine& engine, PlayerState& state, PlayerView& view, Clock& clock)
    : playback(engine, state),
      playlist(state, view, clock, playback),
      display(engine, state, view, clock, playback, playlist),
      keyboard(engine, state, view, clock, playback, playlist, display) {
    // A track started by hand or by a key during the pause between tracks
    // replaces the pending start of the next entry.
    playlist.beforeTrackStart = [this, &view] {
        if (display.isBetweenTracks()) {
            display.CancelPendingStart();
            view.ShowPicture(false);
            view.SetBackColour(kBlack);
        }
    };
    playlist.showIdleColour = [this] { display.ShowIdleColour(); };
}

}  // namespace chromola
