#include "lights/dmx_frame.h"

#include <gtest/gtest.h>

#include <vector>

#include "player_view.h"

namespace chromola {
namespace {

// The frame that has `run` from 1-based slot `first` on and 0 everywhere
// else.
DmxFrame FrameWith(int first, const std::vector<int>& run) {
    DmxFrame frame{};
    for (std::size_t i = 0; i < run.size(); ++i) {
        frame[first - 1 + i] = static_cast<std::uint8_t>(run[i]);
    }
    return frame;
}

std::vector<int> Repeated(const std::vector<int>& fixture, int times) {
    std::vector<int> run;
    for (int i = 0; i < times; ++i) {
        run.insert(run.end(), fixture.begin(), fixture.end());
    }
    return run;
}

LightsOptions Options(int address, int layout, int fixtures, int idleLights = 0) {
    LightsOptions o;
    o.enabled = true;
    o.address = address;
    o.layout = layout;
    o.fixtures = fixtures;
    o.idleLights = idleLights;
    return o;
}

TEST(DmxFrame, LayoutsRepeatFromTheAddressAndStopBeforeSlot512) {
    struct Row {
        const char* name;
        ColourLevels levels;
        LightsOptions options;
        DmxFrame expected;
    };
    const Row rows[] = {
        {"rgb", {10, 20, 30}, Options(1, kLayoutRgb, 1), FrameWith(1, {10, 20, 30})},
        {"rgbw", {200, 50, 90}, Options(100, kLayoutRgbw, 1), FrameWith(100, {200, 50, 90, 50})},
        {"dimmer at the last four slots",
         {1, 2, 3},
         Options(509, kLayoutDimmerRgb, 1),
         FrameWith(509, {255, 1, 2, 3})},
        {"three in a row",
         {7, 8, 9},
         Options(10, kLayoutRgb, 3),
         FrameWith(10, Repeated({7, 8, 9}, 3))},
        {"second fixture cut", {4, 5, 6}, Options(508, kLayoutRgb, 2), FrameWith(508, {4, 5, 6})},
        {"no room for one", {4, 5, 6}, Options(510, kLayoutRgbw, 1), DmxFrame{}},
        {"170 fill 510 slots",
         {1, 2, 3},
         Options(1, kLayoutRgb, 170),
         FrameWith(1, Repeated({1, 2, 3}, 170))},
        {"128 rgbw cut to 127",
         {9, 3, 6},
         Options(5, kLayoutRgbw, 128),
         FrameWith(5, Repeated({9, 3, 6, 3}, 127))},
        {"levels held to 0..255",
         {-5, 300, 128},
         Options(1, kLayoutRgbw, 1),
         FrameWith(1, {0, 255, 128, 0})},
        {"bad options take defaults",
         {10, 20, 30},
         Options(513, 3, 171),
         FrameWith(1, {10, 20, 30})},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(BuildDmxFrame(row.levels, row.options), row.expected) << row.name;
    }
}

TEST(DmxFrame, IdleFrameIsDarkOrTheIdleColour) {
    EXPECT_EQ(BuildIdleFrame(Options(20, kLayoutDimmerRgb, 2, 0)), DmxFrame{});
    EXPECT_EQ(
        BuildIdleFrame(Options(20, kLayoutDimmerRgb, 2, 1)),
        FrameWith(20, Repeated({255, kIdleColour.red, kIdleColour.green, kIdleColour.blue}, 2)));
}

}  // namespace
}  // namespace chromola
