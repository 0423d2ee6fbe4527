// Anything besides the window that follows the display's colour: light
// output, a log of shown colours. Sinks hang off the display controller, so
// adding one touches neither the window nor the other sinks. They are
// called once per tick on the thread the clock ticks on (the UI thread or a
// tick thread of its own, clock.h), never two at a time, and must not block.
#pragma once

#include "shown_colour.h"

namespace chromola {

class ColourSink {
  public:
    virtual ~ColourSink() = default;
    // The levels the window shows this tick, after every adjustment.
    virtual void ShowColour(const ColourLevels& levels) = 0;
    // Nothing plays: the window shows its idle look.
    virtual void ShowIdle() = 0;
};

}  // namespace chromola
