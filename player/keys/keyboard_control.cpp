#include "keys/keyboard_control.h"

#include "transport_math.h"

namespace chromola {

KeyCode KeyCodeOf(int qtKey, Qt::KeyboardModifiers modifiers) {
    const bool keypad = modifiers.testFlag(Qt::KeypadModifier);
    if (keypad) {
        switch (qtKey) {
            case Qt::Key_8:
            case Qt::Key_Up:
                return kKeyPad8;
            case Qt::Key_2:
            case Qt::Key_Down:
                return kKeyPad2;
            case Qt::Key_4:
            case Qt::Key_Left:
                return kKeyPad4;
            case Qt::Key_6:
            case Qt::Key_Right:
                return kKeyPad6;
            case Qt::Key_Plus:
                return kKeyPadPlus;
            case Qt::Key_Minus:
                return kKeyPadMinus;
            default:
                return kKeyNone;
        }
    }
    switch (qtKey) {
        case Qt::Key_F1:
            return kKeyF1;
        case Qt::Key_F2:
            return kKeyF2;
        case Qt::Key_F9:
            return kKeyF9;
        case Qt::Key_MediaNext:
            return kKeyMediaNext;
        case Qt::Key_MediaPrevious:
            return kKeyMediaPrevious;
        case Qt::Key_MediaStop:
            return kKeyMediaStop;
        case Qt::Key_MediaPlay:
        case Qt::Key_MediaTogglePlayPause:
            return kKeyMediaPlay;
        case Qt::Key_F11:
            return kKeyF11;
        case Qt::Key_Escape:
            return kKeyEscape;
        // The "= +" key gives '=' alone and '+' with Shift.
        case Qt::Key_Equal:
        case Qt::Key_Plus:
            return kKeyPlus;
        // The "- _" key gives '-' alone and '_' with Shift.
        case Qt::Key_Minus:
        case Qt::Key_Underscore:
            return kKeyMinus;
        default:
            return kKeyNone;
    }
}

KeyboardControl::KeyboardControl(AudioEngine& bass, PlayerState& state, PlayerView& view,
                                 Clock& clock, Playback& playback, PlaylistController& playlist,
                                 DisplayController& display, TrackSequence& sequence,
                                 LiveCapture& live)
    : bass_(bass),
      state_(state),
      view_(view),
      clock_(clock),
      playback_(playback),
      playlist_(playlist),
      display_(display),
      sequence_(sequence),
      live_(live) {}

void KeyboardControl::SeekTo(int seconds) {
    view_.SetPosition(seconds);
    const DWORD channel = state_.CurrentChannel;
    const QWORD bytes = bass_.BASS_ChannelSeconds2Bytes(channel, view_.Position());
    playback_.SeekTo(channel, bytes, BASS_POS_BYTE);
    playback_.Notify(PlaybackEvent::Seeked);
}

void KeyboardControl::Play() {
    const int count = static_cast<int>(state_.Entries.size());
    if (count == 0 || clock_.Ticking() || sequence_.isBetweenTracks()) {
        return;
    }
    const int selected = view_.SelectedEntry();
    if (selected < 0 || selected >= count) {
        view_.SelectEntry(WrapIndex(state_.TrackIndex, count));
    }
    playlist_.PlaySelected();
}

void KeyboardControl::Stop() {
    live_.Leave(false);
    clock_.StopTicks();
    view_.ClearMessage();
    playback_.FreeChannel();
    sequence_.CancelPendingStart();
    playback_.Notify(PlaybackEvent::Stopped);
}

void KeyboardControl::KeyDown(KeyCode key) {
    switch (key) {
        case kKeyF1:
            view_.ShowHelp();
            break;
        case kKeyF2:
            view_.ShowSetup();
            break;
        case kKeyPad8:
            playlist_.PreviousTrack();
            break;
        case kKeyPad2:
            playlist_.NextTrack();
            break;
        case kKeyPad4:
            SeekTo(RewindTarget(view_.Position(), view_.PositionMaximum()));
            break;
        case kKeyPad6:
            SeekTo(ForwardTarget(view_.Position(), view_.PositionMaximum()));
            break;
        case kKeyPlus:
        case kKeyPadPlus:
            display_.BrightnessChanged(BrightnessUp(display_.BrightnessValue()));
            break;
        case kKeyMinus:
        case kKeyPadMinus:
            display_.BrightnessChanged(BrightnessDown(display_.BrightnessValue()));
            break;
        case kKeyF9:
            live_.Toggle();
            break;
        case kKeyF11:
            if (view_.WindowState() != kNormal || view_.FullScreen()) {
                view_.ShowOrdinary();
            } else {
                view_.ShowFullScreen();
            }
            break;
        case kKeyEscape:
            if (view_.WindowState() != kNormal) {
                view_.ShowOrdinary();
                Stop();
            }
            break;
        case kKeyMediaNext:
            playlist_.NextTrack();
            break;
        case kKeyMediaPrevious:
            playlist_.PreviousTrack();
            break;
        case kKeyMediaStop:
            Stop();
            break;
        case kKeyMediaPlay:
            Play();
            break;
        case kKeyNone:
            break;
    }
}

}  // namespace chromola
