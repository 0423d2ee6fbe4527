// The part of the main window that a display tick draws 59 times a second:
// the colour area and the three level bars, and what the tick reads of the
// window. It is called on the thread the clock ticks on (clock.h), which
// need not be the window's; everything else goes to the PlayerView on the
// clock's owner thread.
#pragma once

#include "shown_colour.h"

namespace chromola {

class FrameView {
  public:
    virtual ~FrameView() = default;

    // A minimised window draws nothing.
    virtual bool Minimised() const = 0;
    // The position bar's value and whether the user drags its thumb.
    virtual int Position() const = 0;
    virtual bool PositionDragged() const = 0;
    // Shows the colour and the ends of the bars `Line1` (blue), `Line2`
    // (green) and `Line3` (red) in twips. False when the window cannot show
    // them from here now (a printed message stands on the colour): the
    // display then hands them to the PlayerView on the owner's thread.
    virtual bool ShowFrame(const ColourLevels& colour, int blueX2, int greenX2, int redX2) = 0;
};

}  // namespace chromola
