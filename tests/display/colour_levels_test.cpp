#include "display/colour_levels.h"

#include <gtest/gtest.h>

#include <limits>

namespace chromola {
namespace {

// Band boundaries decide which frequencies feed which colour; a shifted
// boundary moves every colour the player shows.
TEST(BandTable, MatchesTheFixedBoundaries) {
    const std::array<int, 4> rows[] = {
        {0, 1, 1, 11},    {1, 2, 2, 10},      {2, 3, 3, 9},       {3, 4, 4, 9},
        {4, 5, 5, 8},     {5, 6, 6, 7},       {6, 7, 7, 7},       {7, 8, 8, 7},
        {8, 9, 9, 6},     {9, 10, 10, 6},     {10, 11, 11, 6},    {11, 12, 12, 6},
        {12, 13, 13, 7},  {13, 14, 14, 8},    {14, 15, 15, 9},    {15, 16, 16, 10},
        {16, 17, 19, 13}, {27, 116, 138, 33}, {28, 139, 165, 37}, {38, 854, 1024, 181}};
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

Spectrum With(std::initializer_list<std::pair<int, float>> bins) {
    Spectrum spectrum{};
    for (const auto& [bin, value] : bins) {
        spectrum[static_cast<std::size_t>(bin)] = value;
    }
    return spectrum;
}

Spectrum Filled(float value) {
    Spectrum spectrum;
    spectrum.fill(value);
    return spectrum;
}

// Silence, plain and inverted: the core tests (SilenceIsBlackAndOnlyAnInversionOfOneMakesItWhite).
TEST(ColourLevels, LevelsFollowTheBandsGainsAndCaps) {
    // Brightness bar 17 and gains 16: the values of a first start.
    constexpr ColourParams kDefaults{0.425f, 0.4f, 0.4f, 0.4f, 0};
    constexpr ColourParams kLoudest{0.8f, 0.8f, 0.8f, 0.8f, 0};
    constexpr float kInf = std::numeric_limits<float>::infinity();
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    const std::tuple<const char*, Spectrum, ColourParams, ColourLevels> cases[] = {
        // Bands 1 (red) and 15 (green) have w = 10: a sum of 1 gives
        // floor(255 * 0.425 * 0.4) = 43.
        {"unit red band", With({{2, 1.0f}}), kDefaults, {43, 0, 0}},
        {"unit green band", With({{16, 1.0f}}), kDefaults, {0, 43, 0}},
        // Band 28 (blue): floor(43.35 * sqrt(1 / log10(37))) = 34.
        {"green bar at 2",
         With({{2, 1.0f}, {16, 1.0f}, {140, 1.0f}}),
         {0.425f, 0.4f, 0.05f, 0.4f, 0},
         {43, 5, 34}},
        // 21.24 + 21.68: each contribution is floored before the sum.
        {"floored per band", With({{1, 0.25f}, {2, 0.25f}}), kDefaults, {42, 0, 0}},
        {"saturated", Filled(1.0f), kLoudest, {255, 255, 255}},
        {"saturated, inverted", Filled(1.0f), {0.8f, 0.8f, 0.8f, 0.8f, 1}, {0, 0, 0}},
        {"only 1 inverts", Filled(1.0f), {0.8f, 0.8f, 0.8f, 0.8f, 2}, {255, 255, 255}},
        {"past float max", Filled(std::numeric_limits<float>::max()), kDefaults, {255, 255, 255}},
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

}  // namespace
}  // namespace chromola
