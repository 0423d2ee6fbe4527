// The player's two timers: `Timer1`, whose 17 ms tick drives the display
// while a track plays, and the single-shot pause between tracks. The core
// only starts and stops them; whoever implements them calls the core's
// Tick() and PauseElapsed() (display_controller.h) when they fire. Qt timers
// in the program, a hand-driven clock in tests.
#pragma once

namespace chromola {

class Clock {
  public:
    virtual ~Clock() = default;

    static constexpr int kTickMs = 17;

    virtual void StartTicks() = 0;
    virtual void StopTicks() = 0;
    virtual bool Ticking() const = 0;

    virtual void StartPause(int milliseconds) = 0;
    virtual void CancelPause() = 0;
    virtual bool PausePending() const = 0;

    // Milliseconds on a steady clock, for what the display measures in time.
    virtual long long NowMs() const = 0;
};

}  // namespace chromola
