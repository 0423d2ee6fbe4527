// The beat analysis on generated drums: click tracks whose beats are known to
// the sample, patterns made to be mistaken for half or double their tempo,
// a tempo change, silence and noise under the floor; for the whole-file
// analysis and the live tracker alike.
#include "beats/beat_grid.h"
#include "beats/live_beats.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using chromola::beats::AnalyseBeats;
using chromola::beats::LiveBeatTracker;
using chromola::beats::LiveEvent;

enum class Drum { Click, Kick, Snare, Hat };

struct Hit {
    double seconds;
    Drum drum;
    double gain = 1.0;
};

// Short decaying sines and noise bursts, as a drum machine's simplest voices.
std::vector<float> Render(const std::vector<Hit>& hits, double seconds, int rate) {
    std::vector<float> out(static_cast<std::size_t>(seconds * rate), 0.0f);
    std::minstd_rand random(7);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (const Hit& hit : hits) {
        const auto start = static_cast<std::size_t>(std::lround(hit.seconds * rate));
        double phase = 0.0;
        float previous = 0.0f;
        for (std::size_t i = 0; i < static_cast<std::size_t>(0.25 * rate) && start + i < out.size();
             ++i) {
            const double t = static_cast<double>(i) / rate;
            double v = 0.0;
            switch (hit.drum) {
                case Drum::Click:
                    v = 0.6 * std::sin(2.0 * std::numbers::pi * 1500.0 * t) * std::exp(-t / 0.01);
                    break;
                case Drum::Kick:
                    phase += 2.0 * std::numbers::pi * (50.0 + 70.0 * std::exp(-t / 0.03)) / rate;
                    v = 0.9 * std::sin(phase) * std::exp(-t / 0.12);
                    break;
                case Drum::Snare:
                    v = 0.5 *
                        (0.6 * noise(random) * std::exp(-t / 0.07) +
                         0.3 * std::sin(2.0 * std::numbers::pi * 185.0 * t) * std::exp(-t / 0.05));
                    break;
                case Drum::Hat: {
                    const float n = noise(random);
                    v = 0.12 * (n - previous) * std::exp(-t / 0.02);
                    previous = n;
                    break;
                }
            }
            out[start + i] += static_cast<float>(hit.gain * v);
        }
    }
    return out;
}

std::vector<double> Grid(double from, double to, double bpm) {
    std::vector<double> beats;
    for (double t = from; t < to; t += 60.0 / bpm)
        beats.push_back(t);
    return beats;
}

std::vector<Hit> Clicks(const std::vector<double>& beats) {
    std::vector<Hit> hits;
    for (double t : beats)
        hits.push_back({t, Drum::Click});
    return hits;
}

double Nearest(const std::vector<double>& found, double t) {
    double best = 1e9;
    for (double f : found)
        best = std::min(best, std::abs(f - t));
    return best;
}

// Every expected beat in [from, to] has one found within `tolerance`, and
// nothing else was found there.
void ExpectBeats(const std::vector<double>& found, const std::vector<double>& expected, double from,
                 double to, double tolerance) {
    std::size_t inside = 0, matched = 0;
    for (double f : found)
        inside += f >= from && f <= to;
    for (double t : expected) {
        if (t < from || t > to)
            continue;
        ++matched;
        EXPECT_LE(Nearest(found, t), tolerance) << "beat at " << t << " s";
    }
    EXPECT_EQ(inside, matched) << "beats found between " << from << " and " << to << " s";
}

std::vector<double> LiveBeats(const std::vector<float>& samples, int rate,
                              std::vector<double>* onsets = nullptr, double* bpm = nullptr) {
    LiveBeatTracker tracker(rate);
    std::vector<LiveEvent> events;
    std::vector<double> beats;
    const std::size_t block = static_cast<std::size_t>(rate) / 100;  // 10 ms, as a capture delivers
    for (std::size_t at = 0; at < samples.size(); at += block) {
        events.clear();
        tracker.Push(samples.data() + at, std::min(block, samples.size() - at), events);
        for (const LiveEvent& e : events) {
            if (e.kind == LiveEvent::Kind::Beat)
                beats.push_back(e.seconds);
            else if (onsets != nullptr)
                onsets->push_back(e.seconds);
        }
        if (bpm != nullptr && tracker.Bpm() > 0.0)
            *bpm = tracker.Bpm();
    }
    return beats;
}

struct ClickCase {
    int rate;
    double bpm;
};

class ClickTrack : public ::testing::TestWithParam<ClickCase> {};

TEST_P(ClickTrack, GivesItsBeatsWithinTenMilliseconds) {
    const auto [rate, bpm] = GetParam();
    const std::vector<double> beats = Grid(0.5, 19.5, bpm);
    const auto grid = AnalyseBeats(Render(Clicks(beats), 20.0, rate), rate);
    ExpectBeats(grid.beats, beats, 1.0, 19.0, 0.010);
    EXPECT_NEAR(grid.bpm, bpm, bpm * 0.01);
}

TEST_P(ClickTrack, LiveTrackerLocksWithinSixSecondsAndHearsOnsetsWithin30Ms) {
    const auto [rate, bpm] = GetParam();
    const std::vector<double> beats = Grid(0.5, 19.5, bpm);
    std::vector<double> onsets;
    double locked = 0.0;
    const auto found = LiveBeats(Render(Clicks(beats), 20.0, rate), rate, &onsets, &locked);
    ExpectBeats(found, beats, 6.0, 19.0, 0.030);
    EXPECT_NEAR(locked, bpm, bpm * 0.02);
    for (double t : beats) {
        const auto heard = std::lower_bound(onsets.begin(), onsets.end(), t);
        ASSERT_NE(heard, onsets.end()) << "click at " << t << " s";
        EXPECT_LE(*heard - t, 0.030) << "click at " << t << " s";
    }
    EXPECT_EQ(onsets.size(), beats.size());
}

INSTANTIATE_TEST_SUITE_P(Tempi, ClickTrack,
                         ::testing::Values(ClickCase{44100, 92.0}, ClickCase{48000, 128.0},
                                           ClickCase{44100, 174.0}));

TEST(Beats, SilenceAndNoiseUnderTheFloorGiveNone) {
    const int rate = 44100;
    std::vector<float> silence(10 * rate, 0.0f);
    std::vector<float> hiss(10 * rate);
    std::minstd_rand random(3);
    std::normal_distribution<float> noise(0.0f, std::pow(10.0f, -72.0f / 20.0f));
    for (float& s : hiss)
        s = noise(random);
    for (const auto* samples : {&silence, &hiss}) {
        const auto grid = AnalyseBeats(*samples, rate);
        EXPECT_TRUE(grid.beats.empty());
        EXPECT_EQ(grid.bpm, 0.0);
        std::vector<double> onsets;
        EXPECT_TRUE(LiveBeats(*samples, rate, &onsets).empty());
        EXPECT_TRUE(onsets.empty());
    }
}

TEST(Beats, SilentStretchesGetNoBeats) {
    // Clicks, four seconds of silence, clicks again.
    const int rate = 44100;
    std::vector<double> beats = Grid(0.5, 8.0, 120.0);
    for (double t : Grid(12.0, 19.5, 120.0))
        beats.push_back(t);
    const auto grid = AnalyseBeats(Render(Clicks(beats), 20.0, rate), rate);
    for (double t : grid.beats)
        EXPECT_FALSE(t > 9.0 && t < 11.5) << "beat in the silence at " << t << " s";
    const auto live = LiveBeats(Render(Clicks(beats), 20.0, rate), rate);
    for (double t : live)
        EXPECT_FALSE(t > 10.5 && t < 11.9) << "live beat in the silence at " << t << " s";
}

TEST(Beats, TempoChangeIsFollowed) {
    const int rate = 44100;
    std::vector<double> beats = Grid(0.5, 14.0, 100.0);
    for (double t : Grid(beats.back() + 60.0 / 125.0, 29.5, 125.0))
        beats.push_back(t);
    std::vector<Hit> hits;
    for (double t : beats)
        hits.push_back({t, Drum::Kick});
    const auto samples = Render(hits, 30.0, rate);
    const auto grid = AnalyseBeats(samples, rate);
    ExpectBeats(grid.beats, beats, 1.0, 12.0, 0.010);
    ExpectBeats(grid.beats, beats, 17.0, 29.0, 0.010);
    // The live tracker has its new tempo within 8 s of the change.
    ExpectBeats(LiveBeats(samples, rate), beats, 22.0, 29.0, 0.030);
}

// Drum patterns that invite a tracker to tap twice or half as fast: eighth
// hats under a slow beat, a fast beat whose backbeat alternates with it, a
// swung fast ride, a sparse bar.
struct PatternCase {
    std::string name;
    double bpm;
    std::vector<Hit> bar;  // one bar of four beats, times in beats
};

class ConfusingPattern : public ::testing::TestWithParam<PatternCase> {};

TEST_P(ConfusingPattern, KeepsItsOwnTempo) {
    const PatternCase& pattern = GetParam();
    const int rate = 44100;
    const double beat = 60.0 / pattern.bpm;
    std::vector<Hit> hits;
    const std::vector<double> beats = Grid(0.5, 24.0, pattern.bpm);
    for (std::size_t b = 0; b < beats.size(); b += 4)
        for (const Hit& h : pattern.bar)
            hits.push_back({beats[b] + h.seconds * beat, h.drum, h.gain});
    const auto grid = AnalyseBeats(Render(hits, 25.0, rate), rate);
    EXPECT_NEAR(grid.bpm, pattern.bpm, pattern.bpm * 0.04);
    ExpectBeats(grid.beats, beats, 2.0, 22.0, 0.030);
}

std::vector<Hit> Bar(std::vector<Hit> hits, Drum drum, double from, double step,
                     double gain = 1.0) {
    for (double t = from; t < 4.0; t += step)
        hits.push_back({t, drum, gain});
    return hits;
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, ConfusingPattern,
    ::testing::Values(
        PatternCase{
            "EighthHatsAt70", 70.0,
            Bar(Bar({{1, Drum::Snare}, {3, Drum::Snare}}, Drum::Kick, 0, 1), Drum::Hat, 0, 0.5)},
        PatternCase{
            "BackbeatAt180", 180.0,
            Bar(Bar({{1, Drum::Snare}, {3, Drum::Snare}}, Drum::Kick, 0, 1), Drum::Hat, 0, 0.5)},
        PatternCase{"SwingAt180", 180.0,
                    Bar(Bar({{0, Drum::Kick}, {2, Drum::Kick}, {1, Drum::Snare}, {3, Drum::Snare}},
                            Drum::Hat, 0, 1),
                        Drum::Hat, 2.0 / 3.0, 1, 0.7)},
        PatternCase{
            "SparseAt160", 160.0, {{0, Drum::Kick}, {1, Drum::Snare, 0.7}, {3, Drum::Snare, 0.7}}}),
    [](const auto& info) { return info.param.name; });

}  // namespace
