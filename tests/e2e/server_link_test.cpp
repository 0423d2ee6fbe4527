// The colour link's own encoding of X requests, against a real X server:
// each request does what xcb's would, and the connection stays usable for
// xcb (ids, the requests it counts) after the link has written on it.
#include <QApplication>
#include <QWidget>

#include <gtest/gtest.h>
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
    Reply<xcb_get_window_attributes_reply_t> Attributes(uint32_t window) {
        return {xcb_get_window_attributes_reply(
                    connection_, xcb_get_window_attributes(connection_, window), nullptr),
                &std::free};
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

TEST(ServerLink, EachRequestActsAsEncodedAndTheConnectionStaysUsable) {
    QWidget top;
    top.resize(200, 100);
    top.show();
    QApplication::processEvents();
    const auto topWindow = static_cast<uint32_t>(top.winId());
    std::shared_ptr<ServerLink> link = ServerLink::Open();
    ASSERT_NE(link, nullptr);
    Observer x;
    std::lock_guard lock(link->mutex());

    const uint32_t child = link->NewId();
    link->CreateWindow(child, topWindow, 100, 50, 0x112233);
    link->MapWindow(child);
    link->Flush();
    EXPECT_TRUE(Eventually([&] {
        return x.Attributes(child) && x.Attributes(child)->map_state == XCB_MAP_STATE_VIEWABLE &&
               x.Pixel(child, 10, 10) == 0x112233u;
    }));

    link->SetBackground(child, 0x445566);
    link->ClearWindow(child);
    link->ResizeWindow(child, 20, 40);
    link->Flush();
    EXPECT_TRUE(Eventually([&] {
        auto geometry = x.Geometry(child);
        return geometry && geometry->width == 20 && geometry->height == 40 &&
               x.Pixel(child, 10, 10) == 0x445566u;
    }));

    const uint32_t gc = link->NewId();
    link->CreateGc(gc, topWindow, 0x778899);
    const ServerRect rects[] = {{120, 10, 10, 10}, {150, 60, 5, 5}};
    link->FillRectangles(topWindow, gc, rects, 2);
    link->Flush();
    EXPECT_TRUE(Eventually([&] {
        return x.Pixel(topWindow, 125, 15) == 0x778899u && x.Pixel(topWindow, 152, 62) == 0x778899u;
    }));
    link->SetForeground(gc, 0xaabbcc);
    link->FillRectangles(topWindow, gc, rects, 1);
    link->FreeGc(gc);
    link->UnmapWindow(child);
    link->Flush();
    EXPECT_TRUE(Eventually([&] {
        return x.Pixel(topWindow, 125, 15) == 0xaabbccu &&
               x.Attributes(child)->map_state == XCB_MAP_STATE_UNMAPPED;
    }));

    link->DestroyWindow(child);
    link->Flush();
    EXPECT_TRUE(Eventually([&] { return x.Attributes(child) == nullptr; }));
    // xcb still counts and hands out ids on the connection the link wrote on.
    EXPECT_NE(link->NewId(), 0u);
}

}  // namespace
}  // namespace chromola

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
