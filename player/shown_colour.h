// The three levels of a colour as the display shows it: the value that the
// display computes, the windows show and every sink of colour receives.
#pragma once

namespace chromola {

struct ColourLevels {
    int red = 0;  // each 0..255
    int green = 0;
    int blue = 0;
    friend bool operator==(const ColourLevels&, const ColourLevels&) = default;
};

// The colour of the window while nothing plays.
inline constexpr ColourLevels kIdleColour{12, 17, 11};
inline constexpr ColourLevels kBlack{0, 0, 0};

}  // namespace chromola
