// The player's light output: stands in for the OLA module (lights_output.h)
// and loads it the first time the lights are switched on, at start or later
// from the set-up window. Until then, and for good when the module cannot be
// loaded, colours go nowhere and Connected() is false.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "lights/lights_output.h"

namespace chromola {

class LightsLink : public LightsOutput {
  public:
    // `moduleDir`: the folder that holds the module, the program's own.
    LightsLink(std::string moduleDir, const LightsOptions& options);
    ~LightsLink() override;
    LightsLink(const LightsLink&) = delete;
    LightsLink& operator=(const LightsLink&) = delete;

    // The display's thread, as for any sink; neither blocks.
    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;
    // The thread that made the link (it may load the module).
    void SetOptions(const LightsOptions& options) override;
    // Any thread.
    bool Connected() const override;
    // The module is loaded and its output made.
    bool Loaded() const { return live_.load(std::memory_order_acquire) != nullptr; }

  private:
    void Load(const LightsOptions& options);
    void Show(std::uint32_t shown);

    std::string moduleDir_;
    bool loadTried_ = false;
    std::unique_ptr<LightsOutput> output_;
    // The output once made, for the display's thread.
    std::atomic<LightsOutput*> live_{nullptr};
    // What the display showed last, handed to an output made later.
    std::atomic<std::uint32_t> shown_;
};

}  // namespace chromola
