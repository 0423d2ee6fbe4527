// Light output through the Open Lighting Architecture's daemon (olad): the
// colour the window shows, sent as a DMX512 frame to one universe, which
// olad passes on to whatever it has patched there (Art-Net, sACN, a USB
// interface).
//
// The display calls ShowColour on its tick's thread every tick; that call only
// leaves the levels in a slot and wakes a sender thread of the object's own,
// so neither a slow nor a frozen olad ever holds up the window. The sender
// sends the latest levels, keeps going while olad is missing and picks it up
// again when it returns. A strip (more than one pixel) is painted on the
// display's thread into one of three buffers, as the DDP output does
// (ddp_lights.h), and the sender sends every universe it takes each frame.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "lights/dmx_frame.h"
#include "lights/lights_output.h"
#include "lights/strip_frame.h"

namespace chromola {

inline constexpr std::uint16_t kOlaDefaultPort = 9010;

// What the sender thread shares with its OlaLights; it lives as long as
// either of them.
struct LightsSenderState;

class OlaLights : public LightsOutput {
  public:
    // Connects to olad on 127.0.0.1:`olaPort`; never starts olad itself.
    explicit OlaLights(const LightsOptions& options, std::uint16_t olaPort = kOlaDefaultPort);
    // Sends the idle frame before the sender ends, so that lights are never
    // left on the last bright colour, and joins the sender: a frozen olad
    // holds it up at most 1.5 s.
    ~OlaLights() override;
    OlaLights(const OlaLights&) = delete;
    OlaLights& operator=(const OlaLights&) = delete;

    // Neither blocks nor waits on olad; the display's thread, one at a time.
    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;
    void ShowStrip(const StripInput& input) override;

    // Takes effect with the next frame; any thread.
    void SetOptions(const LightsOptions& options) override;
    // A connection to olad is open: false while olad is missing and while
    // output is switched off; any thread.
    bool Connected() const override;
    const StripPreview& Preview() const override { return preview_; }

  private:
    void Publish(std::uint32_t shown);
    // Hands the strip frame just painted into the buffer being written over.
    void PublishStrip(std::size_t bytes);
    void WakeSender();

    std::shared_ptr<LightsSenderState> state_;
    std::unique_ptr<StripPainter> painter_;  // the display's thread's alone
    unsigned writing_ = 0;                   // the strip buffer the display fills next
    StripPreview preview_;
    std::thread sender_;
};

}  // namespace chromola
