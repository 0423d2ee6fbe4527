#include "lights/lights_link.h"

#include "lights/packed_colour.h"

#include <dlfcn.h>

#include <cstdio>
#include <utility>

namespace chromola {

namespace {

void Forward(ColourSink& output, std::uint32_t shown) {
    if (shown == kIdleSlot) {
        output.ShowIdle();
    } else {
        output.ShowColour(UnpackLevels(shown));
    }
}

// Each output sees itself switched on only while it is the one chosen.
LightsOptions OlaOptions(const LightsOptions& options) {
    LightsOptions ola = options.Clamped();
    ola.enabled = ola.enabled && ola.output == kOutputOla;
    return ola;
}

DdpOptions DdpOptionsOf(const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    return {o.enabled && o.output == kOutputDdp,
            o.ddpHost,
            o.ddpPort,
            o.pixels,
            o.stripEffect,
            o.idleLights};
}

}  // namespace

LightsLink::LightsLink(std::string moduleDir, const LightsOptions& options)
    : moduleDir_(std::move(moduleDir)), shown_(kNothingShown) {
    SetOptions(options);
}

LightsLink::~LightsLink() {
    ola_.store(nullptr, std::memory_order_release);
    ddp_.store(nullptr, std::memory_order_release);
    // Each sends its idle frame or dark; the modules themselves stay loaded.
    olaOutput_.reset();
    ddpOutput_.reset();
}

void LightsLink::ShowColour(const ColourLevels& levels) {
    Show(PackLevels(levels));
}

void LightsLink::ShowIdle() {
    Show(kIdleSlot);
}

// The store comes before the look at the outputs and Load() makes an output
// live before it reads the store (both sequentially consistent), so what is
// shown while an output is being made reaches it one way or the other. At
// worst a colour the output already has is handed to it again, one tick
// late, and the next tick puts it right.
void LightsLink::Show(std::uint32_t shown) {
    shown_.store(shown);
    if (LightsOutput* output = ola_.load()) {
        Forward(*output, shown);
    }
    if (StripOutput* output = ddp_.load()) {
        Forward(*output, shown);
    }
}

void LightsLink::ShowStrip(const StripInput& input) {
    shown_.store(PackLevels(input.shown));
    if (LightsOutput* output = ola_.load()) {
        output->ShowStrip(input);
    }
    if (StripOutput* output = ddp_.load()) {
        output->ShowStrip(input);
    }
}

void LightsLink::SetOptions(const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    chosen_ = o.output;
    wantsBands_.store(o.enabled && o.pixels > 1, std::memory_order_relaxed);
    if (olaOutput_ != nullptr) {
        olaOutput_->SetOptions(OlaOptions(o));
    }
    if (ddpOutput_ != nullptr) {
        ddpOutput_->SetOptions(DdpOptionsOf(o));
    }
    if (o.enabled) {
        Load(o);
    }
}

StripStatus LightsLink::Status() const {
    if (chosen_ == kOutputDdp) {
        const StripOutput* output = ddp_.load(std::memory_order_acquire);
        return output != nullptr ? output->Status() : StripStatus::kOff;
    }
    const LightsOutput* output = ola_.load(std::memory_order_acquire);
    if (output == nullptr) {
        return StripStatus::kOff;
    }
    return output->Connected() ? StripStatus::kSending : StripStatus::kUnreachable;
}

int LightsLink::Preview(StripPreview::Pixels& out) const {
    if (chosen_ == kOutputDdp) {
        const StripOutput* output = ddp_.load(std::memory_order_acquire);
        return output != nullptr ? output->Preview().Load(out) : 0;
    }
    const LightsOutput* output = ola_.load(std::memory_order_acquire);
    return output != nullptr ? output->Preview().Load(out) : 0;
}

void LightsLink::Load(const LightsOptions& options) {
    if (options.output == kOutputDdp) {
        if (std::exchange(ddpTried_, true)) {
            return;
        }
        ddpOutput_ = LoadDdpOutput(moduleDir_, DdpOptionsOf(options));
        if (ddpOutput_ != nullptr) {
            ddp_.store(ddpOutput_.get());
            if (const std::uint32_t shown = shown_.load(); shown != kNothingShown) {
                Forward(*ddpOutput_, shown);
            }
        }
        return;
    }
    if (std::exchange(olaTried_, true)) {
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
    olaOutput_.reset(create(OlaOptions(options)));
    if (olaOutput_ == nullptr) {
        std::fprintf(stderr, "chromola: lights: cannot start the light output\n");
        return;
    }
    ola_.store(olaOutput_.get());
    if (const std::uint32_t shown = shown_.load(); shown != kNothingShown) {
        Forward(*olaOutput_, shown);
    }
}

}  // namespace chromola
