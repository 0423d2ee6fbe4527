// Keyboard control of the main window and seeking with the position bar.
// Keys act the same with Shift, Ctrl or Alt held, repeat with the
// keyboard's auto-repeat, and work while the buttons are disabled between
// tracks.
#pragma once

#include <Qt>

#include <functional>

#include "display/display_controller.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "live/live_capture.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/playlist_controller.h"
#include "playlist/track_sequence.h"

namespace chromola {

// The player's key codes (virtual-key numbering), from Qt's key and
// modifiers; 0 for a key the player does not use. The number-pad keys count
// whether NumLock is on (digits) or off (arrows).
enum KeyCode : int {
    kKeyNone = 0,
    kKeyEscape = 0x1B,
    kKeyPad2 = 0x62,
    kKeyPad4 = 0x64,
    kKeyPad6 = 0x66,
    kKeyPad8 = 0x68,
    kKeyPadPlus = 0x6B,
    kKeyPadMinus = 0x6D,
    kKeyF1 = 0x70,
    kKeyF2 = 0x71,
    kKeyF9 = 0x78,
    kKeyF11 = 0x7A,
    kKeyMediaNext = 0xB0,
    kKeyMediaPrevious = 0xB1,
    kKeyMediaStop = 0xB2,
    kKeyMediaPlay = 0xB3,
    kKeyPlus = 0xBB,
    kKeyMinus = 0xBD,
};
KeyCode KeyCodeOf(int qtKey, Qt::KeyboardModifiers modifiers);

class KeyboardControl {
  public:
    KeyboardControl(AudioEngine& bass, PlayerState& state, PlayerView& view, Clock& clock,
                    Playback& playback, PlaylistController& playlist, DisplayController& display,
                    TrackSequence& sequence, LiveCapture& live);

    void KeyDown(KeyCode key);
    // The user dragged the position bar's thumb to `seconds`.
    void SeekTo(int seconds);
    // The media keys' actions, also the desktop's media controls'. The
    // player cannot pause: Play starts the selected entry when nothing
    // plays and does nothing while a track plays or the pause runs.
    void Play();
    // Stops what plays or the pending start after the pause.
    void Stop();

  private:
    AudioEngine& bass_;
    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    PlaylistController& playlist_;
    DisplayController& display_;
    TrackSequence& sequence_;
    LiveCapture& live_;
};

}  // namespace chromola
