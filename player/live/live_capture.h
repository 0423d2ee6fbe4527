// Live mode: the display shows the colour of the sound the computer plays
// (the default output's monitor) or of the microphone, instead of a track.
// F9 turns it on and off; starting a track leaves it. While it is on, the
// track is stopped, the picture hidden and the position bar disabled, and
// the display ticks as for a track. A source that cannot be captured, or
// that goes away, is reported where a file that cannot be played is.
#pragma once

#include "clock.h"
#include "display/display_controller.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/track_sequence.h"

namespace chromola {

class LiveCapture {
  public:
    LiveCapture(AudioEngine& bass, PlayerState& state, PlayerView& view, Clock& clock,
                Playback& playback, DisplayController& display, TrackSequence& sequence);

    // F9.
    void Toggle();
    // Starts capturing the source `PlayerState::LiveSource` names.
    void Enter();
    // Stops capturing. `idleLook`: show the idle look (live mode was turned
    // off), else leave the window to the track that starts now.
    void Leave(bool idleLook);
    // The source went away while capturing.
    void SourceLost();
    bool Active() const { return state_.Live == 1; }

    static constexpr char kCannotCaptureMessage[] = "Источник звука не доступен!";
    static constexpr char kSourceLostMessage[] = "Источник звука пропал!";

  private:
    void Fail(const char* message);

    AudioEngine& bass_;
    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    DisplayController& display_;
    TrackSequence& sequence_;
};

}  // namespace chromola
