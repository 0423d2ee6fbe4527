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

#include <cstddef>
#include <span>
#include <vector>

namespace chromola::beats {

inline constexpr double kMinBpm = 55.0;
inline constexpr double kMaxBpm = 215.0;
inline constexpr double kMinSalience = 0.03;

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

// The metrical level is chosen among candidate periods (frames) by the chain
// of beats that best explains the onsets when every beat pays a toll of
// kBeatToll * TypicalPeak: a chain too fast pays for beats on weak
// subdivisions, one too slow (or off by 2/3, 3/2) forgoes strong onsets.
inline constexpr double kBeatToll = 0.5;
inline constexpr std::size_t kAcfPeaks = 3;
// A strong onset's height: the upper quartile of the curve's peaks.
double TypicalPeak(std::span<const float> curve);
// The autocorrelation's kAcfPeaks strongest peaks (under the prior) and their
// halves, doubles, two-thirds and three-halves, within kMinBpm .. kMaxBpm.
std::vector<double> Candidates(std::span<const float> acf, double hopSeconds);

}  // namespace chromola::beats
