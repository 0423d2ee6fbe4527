// Where each stored value lives in the running player, both ways, in one
// place: the read at start and the write at exit use the same mapping, so a
// value added to the store cannot be read and then forgotten at exit.
#pragma once

#include "player_state.h"
#include "settings/settings_codec.h"

namespace chromola {

// Where a window of the player's own sits: its frame's top-left and its
// client size, in twips. A left or top below 1 means "centre it on the main
// window", a width or height below 1 "its natural size".
struct WindowPlace {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    friend bool operator==(const WindowPlace&, const WindowPlace&) = default;
};

// The stored values that the windows and the display hold rather than
// PlayerState.
struct WindowSettings {
    int state = 0;  // main window: 0 normal, 1 minimised, 2 maximised
    int left = 0;   // main window's outer geometry, twips
    int top = 0;
    int width = 0;
    int height = 0;
    int scroll = 17;    // the brightness bar
    bool live = false;  // live mode was on at exit
    WindowPlace setup;  // the set-up window, as it was last closed

    friend bool operator==(const WindowSettings&, const WindowSettings&) = default;
};

// Decoded values into the state and the window's values. The playlist
// (`Path`, `Track`) goes into ChosenFiles and TrackIndex; filling the list
// from them is the playlist's job.
void LoadStoredSettings(const StoredSettings& stored, PlayerState& state, WindowSettings& window);

// The values to write at exit.
StoredSettings SaveStoredSettings(const PlayerState& state, const WindowSettings& window);

}  // namespace chromola
