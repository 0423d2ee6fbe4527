// Anything besides the window that follows the display's colour: light
// output, a log of shown colours. Sinks hang off the display controller, so
// adding one touches neither the window nor the other sinks. They are
// called once per tick on the thread the clock ticks on (the UI thread or a
// tick thread of its own, clock.h), never two at a time, and must not block.
#pragma once

#include "display/band_levels.h"
#include "shown_colour.h"

namespace chromola {

// One tick of the display, for a sink that shows more than one colour (a
// strip of pixels, strip_frame.h).
struct StripInput {
    BandLevels bands{};         // after brightness, automatic level, gains and inversion
    ColourLevels shown{};       // the window's colour, after its limiter
    bool limitFlashes = false;  // the flash limiter is on
    long long nowMs = 0;        // the display's steady clock
    // The beat scene's steps (beat_display.h): the bands of group g show in
    // the colour of group (g + sceneSteps) % 3, as the window's levels do.
    int sceneSteps = 0;
};

class ColourSink {
  public:
    virtual ~ColourSink() = default;
    // The levels the window shows this tick, after every adjustment.
    virtual void ShowColour(const ColourLevels& levels) = 0;
    // Nothing plays: the window shows its idle look.
    virtual void ShowIdle() = 0;
    // A sink that wants the bands as well gets ShowStrip in place of
    // ShowColour; the display works the bands out only while one does.
    // Any thread; may change between ticks.
    virtual bool WantsBands() const { return false; }
    virtual void ShowStrip(const StripInput& input) { ShowColour(input.shown); }
};

}  // namespace chromola
