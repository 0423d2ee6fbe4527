// The core's clock on Qt timers: `Timer1` of the main window for the ticks
// and a precise single-shot timer for the pause between tracks.
#pragma once

#include <QElapsedTimer>
#include <QTimer>

#include <functional>

#include "clock.h"

namespace chromola {

class QtClock final : public Clock {
  public:
    QtClock(QTimer& ticks, std::function<void()> onTick, std::function<void()> onPauseElapsed);

    void StartTicks() override { ticks_.start(); }
    void StopTicks() override { ticks_.stop(); }
    bool Ticking() const override { return ticks_.isActive(); }
    void StartPause(int milliseconds) override { pause_.start(milliseconds); }
    void CancelPause() override { pause_.stop(); }
    bool PausePending() const override { return pause_.isActive(); }
    long long NowMs() const override { return started_.elapsed(); }

  private:
    QTimer& ticks_;
    QTimer pause_;
    QElapsedTimer started_;
};

}  // namespace chromola
