// The player's two timers: `Timer1`, whose 17 ms tick drives the display
// while a track plays, and the single-shot pause between tracks. The core
// only starts and stops them; whoever implements them calls the core's
// Tick() (display_controller.h) and PauseElapsed() (track_sequence.h) when they fire. Qt timers
// or a tick thread in the program, a hand-driven clock in tests.
//
// The clock is started and stopped from one thread, its owner (the UI
// thread). Ticks may fire on another thread: then whatever a tick changes
// beyond the display's own frame goes back to the owner through RunOnOwner,
// and stopping the ticks from the owner waits for a tick under way.
#pragma once

#include <functional>

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

    // Milliseconds on a steady clock, for what the display measures in time;
    // any thread.
    virtual long long NowMs() const = 0;

    // From a tick: runs `task` on the owner's thread after this tick. A clock
    // that ticks on its owner's thread runs it at once; one that ticks on a
    // thread of its own queues it, and drops it if the owner starts or stops
    // the ticks before it runs. Stopping the ticks from a tick stops the ones
    // after it; the owner still sees that as its own stop only once it calls
    // StopTicks itself.
    virtual void RunOnOwner(std::function<void()> task) { task(); }
};

}  // namespace chromola
