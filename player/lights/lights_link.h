// The player's light output: stands in for the output modules and loads the
// one the options choose the first time it is switched on, at start or later
// from the set-up window: the OLA module (lights_output.h) or the DDP module
// (strip_output.h). Until then, and for good when a module cannot be
// loaded, colours go nowhere. Both may be loaded at once after a change of
// output; the one not chosen is switched off, which leaves its lights idle
// or dark.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "lights/lights_output.h"
#include "lights/strip_output.h"

namespace chromola {

class LightsLink : public ColourSink {
  public:
    // `moduleDir`: the folder that holds the modules, the program's own.
    LightsLink(std::string moduleDir, const LightsOptions& options);
    ~LightsLink() override;
    LightsLink(const LightsLink&) = delete;
    LightsLink& operator=(const LightsLink&) = delete;

    // The display's thread, as for any sink; none blocks.
    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;
    void ShowStrip(const StripInput& input) override;
    bool WantsBands() const override { return wantsBands_.load(std::memory_order_relaxed); }
    // The thread that made the link (it may load a module).
    void SetOptions(const LightsOptions& options);
    // The chosen output's state, for the lights group; any thread.
    StripStatus Status() const;
    // The first pixels the chosen output last sent (0: none); any thread.
    int Preview(StripPreview::Pixels& out) const;
    // The OLA module is loaded and its output made.
    bool Loaded() const { return ola_.load(std::memory_order_acquire) != nullptr; }

  private:
    void Load(const LightsOptions& options);
    void Show(std::uint32_t shown);

    std::string moduleDir_;
    bool olaTried_ = false;
    bool ddpTried_ = false;
    std::atomic<int> chosen_{kOutputOla};
    std::unique_ptr<LightsOutput> olaOutput_;
    std::unique_ptr<StripOutput> ddpOutput_;
    // The outputs once made, for the display's thread.
    std::atomic<LightsOutput*> ola_{nullptr};
    std::atomic<StripOutput*> ddp_{nullptr};
    std::atomic<bool> wantsBands_{false};
    // What the display showed last, handed to an output made later.
    std::atomic<std::uint32_t> shown_;
};

}  // namespace chromola
