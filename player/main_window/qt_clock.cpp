#include "main_window/qt_clock.h"

namespace chromola {

QtClock::QtClock(QTimer& ticks, std::function<void()> onTick, std::function<void()> onPauseElapsed)
    : ticks_(ticks) {
    started_.start();
    ticks_.setInterval(kTickMs);
    ticks_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticks_, &QTimer::timeout, std::move(onTick));
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pause_, &QTimer::timeout, std::move(onPauseElapsed));
}

}  // namespace chromola
