// The player's own connection to the X server, over which the colour areas,
// the level bars and the strips beside the picture are filled (see
// colour_surface.h): a connection of its own, so that the display tick never
// waits behind Qt's. It carries only requests that need no reply, through
// xcb's own calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

struct xcb_connection_t;

namespace chromola {

struct ServerRect {
    int16_t x, y;
    uint16_t width, height;
};

class ServerLink {
  public:
    // Null where X11 does not paint (another platform, a screen of fewer
    // than 24 bits, no connection).
    static std::shared_ptr<ServerLink> Open();
    explicit ServerLink(xcb_connection_t* connection);
    ~ServerLink();
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    // Guards the requests and the windows' server-side state.
    std::mutex& mutex() { return mutex_; }

    // The requests, queued until Flush; all with the mutex held. Windows are
    // children of `parent` with its depth and visual; pixels are 24-bit RGB.
    // A window that Qt made is named only once Qt's own connection has been
    // flushed since it was made (see FlushQt).
    uint32_t NewId();
    void CreateWindow(uint32_t window, uint32_t parent, uint16_t width, uint16_t height,
                      uint32_t backPixel);
    void DestroyWindow(uint32_t window);
    void MapWindow(uint32_t window);
    void UnmapWindow(uint32_t window);
    void ResizeWindow(uint32_t window, uint32_t width, uint32_t height);
    void SetBackground(uint32_t window, uint32_t pixel);
    // Repaints the whole window from its background, without Expose events.
    void ClearWindow(uint32_t window);
    void CreateGc(uint32_t gc, uint32_t drawable, uint32_t foreground);
    void SetForeground(uint32_t gc, uint32_t pixel);
    void FreeGc(uint32_t gc);
    void FillRectangles(uint32_t drawable, uint32_t gc, const ServerRect* rects, uint32_t count);

    // Sends what is queued, if the server takes it now; now and then drops
    // the errors about windows that Qt destroyed before this side knew
    // (nothing else comes back). Never waits.
    void Flush();

    // Sends what Qt's own connection has queued; on the UI thread, after Qt
    // made a window that the link will name, so that Qt's request to make it
    // reaches the server before the link's.
    static void FlushQt();

  private:
    // Whether a request of this size may be queued; `lasting` for the
    // requests that make or free something, which are never dropped.
    bool Room(std::size_t bytes, bool lasting = false);

    xcb_connection_t* connection_;
    int fd_ = -1;
    std::mutex mutex_;
    std::size_t unsent_ = 0;  // bytes queued in xcb since the last flush
    unsigned flushes_ = 0;
};

}  // namespace chromola
