// What the lights are sent: one DMX512 universe of 512 slots built from the
// levels the window shows. Fixtures sit in a row from the start address,
// each taking the slots of its layout and all showing the same colour. Pure,
// no allocation: the sender builds a frame for every tick.
#pragma once

#include <array>
#include <cstdint>

#include "display/colour_levels.h"

namespace chromola {

inline constexpr int kDmxSlots = 512;
using DmxFrame = std::array<std::uint8_t, kDmxSlots>;

// A fixture's slots in order.
enum LightsLayout {
    kLayoutRgb = 0,        // red, green, blue
    kLayoutRgbw = 1,       // red, green, blue, white = min(red, green, blue)
    kLayoutDimmerRgb = 2,  // dimmer at full, red, green, blue
};

// The light output settings. Out-of-range values take their default, as
// every other setting of the player does, so that a damaged settings file
// still drives the lights somewhere sensible.
struct LightsOptions {
    bool enabled = false;
    int universe = 1;  // 1..32767, the highest an Art-Net port address holds
    int address = 1;   // 1..512, the first fixture's first slot
    int layout = kLayoutRgb;
    int fixtures = 1;    // 1..170, as many RGB fixtures as a universe holds
    int idleLights = 0;  // while nothing plays: 0 dark, 1 the idle colour

    LightsOptions Clamped() const;
    friend bool operator==(const LightsOptions&, const LightsOptions&) = default;
};

int SlotsPerFixture(int layout);

// The frame while `levels` are shown. Options are clamped first; levels are
// held to 0..255. A fixture that would run past slot 512 is left out whole,
// as a real one there would miss its last slots. Slots that no fixture
// takes are 0.
DmxFrame BuildDmxFrame(const ColourLevels& levels, const LightsOptions& options);

// The frame while nothing plays: the window's idle colour, or all slots at 0.
DmxFrame BuildIdleFrame(const LightsOptions& options);

}  // namespace chromola
