#include "display/colour_levels.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace chromola {
namespace {

// The defaults a first start gives: brightness bar at 17, gains at 16.
constexpr ColourParams kDefaults{0.425f, 0.4f, 0.4f, 0.4f, 0};

struct BandRow {
    int band;
    int first;
    int last;
    int w;
};

// Band boundaries decide which frequencies feed which colour; a shifted
// boundary moves every colour the player shows.
TEST(BandTable, MatchesTheFixedBoundaries) {
    const BandRow rows[] = {
        {0, 1, 1, 11},    {1, 2, 2, 10},      {2, 3, 3, 9},       {3, 4, 4, 9},
        {4, 5, 5, 8},     {5, 6, 6, 7},       {6, 7, 7, 7},       {7, 8, 8, 7},
        {8, 9, 9, 6},     {9, 10, 10, 6},     {10, 11, 11, 6},    {11, 12, 12, 6},
        {12, 13, 13, 7},  {13, 14, 14, 8},    {14, 15, 15, 9},    {15, 16, 16, 10},
        {16, 17, 19, 13}, {27, 116, 138, 33}, {28, 139, 165, 37}, {38, 854, 1024, 181},
    };
    const auto& table = BandTable();
    for (const BandRow& row : rows) {
        SCOPED_TRACE(row.band);
        const Band& band = table[static_cast<std::size_t>(row.band)];
        EXPECT_EQ(band.first, row.first);
        EXPECT_EQ(band.last, row.last);
        EXPECT_EQ(band.last - band.first + 1, row.last - row.first + 1);
        EXPECT_EQ(band.w, row.w);
    }
}

TEST(BandTable, BandsTileTheSpectrumWithoutGapsOrOverlap) {
    const auto& table = BandTable();
    int expectedFirst = 1;
    for (const Band& band : table) {
        EXPECT_EQ(band.first, expectedFirst);
        EXPECT_GE(band.last, band.first);
        expectedFirst = band.last + 1;
    }
    EXPECT_EQ(expectedFirst, kSpectrumSize);
}

TEST(ColourLevels, SilenceGivesBlack) {
    const Spectrum silence{};
    EXPECT_EQ(ComputeColourLevels(silence, kDefaults), (ColourLevels{0, 0, 0}));
}

TEST(ColourLevels, InvertedSilenceGivesWhite) {
    const Spectrum silence{};
    ColourParams params = kDefaults;
    params.invertColours = 1;
    EXPECT_EQ(ComputeColourLevels(silence, params), (ColourLevels{255, 255, 255}));
}

// Only exactly 1 inverts: a stored value of 2 or -1 must leave colours alone.
TEST(ColourLevels, InvertValuesOtherThanOneDoNotInvert) {
    const Spectrum silence{};
    for (int invert : {0, 2, -1, 255}) {
        SCOPED_TRACE(invert);
        ColourParams params = kDefaults;
        params.invertColours = invert;
        EXPECT_EQ(ComputeColourLevels(silence, params), (ColourLevels{0, 0, 0}));
    }
}

TEST(ColourLevels, LoudSpectrumSaturatesAt255) {
    Spectrum loud;
    loud.fill(1.0f);
    const ColourParams params{0.8f, 0.8f, 0.8f, 0.8f, 0};
    EXPECT_EQ(ComputeColourLevels(loud, params), (ColourLevels{255, 255, 255}));
    ColourParams inverted = params;
    inverted.invertColours = 1;
    EXPECT_EQ(ComputeColourLevels(loud, inverted), (ColourLevels{0, 0, 0}));
}

// Band 1 (red) and band 15 (green) both have w = 10, so a sum of 1 gives
// s / log10(w) = 1 and the contribution floor(255 * 0.425 * 0.4) = 43.
TEST(ColourLevels, UnitBandAtDefaultsContributes43) {
    Spectrum red{};
    red[2] = 1.0f;
    EXPECT_EQ(ComputeColourLevels(red, kDefaults), (ColourLevels{43, 0, 0}));

    Spectrum green{};
    green[16] = 1.0f;
    EXPECT_EQ(ComputeColourLevels(green, kDefaults), (ColourLevels{0, 43, 0}));
}

// Each contribution is floored on its own before it is summed: bands 0 and 1
// give 21.24 and 21.68, so red is 42, where a floor of the sum would give 42.9
// and round to 43.
TEST(ColourLevels, ContributionsAreFlooredPerBand) {
    Spectrum spectrum{};
    spectrum[1] = 0.25f;  // band 0, w 11
    spectrum[2] = 0.25f;  // band 1, w 10
    EXPECT_EQ(ComputeColourLevels(spectrum, kDefaults), (ColourLevels{42, 0, 0}));
}

TEST(ColourLevels, EachGainScalesOnlyItsOwnColour) {
    Spectrum spectrum{};
    spectrum[2] = 1.0f;    // red band, w 10
    spectrum[16] = 1.0f;   // green band, w 10
    spectrum[140] = 1.0f;  // blue band 28
    ColourParams params = kDefaults;
    params.greenGain = 0.05f;
    const ColourLevels levels = ComputeColourLevels(spectrum, params);
    EXPECT_EQ(levels.red, 43);
    EXPECT_EQ(levels.green, 5);  // floor(255 * 0.425 * 0.05) = floor(5.42)
    EXPECT_GT(levels.blue, 0);
}

// The index 0 (DC) is never part of a band: an offset in the signal must not
// tint the display.
TEST(ColourLevels, DcBinIsIgnored) {
    Spectrum spectrum{};
    spectrum[0] = 1000.0f;
    EXPECT_EQ(ComputeColourLevels(spectrum, kDefaults), (ColourLevels{0, 0, 0}));
}

TEST(ColourLevels, DamagedValuesCountAsSilence) {
    Spectrum damaged{};
    damaged[3] = std::numeric_limits<float>::quiet_NaN();
    damaged[50] = std::numeric_limits<float>::infinity();
    damaged[500] = -1.0f;
    damaged[600] = -std::numeric_limits<float>::infinity();
    EXPECT_EQ(ComputeColourLevels(damaged, kDefaults), (ColourLevels{0, 0, 0}));

    // Values that are finite but sum past the float range still give a level.
    Spectrum huge;
    huge.fill(std::numeric_limits<float>::max());
    EXPECT_EQ(ComputeColourLevels(huge, kDefaults), (ColourLevels{255, 255, 255}));
}

// A tone of a Hann-windowed transform: its peak bin and the two leaking
// neighbours.
Spectrum Tone(int bin, float amplitude) {
    Spectrum spectrum{};
    spectrum[static_cast<std::size_t>(bin)] = amplitude;
    spectrum[static_cast<std::size_t>(bin - 1)] = amplitude / 2;
    spectrum[static_cast<std::size_t>(bin + 1)] = amplitude / 2;
    return spectrum;
}

struct GoldenTone {
    const char* name;
    int bin;  // at 44100 Hz a bin is 21.5 Hz wide
    int dominant;
};

// A low note must paint red, a voice green, a cymbal blue.
TEST(ColourLevels, ToneColourFollowsItsPitch) {
    const GoldenTone tones[] = {
        {"110 Hz", 5, 0},
        {"1 kHz", 46, 1},
        {"8 kHz", 372, 2},
    };
    for (const GoldenTone& tone : tones) {
        SCOPED_TRACE(tone.name);
        const ColourLevels levels = ComputeColourLevels(Tone(tone.bin, 0.5f), kDefaults);
        const int rgb[3] = {levels.red, levels.green, levels.blue};
        for (int c = 0; c < 3; ++c) {
            if (c == tone.dominant) {
                EXPECT_GT(rgb[c], 0);
            } else {
                EXPECT_EQ(rgb[c], 0);
            }
        }
    }
}

TEST(ColourLevels, BrighterSettingNeverDarkens) {
    const Spectrum spectrum = Tone(46, 0.3f);
    int previous = -1;
    for (int bar = 2; bar <= 32; ++bar) {
        ColourParams params = kDefaults;
        params.brightness = static_cast<float>(bar) * 0.025f;
        const int green = ComputeColourLevels(spectrum, params).green;
        EXPECT_GE(green, previous) << "bar " << bar;
        previous = green;
    }
    EXPECT_GT(previous, 0);
}

}  // namespace
}  // namespace chromola
