// The entry point of libchromola_ddp.so: a strip sent straight to a pixel
// controller over DDP.
#include <exception>
#include <type_traits>

#include "lights/ddp_lights.h"

extern "C" __attribute__((visibility("default"))) chromola::StripOutput* chromola_create_ddp_output(
    const chromola::DdpOptions& options) {
    static_assert(
        std::is_same_v<decltype(&chromola_create_ddp_output), chromola::CreateStripOutputFn>);
    try {
        return new chromola::DdpLights(options);  // the caller owns it
    } catch (const std::exception&) {
        return nullptr;  // no memory, or no thread for the sender
    }
}
