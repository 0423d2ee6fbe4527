// The colour-music display: every 17 ms tick turns the spectrum of what is
// heard into the window's colour, the three level bars and the position
// bar, and notices the end of a track, which it reports (trackEnded).
//
// The tick may run on a thread of the clock's own (clock.h): it then draws
// through a FrameView that is safe there, reads the settings it needs from
// atomics, and hands the position, the end of a track and a lost live
// source to the owner's thread.
#pragma once

#include "beats/live_beats.h"
#include "clock.h"
#include "display/auto_level.h"
#include "display/beat_display.h"
#include "display/colour_levels.h"
#include "display/colour_log.h"
#include "display/colour_sink.h"
#include "display/flash_limiter.h"
#include "display/frame_view.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "player_state.h"
#include "player_view.h"

#include <atomic>
#include <functional>
#include <memory>
#include <vector>

namespace chromola {

class TrackBeats;

class DisplayController {
  public:
    DisplayController(AudioEngine& bass, PlayerState& state, PlayerView& view, Clock& clock,
                      Playback& playback);

    // `Timer1`'s tick.
    void Tick();

    // The brightness bar's value (2..32) changed: `Brightness` and `Label1`.
    void BrightnessChanged(int value);
    int BrightnessValue() const { return brightnessValue_; }
    float Brightness() const { return brightness_.load(std::memory_order_relaxed); }

    // Ticks draw through `frame` from now on instead of the PlayerView; not
    // owned. For a window that can draw from the clock's tick thread.
    void DrawFramesWith(FrameView* frame) { frame_ = frame; }

    // Called on the clock's owner thread, the ticks stopped, when the track
    // has been heard to its end.
    std::function<void()> trackEnded;
    // Likewise when the live source goes away while live mode is on.
    std::function<void()> liveSourceLost;

    // Sinks follow every colour shown from now on; not owned.
    void AddSink(ColourSink* sink) { sinks_.push_back(sink); }

    // Beats from `beats` move the colour (BeatAccent, BeatScene); each one
    // shown goes to `log` when there is one. Neither owned.
    void FollowBeats(TrackBeats* beats) { beats_ = beats; }
    void LogBeatsTo(BeatLog* log) { beatLog_ = log; }

    // The idle look's colour, on the window and every sink.
    void ShowIdleColour();

  private:
    // The colour for this tick's spectrum, after the automatic level and the
    // flash limiter where they are on.
    ColourLevels ShownColour(long long nowMs);
    // This tick's colour to every sink; the bands to those that want them.
    void ShowOnSinks(const ColourLevels& levels);
    // The accent and the scene of the beats heard by now.
    ColourLevels OnTheBeat(ColourLevels levels, long long nowMs);
    // How many beats the live tracker heard in the sound captured since the
    // last tick; -1 while it cannot listen.
    int LiveBeats();

    // Draws ticks through the PlayerView, on the owner's thread.
    class ViewFrame final : public FrameView {
      public:
        explicit ViewFrame(PlayerView& view) : view_(view) {}
        bool Minimised() const override { return view_.WindowState() == kMinimised; }
        int Position() const override { return view_.Position(); }
        bool PositionDragged() const override { return view_.PositionDragged(); }
        bool ShowFrame(const ColourLevels& colour, int blueX2, int greenX2, int redX2) override;

      private:
        PlayerView& view_;
    };

    AudioEngine& bass_;
    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    ViewFrame viewFrame_{view_};
    FrameView* frame_ = &viewFrame_;
    int brightnessValue_ = 0;
    std::atomic<float> brightness_{0.0f};  // read by the tick
    Spectrum spectrum_{};                  // filled in place every tick
    FlashLimiter flashLimiter_;
    AutoLevel autoLevel_;
    long long lastTickMs_ = 0;
    ColourParams shownParams_{};  // what this tick's colour was computed with
    StripInput strip_{};          // this tick's bands, for the sinks that want them
    std::vector<ColourSink*> sinks_;
    TrackBeats* beats_ = nullptr;
    BeatLog* beatLog_ = nullptr;
    BeatFollower beatFollower_;
    long long beatMs_ = -kAccentMs;  // the tick of the last beat shown
    double accent_ = 0.0;            // this tick's accent, for the strip's bands too
    int sceneSteps_ = 0;
    double beatBpm_ = 0.0;  // the tempo of the last beat shown
    // Live mode's tracker on the capture's samples (the tick's own).
    std::unique_ptr<beats::LiveBeatTracker> live_;
    DWORD liveChannel_ = 0;
    QWORD liveRate_ = 0;
    long liveBeats_ = 0;
    int liveBpm_ = 0;
    std::vector<float> liveSamples_;
    std::vector<beats::LiveEvent> liveEvents_;
};

}  // namespace chromola
