#include "lights/dmx_frame.h"

#include <algorithm>

#include "shown_colour.h"

namespace chromola {

namespace {

constexpr int kMaxUniverse = 32767;

std::uint8_t Slot(int level) {
    return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

// The slots of one fixture of `layout` in colour r, g, b.
std::array<std::uint8_t, 4> Fixture(std::uint8_t r, std::uint8_t g, std::uint8_t b, int layout) {
    switch (layout) {
        case kLayoutRgbw:
            return {r, g, b, std::min({r, g, b})};
        case kLayoutDimmerRgb:
            return {255, r, g, b};
        default:
            return {r, g, b, 0};
    }
}

// The first pixel universe `index` holds and how many, for clamped options.
struct UniversePixels {
    int first = 0;
    int count = 0;
    int firstSlot = 0;
};

UniversePixels PixelsIn(const LightsOptions& o, int index) {
    const int width = SlotsPerFixture(o.layout);
    const int inFirst = (kDmxSlots - (o.address - 1)) / width;
    const int perUniverse = kDmxSlots / width;
    UniversePixels u;
    u.first = index == 0 ? 0 : inFirst + (index - 1) * perUniverse;
    u.count = std::clamp(o.pixels - u.first, 0, index == 0 ? inFirst : perUniverse);
    u.firstSlot = index == 0 ? o.address - 1 : 0;
    return u;
}

template <typename PixelAt>
DmxFrame StripUniverse(const LightsOptions& options, int index, PixelAt pixelAt) {
    const LightsOptions o = options.Clamped();
    const UniversePixels u = PixelsIn(o, index);
    const int width = SlotsPerFixture(o.layout);
    DmxFrame frame{};
    auto slot = frame.begin() + u.firstSlot;
    for (int i = 0; i < u.count; ++i) {
        const std::array<std::uint8_t, 3> c = pixelAt(u.first + i);
        slot = std::copy_n(Fixture(c[0], c[1], c[2], o.layout).begin(), width, slot);
    }
    return frame;
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
    const std::array<std::uint8_t, 4> fixture = Fixture(r, g, b, o.layout);
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

namespace chromola {

int UniverseCount(const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    if (o.pixels == 1) {
        return 1;
    }
    int count = 1;
    while (PixelsIn(o, count).count > 0) {
        ++count;
    }
    return std::min(count, kMaxUniverse - o.universe + 1);
}

DmxFrame BuildStripUniverse(std::span<const std::uint8_t> rgb, const LightsOptions& options,
                            int index) {
    return StripUniverse(options, index, [rgb](int pixel) {
        const auto at = 3 * static_cast<std::size_t>(pixel);
        return at + 3 <= rgb.size() ? std::array{rgb[at], rgb[at + 1], rgb[at + 2]}
                                    : std::array<std::uint8_t, 3>{};
    });
}

DmxFrame BuildIdleStripUniverse(const LightsOptions& options, int index) {
    const ColourLevels c = options.Clamped().idleLights == 1 ? kIdleColour : kBlack;
    const std::array colour{Slot(c.red), Slot(c.green), Slot(c.blue)};
    return StripUniverse(options, index, [colour](int) { return colour; });
}

}  // namespace chromola
