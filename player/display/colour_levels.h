// The colour of a spectrum: the pure core of the colour-music display.
//
// A spectrum of 1025 magnitudes (index k stands for k / 2048 of the channel's
// sample rate; index 0 is never read, index 1024 is read by the last band and
// is normally 0) is cut into 39 bands whose ends grow geometrically. Bands
// 0..14 feed red, 15..27 green and 28..38 blue. Each band contributes
//   floor( sqrt( s / log10(w) ) * 255 * brightness * gain )
// where s is the band's sum (single precision) and w its width term; a
// colour's contributions are summed in single precision, rounded half to even
// and capped at 255. Inversion (255 - level) happens only for an
// `invertColours` of exactly 1.
//
// No Qt and no allocation: the tick calls this 59 times a second.
#pragma once

#include <array>
#include <cstdint>

#include "shown_colour.h"

namespace chromola {

inline constexpr int kSpectrumSize = 1025;
inline constexpr int kBandCount = 39;
inline constexpr int kFirstGreenBand = 15;
inline constexpr int kFirstBlueBand = 28;

using Spectrum = std::array<float, kSpectrumSize>;

struct ColourParams {
    float brightness = 0.0f;  // brightness bar value x 0.025f: 0.05..0.8
    float redGain = 0.0f;     // gains: setting x 0.025f, 0.05..0.8
    float greenGain = 0.0f;
    float blueGain = 0.0f;
    int invertColours = 0;  // inverts only when exactly 1
};

// One band of the fixed band table.
struct Band {
    int first;  // first spectrum index taken
    int last;   // last spectrum index taken (>= first)
    int w;      // width term: band end - bin position before the band + 10
};

// The 39 bands, computed once (band end 2^(i*10/38) in double precision,
// rounded half to even; every band takes at least one value).
const std::array<Band, kBandCount>& BandTable();

// The three levels for a spectrum. Non-finite or negative band values count
// as 0 so that a damaged spectrum can never yield a level outside 0..255.
ColourLevels ComputeColourLevels(const Spectrum& spectrum, const ColourParams& params);

}  // namespace chromola
