// A strip of pixels as the player sees it: a colour sink that also takes
// the display's bands each tick and sends one frame of pixels
// (strip_frame.h) to a controller. The DDP implementation (ddp_lights.h)
// lives in a module of its own, libchromola_ddp.so beside the program, so
// that a player whose strip is off loads no network code;
// LoadDdpOutput() loads it.
#pragma once

#include <memory>
#include <string>

#include "display/colour_sink.h"
#include "lights/ddp_packet.h"
#include "lights/strip_frame.h"
#include "lights/strip_preview.h"

namespace chromola {

// Out-of-range values take their default, as every setting does.
struct DdpOptions {
    bool enabled = false;
    std::string host;            // a host name or address; empty sends nothing
    int port = kDdpDefaultPort;  // 1..65535
    int pixels = 1;              // 1..4096
    int effect = kEffectOneColour;
    int idleLights = 0;  // while nothing plays and at exit: 0 dark, 1 the idle colour

    DdpOptions Clamped() const;
    friend bool operator==(const DdpOptions&, const DdpOptions&) = default;
};

// What the sender last found, for the lights group to show. Each outage
// (every state from kUnresolved on) is also written once to stderr.
enum class StripStatus {
    kOff,          // switched off, or no host given
    kConnecting,   // looking up the host
    kSending,      // frames go out without error
    kUnresolved,   // the host name is not known
    kUnreachable,  // the network or the host answers that nothing listens there
    kBlocked,      // the socket's buffer is full: frames are dropped
};

class StripOutput : public ColourSink {
  public:
    // The display's thread, one tick at a time; never blocks: it paints the
    // frame and hands it to the sender. ShowColour (a caller without bands)
    // lights each band at its group's level.
    virtual void ShowStrip(const StripInput& input) = 0;
    // Takes effect with the next frame; any thread.
    virtual void SetOptions(const DdpOptions& options) = 0;
    // Any thread.
    virtual StripStatus Status() const = 0;
    // The first pixels of the frame last handed to the sender; any thread.
    virtual const StripPreview& Preview() const = 0;
};

// The module's one exported function: a new output owned by the caller,
// null when it cannot be made.
using CreateStripOutputFn = StripOutput* (*)(const DdpOptions& options);
inline constexpr char kDdpModuleFileName[] = "libchromola_ddp.so";
inline constexpr char kCreateStripOutputSymbol[] = "chromola_create_ddp_output";

// Loads the module from `moduleDir` and makes an output; null (with the
// reason on stderr) when either fails. The module stays loaded.
std::unique_ptr<StripOutput> LoadDdpOutput(const std::string& moduleDir, const DdpOptions& options);

}  // namespace chromola
