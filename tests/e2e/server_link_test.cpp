// The colour link against a real X server: each request does what it says,
// and after more requests than a 16-bit sequence number counts, xcb still
// matches a reply to its request on the link's connection.
#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>
#include <poll.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <thread>

#include "main_window/server_link.h"

namespace chromola {
namespace {

template <typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

class Observer {
  public:
    Observer() : connection_(xcb_connect(nullptr, nullptr)) {}
    ~Observer() { xcb_disconnect(connection_); }
    uint32_t Pixel(uint32_t window, int x, int y) {
        Reply<xcb_get_image_reply_t> image(
            xcb_get_image_reply(
                connection_,
                xcb_get_image(connection_, XCB_IMAGE_FORMAT_Z_PIXMAP, window, x, y, 1, 1, ~0u),
                nullptr),
            &std::free);
        return image ? *reinterpret_cast<uint32_t*>(xcb_get_image_data(image.get())) & 0xffffff
                     : 0xdeadbeef;
    }
    Reply<xcb_get_geometry_reply_t> Geometry(uint32_t window) {
        return {xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window), nullptr),
                &std::free};
    }
    int MapState(uint32_t window) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(
                connection_, xcb_get_window_attributes(connection_, window), nullptr),
            &std::free);
        return attributes ? attributes->map_state : -1;
    }

  private:
    xcb_connection_t* connection_;
};

// The server reads the link's socket in its own time: what the link sent
// shows within a second.
bool Eventually(const std::function<bool()>& holds) {
    for (int i = 0; i < 100; ++i) {
        if (holds()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST(ServerLink, RequestsActAndRepliesStillMatchAfterTheSequenceWraps) {
    QWidget top;
    top.resize(200, 100);
    top.show();
    QApplication::processEvents();
    const auto topWindow = static_cast<uint32_t>(top.winId());
    ServerLink::FlushQt();
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    ASSERT_EQ(xcb_connection_has_error(connection), 0);
    ServerLink link(connection);
    Observer x;
    std::lock_guard lock(link.mutex());

    const uint32_t child = link.NewId();
    link.CreateWindow(child, topWindow, 100, 50, 0x112233);
    link.MapWindow(child);
    link.Flush();
    EXPECT_TRUE(Eventually([&] {
        return x.MapState(child) == XCB_MAP_STATE_VIEWABLE && x.Pixel(child, 10, 10) == 0x112233u;
    }));
    // The top window is on screen by now: what is drawn on it stays.
    const uint32_t gc = link.NewId();
    link.CreateGc(gc, topWindow, 0x778899);
    const ServerRect rects[] = {{120, 10, 10, 10}, {150, 60, 5, 5}};
    link.FillRectangles(topWindow, gc, rects, 2);
    link.Flush();
    EXPECT_TRUE(Eventually([&] { return x.Pixel(topWindow, 152, 62) == 0x778899u; }));

    // Frames as the tick sends them, each as the server takes them (the link
    // drops what a server that does not read would let pile up).
    constexpr uint32_t kFrames = 18000;  // four requests each
    const int fd = xcb_get_file_descriptor(connection);
    uint32_t pixel = 0;
    for (uint32_t frame = 0; frame < kFrames; ++frame) {
        pollfd ready{fd, POLLOUT, 0};
        ASSERT_EQ(poll(&ready, 1, 5000), 1) << "the server stopped reading at frame " << frame;
        pixel = frame * 0x010307 & 0xffffff;
        link.SetBackground(child, pixel);
        link.ClearWindow(child);
        link.SetForeground(gc, pixel);
        link.FillRectangles(topWindow, gc, rects, 1);
        link.Flush();
    }
    // xcb numbers this request past every one of the frames', and the reply
    // it waits for is the one the server sent for it.
    const xcb_get_input_focus_cookie_t focus = xcb_get_input_focus(connection);
    EXPECT_GT(focus.sequence, 4 * kFrames);
    Reply<xcb_get_input_focus_reply_t> reply(xcb_get_input_focus_reply(connection, focus, nullptr),
                                             &std::free);
    EXPECT_NE(reply, nullptr);
    // The server has done all the link sent before that reply.
    EXPECT_EQ(x.Pixel(child, 10, 10), pixel);
    EXPECT_EQ(x.Pixel(topWindow, 125, 15), pixel);
    EXPECT_EQ(x.Pixel(topWindow, 152, 62), 0x778899u);

    link.ResizeWindow(child, 20, 40);
    link.UnmapWindow(child);
    link.FreeGc(gc);
    link.Flush();
    EXPECT_TRUE(Eventually([&] {
        auto geometry = x.Geometry(child);
        return geometry && geometry->width == 20 && geometry->height == 40 &&
               x.MapState(child) == XCB_MAP_STATE_UNMAPPED;
    }));
    link.DestroyWindow(child);
    link.Flush();
    EXPECT_TRUE(Eventually([&] { return x.MapState(child) == -1; }));
}

}  // namespace
}  // namespace chromola

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
