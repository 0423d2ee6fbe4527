#include "lights/dmx_frame.h"

#include <algorithm>

#include "shown_colour.h"

namespace chromola {

namespace {

std::uint8_t Slot(int level) {
    return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

}  // namespace

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
