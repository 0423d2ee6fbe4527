// The flash limiter and the automatic level on what the display would show
// for generated drum loops, tones and hostile colour sequences, judged by
// the independent flash counter of flash_fixtures.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "display/auto_level.h"
#include "display/flash_limiter.h"
#include "flash_fixtures.h"

namespace chromola::testing {
namespace {

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

std::vector<std::pair<const char*, Colours>> Sequences() {
    std::vector<std::pair<const char*, Colours>> sequences;
    for (const double bpm : {90.0, 120.0, 174.0}) {
        sequences.emplace_back("drum loop", ColoursOf(SpectraOf(DrumLoop(bpm, 6)), kBrightest));
    }
    const ColourLevels black{0, 0, 0}, white{255, 255, 255}, red{255, 0, 0}, blue{0, 0, 255};
    auto alternate = [](ColourLevels a, ColourLevels b) {
        return Repeat(300, [=](int i) { return i % 2 ? a : b; });
    };
    sequences.emplace_back("black/white", alternate(black, white));
    sequences.emplace_back("red/black", alternate(red, black));
    sequences.emplace_back("red/blue", alternate(red, blue));
    sequences.emplace_back("staircase", Repeat(600, [](int i) {
                               const int v = (i / 3 % 8) * 36;  // up and down in steps
                               return ColourLevels{v, v, v};
                           }));
    sequences.emplace_back("fade", Repeat(600, [](int i) {
                               const int v = 255 - std::abs(i % 60 - 30) * 8;
                               return ColourLevels{v, 0, 0};
                           }));
    std::mt19937 random(7);
    sequences.emplace_back("random", Repeat(600, [&](int) {
                               return ColourLevels{static_cast<int>(random() % 256),
                                                   static_cast<int>(random() % 256),
                                                   static_cast<int>(random() % 256)};
                           }));
    return sequences;
}

TEST(FlashLimiter, NoSecondShowsMoreThanThreeFlashesAndWeakerLimitersAreCaught) {
    bool drumsExceed = false;
    bool weakenedCaught = false;
    for (const auto& [name, wanted] : Sequences()) {
        SCOPED_TRACE(name);
        const FlashCount off = MostTransitionsInASecond(wanted);
        drumsExceed |= std::string(name) == "drum loop" && off.general > 6;
        const FlashCount on = MostTransitionsInASecond(Limited(wanted));
        EXPECT_LE(on.general, 6);
        EXPECT_LE(on.red, 6);
        const FlashCount weak = MostTransitionsInASecond(Limited(wanted, 12));
        weakenedCaught |= weak.general > 6 || weak.red > 6;
    }
    EXPECT_TRUE(drumsExceed) << "without the limiter the drums must flash, or the counter is blind";
    EXPECT_TRUE(weakenedCaught) << "a limiter that allows twelve a second must be caught";
}

TEST(FlashLimiter, ColoursThatDoNotFlashPassUnchanged) {
    const Colours calm = Repeat(300, [](int i) { return ColourLevels{40 + i % 5, 20, 10}; });
    EXPECT_EQ(Limited(calm), calm);
}

// The level that a tone settles at with the automatic level, the largest of
// the three, tick by tick.
std::vector<int> Levels(const std::vector<Spectrum>& spectra) {
    AutoLevel level;
    std::vector<int> out;
    for (const Spectrum& spectrum : spectra) {
        const ColourLevels shown =
            ComputeColourLevels(spectrum, {0.425f * level.Factor(), 0.4f, 0.4f, 0.4f, 0});
        out.push_back(std::max({shown.red, shown.green, shown.blue}));
        level.Update(out.back(), kFlashTickMs);
    }
    return out;
}

TEST(AutoLevel, QuietAndLoudEndAlikeSilenceStaysBlackAndDrumsDoNotPump) {
    const std::vector<int> quiet = Levels(SpectraOf(Sine(1000, -30, 10)));
    const std::vector<int> loud = Levels(SpectraOf(Sine(1000, -6, 10)));
    const std::size_t settled = 8000 / kFlashTickMs;  // 8 s in, clear of the tone's end
    EXPECT_LT(quiet.at(10) * 3, loud.at(10)) << "24 dB apart before adapting";
    EXPECT_NEAR(quiet.at(settled), loud.at(settled), 4);
    EXPECT_NEAR(loud.at(settled), AutoLevel::kTarget, 8);

    const std::vector<int> silence = Levels(SpectraOf(Sine(1000, -200, 5)));
    EXPECT_EQ(*std::max_element(silence.begin(), silence.end()), 0);

    // Over the last second of a steady loop the factor moves by at most 10 %.
    AutoLevel level;
    std::vector<float> factors;
    for (const Spectrum& spectrum : SpectraOf(DrumLoop(120, 10))) {
        const ColourLevels c =
            ComputeColourLevels(spectrum, {0.425f * level.Factor(), 0.4f, 0.4f, 0.4f, 0});
        factors.push_back(level.Update(std::max({c.red, c.green, c.blue}), kFlashTickMs));
    }
    const auto last = factors.end() - 1000 / kFlashTickMs;
    const auto [low, high] = std::minmax_element(last, factors.end());
    EXPECT_LE(*high / *low, 1.10f);
}

}  // namespace
}  // namespace chromola::testing
