#pragma once

// A shown colour in one word, so that the display's thread hands it to the
// light output with one atomic store and no lock.

#include <algorithm>
#include <cstdint>

#include "display/colour_levels.h"

namespace chromola {

// 0x00RRGGBB for a colour, or one of these.
inline constexpr std::uint32_t kIdleSlot = 1u << 24;
inline constexpr std::uint32_t kNothingShown = 1u << 25;
// A frame of a strip, painted into a buffer of the sender's.
inline constexpr std::uint32_t kStripShown = 1u << 26;

inline std::uint32_t PackLevels(const ColourLevels& levels) {
    const auto level = [](int value) {
        return static_cast<std::uint32_t>(std::clamp(value, 0, 255));
    };
    return level(levels.red) << 16 | level(levels.green) << 8 | level(levels.blue);
}

inline ColourLevels UnpackLevels(std::uint32_t slot) {
    return {static_cast<int>(slot >> 16 & 0xff), static_cast<int>(slot >> 8 & 0xff),
            static_cast<int>(slot & 0xff)};
}

}  // namespace chromola
