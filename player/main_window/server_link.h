// The player's own connection to the X server, over which the colour areas,
// the level bars and the strips beside the picture are filled (see
// colour_surface.h). It carries only requests that need no reply, so it
// writes them itself: one send() per frame, where xcb would poll the socket
// before each write. xcb still makes the connection, hands out ids and reads
// what the server sends back.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

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

    // Sends what is queued; now and then drops the errors about windows that
    // Qt destroyed before this side knew (nothing else comes back).
    void Flush();

  private:
    void Begin(uint8_t opcode, uint8_t data, uint16_t words);
    void Word(uint32_t value) { queued_.push_back(value); }
    void Pair(uint16_t first, uint16_t second);
    // A request about one window or GC alone, or setting one of its values.
    void OnId(uint8_t opcode, uint32_t id);
    void OnId(uint8_t opcode, uint32_t id, uint32_t mask, uint32_t value);
    void Send();
    void CountSent();
    void DropReceived();
    static void GiveBack(void* link);

    xcb_connection_t* connection_;
    int fd_ = -1;
    std::mutex mutex_;
    std::vector<uint32_t> queued_;
    uint64_t queuedRequests_ = 0;
    uint64_t sentUncounted_ = 0;  // written, not yet counted by xcb
    bool owned_ = false;          // the write side taken over from xcb
    bool broken_ = false;         // a write failed: the server is gone
    unsigned flushes_ = 0;
};

}  // namespace chromola
