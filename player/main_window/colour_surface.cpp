#include "main_window/colour_surface.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include "main_window/x11_native.h"

#include <algorithm>
#include <cstdlib>

namespace chromola {

namespace {

// The pixel value of a colour on a 24- or 32-bit TrueColor visual.
uint32_t TrueColourPixel(const QColor& colour) {
    return (static_cast<uint32_t>(colour.red()) << 16) |
           (static_cast<uint32_t>(colour.green()) << 8) | static_cast<uint32_t>(colour.blue());
}

}  // namespace

std::shared_ptr<ServerLink> ServerLink::Open() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (X11Connection() == nullptr || screen == nullptr || screen->depth() < 24) {
        return nullptr;
    }
    // The display Qt opened; without Xlib's handle, the one DISPLAY names.
    _XDisplay* display = X11Display();
    xcb_connection_t* connection =
        xcb_connect(display != nullptr ? XDisplayString(display) : nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::make_shared<ServerLink>(connection);
}

ServerLink::~ServerLink() {
    xcb_disconnect(connection_);
}

void ServerLink::Flush() {
    xcb_flush(connection_);
    // Writing reads what the server has sent meanwhile: errors about windows
    // that Qt destroyed before this side knew. Nothing else comes here.
    while (xcb_generic_event_t* event = xcb_poll_for_queued_event(connection_)) {
        std::free(event);
    }
}

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
            xcb_destroy_window(link_->connection(), barWindow_);
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
    auto* connection = link_->connection();
    const uint32_t pixel = TrueColourPixel(colour_);
    xcb_change_window_attributes(connection, window_, XCB_CW_BACK_PIXEL, &pixel);
    xcb_clear_area(connection, 0, window_, 0, 0, 0, 0);
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
        auto* connection = link_->connection();
        const uint32_t pixel = TrueColourPixel(barColour_);
        xcb_change_window_attributes(connection, barWindow_, XCB_CW_BACK_PIXEL, &pixel);
        xcb_clear_area(connection, 0, barWindow_, 0, 0, 0, 0);
    }
    placeBarOnServer();
}

void ColourSurface::placeBarOnServer() {
    if (window_ == 0 || !barColour_.isValid()) {
        return;
    }
    auto* connection = link_->connection();
    const uint32_t width = static_cast<uint32_t>(std::max(1, barWidth_));
    const uint32_t height = static_cast<uint32_t>(std::max(1, height_));
    if (barWindow_ == 0) {
        barWindow_ = xcb_generate_id(connection);
        const uint32_t pixel = TrueColourPixel(barColour_);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, barWindow_, window_, 0, 0, width,
                          height, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL, &pixel);
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
