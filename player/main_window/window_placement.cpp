#include "main_window/window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>
#include <utility>

namespace chromola {

QRect WorkAreaFor(const QRect& outer) {
    const QScreen* screen = QGuiApplication::screenAt(outer.center());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QRect FittedIntoWorkArea(const QRect& outer, const QRect& area, const QSize& least) {
    if (area.isEmpty()) {
        return outer;
    }
    const QSize size = outer.size().boundedTo(area.size()).expandedTo(least);
    const int x = std::max(area.left(), std::min(outer.left(), area.right() + 1 - size.width()));
    const int y = std::max(area.top(), std::min(outer.top(), area.bottom() + 1 - size.height()));
    return {QPoint(x, y), size};
}

QSize WindowPlacement::outerSize() const {
    return window_.frameGeometry().size();
}

void WindowPlacement::setOuterGeometry(const QRect& outer) {
    const QRect fitted = FittedIntoWorkArea(outer, WorkAreaFor(outer));
    const QSize margins = window_.frameGeometry().size() - window_.size();
    // move() places the frame's top-left once the frame is known; before,
    // it places the client area's.
    window_.resize(fitted.size() - margins);
    window_.move(fitted.topLeft());
    if (!window_.isVisible() || margins.isNull()) {
        pendingOuter_ = fitted;
    }
}

void WindowPlacement::updateMinimumSize() {
    // The frame the window manager adds is known only once the window is
    // mapped, and may change with the style.
    const QSize margins = window_.frameGeometry().size() - window_.size();
    if (margins == frameMargins_ || !window_.isVisible()) {
        return;
    }
    frameMargins_ = margins;
    window_.setMinimumSize(std::max(0, kMinOuterSize.width() - margins.width()),
                           std::max(0, kMinOuterSize.height() - margins.height()));
}

void WindowPlacement::windowExposed() {
    if (pendingOuter_.isValid()) {
        placeOnceFramed();
    }
}

void WindowPlacement::placeOnceFramed() {
    // Once, when the window is first exposed: the window manager has framed
    // it by then. A window shown maximised or full screen stays so; from here
    // on resizes and moves are the user's, and nothing asked earlier may
    // undo them.
    const QRect outer = std::exchange(pendingOuter_, QRect());
    updateMinimumSize();
    if (window_.windowState() &
        (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen)) {
        return;
    }
    const QRect fitted = FittedIntoWorkArea(outer, WorkAreaFor(outer));
    window_.resize(fitted.size() - (window_.frameGeometry().size() - window_.size()));
    window_.move(fitted.topLeft());
}

}  // namespace chromola
