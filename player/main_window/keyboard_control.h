// Keyboard control of the main window and seeking with the position bar.
// Keys act the same with Shift, Ctrl or Alt held, repeat with the
// keyboard's auto-repeat, and work while the buttons are disabled between
// tracks.
#pragma once

#include <QObject>

#include <functional>

#include "engine/bass_library.h"
#include "player_state.h"

class QKeyEvent;

namespace chromola {

class Form1;
class Playback;
class PlaylistController;

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
    kKeyF11 = 0x7A,
    kKeyPlus = 0xBB,
    kKeyMinus = 0xBD,
};
KeyCode KeyCodeOf(int qtKey, Qt::KeyboardModifiers modifiers);

class KeyboardControl : public QObject {
    Q_OBJECT
  public:
    KeyboardControl(BassLibrary& bass, PlayerState& state, Form1& form, Playback& playback,
                    PlaylistController& playlist);

    void KeyDown(KeyCode key);
    // Seeks the channel to the position bar's value.
    void SeekToBar();

    std::function<void()> showHelp;  // F1
    std::function<void()> onStop;    // Esc stopped playback

  private:
    BassLibrary& bass_;
    PlayerState& state_;
    Form1& form_;
    Playback& playback_;
    PlaylistController& playlist_;
};

}  // namespace chromola
