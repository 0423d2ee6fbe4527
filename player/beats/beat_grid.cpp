#include "beats/beat_grid.h"

#include "beats/tempo.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace chromola::beats {

namespace {

constexpr int kHop = 64;
// How much a beat interval may stretch between neighbours (Ellis's alpha):
// higher holds the tempo tighter, lower follows drift and noise alike.
constexpr double kTightness = 1000.0;
constexpr double kLocalWindowSeconds = 8.0;
constexpr double kLocalStepSeconds = 2.0;
// Beats between two onsets further apart than this many beats are in silence.
constexpr double kGapBeats = 4.5;
// How far, in octaves, a window's tempo leans towards the whole recording's.
constexpr double kLocalSpread = 0.25;
// Beats go on this many beats after the sound stops, and start this many
// before it resumes.
constexpr double kTailBeats = 1.2;
constexpr double kLeadBeats = 0.25;

// The onset curve with its slow part taken away and scaled to unit
// deviation: what counts is how much a frame stands out of its neighbours.
std::vector<float> Normalised(const std::vector<OnsetFrame>& frames) {
    const std::size_t n = frames.size();
    const int radius = 64;  // ~0.37 s each way
    std::vector<double> prefix(n + 1, 0.0);
    for (std::size_t i = 0; i < n; ++i)
        prefix[i + 1] = prefix[i] + frames[i].flux;
    std::vector<float> out(n);
    double sumSquares = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t lo = i >= radius ? i - radius : 0;
        const std::size_t hi = std::min(n, i + radius + 1);
        const double mean = (prefix[hi] - prefix[lo]) / static_cast<double>(hi - lo);
        out[i] = static_cast<float>(std::max(0.0, frames[i].flux - mean));
        sumSquares += out[i] * out[i];
    }
    const double deviation =
        std::sqrt(sumSquares / static_cast<double>(std::max<std::size_t>(n, 1)));
    if (deviation > 0.0)
        for (auto& v : out)
            v = static_cast<float>(v / deviation);
    return out;
}

// Autocorrelation of curve[from, to) less its mean, for lags 0 .. lags-1.
std::vector<float> Autocorrelation(const std::vector<float>& curve, std::size_t from,
                                   std::size_t to, std::size_t lags) {
    std::vector<float> centred(curve.begin() + from, curve.begin() + to);
    const double mean = std::accumulate(centred.begin(), centred.end(), 0.0) /
                        static_cast<double>(std::max<std::size_t>(centred.size(), 1));
    for (auto& v : centred)
        v = static_cast<float>(v - mean);
    std::vector<float> acf(lags, 0.0f);
    const std::size_t n = centred.size();
    for (std::size_t k = 0; k < lags && k < n; ++k) {
        float sum = 0.0f;
        for (std::size_t i = k; i < n; ++i)
            sum += centred[i] * centred[i - k];
        acf[k] = sum;
    }
    return acf;
}

// The beat period around each frame: the local autocorrelation's peak near
// the whole recording's period, so that a slow drift is followed but the
// tempo never jumps an octave.
std::vector<double> LocalPeriods(const std::vector<float>& curve, double period,
                                 double hopSeconds) {
    const std::size_t n = curve.size();
    const auto window = static_cast<std::size_t>(kLocalWindowSeconds / hopSeconds);
    const auto step = static_cast<std::size_t>(kLocalStepSeconds / hopSeconds);
    const auto shortest = static_cast<std::size_t>(std::floor(period * 0.75));
    const auto longest = static_cast<std::size_t>(std::ceil(period * 1.34));
    std::vector<double> centres, periods;
    if (n > window) {
        for (std::size_t start = 0; start + window <= n; start += step) {
            const auto acf = Autocorrelation(curve, start, start + window, longest + 2);
            // Peaks near the whole recording's period are preferred: a window
            // moves away from it only on clearly stronger evidence.
            auto weight = [&](std::size_t k) {
                const double octaves = std::log2(static_cast<double>(k) / period) / kLocalSpread;
                return acf[k] * std::exp(-0.5 * octaves * octaves);
            };
            std::size_t best = 0;
            for (std::size_t k = std::max<std::size_t>(shortest, 1); k <= longest; ++k)
                if (acf[k] >= acf[k - 1] && acf[k] >= acf[k + 1] &&
                    (best == 0 || weight(k) > weight(best)))
                    best = k;
            double local = period;
            if (best != 0 && acf[0] > 0.0f && acf[best] > kMinSalience * acf[0]) {
                const double a = acf[best - 1], b = acf[best], c = acf[best + 1];
                const double d = a - 2.0 * b + c;
                local = best + (d < 0.0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0);
            }
            centres.push_back(static_cast<double>(start + window / 2));
            periods.push_back(local);
        }
    }
    std::vector<double> out(n, period);
    if (centres.empty())
        return out;
    // A median of three against a stray window, then straight lines between.
    std::vector<double> smooth = periods;
    for (std::size_t i = 1; i + 1 < periods.size(); ++i) {
        double three[3] = {periods[i - 1], periods[i], periods[i + 1]};
        std::sort(three, three + 3);
        smooth[i] = three[1];
    }
    std::size_t w = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double x = static_cast<double>(i);
        while (w + 1 < centres.size() && centres[w + 1] <= x)
            ++w;
        if (x <= centres.front())
            out[i] = smooth.front();
        else if (w + 1 >= centres.size())
            out[i] = smooth.back();
        else {
            const double f = (x - centres[w]) / (centres[w + 1] - centres[w]);
            out[i] = (1.0 - f) * smooth[w] + f * smooth[w + 1];
        }
    }
    return out;
}

// Ellis's dynamic programme: the best chain of beats through the curve,
// each interval near the local period.
std::vector<std::size_t> TrackBeats(const std::vector<float>& curve,
                                    const std::vector<double>& periods, double scale) {
    const std::size_t n = curve.size();
    std::vector<double> score(n, 0.0);
    std::vector<long> back(n, -1);
    // The penalty over the ratio of an interval to the period, 0.5 .. 2.
    constexpr int kSteps = 1536;
    static const std::vector<double> penalty = [] {
        std::vector<double> table(kSteps + 1);
        for (int i = 0; i <= kSteps; ++i) {
            const double l = std::log(0.5 + 1.5 * i / kSteps);
            table[i] = kTightness * l * l;
        }
        return table;
    }();
    for (std::size_t i = 0; i < n; ++i) {
        const double period = periods[i] * scale;
        const long from = static_cast<long>(i) - static_cast<long>(std::lround(2.0 * period));
        const long to = static_cast<long>(i) - static_cast<long>(std::lround(0.5 * period));
        double best = 0.0;
        long arg = -1;
        const double step = kSteps / (1.5 * period);
        for (long t = std::max(0L, from); t <= to; ++t) {
            const double ratio = static_cast<double>(static_cast<long>(i) - t) - 0.5 * period;
            const long index = std::clamp(std::lround(ratio * step), 0L, static_cast<long>(kSteps));
            const double s = score[t] - penalty[static_cast<std::size_t>(index)];
            if (arg < 0 || s > best) {
                best = s;
                arg = t;
            }
        }
        if (arg >= 0 && best > 0.0) {
            score[i] = curve[i] + best;
            back[i] = arg;
        } else {
            score[i] = curve[i];
        }
    }
    std::vector<std::size_t> beats;
    if (n == 0)
        return beats;
    // The chain ends at the best score within the last beat.
    const auto lastPeriod = static_cast<std::size_t>(periods.back() * scale);
    std::size_t end = n - 1;
    for (std::size_t i = n > lastPeriod ? n - lastPeriod : 0; i < n; ++i)
        if (score[i] > score[end])
            end = i;
    for (long i = static_cast<long>(end); i >= 0; i = back[i])
        beats.push_back(static_cast<std::size_t>(i));
    std::reverse(beats.begin(), beats.end());
    return beats;
}

double PeakAround(const std::vector<float>& curve, double centre, int radius) {
    double best = 0.0;
    const long c = std::lround(centre);
    for (long i = std::max(0L, c - radius); i <= c + radius && i < static_cast<long>(curve.size());
         ++i)
        best = std::max(best, static_cast<double>(curve[i]));
    return best;
}

}  // namespace

FileBeatAnalysis::FileBeatAnalysis(double sampleRate) : curve_(sampleRate, kHop) {}

void FileBeatAnalysis::Push(const float* mono, std::size_t count) {
    curve_.Push(mono, count, frames_);
}

BeatGrid FileBeatAnalysis::Finish() {
    BeatGrid grid;
    const std::vector<OnsetFrame> frames = std::move(frames_);
    frames_.clear();
    const double hop = curve_.HopSeconds();
    const double floor = OnsetCurve::FloorLevel();
    if (std::none_of(frames.begin(), frames.end(),
                     [&](const OnsetFrame& f) { return f.level >= floor; }))
        return grid;
    const std::vector<float> curve = Normalised(frames);
    const auto lags = static_cast<std::size_t>(2.0 * PeriodFrames(kMinBpm, hop)) + 3;
    const std::vector<float> acf = Autocorrelation(curve, 0, curve.size(), lags);
    const TempoEstimate tempo = ChooseTempo(acf, hop);
    if (tempo.period <= 0.0)
        return grid;
    const std::vector<double> periods = LocalPeriods(curve, tempo.period, hop);
    // The metrical level: the tempo whose chain of beats best explains the
    // onsets, each beat paying a toll of a typical onset's share. A chain too
    // fast pays for beats on weak subdivisions, one too slow (or at 2/3 or
    // 3/2 of the beat) forgoes strong onsets.
    // The candidates run on the curve at half its rate (each pair's larger
    // value), a quarter of the work; the chosen one again at the full rate.
    std::vector<float> coarse((curve.size() + 1) / 2);
    for (std::size_t i = 0; i < coarse.size(); ++i)
        coarse[i] = std::max(curve[2 * i], curve[std::min(2 * i + 1, curve.size() - 1)]);
    std::vector<double> coarsePeriods(coarse.size());
    for (std::size_t i = 0; i < coarse.size(); ++i)
        coarsePeriods[i] = 0.5 * periods[2 * i];
    const double toll = kBeatToll * TypicalPeak(curve);
    double scale = 1.0, bestScore = 0.0;
    bool chosen = false;
    for (double candidate : Candidates(acf, hop)) {
        const double s = candidate / tempo.period;
        double total = 0.0;
        for (std::size_t b : TrackBeats(coarse, coarsePeriods, s))
            total += PeakAround(coarse, static_cast<double>(b), 1) - toll;
        if (!chosen || total > bestScore) {
            bestScore = total;
            scale = s;
            chosen = true;
        }
    }
    const std::vector<std::size_t> beats = TrackBeats(curve, periods, scale);

    // Each beat onto the onset under it, when one stands out there; a beat
    // with no sound near it (a rest, a fill) keeps its place in the chain.
    const int radius = std::max(1, static_cast<int>(std::lround(0.03 / hop)));
    std::vector<std::size_t> heard;  // frames of onsets above the floor
    for (std::size_t i = 1; i + 1 < curve.size(); ++i)
        if (frames[i].level >= floor && curve[i] >= 1.0f && curve[i] >= curve[i - 1] &&
            curve[i] > curve[i + 1])
            heard.push_back(i);
    for (std::size_t b : beats) {
        const double period = periods[b] * scale;
        // No beat in a silent stretch (a gap between heard onsets longer
        // than kGapBeats), but for kTailBeats after the sound stops and
        // kLeadBeats before it resumes.
        const auto next = std::lower_bound(heard.begin(), heard.end(), b);
        const double after = next == heard.begin() ? 1e18 : static_cast<double>(b - *(next - 1));
        const double before = next == heard.end() ? 1e18 : static_cast<double>(*next - b);
        if (after + before > kGapBeats * period && after > kTailBeats * period &&
            before > kLeadBeats * period)
            continue;
        double at = static_cast<double>(b);
        long peak = -1;
        for (long i = std::max(1L, static_cast<long>(b) - radius);
             i <= static_cast<long>(b) + radius && i + 1 < static_cast<long>(curve.size()); ++i)
            if (curve[i] >= 1.0f && curve[i] >= curve[i - 1] && curve[i] >= curve[i + 1] &&
                (peak < 0 || curve[i] > curve[peak]))
                peak = i;
        if (peak > 0) {
            const double a = curve[peak - 1], c0 = curve[peak], c = curve[peak + 1];
            const double d = a - 2.0 * c0 + c;
            at = static_cast<double>(peak) +
                 (d < 0.0 ? std::clamp(0.5 * (a - c) / d, -0.5, 0.5) : 0.0);
        }
        grid.beats.push_back((at + 1.0) * hop - OnsetCurve::kPeakDelaySeconds);
    }
    if (grid.beats.size() >= 2) {
        std::vector<double> intervals;
        for (std::size_t i = 1; i < grid.beats.size(); ++i)
            intervals.push_back(grid.beats[i] - grid.beats[i - 1]);
        std::nth_element(intervals.begin(), intervals.begin() + intervals.size() / 2,
                         intervals.end());
        grid.bpm = 60.0 / intervals[intervals.size() / 2];
    } else {
        grid.beats.clear();
    }
    return grid;
}

BeatGrid AnalyseBeats(std::span<const float> mono, double sampleRate) {
    FileBeatAnalysis analysis(sampleRate);
    analysis.Push(mono.data(), mono.size());
    return analysis.Finish();
}

}  // namespace chromola::beats
