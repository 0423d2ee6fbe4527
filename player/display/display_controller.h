// The colour-music display: every 17 ms tick turns the spectrum of what is
// heard into the window's colour, the three level bars and the position
// bar, and notices the end of a track. Between two tracks it shows the idle
// picture, waits the pause without blocking, and starts the next entry.
#pragma once

#include "clock.h"
#include "display/auto_level.h"
#include "display/colour_levels.h"
#include "display/colour_sink.h"
#include "display/flash_limiter.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/playlist_controller.h"

#include <functional>
#include <vector>

namespace chromola {

class DisplayController {
  public:
    DisplayController(AudioEngine& bass, PlayerState& state, PlayerView& view, Clock& clock,
                      Playback& playback, PlaylistController& playlist);

    // `Timer1`'s tick.
    void Tick();
    // The pause between tracks is over.
    void PauseElapsed();

    // The brightness bar's value (2..32) changed: `Brightness` and `Label1`.
    void BrightnessChanged(int value);
    int BrightnessValue() const { return brightnessValue_; }
    float Brightness() const { return brightness_; }

    bool isBetweenTracks() const { return clock_.PausePending(); }
    // Called when the live source goes away while live mode is on.
    std::function<void()> liveSourceLost;

    // Sinks follow every colour shown from now on; not owned.
    void AddSink(ColourSink* sink) { sinks_.push_back(sink); }

    // Drops the pending start of the next entry (a track was started or
    // stopped by hand meanwhile, or the window is closing) and gives the
    // controls back.
    void CancelPendingStart();

    // The idle look's colour, on the window and every sink.
    void ShowIdleColour();

  private:
    // The colour for this tick's spectrum, after the automatic level and the
    // flash limiter where they are on.
    ColourLevels ShownColour(long long nowMs);
    void EndOfTrack();
    void StartNextEntry();

    AudioEngine& bass_;
    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    PlaylistController& playlist_;
    int brightnessValue_ = 0;
    float brightness_ = 0.0f;
    Spectrum spectrum_{};  // filled in place every tick
    FlashLimiter flashLimiter_;
    AutoLevel autoLevel_;
    long long lastTickMs_ = 0;
    std::vector<ColourSink*> sinks_;
};

}  // namespace chromola
