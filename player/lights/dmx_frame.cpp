#include "lights/dmx_frame.h"

#include <algorithm>

#include "player_view.h"

namespace chromola {

namespace {

constexpr int kMaxUniverse = 32767;
constexpr int kMaxFixtures = 170;

int InRangeOr(int value, int low, int high, int fallback) {
    return value >= low && value <= high ? value : fallback;
}

std::uint8_t Slot(int level) {
    return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

}  // namespace

LightsOptions LightsOptions::Clamped() const {
    const LightsOptions defaults;
    LightsOptions clamped = *this;
    clamped.universe = InRangeOr(universe, 1, kMaxUniverse, defaults.universe);
    clamped.address = InRangeOr(address, 1, kDmxSlots, defaults.address);
    clamped.layout = InRangeOr(layout, kLayoutRgb, kLayoutDimmerRgb, defaults.layout);
    clamped.fixtures = InRangeOr(fixtures, 1, kMaxFixtures, defaults.fixtures);
    clamped.idleLights = InRangeOr(idleLights, 0, 1, defaults.idleLights);
    return clamped;
}

int SlotsPerFixture(int layout) {
    return layout == kLayoutRgb ? 3 : 4;
}

DmxFrame BuildDmxFrame(const ColourLevels& levels, const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    const std::uint8_t r = Slot(levels.red);
    const std::uint8_t g = Slot(levels.green);
    const std::uint8_t b = Slot(levels.blue);
    std::array<std::uint8_t, 4> fixture{};
    switch (o.layout) {
        case kLayoutRgbw:
            fixture = {r, g, b, std::min({r, g, b})};
            break;
        case kLayoutDimmerRgb:
            fixture = {255, r, g, b};
            break;
        default:
            fixture = {r, g, b, 0};
            break;
    }
    const int width = SlotsPerFixture(o.layout);
    const int room = (kDmxSlots - (o.address - 1)) / width;
    const int count = std::min(o.fixtures, room);

    DmxFrame frame{};
    auto slot = frame.begin() + (o.address - 1);
    for (int i = 0; i < count; ++i) {
        slot = std::copy_n(fixture.begin(), width, slot);
    }
    return frame;
}

DmxFrame BuildIdleFrame(const LightsOptions& options) {
    return options.Clamped().idleLights == 1 ? BuildDmxFrame(kIdleColour, options) : DmxFrame{};
}

}  // namespace chromola
