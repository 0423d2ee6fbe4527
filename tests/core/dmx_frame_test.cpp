#include "lights/dmx_frame.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace chromola
