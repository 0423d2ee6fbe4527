#include "lights/dmx_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "player_view.h"

namespace chromola {
namespace {

// The frame that has `fixture` `times` over from 1-based slot `first` on
// and 0 everywhere else.
DmxFrame FrameWith(int first, const std::vector<int>& fixture, int times = 1) {
    DmxFrame frame{};
    for (std::size_t i = 0; i < fixture.size() * times; ++i) {
        frame[first - 1 + i] = static_cast<std::uint8_t>(fixture[i % fixture.size()]);
    }
    return frame;
}

TEST(DmxFrame, LayoutsRepeatFromTheAddressAndStopBeforeSlot512) {
    const std::tuple<const char*, ColourLevels, LightsOptions, DmxFrame> rows[] = {
        {"rgbw",
         {200, 50, 90},
         {.address = 100, .layout = kLayoutRgbw},
         FrameWith(100, {200, 50, 90, 50})},
        {"dimmer at the last four slots",
         {1, 2, 3},
         {.address = 509, .layout = kLayoutDimmerRgb},
         FrameWith(509, {255, 1, 2, 3})},
        {"three in a row", {7, 8, 9}, {.address = 10, .fixtures = 3}, FrameWith(10, {7, 8, 9}, 3)},
        {"no room for one", {4, 5, 6}, {.address = 510, .layout = kLayoutRgbw}, DmxFrame{}},
        {"170 fill 510 slots", {1, 2, 3}, {.fixtures = 170}, FrameWith(1, {1, 2, 3}, 170)},
        {"levels held to 0..255",
         {-5, 300, 128},
         {.layout = kLayoutRgbw},
         FrameWith(1, {0, 255, 128, 0})},
        {"bad options take defaults",
         {10, 20, 30},
         {.address = 513, .layout = 3, .fixtures = 171},
         FrameWith(1, {10, 20, 30})},
    };
    for (const auto& [name, levels, options, expected] : rows) {
        EXPECT_EQ(BuildDmxFrame(levels, options), expected) << name;
    }
}

TEST(DmxFrame, IdleFrameIsDarkOrTheIdleColour) {
    LightsOptions options{.address = 20, .layout = kLayoutDimmerRgb, .fixtures = 2};
    EXPECT_EQ(BuildIdleFrame(options), DmxFrame{});
    options.idleLights = 1;
    EXPECT_EQ(BuildIdleFrame(options),
              FrameWith(20, {255, kIdleColour.red, kIdleColour.green, kIdleColour.blue}, 2));
}

// A strip through olad: four-slot pixels from slot 5 leave 127 in the first
// universe, 128 in the next and the rest in a third, each next one from
// slot 1; a pixel the frame lacks is dark; no universe past 32767.
TEST(DmxFrame, StripGoesOnInTheNextUniversesFromSlotOne) {
    LightsOptions options{.universe = 9, .address = 5, .layout = kLayoutRgbw, .pixels = 300};
    std::vector<std::uint8_t> rgb;
    for (int i = 0; i < 299; ++i) {  // pixel 299 missing
        rgb.insert(rgb.end(), {static_cast<std::uint8_t>(i), 7, 200});
    }
    // Pixels first..last-1 from 1-based slot `slot` on.
    const auto expected = [](int slot, int first, int last) {
        DmxFrame frame{};
        for (int i = first; i < last; ++i) {
            const auto at = static_cast<std::size_t>(slot - 1 + 4 * (i - first));
            const std::uint8_t red = i < 299 ? static_cast<std::uint8_t>(i) : 0;
            const std::uint8_t rest = i < 299 ? 7 : 0;
            frame[at] = red;
            frame[at + 1] = rest;
            frame[at + 2] = i < 299 ? 200 : 0;
            frame[at + 3] = std::min(red, rest);
        }
        return frame;
    };
    ASSERT_EQ(UniverseCount(options), 3);
    EXPECT_EQ(BuildStripUniverse(rgb, options, 0), expected(5, 0, 127));
    EXPECT_EQ(BuildStripUniverse(rgb, options, 1), expected(1, 127, 255));
    EXPECT_EQ(BuildStripUniverse(rgb, options, 2), expected(1, 255, 300));
    options.idleLights = 1;
    EXPECT_EQ(BuildIdleStripUniverse(options, 2),
              FrameWith(1, {kIdleColour.red, kIdleColour.green, kIdleColour.blue, 11}, 45));
    options.universe = 32766;
    EXPECT_EQ(UniverseCount(options), 2);
    options.pixels = 1;
    EXPECT_EQ(UniverseCount(options), 1);
}

}  // namespace
}  // namespace chromola
