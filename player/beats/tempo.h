// The tempo of an onset curve: the autocorrelation's strongest period under a
// broad prior, shared by the file analysis and the live tracker.
//
// Contract
// - In: an autocorrelation `acf` of a mean-removed onset curve, acf[k] for a
//   lag of k frames, k = 0 .. acf.size() - 1, with frames hopSeconds apart.
//   It should reach 2 * PeriodFrames(kMinBpm) for the half-tempo evidence.
// - Out: the beat period in frames (fractional, by parabolic interpolation)
//   and its salience, the autocorrelation there over acf[0] (0 .. 1); a
//   salience under kMinSalience means no steady beat (silence, noise).
// - The prior is a log-Gaussian over the tempo, centred at 120 BPM and an
//   octave and a half wide: it ranks octaves where the onset curve cannot, but
//   a tempo with clear evidence at 70 or 180 BPM keeps it.
#pragma once

#include <span>

namespace chromola::beats {

inline constexpr double kMinBpm = 55.0;
inline constexpr double kMaxBpm = 215.0;
inline constexpr double kMinSalience = 0.08;

struct TempoEstimate {
    double period = 0.0;    // frames per beat; 0 when no tempo was found
    double salience = 0.0;  // 0 .. 1
};

double PeriodFrames(double bpm, double hopSeconds);
// The prior's weight of a period in frames (1 at 120 BPM).
double TempoPrior(double period, double hopSeconds);
// The autocorrelation at a fractional lag, 0 outside it, negative values as 0.
double AcfAt(std::span<const float> acf, double lag);
TempoEstimate ChooseTempo(std::span<const float> acf, double hopSeconds);

}  // namespace chromola::beats
