#include "main_window/colour_surface.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>

#include <xcb/xcb.h>

#include "main_window/x11_native.h"

#include <algorithm>
#include <cstdlib>

namespace chromola {

namespace {

// Requests are not flushed here: Qt flushes the connection before the event
// loop waits, so one tick's requests leave together.

// The pixel value of a colour on a 24- or 32-bit TrueColor visual.
uint32_t TrueColourPixel(const QColor& colour) {
    return (static_cast<uint32_t>(colour.red()) << 16) |
           (static_cast<uint32_t>(colour.green()) << 8) | static_cast<uint32_t>(colour.blue());
}

}  // namespace

ColourSurface::ColourSurface(QWidget* parent) : QWidget(parent) {
    auto* connection = X11Connection();
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (connection != nullptr && screen != nullptr && screen->depth() >= 24) {
        connection_ = connection;
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    setAttribute(Qt::WA_OpaquePaintEvent);
}

ColourSurface::~ColourSurface() {
    if (barWindow_ != 0) {
        xcb_destroy_window(static_cast<xcb_connection_t*>(connection_), barWindow_);
    }
}

QPaintEngine* ColourSurface::paintEngine() const {
    // The X server paints this window; Qt draws nothing into it.
    return connection_ != nullptr ? nullptr : QWidget::paintEngine();
}

void ColourSurface::setColour(const QColor& colour) {
    if (colour == colour_) {
        return;
    }
    colour_ = colour;
    if (connection_ != nullptr) {
        fillOnServer();
    } else {
        update();
    }
}

void ColourSurface::fillOnServer() {
    if (!testAttribute(Qt::WA_WState_Created) || !isVisible()) {
        return;
    }
    auto* connection = static_cast<xcb_connection_t*>(connection_);
    const auto window = static_cast<xcb_window_t>(winId());
    if (!exposuresOff_) {
        // The server fills exposed parts from the background by itself; not
        // asking for Expose events spares a wake-up of the event loop each
        // time a bar grows shorter.
        const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_change_window_attributes(connection, window, XCB_CW_EVENT_MASK, &mask);
        exposuresOff_ = true;
    }
    const uint32_t pixel = TrueColourPixel(colour_);
    xcb_change_window_attributes(connection, window, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection, 0, window, 0, 0, 0, 0);
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
    if (connection_ == nullptr) {
        update(recolour
                   ? rect()
                   : QRect(std::min(oldWidth, width), 0, std::abs(width - oldWidth), height()));
        return;
    }
    if (recolour && barWindow_ != 0) {
        auto* connection = static_cast<xcb_connection_t*>(connection_);
        const uint32_t pixel = TrueColourPixel(barColour_);
        xcb_change_window_attributes(connection, barWindow_, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection, 0, barWindow_, 0, 0, 0, 0);
    }
    placeBarOnServer();
}

void ColourSurface::placeBarOnServer() {
    if (!testAttribute(Qt::WA_WState_Created) || !barColour_.isValid()) {
        return;
    }
    auto* connection = static_cast<xcb_connection_t*>(connection_);
    const uint32_t width = static_cast<uint32_t>(std::max(1, barWidth_));
    const uint32_t height = static_cast<uint32_t>(std::max(1, this->height()));
    if (barWindow_ == 0) {
        barWindow_ = xcb_generate_id(connection);
        const uint32_t pixel = TrueColourPixel(barColour_);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, barWindow_,
                          static_cast<xcb_window_t>(winId()), 0, 0, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                          &pixel);
    } else {
        const uint32_t size[] = {width, height};
        xcb_configure_window(connection, barWindow_,
                             XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    }
    // X has no empty windows: a bar of no length is taken away instead.
    const bool mapped = barWidth_ > 0;
    if (mapped != barMapped_) {
        if (mapped) {
            xcb_map_window(connection, barWindow_);
        } else {
            xcb_unmap_window(connection, barWindow_);
        }
        barMapped_ = mapped;
    }
}

void ColourSurface::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (connection_ != nullptr && barWindow_ != 0) {
        placeBarOnServer();
    }
}

bool ColourSurface::event(QEvent* event) {
    if (connection_ != nullptr) {
        switch (event->type()) {
            case QEvent::Show:
            case QEvent::WinIdChange:
                fillOnServer();
                placeBarOnServer();
                return QWidget::event(event);
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
