// The X11 connection behind Qt's windows, where there is one: the player
// sets NumLock and lets the X server fill its colour areas. Null on other
// platforms (Wayland, offscreen), where those features step aside.
#pragma once

#include <QGuiApplication>

struct _XDisplay;
struct xcb_connection_t;

namespace chromola {

inline QNativeInterface::QX11Application* X11Application() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return nullptr;
    }
    return qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
}

inline _XDisplay* X11Display() {
    auto* x11 = X11Application();
    return x11 != nullptr ? x11->display() : nullptr;
}

inline xcb_connection_t* X11Connection() {
    auto* x11 = X11Application();
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace chromola
