#include "lights/lights_link.h"

#include "lights/packed_colour.h"

#include <dlfcn.h>

#include <cstdio>
#include <utility>

namespace chromola {

namespace {

void Forward(LightsOutput& output, std::uint32_t shown) {
    if (shown == kIdleSlot) {
        output.ShowIdle();
    } else {
        output.ShowColour(UnpackLevels(shown));
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
    Show(PackLevels(levels));
}

void LightsLink::ShowIdle() {
    Show(kIdleSlot);
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
