// Where the main window stands and how large it is, in outer geometry (with
// the window manager's frame), as the stored settings keep it. The frame is
// known only once the window is on screen: geometry asked for before that
// places the client area, and is applied once more, a single time, when the
// window is first exposed. The outer size has a minimum the user cannot
// shrink below; Qt limits only the client size, so the limit follows the
// frame. UI thread only.
#pragma once

#include <QRect>
#include <QSize>

class QWidget;

namespace chromola {

// Outer size below which the user cannot shrink the window.
inline constexpr QSize kMinOuterSize(440, 330);

// The work area of the screen under the middle of `outer`, or of the primary
// screen when no screen is there; empty without screens.
QRect WorkAreaFor(const QRect& outer);

// `outer` no larger than `workArea` and moved into it, so that the whole
// frame (the main window's with the control panel in its corner) can be
// seen. A window whose minimum (`least`, by default the main window's) is
// larger than the work area keeps its minimum and the top-left. An empty
// work area (no screens) leaves `outer` as it is.
QRect FittedIntoWorkArea(const QRect& outer, const QRect& workArea,
                         const QSize& least = kMinOuterSize);

class WindowPlacement {
  public:
    // Places `window`, a top-level widget that outlives this.
    explicit WindowPlacement(QWidget& window) : window_(window) {}

    QSize outerSize() const;
    // Fitted into the work area of the screen under its middle; its top-left
    // is the window's pos().
    void setOuterGeometry(const QRect& outer);

    // The window tells these: the frame may have changed (a move, a resize,
    // showing), and the window is exposed on screen.
    void updateMinimumSize();
    void windowExposed();

  private:
    void placeOnceFramed();

    QWidget& window_;
    QSize frameMargins_{-1, -1};
    // Outer geometry asked for before the frame was known.
    QRect pendingOuter_;
};

}  // namespace chromola
