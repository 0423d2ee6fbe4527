// Geometry of the level bars `Line1`..`Line3` in the control panel, twips:
// each starts at kBarStartTwips and grows 7 twips a level; while nothing
// plays they rest at kIdleBarEndTwips.
#pragma once

namespace chromola {

inline constexpr int kBarStartTwips = 180;
inline constexpr int kBarTwipsPerLevel = 7;
inline constexpr int kIdleBarEndTwips = 144;

inline constexpr int LevelBarEnd(int level) {
    return kBarStartTwips + kBarTwipsPerLevel * level;
}

}  // namespace chromola
