// The light output's settings, as the player keeps them and the outputs
// read them. Out-of-range values take their default, as every other setting
// of the player does, so that a damaged settings file still drives the
// lights somewhere sensible.
#pragma once

#include <string>

namespace chromola {

// A fixture's slots in order.
enum LightsLayout {
    kLayoutRgb = 0,        // red, green, blue
    kLayoutRgbw = 1,       // red, green, blue, white = min(red, green, blue)
    kLayoutDimmerRgb = 2,  // dimmer at full, red, green, blue
};

// Where the lights go.
enum LightsOutputKind {
    kOutputOla = 0,  // through olad
    kOutputDdp = 1,  // straight to a pixel controller over DDP
};

// The longest host name a resolver takes.
inline constexpr int kMaxHostLength = 253;

struct LightsOptions {
    bool enabled = false;
    int universe = 1;  // 1..32767, the highest an Art-Net port address holds
    int address = 1;   // 1..512, the first fixture's first slot
    int layout = kLayoutRgb;
    int fixtures = 1;    // 1..170, as many RGB fixtures as a universe holds
    int idleLights = 0;  // while nothing plays: 0 dark, 1 the idle colour
    // A strip of pixels: above 1, each pixel is one fixture of `layout` and
    // `fixtures` is not used; through olad a strip longer than a universe
    // goes on in the next ones.
    int pixels = 1;       // 1..4096
    int stripEffect = 0;  // 0..4 (strip_frame.h)
    int output = kOutputOla;
    std::string ddpHost{};  // a host name or address; empty sends nothing
    int ddpPort = 4048;     // 1..65535

    LightsOptions Clamped() const;
    friend bool operator==(const LightsOptions&, const LightsOptions&) = default;
};

}  // namespace chromola
