#include "beats/tempo.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace chromola::beats {

namespace {

constexpr double kPriorCentreBpm = 120.0;
constexpr double kPriorOctaves = 1.5;

}  // namespace

double PeriodFrames(double bpm, double hopSeconds) {
    return 60.0 / (bpm * hopSeconds);
}

double TempoPrior(double period, double hopSeconds) {
    const double octaves = std::log2(PeriodFrames(kPriorCentreBpm, hopSeconds) / period);
    return std::exp(-0.5 * (octaves / kPriorOctaves) * (octaves / kPriorOctaves));
}

double AcfAt(std::span<const float> acf, double lag) {
    if (lag < 0.0 || lag + 1.0 >= static_cast<double>(acf.size()))
        return 0.0;
    const auto k = static_cast<std::size_t>(lag);
    const double f = lag - static_cast<double>(k);
    return std::max(0.0, (1.0 - f) * acf[k] + f * acf[k + 1]);
}

TempoEstimate ChooseTempo(std::span<const float> acf, double hopSeconds) {
    TempoEstimate estimate;
    if (acf.size() < 3 || !(acf[0] > 0.0f))
        return estimate;
    const int shortest =
        std::max(2, static_cast<int>(std::floor(PeriodFrames(kMaxBpm, hopSeconds))));
    const int longest = std::min(static_cast<int>(acf.size()) - 2,
                                 static_cast<int>(std::ceil(PeriodFrames(kMinBpm, hopSeconds))));
    // Each period's own periodicity and half its double's: a beat is also a
    // period of its bars, a subdivision is not a period of the beat.
    auto score = [&](double lag) {
        return TempoPrior(lag, hopSeconds) * (AcfAt(acf, lag) + 0.5 * AcfAt(acf, 2.0 * lag));
    };
    int best = 0;
    double bestScore = 0.0;
    for (int lag = shortest; lag <= longest; ++lag) {
        if (acf[lag] < acf[lag - 1] || acf[lag] < acf[lag + 1])
            continue;  // local peaks only
        const double s = score(lag);
        if (s > bestScore) {
            bestScore = s;
            best = lag;
        }
    }
    if (best == 0)
        return estimate;
    const double a = acf[best - 1], b = acf[best], c = acf[best + 1];
    const double denominator = a - 2.0 * b + c;
    const double offset =
        denominator < 0.0 ? std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5) : 0.0;
    estimate.period = best + offset;
    estimate.salience = AcfAt(acf, estimate.period) / acf[0];
    if (estimate.salience < kMinSalience)
        estimate = {};
    return estimate;
}

// A strong onset's height: the upper quartile of the curve's peaks.
double TypicalPeak(std::span<const float> curve) {
    std::vector<float> peaks;
    for (std::size_t i = 1; i + 1 < curve.size(); ++i)
        if (curve[i] > 0.0f && curve[i] >= curve[i - 1] && curve[i] > curve[i + 1])
            peaks.push_back(curve[i]);
    if (peaks.empty())
        return 0.0;
    const auto q = peaks.begin() + static_cast<long>(peaks.size() * 3 / 4);
    std::nth_element(peaks.begin(), q, peaks.end());
    return *q;
}

// The periods worth a chain of beats: the autocorrelation's strongest peaks
// and their halves, doubles, two-thirds and three-halves.
std::vector<double> Candidates(std::span<const float> acf, double hop) {
    const double shortest = PeriodFrames(kMaxBpm, hop), longest = PeriodFrames(kMinBpm, hop);
    std::vector<std::pair<double, double>> peaks;  // weight, lag
    for (std::size_t k = 2; k + 1 < acf.size() && static_cast<double>(k) <= 2.0 * longest; ++k)
        if (acf[k] > 0.0f && acf[k] >= acf[k - 1] && acf[k] > acf[k + 1]) {
            // The peak between lags, by a parabola through three: a comb of
            // many beats needs the period finer than a frame.
            const double a = acf[k - 1], b = acf[k], c = acf[k + 1];
            const double d = a - 2.0 * b + c;
            const double lag =
                static_cast<double>(k) + (d < 0.0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0);
            peaks.emplace_back(acf[k] * TempoPrior(lag, hop), lag);
        }
    std::sort(peaks.rbegin(), peaks.rend());
    std::vector<double> out;
    for (std::size_t i = 0; i < peaks.size() && i < kAcfPeaks; ++i) {
        for (double m : {1.0, 0.5, 2.0, 2.0 / 3.0, 1.5}) {
            const double p = peaks[i].second * m;
            if (p < shortest || p > longest)
                continue;
            if (std::none_of(out.begin(), out.end(),
                             [&](double c) { return std::abs(p / c - 1.0) < 0.03; }))
                out.push_back(p);
        }
    }
    return out;
}

}  // namespace chromola::beats
