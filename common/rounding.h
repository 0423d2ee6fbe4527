// Whole numbers in the player are taken with ties to the even neighbour
// (2.5 -> 2, 3.5 -> 4), everywhere: positions, levels, settings, pauses.
#pragma once

#include <cmath>
#include <limits>

namespace chromola {

// Rounds half to even and saturates at the ends of int; NaN gives 0.
inline int RoundHalfEven(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (value <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(std::nearbyint(value));  // default FE_TONEAREST: ties to even
}

}  // namespace chromola
