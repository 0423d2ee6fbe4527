// The player's logic without a window: playback of the one channel, the
// playlist, the display's tick and the pause between tracks, the keys. It
// drives a PlayerView and a Clock and calls the audio library through an
// AudioEngine; the main window and the tests supply all three.
#pragma once

#include "beats/track_beats.h"
#include "clock.h"
#include "display/display_controller.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "keys/keyboard_control.h"
#include "live/live_capture.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/playlist_controller.h"
#include "playlist/track_sequence.h"

namespace chromola {

class PlayerCore {
  public:
    PlayerCore(AudioEngine& engine, PlayerState& state, PlayerView& view, Clock& clock);
    PlayerCore(const PlayerCore&) = delete;
    PlayerCore& operator=(const PlayerCore&) = delete;

    Playback playback;
    PlaylistController playlist;
    DisplayController display;
    TrackSequence sequence;
    LiveCapture live;
    KeyboardControl keyboard;
    TrackBeats beats;
};

}  // namespace chromola
