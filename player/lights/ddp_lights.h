// A strip sent straight to a pixel controller over DDP (UDP, ddp_packet.h):
// no daemon in between.
//
// The display's thread paints each frame (strip_frame.h) straight into one
// of three buffers and hands it over with one atomic exchange, then wakes the
// sender with one futex call: no lock, no allocation, no waiting. The
// sender thread of the object's own looks up the host, owns the socket and
// sends the newest frame; frames that come faster than it sends are
// skipped, never queued. The socket never blocks: a lookup that takes
// seconds, a host that answers with ICMP errors or a full socket buffer
// only costs frames, never a tick. While nothing new comes the last frame
// goes out again every second, so that a controller stays with it rather
// than return to its own effect.
#pragma once

#include <memory>
#include <thread>

#include "lights/strip_output.h"

namespace chromola {

struct DdpSenderState;

class DdpLights : public StripOutput {
  public:
    explicit DdpLights(const DdpOptions& options);
    // Sends the idle frame or dark (as `idleLights` says) before the sender
    // ends; waits for it at most a second (a name lookup may hang).
    ~DdpLights() override;
    DdpLights(const DdpLights&) = delete;
    DdpLights& operator=(const DdpLights&) = delete;

    void ShowStrip(const StripInput& input) override;
    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;
    void SetOptions(const DdpOptions& options) override;
    StripStatus Status() const override;
    const StripPreview& Preview() const override { return preview_; }

  private:
    // Hands the frame just painted into the buffer being written over.
    void Publish(std::size_t bytes);

    std::shared_ptr<DdpSenderState> state_;
    std::unique_ptr<StripPainter> painter_;  // the display's thread's alone
    unsigned writing_ = 0;                   // the buffer the display fills next
    StripPreview preview_;
    std::thread sender_;
};

}  // namespace chromola
