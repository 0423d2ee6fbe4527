// What a strip of addressable pixels shows: one frame of 1..4096 RGB pixels
// a tick, made from the display's bands and levels after brightness, gains,
// inversion and the flash limiter.
//
// Effects:
//   0 one colour: every pixel shows the window's colour.
//   1 spectrum: the 39 bands spread over the pixels, lowest first; a pixel
//     shows the band under its centre in that band's group colour (red,
//     green or blue) at the band's level. Fewer than 39 pixels skip bands.
//   2 mirrored spectrum: the same from the middle out, lowest in the
//     middle, highest at both ends; pixel i equals pixel N-1-i exactly.
//   3 flow: the window's colour enters at pixel 0 and moves one pixel a
//     tick, so pixel k shows the colour of k ticks ago.
//   4 meter: the strip in three equal parts, red, green and blue from
//     pixel 0, each a bar in its full colour growing from the part's start
//     with its level (0 none, 255 the whole part).
//
// The flash rule holds for the strip as a whole, since a strip lights the
// room: each frame's mean colour (in linear light, per channel) goes
// through a flash limiter of the strip's own, and when that limiter holds
// the colour back, every pixel's channel is remapped by one monotonic
// curve per channel (scaled down towards dark, or its headroom scaled up
// towards full) so that the frame's mean becomes the limited colour. What
// is guaranteed: the mean colour of every frame sent, in linear light, is
// a colour that limiter let through to within half an 8-bit step per
// channel (the rounding of pixels to levels), i.e. no more than three
// flashes in any second by the strip's mean luminance and red. Effect 0
// shows the window's colour, already limited, and needs no more.
//
// No Qt, no allocation, no lock, and work in proportion to the pixels only
// where pixels are written (the mean comes from the bands, the flow's
// running sums or the bars): the display's tick paints 59 frames a second.
// One painter per strip, used by one thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "display/band_levels.h"
#include "display/colour_levels.h"
#include "display/colour_sink.h"
#include "display/flash_limiter.h"

namespace chromola {

inline constexpr int kMaxStripPixels = 4096;

enum StripEffect {
    kEffectOneColour = 0,
    kEffectSpectrum = 1,
    kEffectMirrored = 2,
    kEffectFlow = 3,
    kEffectMeter = 4,
};

// Out-of-range values take their default, as every setting of the player
// does.
struct StripOptions {
    int pixels = 1;  // 1..4096
    int effect = kEffectOneColour;

    StripOptions Clamped() const;
    friend bool operator==(const StripOptions&, const StripOptions&) = default;
};

// The input for a caller without bands: each band at its group's level.
StripInput StripInputFor(const ColourLevels& levels);

// A frame's bytes: red, green, blue per pixel, pixel 0 first.
using StripBuffer = std::array<std::uint8_t, 3 * kMaxStripPixels>;

class StripPainter {
  public:
    // Paints this tick's frame into `out` and gives its length in bytes. A
    // change of pixel count starts the flow over from dark.
    std::size_t Paint(const StripInput& input, const StripOptions& options, StripBuffer& out);
    // Every pixel `colour` (the idle look): counted by the limiter as
    // shown, the flow left where it was.
    std::size_t Fill(const ColourLevels& colour, int pixels, long long nowMs, StripBuffer& out);

  private:
    // Sums of the pixels' linear light per channel, in units of
    // 1 / kLinearUnit: whole numbers, so that the flow can keep its sums
    // up to date tick by tick without drifting.
    using Sums = std::array<std::uint64_t, 3>;
    void MapBands(int pixels, int effect);
    Sums PaintSpectrum(const BandLevels& bands, int sceneSteps, int pixels, StripBuffer& out) const;
    Sums PaintFlow(const ColourLevels& colour, int pixels, StripBuffer& out);
    static Sums PaintMeter(const ColourLevels& levels, int pixels, StripBuffer& out);
    void KeepFlashesInLimit(const Sums& sums, int pixels, bool limit, long long nowMs,
                            StripBuffer& out);

    // The flow's colours twice over, so that the newest kMaxStripPixels of
    // them always lie in one piece from flowHead_.
    std::array<std::uint8_t, 6 * kMaxStripPixels> flow_{};
    int flowHead_ = 0;
    int flowPixels_ = 0;
    Sums flowSums_{};
    // The band each pixel shows, and how many pixels show each band, for
    // the mapping last made.
    std::array<std::uint8_t, kMaxStripPixels> bandOf_{};
    std::array<int, kBandCount> bandPixels_{};
    int mappedPixels_ = 0;
    int mappedEffect_ = -1;
    FlashLimiter limiter_;
};

}  // namespace chromola
