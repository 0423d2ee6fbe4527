// The entry point of libchromola_lights.so: light output through olad.
#include <exception>
#include <type_traits>

#include "lights/lights_output.h"
#include "lights/ola_lights.h"

extern "C" __attribute__((visibility("default"))) chromola::LightsOutput*
chromola_create_lights_output(const chromola::LightsOptions& options) {
    static_assert(
        std::is_same_v<decltype(&chromola_create_lights_output), chromola::CreateLightsOutputFn>);
    try {
        return new chromola::OlaLights(options);  // the caller owns it
    } catch (const std::exception&) {
        return nullptr;  // no memory, or no thread for the sender
    }
}
