// How the main window's colour and level bars reach the screen, from the UI
// thread and from the display's tick (display/frame_view.h). Where the X
// server fills them over the window's ServerLink (colour_surface.h), a tick
// on the clock's own thread draws a frame without waking the UI thread; the
// window tells the painter, on the UI thread, what a tick may touch.
//
// Threads: the colour, the bars and what the window publishes are guarded by
// the link's mutex, which every draw holds from its first request to its
// flush, so that requests from both threads never interleave. The position
// bar's state and the minimised flag are atomics the window keeps current.
#pragma once

#include <QColor>
#include <QRect>
#include <QVector>

#include <atomic>
#include <cstdint>
#include <memory>

#include "display/frame_view.h"
#include "main_window/server_link.h"

namespace chromola {

class ColourSurface;
class ControlPanel;

class FramePainter : public FrameView {
  public:
    // `leftSurface` and `topSurface` cover the colour area beside the panel,
    // `panel` holds the bars; all made over `link`, which may be null (then
    // Qt paints and no tick may draw from another thread). They must outlive
    // the painter.
    FramePainter(std::shared_ptr<ServerLink> link, ColourSurface* leftSurface,
                 ColourSurface* topSurface, ControlPanel* panel);
    ~FramePainter() override;
    FramePainter(const FramePainter&) = delete;
    FramePainter& operator=(const FramePainter&) = delete;

    // The X server draws the colour and the bars over a connection that a
    // tick on another thread may use.
    bool drawsFromAnyThread() const { return link_ != nullptr; }

    // The colour shown; any thread.
    QColor colour() const { return QColor::fromRgb(colour_.load(std::memory_order_relaxed)); }

    // UI thread. Shows `colour` on the surfaces; false when it is already
    // the colour shown, and nothing was drawn.
    bool setColour(const QColor& colour);
    // UI thread. The bars' ends in twips.
    void setBarEnds(int blueX2, int greenX2, int redX2);

    // UI thread: what a tick may draw. `direct` is false while a printed
    // message stands on the colour, which a tick would erase; `window` is the
    // main window's X window and `besidePicture` the part of the colour area
    // no surface covers while the picture shows (at most eight rectangles).
    void setFrameArea(bool direct, uint32_t window, QVector<QRect> besidePicture);
    void setMinimised(bool minimised) { minimised_.store(minimised, std::memory_order_relaxed); }
    void setPosition(int seconds) { position_.store(seconds, std::memory_order_relaxed); }
    void setPositionDragged(bool dragged) { dragged_.store(dragged, std::memory_order_relaxed); }

    // FrameView, from the display's tick thread.
    bool Minimised() const override { return minimised_.load(std::memory_order_relaxed); }
    int Position() const override { return position_.load(std::memory_order_relaxed); }
    bool PositionDragged() const override { return dragged_.load(std::memory_order_relaxed); }
    bool ShowFrame(const ColourLevels& colour, int blueX2, int greenX2, int redX2) override;

  private:
    // Fills the colour area beside the picture, which no surface covers,
    // from a tick; with the link's mutex held.
    void fillBesidePicture(const QColor& colour);

    std::shared_ptr<ServerLink> link_;
    ColourSurface* leftSurface_;
    ColourSurface* topSurface_;
    ControlPanel* panel_;
    std::atomic<QRgb> colour_{QColor(Qt::black).rgb()};
    std::atomic<int> position_{0};
    std::atomic<bool> dragged_{false};
    std::atomic<bool> minimised_{false};
    // Guarded by the link's mutex: a tick may draw (no printed message), the
    // window and the rectangles beside the picture, and the tick's GC.
    bool framesDirect_ = true;
    uint32_t frameWindow_ = 0;
    QVector<QRect> besidePicture_;
    uint32_t gc_ = 0;
    uint32_t gcWindow_ = 0;
};

}  // namespace chromola
