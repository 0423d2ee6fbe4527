// The level of each of the 39 bands on its own: what a strip of pixels
// shows where the window shows only the three sums. Same formula as
// ComputeColourLevels (colour_levels.h): a band's contribution
//   floor( sqrt( s / log10(w) ) * 255 * brightness * gain )
// with the gain of the band's group (red 0..14, green 15..27, blue 28..38),
// here capped at 255 per band and inverted (255 - level) for an
// `invertColours` of exactly 1. A group's level is the sum of its bands'
// contributions, so a band is never brighter than its group's level before
// the cap.
//
// No Qt and no allocation: the tick calls this 59 times a second.
#pragma once

#include <array>
#include <cstdint>

#include "display/colour_levels.h"

namespace chromola {

using BandLevels = std::array<std::uint8_t, kBandCount>;

// 0 red, 1 green, 2 blue: the group whose level a band adds to.
constexpr int BandGroup(int band) {
    return band < kFirstGreenBand ? 0 : (band < kFirstBlueBand ? 1 : 2);
}

// Non-finite or negative spectrum values count as 0, as for the colour.
BandLevels ComputeBandLevels(const Spectrum& spectrum, const ColourParams& params);

}  // namespace chromola
