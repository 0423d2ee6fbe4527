// A causal beat tracker for live sound: fed the captured samples as they
// come, it reports onsets as soon as it hears them and beats on a tempo it
// has locked to.
//
// Contract
// - In: mono float samples (full scale 1.0) at `sampleRate`, in blocks of
//   any size, in the order they were captured; times are seconds from the
//   first sample pushed.
// - Out (appended by Push):
//   - an Onset event per onset, at the time it was detected (the newest
//     sample's time, within ~30 ms of the sound's start);
//   - a Beat event per beat, at the time the beat is heard: the prediction
//     made from the locked tempo and phase, given once the samples pushed
//     reach that time (so never before it, and at most one block after it).
//   Bpm() is the locked tempo (0 while none), NextBeat() the predicted time of
//   the next beat (a negative value while none).
// - Locks a steady tempo within ~3-6 s, a new one within ~8 s of a change;
//   no onsets and no beats in silence or in sound under the floor
//   (OnsetCurve::kFloorDbfs). Steady noise above the floor is not told from
//   music: it may give onsets and beats (a known limit).
// - Cost: O(1) work per ~11 ms hop (a 256-point FFT, a ~190-lag leaky
//   autocorrelation, a comb over the last twelve beats): about 0.06 % of one
//   core at 48 kHz, and a comb over the last ~6 s for each of a few
//   candidate tempi every 8 hops.
// Not thread-safe; one object per stream (the capture thread's, typically).
#pragma once

#include "beats/onset_curve.h"

#include <cstddef>
#include <vector>

namespace chromola::beats {

struct LiveEvent {
    enum class Kind { Onset, Beat };
    Kind kind = Kind::Onset;
    double seconds = 0.0;
};

class LiveBeatTracker {
  public:
    explicit LiveBeatTracker(double sampleRate);
    void Push(const float* mono, std::size_t count, std::vector<LiveEvent>& out);
    double Bpm() const;
    double NextBeat() const;

  private:
    void Frame(const OnsetFrame& frame, std::vector<LiveEvent>& out);
    void UpdateTempo();
    double Phase(double period) const;
    double Comb(double period, double toll) const;
    float History(long framesAgo) const;
    double FrameTime(double frame) const { return (frame + 1.0) * hop_; }

    OnsetCurve curve_;
    double hop_;
    std::vector<OnsetFrame> frames_;
    std::vector<float> history_;  // the normalised onset curve, a ring
    std::vector<float> recent_;   // history_ in time order, newest first
    std::vector<float> acf_;      // leaky autocorrelation of history_
    long frame_ = -1;             // index of the newest frame
    double decay_;
    double peakDecay_;
    double loudest_ = 0.0;  // the strongest recent onset, decaying
    double fluxMean_ = 0.0, fluxDeviation_ = 0.0, onsetMean_ = 0.0;
    float last_ = 0.0f, beforeLast_ = 0.0f;
    long lastOnset_ = -1000000, lastActive_ = -1000000;
    double period_ = 0.0;     // locked period in frames, 0 while none
    double candidate_ = 0.0;  // the estimate that would replace it
    int agreeing_ = 0;        // estimates in a row near candidate_
    double nextBeat_ = -1.0;  // frame of the next beat, -1 while none
    double lastBeat_ = -1.0;  // frame of the last beat given
};

}  // namespace chromola::beats
