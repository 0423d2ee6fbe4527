#include "lights/lights_link.h"

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace chromola {

namespace {

// The last shown: 0x00RRGGBB for a colour, or one of these.
constexpr std::uint32_t kIdleShown = 1u << 24;
constexpr std::uint32_t kNothingShown = 1u << 25;

std::uint32_t Packed(const ColourLevels& levels) {
    const auto level = [](int value) {
        return static_cast<std::uint32_t>(std::clamp(value, 0, 255));
    };
    return level(levels.red) << 16 | level(levels.green) << 8 | level(levels.blue);
}

void Forward(LightsOutput& output, std::uint32_t shown) {
    if (shown == kIdleShown) {
        output.ShowIdle();
    } else {
        output.ShowColour({static_cast<int>(shown >> 16 & 0xff),
                           static_cast<int>(shown >> 8 & 0xff), static_cast<int>(shown & 0xff)});
    }
}

}  // namespace

LightsLink::LightsLink(std::string moduleDir, const LightsOptions& options)
    : moduleDir_(std::move(moduleDir)), shown_(kNothingShown) {
    if (options.Clamped().enabled) {
        Load(options);
    }
}

LightsLink::~LightsLink() {
    live_.store(nullptr, std::memory_order_release);
    output_.reset();  // sends the idle frame; the module itself stays loaded
}

void LightsLink::ShowColour(const ColourLevels& levels) {
    Show(Packed(levels));
}

void LightsLink::ShowIdle() {
    Show(kIdleShown);
}

// The store comes before the look at the output and Load() makes the output
// live before it reads the store (both sequentially consistent), so what is
// shown while the output is being made reaches it one way or the other. At
// worst a colour the output already has is handed to it again, one tick
// late, and the next tick puts it right.
void LightsLink::Show(std::uint32_t shown) {
    shown_.store(shown);
    if (LightsOutput* output = live_.load()) {
        Forward(*output, shown);
    }
}

void LightsLink::SetOptions(const LightsOptions& options) {
    if (output_ != nullptr) {
        output_->SetOptions(options);
    } else if (options.Clamped().enabled) {
        Load(options);
    }
}

bool LightsLink::Connected() const {
    const LightsOutput* output = live_.load(std::memory_order_acquire);
    return output != nullptr && output->Connected();
}

void LightsLink::Load(const LightsOptions& options) {
    if (std::exchange(loadTried_, true)) {
        return;
    }
    const std::string path = moduleDir_ + '/' + kLightsModuleFileName;
    // Never closed: a sender that olad keeps waiting at exit is left running
    // on the module's code.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto create =
        module != nullptr
            ? reinterpret_cast<CreateLightsOutputFn>(dlsym(module, kCreateLightsOutputSymbol))
            : nullptr;
    if (create == nullptr) {
        const char* why = dlerror();
        std::fprintf(stderr, "chromola: lights: cannot load %s: %s\n", path.c_str(),
                     why != nullptr ? why : "no entry point");
        return;
    }
    output_.reset(create(options));
    if (output_ == nullptr) {
        std::fprintf(stderr, "chromola: lights: cannot start the light output\n");
        return;
    }
    live_.store(output_.get());
    if (const std::uint32_t shown = shown_.load(); shown != kNothingShown) {
        Forward(*output_, shown);
    }
}

}  // namespace chromola
