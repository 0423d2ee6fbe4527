// The core's clock with its ticks on a thread of their own: a timerfd wakes
// that thread every 17 ms and it runs the tick there, so that the UI thread
// sleeps while a track plays unless the tick hands it something
// (RunOnOwner). The pause between tracks stays a Qt timer of the owner's.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "clock.h"

namespace chromola {

class ThreadClock final : public Clock {
  public:
    // Made on the owner's thread, which runs the queued tasks. Null, with
    // errno set and nothing left open, when the timer, the owner's wake-up or
    // the thread cannot be made (out of descriptors or threads).
    static std::unique_ptr<ThreadClock> Create(std::function<void()> onTick,
                                               std::function<void()> onPauseElapsed);
    ~ThreadClock() override;
    ThreadClock(const ThreadClock&) = delete;
    ThreadClock& operator=(const ThreadClock&) = delete;

    // As with a Qt timer, the first tick comes an interval after the owner's
    // event loop next runs: whatever the owner does right after starting the
    // ticks is done before the first one.
    void StartTicks() override;
    void StopTicks() override;
    bool Ticking() const override { return ticking_.load(std::memory_order_acquire); }
    void StartPause(int milliseconds) override { pause_.start(milliseconds); }
    void CancelPause() override { pause_.stop(); }
    bool PausePending() const override { return pause_.isActive(); }
    long long NowMs() const override;
    void RunOnOwner(std::function<void()> task) override;

  private:
    ThreadClock(std::function<void()> onTick, std::function<void()> onPauseElapsed);
    // Opens the descriptors and starts the thread; false (errno set) if not.
    bool Setup();
    // Stops and joins the thread, once.
    void End();
    // At exit() (Qt calls it when the X connection breaks) the ticks end
    // before the audio library's statics go, which the first start of the
    // ticks comes after.
    static void EndAllAtExit();
    void Run();
    // The owner's side of RunOnOwner: runs what ticks handed over.
    void RunHandedOver();
    void Arm(bool on);
    bool OnTickThread() const { return std::this_thread::get_id() == tickThread_.get_id(); }

    // The owner's own queued calls go to this object; those left when the
    // clock goes are dropped with it.
    QObject context_;
    // Tasks from ticks, each with the generation it was handed over in; an
    // eventfd wakes the owner's event loop for them.
    std::mutex handedOverMutex_;
    std::vector<std::pair<unsigned, std::function<void()>>> handedOver_;
    int wakeFd_ = -1;
    std::unique_ptr<QSocketNotifier> wakeNotifier_;
    std::function<void()> onTick_;
    QTimer pause_;
    const std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
    int timerFd_ = -1;
    // Held while a tick runs: the owner's StopTicks waits for it, and all a
    // tick touches is handed between the two threads through it.
    std::mutex tickMutex_;
    bool ending_ = false;  // guarded by tickMutex_
    std::atomic<bool> ticking_{false};
    // Counts the owner's starts and stops; a queued task runs only if none
    // came between the tick that queued it and its turn.
    std::atomic<unsigned> generation_{0};
    std::thread tickThread_;
};

}  // namespace chromola
