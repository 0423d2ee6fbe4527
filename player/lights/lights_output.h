// Light output as the player sees it: a colour sink whose options change
// while it runs. The OLA implementation (ola_lights.h) lives in a module of
// its own, libchromola_lights.so beside the program, so that a player whose
// lights are off never loads libola and protobuf; LightsLink (lights_link.h)
// loads it the first time the lights are switched on.
#pragma once

#include "display/colour_sink.h"
#include "lights/dmx_frame.h"
#include "lights/strip_preview.h"

namespace chromola {

class LightsOutput : public ColourSink {
  public:
    // Takes effect with the next frame; any thread.
    virtual void SetOptions(const LightsOptions& options) = 0;
    // A connection to the lighting daemon is open; any thread.
    virtual bool Connected() const = 0;
    // The first pixels last handed to the sender; any thread.
    virtual const StripPreview& Preview() const = 0;
};

// The module's one exported function: a new output, owned by the caller
// (deleted through the virtual destructor, whose code is the module's).
// Null when it cannot be made.
using CreateLightsOutputFn = LightsOutput* (*)(const LightsOptions& options);
inline constexpr char kLightsModuleFileName[] = "libchromola_lights.so";
inline constexpr char kCreateLightsOutputSymbol[] = "chromola_create_lights_output";

}  // namespace chromola
