#include "main_window/num_lock.h"

#include <QGuiApplication>

#include <X11/XKBlib.h>
#include <X11/keysym.h>

#include "main_window/x11_native.h"

namespace chromola {

std::optional<bool> NumLock::isOn() {
    Display* display = X11Display();
    if (display == nullptr) {
        return std::nullopt;
    }
    const unsigned int mask = XkbKeysymToModifiers(display, XK_Num_Lock);
    XkbStateRec state{};
    if (mask == 0 || XkbGetState(display, XkbUseCoreKbd, &state) != Success) {
        return std::nullopt;
    }
    return (state.locked_mods & mask) != 0;
}

bool NumLock::set(bool on) {
    Display* display = X11Display();
    if (display == nullptr) {
        return false;
    }
    const unsigned int mask = XkbKeysymToModifiers(display, XK_Num_Lock);
    if (mask == 0) {
        return false;
    }
    XkbLockModifiers(display, XkbUseCoreKbd, mask, on ? mask : 0);
    XSync(display, False);
    return true;
}

}  // namespace chromola
