// The player's shared state: one object owned by the application and handed
// to the windows and controllers that read and change it. What the display's
// tick reads while the UI may change it is atomic, for a tick that runs on a
// thread of its own.
#pragma once

#include <QString>
#include <QStringList>

#include <atomic>
#include <cstdint>

#include "lights_options.h"

namespace chromola {

struct PlayerState {
    // The one audio channel; freeing it does not reset the handle.
    std::atomic<std::uint32_t> CurrentChannel{0};
    // The file dialog's answer and stored playlist (chosen_files.h).
    QString ChosenFiles;
    // Folder of every playlist entry, ending in '/'.
    QString PlaylistFolder;
    // The playlist's entries, relative to PlaylistFolder; the list on screen
    // shows them.
    QStringList Entries;
    // Index of the current playlist entry.
    int TrackIndex = 0;
    // Pause between tracks in seconds, 0..60.
    double PauseSeconds = 0.0;
    // 1 inverts the display; other values are kept but do not invert.
    std::atomic<int> InvertColours{0};
    // Colour gains: bar position x 0.025f, 0.05..0.8.
    std::atomic<float> RedGain{0.0f};
    std::atomic<float> GreenGain{0.0f};
    std::atomic<float> BlueGain{0.0f};
    // 1: the photosensitive flash limiter is on.
    std::atomic<int> FlashLimit{0};
    // 1: the automatic level adapts the brightness to the music.
    std::atomic<int> AutoLevel{0};
    // 1: live mode, the colour of what the computer plays or hears.
    std::atomic<int> Live{0};
    // What live mode captures: 0 the computer's sound, 1 the microphone.
    int LiveSource = 0;
    // 1: every heard beat lifts the colour for a moment.
    std::atomic<int> BeatAccent{0};
    // 4, 8, 16 or 32: the colours step round every that many beats; 0 off.
    std::atomic<int> BeatScene{0};
    // Light output through olad.
    LightsOptions Lights;
    // The remote in a phone's browser: 0 off, 1 this computer only, 2 the
    // local network; the TCP port it listens on, 1024..65535.
    int Remote = 0;
    int RemotePort = 8765;
};

}  // namespace chromola
