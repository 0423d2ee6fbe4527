#include "main_window/server_link.h"

#include <QGuiApplication>
#include <QScreen>

#include <X11/Xlib.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <cstdlib>

#include "main_window/x11_native.h"

namespace chromola {

namespace {

// Errors about this link's windows are drained about once a second.
constexpr unsigned kFlushesBetweenDrains = 64;

// xcb writes its queue by itself, waiting with no deadline, once the queue
// outgrows its buffer (16 KiB). The link keeps below that: while the server
// does not read, the frames' requests beyond this many bytes are dropped (the
// next frames set the colours and sizes again); what makes or frees a window
// or GC goes on into the rest, which such requests, rare, cannot fill.
constexpr std::size_t kFrameBytes = 12 * 1024;
constexpr std::size_t kLastingBytes = 15 * 1024;

// Request sizes in bytes, by the core protocol: a fixed part and four bytes
// for each value in a value list.
constexpr std::size_t kValue = 4;
constexpr std::size_t kCreateWindowBytes = 32 + kValue;
constexpr std::size_t kOnIdBytes = 8;  // destroy, map, unmap, free GC
constexpr std::size_t kConfigureBytes = 12 + 2 * kValue;
constexpr std::size_t kChangeBytes = 12 + kValue;  // window attribute or GC value
constexpr std::size_t kClearBytes = 16;
constexpr std::size_t kCreateGcBytes = 16 + 2 * kValue;
constexpr std::size_t kFillBytes = 12;  // and 8 a rectangle

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

ServerLink::ServerLink(xcb_connection_t* connection)
    : connection_(connection), fd_(xcb_get_file_descriptor(connection)) {}

ServerLink::~ServerLink() {
    {
        std::lock_guard lock(mutex_);
        Flush();
    }
    xcb_disconnect(connection_);
}

void ServerLink::FlushQt() {
    if (xcb_connection_t* qt = X11Connection()) {
        xcb_flush(qt);
    }
}

bool ServerLink::Room(std::size_t bytes, bool lasting) {
    if (unsent_ + bytes > (lasting ? kLastingBytes : kFrameBytes)) {
        return false;
    }
    unsent_ += bytes;
    return true;
}

uint32_t ServerLink::NewId() {
    // xcb asks the server for more ids, and waits, only once the first range
    // (some two million) is used up; the link takes a few for each window
    // Qt makes.
    return xcb_generate_id(connection_);
}

void ServerLink::CreateWindow(uint32_t window, uint32_t parent, uint16_t width, uint16_t height,
                              uint32_t backPixel) {
    if (Room(kCreateWindowBytes, true)) {
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, parent, 0, 0, width, height, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                          &backPixel);
    }
}

void ServerLink::DestroyWindow(uint32_t window) {
    if (Room(kOnIdBytes, true)) {
        xcb_destroy_window(connection_, window);
    }
}

void ServerLink::MapWindow(uint32_t window) {
    if (Room(kOnIdBytes)) {
        xcb_map_window(connection_, window);
    }
}

void ServerLink::UnmapWindow(uint32_t window) {
    if (Room(kOnIdBytes)) {
        xcb_unmap_window(connection_, window);
    }
}

void ServerLink::ResizeWindow(uint32_t window, uint32_t width, uint32_t height) {
    if (Room(kConfigureBytes)) {
        const uint32_t size[] = {width, height};
        xcb_configure_window(connection_, window,
                             XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, size);
    }
}

void ServerLink::SetBackground(uint32_t window, uint32_t pixel) {
    if (Room(kChangeBytes)) {
        xcb_change_window_attributes(connection_, window, XCB_CW_BACK_PIXEL, &pixel);
    }
}

void ServerLink::ClearWindow(uint32_t window) {
    if (Room(kClearBytes)) {
        xcb_clear_area(connection_, 0, window, 0, 0, 0, 0);
    }
}

void ServerLink::CreateGc(uint32_t gc, uint32_t drawable, uint32_t foreground) {
    if (Room(kCreateGcBytes, true)) {
        const uint32_t values[] = {foreground, 0};  // no graphics exposures
        xcb_create_gc(connection_, gc, drawable, XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES,
                      values);
    }
}

void ServerLink::SetForeground(uint32_t gc, uint32_t pixel) {
    if (Room(kChangeBytes)) {
        xcb_change_gc(connection_, gc, XCB_GC_FOREGROUND, &pixel);
    }
}

void ServerLink::FreeGc(uint32_t gc) {
    if (Room(kOnIdBytes, true)) {
        xcb_free_gc(connection_, gc);
    }
}

void ServerLink::FillRectangles(uint32_t drawable, uint32_t gc, const ServerRect* rects,
                                uint32_t count) {
    static_assert(sizeof(ServerRect) == sizeof(xcb_rectangle_t));
    if (Room(kFillBytes + 8 * std::size_t{count})) {
        xcb_poly_fill_rectangle(connection_, drawable, gc, count,
                                reinterpret_cast<const xcb_rectangle_t*>(rects));
    }
}

void ServerLink::Flush() {
    // xcb_flush waits, with no deadline, until the server has read all; the
    // tick thread holds the link's mutex meanwhile, and the UI thread may wait
    // for both. So the link writes only when the socket takes data now: then
    // at most a quarter of its buffer is in use, and one queue of under
    // 16 KiB fits. A server that stops reading (a grab, a stopped process)
    // holds up no thread: the requests wait in xcb's queue, within the bounds
    // of Room, until it reads again.
    if (unsent_ > 0) {
        // A server gone (an error, a hang-up) is seen by xcb's write at once.
        pollfd ready{fd_, POLLOUT, 0};
        if (poll(&ready, 1, 0) == 1) {
            xcb_flush(connection_);
            unsent_ = 0;
        }
    }
    if (++flushes_ % kFlushesBetweenDrains == 0) {
        // Reads without waiting. xcb counts the requests itself and, within
        // every 65,536 of them, sends one that gets a reply, so its numbering
        // stays the server's.
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            std::free(event);
        }
    }
}

}  // namespace chromola
