#include "main_window/colour_surface.h"

#include <QPaintEvent>
#include <QPainter>

#include <xcb/xcb.h>

#include "main_window/x11_native.h"

#include <algorithm>
#include <cstdlib>

namespace chromola {

ColourSurface::ColourSurface(QWidget* parent, std::shared_ptr<ServerLink> link)
    : QWidget(parent), link_(std::move(link)) {
    if (link_ != nullptr) {
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ColourSurface::~ColourSurface() {
    if (link_ != nullptr) {
        std::lock_guard lock(link_->mutex());
        if (barWindow_ != 0) {
            link_->DestroyWindow(barWindow_);
        }
        window_ = 0;
        link_->Flush();
    }
}

QPaintEngine* ColourSurface::paintEngine() const {
    // The X server paints this window; Qt draws nothing into it.
    return link_ != nullptr ? nullptr : QWidget::paintEngine();
}

int ColourSurface::barWidth() const {
    std::unique_lock<std::mutex> lock;
    if (link_ != nullptr) {
        lock = std::unique_lock(link_->mutex());
    }
    return barWidth_;
}

QColor ColourSurface::colour() const {
    std::unique_lock<std::mutex> lock;
    if (link_ != nullptr) {
        lock = std::unique_lock(link_->mutex());
    }
    return colour_;
}

void ColourSurface::setColour(const QColor& colour) {
    if (colour == colour_) {
        return;
    }
    colour_ = colour;
    if (link_ != nullptr) {
        fillOnServer();
    } else {
        update();
    }
}

void ColourSurface::fillOnServer() {
    if (window_ == 0) {
        return;
    }
    link_->SetBackground(window_, TrueColourPixel(colour_));
    link_->ClearWindow(window_);
}

void ColourSurface::setBar(const QColor& colour, int width) {
    width = std::max(0, width);
    if (colour == barColour_ && width == barWidth_) {
        return;
    }
    const int oldWidth = barWidth_;
    const bool recolour = colour != barColour_;
    barColour_ = colour;
    barWidth_ = width;
    if (link_ == nullptr) {
        update(recolour
                   ? rect()
                   : QRect(std::min(oldWidth, width), 0, std::abs(width - oldWidth), height()));
        return;
    }
    if (recolour && barWindow_ != 0) {
        link_->SetBackground(barWindow_, TrueColourPixel(barColour_));
        link_->ClearWindow(barWindow_);
    }
    placeBarOnServer();
}

void ColourSurface::placeBarOnServer() {
    if (window_ == 0 || !barColour_.isValid()) {
        return;
    }
    const auto width = static_cast<uint16_t>(std::clamp(barWidth_, 1, 0xffff));
    const auto height = static_cast<uint16_t>(std::clamp(height_, 1, 0xffff));
    if (barWindow_ == 0) {
        barWindow_ = link_->NewId();
        link_->CreateWindow(barWindow_, window_, width, height, TrueColourPixel(barColour_));
    } else {
        link_->ResizeWindow(barWindow_, width, height);
    }
    // X has no empty windows: a bar of no length is taken away instead.
    const bool mapped = barWidth_ > 0;
    if (mapped != barMapped_) {
        if (mapped) {
            link_->MapWindow(barWindow_);
        } else {
            link_->UnmapWindow(barWindow_);
        }
        barMapped_ = mapped;
    }
}

void ColourSurface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (link_ != nullptr) {
        std::lock_guard lock(link_->mutex());
        height_ = height();
        if (barWindow_ != 0) {
            placeBarOnServer();
            link_->Flush();
        }
    }
}

bool ColourSurface::event(QEvent* event) {
    if (link_ != nullptr) {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::WinIdChange: {
                if (!testAttribute(Qt::WA_WState_Created) || !isVisible()) {
                    break;
                }
                const auto window = static_cast<uint32_t>(winId());
                if (!exposuresOff_ || event->type() == QEvent::WinIdChange) {
                    // The server fills exposed parts from the background by
                    // itself; not asking Qt's connection for Expose events
                    // spares a wake-up of the event loop each time a bar
                    // grows shorter.
                    const uint32_t mask =
                        XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
                    xcb_change_window_attributes(X11Connection(), window, XCB_CW_EVENT_MASK, &mask);
                    exposuresOff_ = true;
                }
                ServerLink::FlushQt();
                std::lock_guard lock(link_->mutex());
                if (window != window_) {
                    // A new X window holds no bar yet.
                    barWindow_ = 0;
                    barMapped_ = false;
                }
                window_ = window;
                height_ = height();
                fillOnServer();
                placeBarOnServer();
                link_->Flush();
                return QWidget::event(event);
            }
            case QEvent::UpdateRequest:
            case QEvent::Paint:
                // Exposed parts are filled by the X server from the window's
                // background; nothing to draw.
                return true;
            default:
                break;
        }
    }
    return QWidget::event(event);
}

void ColourSurface::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.fillRect(event->rect(), colour_);
    if (barColour_.isValid() && barWidth_ > 0) {
        painter.fillRect(QRect(0, 0, barWidth_, height()).intersected(event->rect()), barColour_);
    }
}

}  // namespace chromola
