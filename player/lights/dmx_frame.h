// What the lights are sent: one DMX512 universe of 512 slots built from the
// levels the window shows. Fixtures sit in a row from the start address,
// each taking the slots of its layout and all showing the same colour. Pure,
// no allocation: the sender builds a frame for every tick.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "lights_options.h"
#include "shown_colour.h"

namespace chromola {

inline constexpr int kDmxSlots = 512;
using DmxFrame = std::array<std::uint8_t, kDmxSlots>;

int SlotsPerFixture(int layout);

// The frame while `levels` are shown. Options are clamped first; levels are
// held to 0..255. A fixture that would run past slot 512 is left out whole,
// as a real one there would miss its last slots. Slots that no fixture
// takes are 0.
DmxFrame BuildDmxFrame(const ColourLevels& levels, const LightsOptions& options);

// The frame while nothing plays: the window's idle colour, or all slots at 0.
DmxFrame BuildIdleFrame(const LightsOptions& options);

// A strip (`pixels` above 1): each pixel is one fixture of the layout, from
// the start address of the first universe, going on from slot 1 of the
// next ones, so that a universe holds 170 three-slot or 128 four-slot
// pixels; `fixtures` is not used. How many universes the lights take: 1 for
// a single colour, and never one past universe 32767.
int UniverseCount(const LightsOptions& options);
// Universe `index` (0: `universe` itself) of a strip whose pixels are
// `rgb`, three bytes each from pixel 0; pixels it lacks are dark.
DmxFrame BuildStripUniverse(std::span<const std::uint8_t> rgb, const LightsOptions& options,
                            int index);
// The same while nothing plays: every pixel the idle colour, or dark.
DmxFrame BuildIdleStripUniverse(const LightsOptions& options, int index);

}  // namespace chromola
