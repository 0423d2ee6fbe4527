#include "lights_options.h"

namespace chromola {

namespace {

constexpr int kMaxUniverse = 32767;
constexpr int kMaxAddress = 512;
constexpr int kMaxFixtures = 170;

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
    return clamped;
}

}  // namespace chromola
