#include "main_window/server_link.h"

#include <QGuiApplication>
#include <QScreen>

#include <X11/Xlib.h>
#include <poll.h>
#include <sys/socket.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "main_window/x11_native.h"

namespace chromola {

namespace {

// Core protocol opcodes.
enum : uint8_t {
    kCreateWindow = 1,
    kChangeWindowAttributes = 2,
    kDestroyWindow = 4,
    kMapWindow = 8,
    kUnmapWindow = 10,
    kConfigureWindow = 12,
    kCreateGc = 55,
    kChangeGc = 56,
    kFreeGc = 60,
    kClearArea = 61,
    kPolyFillRectangle = 70,
};

// Errors about this link's windows are drained about once a second.
constexpr unsigned kFlushesBetweenDrains = 64;

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
    : connection_(connection), fd_(xcb_get_file_descriptor(connection)) {
    queued_.reserve(64);
}

ServerLink::~ServerLink() {
    {
        std::lock_guard lock(mutex_);
        Send();
    }
    xcb_disconnect(connection_);
}

uint32_t ServerLink::NewId() {
    return xcb_generate_id(connection_);
}

void ServerLink::Begin(uint8_t opcode, uint8_t data, uint16_t words) {
    // Opcode, one byte of data and the length in words, in the order the
    // connection's byte order (the host's, as xcb set it up) lays them out.
    uint8_t head[4] = {opcode, data, 0, 0};
    std::memcpy(head + 2, &words, sizeof words);
    uint32_t word = 0;
    std::memcpy(&word, head, sizeof word);
    queued_.push_back(word);
    ++queuedRequests_;
}

void ServerLink::OnId(uint8_t opcode, uint32_t id) {
    Begin(opcode, 0, 2);
    Word(id);
}

void ServerLink::OnId(uint8_t opcode, uint32_t id, uint32_t mask, uint32_t value) {
    Begin(opcode, 0, 4);
    Word(id);
    Word(mask);
    Word(value);
}

void ServerLink::Pair(uint16_t first, uint16_t second) {
    const uint16_t halves[2] = {first, second};
    uint32_t word = 0;
    std::memcpy(&word, halves, sizeof word);
    queued_.push_back(word);
}

void ServerLink::CreateWindow(uint32_t window, uint32_t parent, uint16_t width, uint16_t height,
                              uint32_t backPixel) {
    Begin(kCreateWindow, XCB_COPY_FROM_PARENT, 9);
    Word(window);
    Word(parent);
    Pair(0, 0);  // x, y
    Pair(width, height);
    Pair(0, XCB_WINDOW_CLASS_INPUT_OUTPUT);  // border width, class
    Word(XCB_COPY_FROM_PARENT);              // visual
    Word(XCB_CW_BACK_PIXEL);
    Word(backPixel);
}

void ServerLink::DestroyWindow(uint32_t window) {
    OnId(kDestroyWindow, window);
}

void ServerLink::MapWindow(uint32_t window) {
    OnId(kMapWindow, window);
}

void ServerLink::UnmapWindow(uint32_t window) {
    OnId(kUnmapWindow, window);
}

void ServerLink::ResizeWindow(uint32_t window, uint32_t width, uint32_t height) {
    Begin(kConfigureWindow, 0, 5);
    Word(window);
    Pair(XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT, 0);
    Word(width);
    Word(height);
}

void ServerLink::SetBackground(uint32_t window, uint32_t pixel) {
    OnId(kChangeWindowAttributes, window, XCB_CW_BACK_PIXEL, pixel);
}

void ServerLink::ClearWindow(uint32_t window) {
    Begin(kClearArea, 0, 4);  // no exposures
    Word(window);
    Pair(0, 0);  // x, y
    Pair(0, 0);  // width, height: to the window's edges
}

void ServerLink::CreateGc(uint32_t gc, uint32_t drawable, uint32_t foreground) {
    Begin(kCreateGc, 0, 6);
    Word(gc);
    Word(drawable);
    Word(XCB_GC_FOREGROUND | XCB_GC_GRAPHICS_EXPOSURES);
    Word(foreground);
    Word(0);  // no graphics exposures
}

void ServerLink::SetForeground(uint32_t gc, uint32_t pixel) {
    OnId(kChangeGc, gc, XCB_GC_FOREGROUND, pixel);
}

void ServerLink::FreeGc(uint32_t gc) {
    OnId(kFreeGc, gc);
}

void ServerLink::FillRectangles(uint32_t drawable, uint32_t gc, const ServerRect* rects,
                                uint32_t count) {
    Begin(kPolyFillRectangle, 0, static_cast<uint16_t>(3 + 2 * count));
    Word(drawable);
    Word(gc);
    for (uint32_t i = 0; i < count; ++i) {
        Pair(static_cast<uint16_t>(rects[i].x), static_cast<uint16_t>(rects[i].y));
        Pair(rects[i].width, rects[i].height);
    }
}

void ServerLink::GiveBack(void* link) {
    // xcb wants to write (an id range, the goodbye): what is queued goes
    // first, so that xcb counts the requests in the order they left.
    auto* self = static_cast<ServerLink*>(link);
    self->Send();
    self->CountSent();
    self->owned_ = false;
}

void ServerLink::Send() {
    if (queued_.empty()) {
        return;
    }
    if (!owned_ && !broken_) {
        uint64_t sent = 0;
        owned_ = xcb_take_socket(connection_, &ServerLink::GiveBack, this, 0, &sent) != 0;
        broken_ = !owned_;
    }
    sentUncounted_ += queuedRequests_;
    queuedRequests_ = 0;
    const auto* data = reinterpret_cast<const char*>(queued_.data());
    const std::size_t size = queued_.size() * sizeof(uint32_t);
    std::size_t done = 0;
    while (!broken_ && done < size) {
        const ssize_t n = send(fd_, data + done, size - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            // The server is behind: wait until it reads, taking in what it
            // has sent meanwhile so that neither side waits on the other.
            pollfd ready{fd_, POLLOUT | POLLIN, 0};
            if (poll(&ready, 1, -1) > 0 && (ready.revents & POLLIN) != 0) {
                DropReceived();
            }
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            broken_ = true;  // the server is gone; the requests with it
        }
    }
    queued_.clear();
}

void ServerLink::CountSent() {
    // xcb numbers what it reads by the requests it knows were sent; it is
    // told of the link's own before it reads or writes again.
    if (owned_ && sentUncounted_ > 0) {
        xcb_writev(connection_, nullptr, 0, sentUncounted_);
    }
    sentUncounted_ = 0;
}

void ServerLink::DropReceived() {
    CountSent();
    while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
        std::free(event);
    }
}

void ServerLink::Flush() {
    Send();
    if (++flushes_ % kFlushesBetweenDrains == 0) {
        DropReceived();
    }
}

}  // namespace chromola
