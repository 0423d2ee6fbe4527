#include "main_window/frame_painter.h"

#include <iterator>
#include <mutex>
#include <utility>

#include "main_window/colour_surface.h"
#include "main_window/control_panel.h"

namespace chromola {

FramePainter::FramePainter(std::shared_ptr<ServerLink> link, ColourSurface* leftSurface,
                           ColourSurface* topSurface, ControlPanel* panel)
    : link_(std::move(link)), leftSurface_(leftSurface), topSurface_(topSurface), panel_(panel) {}

FramePainter::~FramePainter() {
    if (link_ != nullptr && gc_ != 0) {
        std::lock_guard lock(link_->mutex());
        link_->FreeGc(gc_);
        link_->Flush();
    }
}

bool FramePainter::setColour(const QColor& colour) {
    std::unique_lock<std::mutex> lock;
    if (link_ != nullptr) {
        lock = std::unique_lock(link_->mutex());
    }
    if (colour.rgb() == colour_.load(std::memory_order_relaxed)) {
        return false;
    }
    colour_.store(colour.rgb(), std::memory_order_relaxed);
    leftSurface_->setColour(colour);
    topSurface_->setColour(colour);
    if (link_ != nullptr) {
        link_->Flush();
    }
    return true;
}

void FramePainter::setBarEnds(int blueX2, int greenX2, int redX2) {
    std::unique_lock<std::mutex> lock;
    if (link_ != nullptr) {
        lock = std::unique_lock(link_->mutex());
    }
    panel_->setLineX2(0, blueX2);
    panel_->setLineX2(1, greenX2);
    panel_->setLineX2(2, redX2);
    if (link_ != nullptr) {
        link_->Flush();
    }
}

void FramePainter::setFrameArea(bool direct, uint32_t window, QVector<QRect> besidePicture) {
    if (link_ == nullptr) {
        return;
    }
    std::lock_guard lock(link_->mutex());
    framesDirect_ = direct;
    frameWindow_ = window;
    besidePicture_ = std::move(besidePicture);
}

bool FramePainter::ShowFrame(const ColourLevels& levels, int blueX2, int greenX2, int redX2) {
    if (link_ == nullptr) {
        return false;
    }
    std::lock_guard lock(link_->mutex());
    // A printed message is erased by the UI thread's own SetBackColour.
    if (!framesDirect_) {
        return false;
    }
    const QColor colour(levels.red, levels.green, levels.blue);
    if (colour_.exchange(colour.rgb(), std::memory_order_relaxed) != colour.rgb()) {
        leftSurface_->setColour(colour);
        topSurface_->setColour(colour);
        fillBesidePicture(colour);
    }
    panel_->setLineX2(0, blueX2);
    panel_->setLineX2(1, greenX2);
    panel_->setLineX2(2, redX2);
    link_->Flush();
    return true;
}

void FramePainter::fillBesidePicture(const QColor& colour) {
    if (besidePicture_.isEmpty() || frameWindow_ == 0) {
        return;
    }
    const uint32_t pixel = TrueColourPixel(colour);
    if (gcWindow_ != frameWindow_) {
        if (gc_ != 0) {
            link_->FreeGc(gc_);
        }
        gc_ = link_->NewId();
        link_->CreateGc(gc_, frameWindow_, pixel);
        gcWindow_ = frameWindow_;
    } else {
        link_->SetForeground(gc_, pixel);
    }
    ServerRect rects[8];
    uint32_t count = 0;
    for (const QRect& r : besidePicture_) {
        if (count < std::size(rects)) {
            rects[count++] = {static_cast<int16_t>(r.x()), static_cast<int16_t>(r.y()),
                              static_cast<uint16_t>(r.width()), static_cast<uint16_t>(r.height())};
        }
    }
    link_->FillRectangles(frameWindow_, gc_, rects, count);
}

}  // namespace chromola
