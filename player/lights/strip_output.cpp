#include "lights/strip_output.h"

#include <dlfcn.h>

#include <cstdio>

namespace chromola {

DdpOptions DdpOptions::Clamped() const {
    const DdpOptions defaults;
    DdpOptions clamped = *this;
    const StripOptions strip = StripOptions{pixels, effect}.Clamped();
    clamped.pixels = strip.pixels;
    clamped.effect = strip.effect;
    if (port < 1 || port > 65535) {
        clamped.port = defaults.port;
    }
    if (idleLights < 0 || idleLights > 1) {
        clamped.idleLights = defaults.idleLights;
    }
    return clamped;
}

std::unique_ptr<StripOutput> LoadDdpOutput(const std::string& moduleDir,
                                           const DdpOptions& options) {
    const std::string path = moduleDir + '/' + kDdpModuleFileName;
    // Never closed: a sender left waiting on a name lookup at exit runs on
    // the module's code.
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    const auto create =
        module != nullptr
            ? reinterpret_cast<CreateStripOutputFn>(dlsym(module, kCreateStripOutputSymbol))
            : nullptr;
    if (create == nullptr) {
        const char* why = dlerror();
        std::fprintf(stderr, "chromola: lights: cannot load %s: %s\n", path.c_str(),
                     why != nullptr ? why : "no entry point");
        return nullptr;
    }
    std::unique_ptr<StripOutput> output(create(options));
    if (output == nullptr) {
        std::fprintf(stderr, "chromola: lights: cannot start the DDP output\n");
    }
    return output;
}

}  // namespace chromola
