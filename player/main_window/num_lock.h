// NumLock on X11: the number-pad keys drive the player, so NumLock is on
// while it runs and restored at exit. Does nothing where there is no X11
// display (Wayland, the offscreen platform).
#pragma once

#include <optional>

namespace chromola {

class NumLock {
  public:
    // The lock state, or nothing when it cannot be read on this platform.
    static std::optional<bool> isOn();
    // Sets the lock state; false when it cannot be set here.
    static bool set(bool on);
};

}  // namespace chromola
