// The display's colours: the bands and levels of a spectrum, then the flash
// limiter and the automatic level on what the display would show for
// generated drum loops, tones and hostile colour sequences, judged by the
// independent flash counter of flash_fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <ranges>

#include "display/auto_level.h"
#include "display/beat_display.h"
#include "display/colour_levels.h"
#include "display/flash_limiter.h"
#include "flash_fixtures.h"

namespace chromola::testing {
namespace {

// Band boundaries decide which frequencies feed which colour; a shifted
// boundary moves every colour the player shows.
TEST(BandTable, MatchesTheFixedBoundaries) {
    // The low bands are one bin each; their widths come from 2^(10i/38)
    // rounded to the nearest (band 3's w would be 8 if truncated). Bands 1,
    // 15, 16 and 28 show in the levels below.
    const std::array<int, 4> rows[] = {
        {0, 1, 1, 11}, {3, 4, 4, 9}, {8, 9, 9, 6}, {27, 116, 138, 33}, {38, 854, 1024, 181}};
    for (const auto& [index, first, last, w] : rows) {
        const Band& band = BandTable()[static_cast<std::size_t>(index)];
        EXPECT_EQ(band.first, first) << index;
        EXPECT_EQ(band.last, last) << index;
        EXPECT_EQ(band.w, w) << index;
    }
    // Between the rows above, the bands tile the spectrum without gaps.
    int next = 1;
    for (const Band& band : BandTable()) {
        EXPECT_EQ(band.first, next);
        next = band.last + 1;
    }
    EXPECT_EQ(next, kSpectrumSize);
}

// A spectrum of `bins` over `rest` everywhere else.
Spectrum With(std::initializer_list<std::pair<int, float>> bins, float rest = 0) {
    Spectrum spectrum;
    spectrum.fill(rest);
    for (const auto& [bin, value] : bins) {
        spectrum[static_cast<std::size_t>(bin)] = value;
    }
    return spectrum;
}

// Silence, plain and inverted, and that only an inversion of 1 inverts: the
// core tests (SilenceIsBlackAndOnlyAnInversionOfOneMakesItWhite).
TEST(ColourLevels, LevelsFollowTheBandsGainsAndCaps) {
    // Brightness bar 17 and gains 16: the values of a first start.
    constexpr ColourParams kDefaults{0.425f, 0.4f, 0.4f, 0.4f, 0};
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<const char*, Spectrum, ColourParams, ColourLevels> cases[] = {
        // Bands 1 (red) and 15 (green) have w = 10: a sum of 1 gives
        // floor(255 * 0.425 * 0.4) = 43.
        {"unit red band", With({{2, 1.0f}}), kDefaults, {43, 0, 0}},
        // Band 28 (blue): floor(43.35 * sqrt(1 / log10(37))) = 34.
        {"green bar at 2",
         With({{2, 1.0f}, {16, 1.0f}, {140, 1.0f}}),
         {0.425f, 0.4f, 0.05f, 0.4f, 0},
         {43, 5, 34}},
        // 21.24 + 21.68: each contribution is floored before the sum.
        {"floored per band", With({{1, 0.25f}, {2, 0.25f}}), kDefaults, {42, 0, 0}},
        {"saturated, inverted", With({}, 1.0f), {0.8f, 0.8f, 0.8f, 0.8f, 1}, {0, 0, 0}},
        {"past float max", With({}, std::numeric_limits<float>::max()), kDefaults, {255, 255, 255}},
        // The DC bin is in no band: an offset in the signal must not tint.
        {"DC only", With({{0, 1000.0f}}), kDefaults, {0, 0, 0}},
        // Band 16 (green, w 13): floor(43.35 * sqrt(1 / log10(13))) = 41.
        {"negative beside positive", With({{17, 1.0f}, {18, -1.0f}}), kDefaults, {0, 41, 0}},
        {"damaged",
         With({{3, kNaN}, {50, kInf}, {500, -1.0f}, {600, -kInf}}),
         kDefaults,
         {0, 0, 0}},
    };
    for (const auto& [what, spectrum, params, expected] : cases) {
        EXPECT_EQ(ComputeColourLevels(spectrum, params), expected) << what;
    }
}

using Colours = std::vector<ColourLevels>;

Colours Limited(const Colours& wanted, int acceptedPerSecond = FlashLimiter::kAcceptedPerSecond) {
    FlashLimiter limiter(acceptedPerSecond);
    Colours shown;
    long long ms = 0;
    for (const ColourLevels& c : wanted) {
        shown.push_back(limiter.Limit(c, ms));
        ms += kFlashTickMs;
    }
    return shown;
}

Colours Repeat(int ticks, const std::function<ColourLevels(int)>& at) {
    Colours colours;
    for (int i = 0; i < ticks; ++i) {
        colours.push_back(at(i));
    }
    return colours;
}

// Music at the top of the brightness bar, and the general and the red
// flash at every tick. (Slow ramps and random colours stay within the limit
// or fail as these do; bench/display's colour_safety_report prints the
// drum loops' counts at other tempos.)
TEST(FlashLimiter, NoSecondShowsMoreThanThreeFlashesAndWeakerLimitersAreCaught) {
    const Colours drums = ColoursOf(SpectraOf(DrumLoop(174, 6)), kBrightest);
    EXPECT_GT(MostTransitionsInASecond(drums).general, 6) << "or the counter is blind";
    auto alternate = [](ColourLevels a, ColourLevels b) {
        return Repeat(300, [=](int i) { return i % 2 ? a : b; });
    };
    for (const auto& [name, wanted] : {std::pair{"drum loop", drums},
                                       {"black/white", alternate({0, 0, 0}, {255, 255, 255})},
                                       {"red/black", alternate({255, 0, 0}, {0, 0, 0})}}) {
        SCOPED_TRACE(name);
        const FlashCount on = MostTransitionsInASecond(Limited(wanted));
        EXPECT_LE(std::max(on.general, on.red), 6);
        const FlashCount weak = MostTransitionsInASecond(Limited(wanted, 12));
        EXPECT_GT(std::max(weak.general, weak.red), 6) << "a limiter of twelve a second passed";
    }
}

TEST(FlashLimiter, ColoursThatDoNotFlashPassUnchanged) {
    const Colours calm = Repeat(300, [](int i) { return ColourLevels{40 + i % 5, 20, 10}; });
    EXPECT_EQ(Limited(calm), calm);
}

// The automatic level over `spectra`, tick by tick: the largest of the
// three levels shown and the factor after it.
std::vector<std::pair<int, float>> Levelled(const std::vector<Spectrum>& spectra) {
    AutoLevel level;
    std::vector<std::pair<int, float>> out;
    for (const Spectrum& spectrum : spectra) {
        const ColourLevels c =
            ComputeColourLevels(spectrum, {0.425f * level.Factor(), 0.4f, 0.4f, 0.4f, 0});
        const int shown = std::max({c.red, c.green, c.blue});
        out.emplace_back(shown, level.Update(shown, kFlashTickMs));
    }
    return out;
}

TEST(AutoLevel, QuietAndLoudEndAlikeSilenceStaysBlackAndDrumsDoNotPump) {
    const auto quiet = Levelled(SpectraOf(Sine(1000, -30, 10)));
    const auto loud = Levelled(SpectraOf(Sine(1000, -6, 10)));
    const std::size_t settled = 8000 / kFlashTickMs;  // 8 s in, clear of the tone's end
    EXPECT_LT(quiet.at(10).first * 3, loud.at(10).first) << "24 dB apart before adapting";
    EXPECT_NEAR(quiet.at(settled).first, loud.at(settled).first, 4);
    EXPECT_NEAR(loud.at(settled).first, AutoLevel::kTarget, 8);
    EXPECT_EQ(std::ranges::max(Levelled(SpectraOf(Sine(1000, -200, 5)))).first, 0);

    // Over the last second of a steady loop the factor moves by at most 10 %.
    const auto drums = Levelled(SpectraOf(DrumLoop(120, 10)));
    const auto [low, high] = std::ranges::minmax(
        drums | std::views::drop(drums.size() - 1000 / kFlashTickMs) | std::views::values);
    EXPECT_LE(high / low, 1.10f);
}

// Each beat lands once, on the tick nearest to it; a seek, backwards or
// forwards, gives none of the beats jumped over and counts on from there.
TEST(BeatFollower, EachBeatOnceOnItsNearestTickAndNoneForASeek) {
    const std::vector<double> beats = {0.5, 1.0, 1.5, 2.0, 2.5, 3.0, 3.5, 4.0};
    BeatFollower follower;
    std::vector<double> givenAt;
    const auto play = [&](double from, double to) {
        for (double heard = from; heard < to; heard += 0.017) {
            for (int n = follower.Advance(beats, heard); n > 0; --n) {
                givenAt.push_back(heard);
            }
        }
    };
    play(0.3, 2.1);
    ASSERT_EQ(givenAt.size(), 4u);
    for (std::size_t i = 0; i < givenAt.size(); ++i) {
        EXPECT_LE(std::abs(givenAt[i] - beats[i]), 0.0085 + 1e-9) << i;
    }
    EXPECT_EQ(follower.LastIndex(), 3);
    givenAt.clear();
    play(0.9, 1.2);  // back: the beat at 1.0 comes again, the seek's own tick gives none
    EXPECT_EQ(givenAt.size(), 1u);
    EXPECT_EQ(follower.LastIndex(), 1);
    givenAt.clear();
    play(3.2, 3.6);  // forwards over four beats
    EXPECT_EQ(givenAt.size(), 1u);
    EXPECT_EQ(follower.LastIndex(), 6);
}

// The accent lifts the colour to its brightest form of the same hue and is
// gone after 120 ms; the scene moves red to green to blue to red.
TEST(BeatLook, AccentKeepsTheHueAndFadesSceneStepsRoundTheColours) {
    EXPECT_EQ(Accented({85, 17, 0}, 1.0), (ColourLevels{255, 51, 0}));
    EXPECT_EQ(Accented({85, 17, 0}, 0.5), (ColourLevels{170, 34, 0}));
    EXPECT_EQ(Accented({0, 0, 0}, 1.0), (ColourLevels{0, 0, 0}));
    // A strip's bands rise by one factor, the strongest to full.
    BandLevels bands{};
    bands[0] = 85;
    bands[20] = 17;
    AccentBands(bands, 1.0);
    EXPECT_EQ(bands[0], 255);
    EXPECT_EQ(bands[20], 51);
    EXPECT_EQ(bands[30], 0);
    EXPECT_EQ(AccentAmount(0), 1.0);
    EXPECT_GT(AccentAmount(100), 0.0);
    EXPECT_EQ(AccentAmount(120), 0.0);
    EXPECT_EQ(AccentAmount(-5), 0.0);
    EXPECT_EQ(Rotated({10, 20, 30}, 1), (ColourLevels{30, 10, 20}));
    EXPECT_EQ(Rotated({10, 20, 30}, 2), (ColourLevels{20, 30, 10}));
    EXPECT_EQ(Rotated({10, 20, 30}, 3), (ColourLevels{10, 20, 30}));
    const std::tuple<long, int, int> scenes[] = {{3, 4, 0},   {4, 4, 1},  {11, 4, 2}, {12, 4, 0},
                                                 {40, 32, 1}, {40, 0, 0}, {-1, 8, 0}};
    for (const auto& [index, length, steps] : scenes) {
        EXPECT_EQ(SceneSteps(index, length), steps) << index << " " << length;
    }
}

}  // namespace
}  // namespace chromola::testing
