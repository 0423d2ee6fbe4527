#include "display/display_controller.h"

#include "beats/track_beats.h"
#include "common/rounding.h"
#include "display/level_bars.h"
#include "transport_math.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace chromola {

DisplayController::DisplayController(AudioEngine& bass, PlayerState& state, PlayerView& view,
                                     Clock& clock, Playback& playback)
    : bass_(bass), state_(state), view_(view), clock_(clock), playback_(playback) {}

void DisplayController::BrightnessChanged(int value) {
    brightnessValue_ = value;
    brightness_.store(BrightnessFromValue(value), std::memory_order_relaxed);
    view_.ShowBrightness(value, BrightnessCaption(value));
}

bool DisplayController::ViewFrame::ShowFrame(const ColourLevels& colour, int blueX2, int greenX2,
                                             int redX2) {
    view_.SetBackColour(colour);
    view_.SetLevelBarEnds(blueX2, greenX2, redX2);
    return true;
}

void DisplayController::Tick() {
    const DWORD channel = state_.CurrentChannel;
    const bool live = state_.Live == 1;
    if (!frame_->Minimised()) {
        // A failed request leaves the last spectrum in place.
        bass_.BASS_ChannelGetData(channel, spectrum_.data(), BASS_DATA_FFT2048);
        const ColourLevels levels = ShownColour(clock_.NowMs());
        const int blueX2 = LevelBarEnd(levels.blue);
        const int greenX2 = LevelBarEnd(levels.green);
        const int redX2 = LevelBarEnd(levels.red);
        if (!frame_->ShowFrame(levels, blueX2, greenX2, redX2)) {
            clock_.RunOnOwner([this, levels, blueX2, greenX2, redX2] {
                view_.SetBackColour(levels);
                view_.SetLevelBarEnds(blueX2, greenX2, redX2);
            });
        }
        ShowOnSinks(levels);
        // While the user drags the thumb the bar follows the pointer, not the
        // track; live sound has no position. The bar moves only when the
        // whole second it shows changes.
        if (!live && !frame_->PositionDragged()) {
            const QWORD position = bass_.BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
            const int seconds = RoundHalfEven(playback_.BytesToSeconds(channel, position));
            if (seconds != frame_->Position()) {
                clock_.RunOnOwner([this, seconds] {
                    if (!view_.PositionDragged()) {
                        view_.SetPosition(seconds);
                    }
                });
            }
        }
    }
    const DWORD active = bass_.BASS_ChannelIsActive(channel);
    if (live) {
        if (active != BASS_ACTIVE_PLAYING && liveSourceLost) {
            clock_.StopTicks();
            clock_.RunOnOwner([this] { liveSourceLost(); });
        }
    } else if (active == 0) {
        clock_.StopTicks();
        clock_.RunOnOwner([this] {
            if (trackEnded) {
                trackEnded();
            }
        });
    }
}

ColourLevels DisplayController::ShownColour(long long nowMs) {
    float brightness = Brightness();
    if (state_.AutoLevel == 1) {
        const ColourParams neutral{BrightnessFromValue(17) * autoLevel_.Factor(), 0.4f, 0.4f, 0.4f,
                                   0};
        const ColourLevels loudness = ComputeColourLevels(spectrum_, neutral);
        brightness *= autoLevel_.Update(std::max({loudness.red, loudness.green, loudness.blue}),
                                        nowMs - lastTickMs_);
    }
    lastTickMs_ = nowMs;
    shownParams_ = {brightness, state_.RedGain, state_.GreenGain, state_.BlueGain,
                    state_.InvertColours};
    const ColourLevels levels = OnTheBeat(ComputeColourLevels(spectrum_, shownParams_), nowMs);
    if (state_.FlashLimit == 1) {
        return flashLimiter_.Limit(levels, nowMs);
    }
    flashLimiter_.Shown(levels, nowMs);
    return levels;
}

// The bands come from the same spectrum and parameters as the colour; the
// strip's own limiter acts on them (strip_frame.h), as the window's did on
// the colour.
void DisplayController::ShowOnSinks(const ColourLevels& levels) {
    bool bandsMade = false;
    for (ColourSink* sink : sinks_) {
        if (!sink->WantsBands()) {
            sink->ShowColour(levels);
            continue;
        }
        if (!std::exchange(bandsMade, true)) {
            strip_.bands = ComputeBandLevels(spectrum_, shownParams_);
            AccentBands(strip_.bands, accent_);
            strip_.sceneSteps = sceneSteps_;
            strip_.shown = levels;
            strip_.limitFlashes = state_.FlashLimit == 1;
            strip_.nowMs = lastTickMs_;
        }
        sink->ShowStrip(strip_);
    }
}

ColourLevels DisplayController::OnTheBeat(ColourLevels levels, long long nowMs) {
    const int accent = state_.BeatAccent;
    const int scene = state_.BeatScene;
    const DWORD channel = state_.CurrentChannel;
    const bool wanted = (accent == 1 || scene != 0) && beats_ != nullptr;
    if (!wanted || state_.Live == 0) {
        live_.reset();
    }
    int heard = -1;
    long index = -1;
    if (wanted && state_.Live == 1) {
        heard = LiveBeats();
        index = liveBeats_ - 1;
    } else if (const TrackGrid* grid = wanted ? beats_->GridFor(channel) : nullptr) {
        const QWORD position = bass_.BASS_ChannelGetPosition(channel, BASS_POS_BYTE);
        if (position != static_cast<QWORD>(-1)) {
            // The spectrum's window is centred on the heard frame: the beat
            // is shown when it is heard, as the colour of its sound is.
            heard = beatFollower_.Advance(grid->grid.beats,
                                          playback_.BytesToSeconds(channel, position));
            index = beatFollower_.LastIndex();
            beatBpm_ = grid->grid.bpm;
        }
    }
    accent_ = 0.0;
    sceneSteps_ = 0;
    if (heard < 0) {
        beatFollower_.Reset();
        return levels;
    }
    for (; heard > 0; --heard) {
        beatMs_ = nowMs;
        if (beatLog_ != nullptr) {
            beatLog_->Beat(nowMs, beatBpm_);
        }
    }
    sceneSteps_ = SceneSteps(index, scene);
    levels = Rotated(levels, sceneSteps_);
    if (accent == 1) {
        accent_ = AccentAmount(nowMs - beatMs_);
        levels = Accented(levels, accent_);
    }
    return levels;
}

int DisplayController::LiveBeats() {
    constexpr std::size_t kBlock = 4096;
    const DWORD channel = state_.CurrentChannel;
    // Twice the rate the capture records at now: its mono 16-bit frames.
    const QWORD rate = bass_.BASS_ChannelSeconds2Bytes(channel, 1.0);
    if (rate == static_cast<QWORD>(-1) || rate == 0) {
        return -1;
    }
    if (live_ == nullptr || channel != liveChannel_ || rate != liveRate_) {
        live_ = std::make_unique<beats::LiveBeatTracker>(static_cast<double>(rate) / 2.0);
        liveChannel_ = channel;
        liveRate_ = rate;
        liveBeats_ = 0;
        liveSamples_.resize(kBlock);
    }
    for (;;) {
        const DWORD got =
            bass_.BASS_ChannelGetData(channel, liveSamples_.data(),
                                      static_cast<DWORD>(kBlock * sizeof(float)) | BASS_DATA_FLOAT);
        if (got == static_cast<DWORD>(-1) || got == 0) {
            break;
        }
        live_->Push(liveSamples_.data(), got / sizeof(float), liveEvents_);
        if (got < kBlock * sizeof(float)) {
            break;
        }
    }
    int beats = 0;
    for (const beats::LiveEvent& event : liveEvents_) {
        beats += event.kind == beats::LiveEvent::Kind::Beat ? 1 : 0;
    }
    liveEvents_.clear();
    liveBeats_ += beats;
    beatBpm_ = live_->Bpm();
    if (const int bpm = static_cast<int>(std::lround(beatBpm_)); bpm != liveBpm_) {
        liveBpm_ = bpm;
        clock_.RunOnOwner([this, bpm] { beats_->LiveTempo(bpm); });
    }
    return beats;
}

void DisplayController::ShowIdleColour() {
    view_.SetBackColour(kIdleColour);
    flashLimiter_.Shown(kIdleColour, clock_.NowMs());
    for (ColourSink* sink : sinks_) {
        sink->ShowIdle();
    }
}

}  // namespace chromola
