#include "main_window/keyboard_control.h"

#include <QKeyEvent>

#include "engine/playback.h"
#include "main_window/form1.h"
#include "main_window/transport_math.h"
#include "playlist/playlist_controller.h"

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

KeyboardControl::KeyboardControl(BassLibrary& bass, PlayerState& state, Form1& form,
                                 Playback& playback, PlaylistController& playlist)
    : bass_(bass), state_(state), form_(form), playback_(playback), playlist_(playlist) {
    connect(&form_, &Form1::keyDown, this,
            [this](QKeyEvent* event) { KeyDown(KeyCodeOf(event->key(), event->modifiers())); });
    // Only dragging the thumb seeks; clicks on the arrows or the track move
    // the bar without seeking.
    // The bar reports the thumb's new place before it takes it as its value.
    connect(form_.HScroll1, &QScrollBar::sliderMoved, this, [this](int position) {
        form_.HScroll1->setValue(position);
        SeekToBar();
    });
}

void KeyboardControl::SeekToBar() {
    const DWORD channel = state_.CurrentChannel;
    const QWORD bytes = bass_.BASS_ChannelSeconds2Bytes(channel, form_.HScroll1->value());
    playback_.SeekTo(channel, bytes, BASS_POS_BYTE);
}

void KeyboardControl::KeyDown(KeyCode key) {
    QScrollBar* position = form_.HScroll1;
    QScrollBar* brightness = form_.VScroll1;
    switch (key) {
        case kKeyF1:
            if (showHelp) {
                showHelp();
            }
            break;
        case kKeyPad8:
            playlist_.PreviousTrack();
            break;
        case kKeyPad2:
            playlist_.NextTrack();
            break;
        case kKeyPad4:
            position->setValue(RewindTarget(position->value(), position->maximum()));
            SeekToBar();
            break;
        case kKeyPad6:
            position->setValue(ForwardTarget(position->value(), position->maximum()));
            SeekToBar();
            break;
        case kKeyPlus:
        case kKeyPadPlus:
            brightness->setValue(BrightnessUp(brightness->value()));
            break;
        case kKeyMinus:
        case kKeyPadMinus:
            brightness->setValue(BrightnessDown(brightness->value()));
            break;
        case kKeyF11:
            if (form_.windowStateValue() != Form1::kNormal || form_.isFullScreenView()) {
                form_.showOrdinaryView();
            } else {
                form_.showFullScreenView();
            }
            break;
        case kKeyEscape:
            if (form_.windowStateValue() != Form1::kNormal) {
                form_.showOrdinaryView();
                form_.Timer1.stop();
                form_.cls();
                playback_.FreeChannel();
                if (onStop) {
                    onStop();
                }
            }
            break;
        case kKeyNone:
            break;
    }
}

}  // namespace chromola
