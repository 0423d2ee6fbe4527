// The light output's settings, as the player keeps them and the outputs
// read them. Out-of-range values take their default, as every other setting
// of the player does, so that a damaged settings file still drives the
// lights somewhere sensible.
#pragma once

namespace chromola {

// A fixture's slots in order.
enum LightsLayout {
    kLayoutRgb = 0,        // red, green, blue
    kLayoutRgbw = 1,       // red, green, blue, white = min(red, green, blue)
    kLayoutDimmerRgb = 2,  // dimmer at full, red, green, blue
};

struct LightsOptions {
    bool enabled = false;
    int universe = 1;  // 1..32767, the highest an Art-Net port address holds
    int address = 1;   // 1..512, the first fixture's first slot
    int layout = kLayoutRgb;
    int fixtures = 1;    // 1..170, as many RGB fixtures as a universe holds
    int idleLights = 0;  // while nothing plays: 0 dark, 1 the idle colour

    LightsOptions Clamped() const;
    friend bool operator==(const LightsOptions&, const LightsOptions&) = default;
};

}  // namespace chromola
