#include "lights_options.h"

#include <algorithm>
#include <cstddef>

namespace chromola {

namespace {

constexpr int kMaxUniverse = 32767;
constexpr int kMaxAddress = 512;
constexpr int kMaxFixtures = 170;
constexpr int kMaxPixels = 4096;
constexpr int kMaxStripEffect = 4;

int InRangeOr(int value, int low, int high, int fallback) {
    return value >= low && value <= high ? value : fallback;
}

}  // namespace

LightsOptions LightsOptions::Clamped() const {
    const LightsOptions defaults;
    LightsOptions clamped = *this;
    clamped.universe = InRangeOr(universe, 1, kMaxUniverse, defaults.universe);
    clamped.address = InRangeOr(address, 1, kMaxAddress, defaults.address);
    clamped.layout = InRangeOr(layout, kLayoutRgb, kLayoutDimmerRgb, defaults.layout);
    clamped.fixtures = InRangeOr(fixtures, 1, kMaxFixtures, defaults.fixtures);
    clamped.idleLights = InRangeOr(idleLights, 0, 1, defaults.idleLights);
    clamped.pixels = InRangeOr(pixels, 1, kMaxPixels, defaults.pixels);
    clamped.stripEffect = InRangeOr(stripEffect, 0, kMaxStripEffect, defaults.stripEffect);
    clamped.output = InRangeOr(output, kOutputOla, kOutputDdp, defaults.output);
    clamped.ddpPort = InRangeOr(ddpPort, 1, 65535, defaults.ddpPort);
    const bool plain = ddpHost.size() <= static_cast<std::size_t>(kMaxHostLength) &&
                       std::none_of(ddpHost.begin(), ddpHost.end(), [](char c) {
                           const auto u = static_cast<unsigned char>(c);
                           return u < 0x20 || u == 0x7f;
                       });
    if (!plain) {
        clamped.ddpHost = defaults.ddpHost;
    }
    return clamped;
}

}  // namespace chromola
