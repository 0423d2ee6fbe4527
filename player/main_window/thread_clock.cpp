#include "main_window/thread_clock.h"

#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <system_error>

#include "main_window/thread_priority.h"

namespace chromola {

std::unique_ptr<ThreadClock> ThreadClock::Create(std::function<void()> onTick,
                                                 std::function<void()> onPauseElapsed) {
    std::unique_ptr<ThreadClock> clock(
        new ThreadClock(std::move(onTick), std::move(onPauseElapsed)));
    if (!clock->Setup()) {
        const int error = errno;
        clock.reset();  // closes what was opened
        errno = error;
    }
    return clock;
}

ThreadClock::ThreadClock(std::function<void()> onTick, std::function<void()> onPauseElapsed)
    : onTick_(std::move(onTick)) {
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pause_, &QTimer::timeout, std::move(onPauseElapsed));
}

bool ThreadClock::Setup() {
    // The thread blocks in read(): one system call a tick.
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    if (timerFd_ < 0) {
        return false;
    }
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) {
        return false;
    }
    // Handed over through a mutex and an eventfd of the clock's own rather
    // than Qt's posted events, so that the thread sanitizer follows it.
    wakeNotifier_ = std::make_unique<QSocketNotifier>(wakeFd_, QSocketNotifier::Read);
    QObject::connect(wakeNotifier_.get(), &QSocketNotifier::activated, &context_,
                     [this] { RunHandedOver(); });
    try {
        tickThread_ = std::thread([this] { Run(); });
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return false;
    }
    pthread_setname_np(tickThread_.native_handle(), "display tick");
    return true;
}

namespace {
std::mutex liveClocksMutex;
std::set<ThreadClock*> liveClocks;  // guarded by liveClocksMutex
}  // namespace

void ThreadClock::EndAllAtExit() {
    std::lock_guard lock(liveClocksMutex);
    for (ThreadClock* clock : liveClocks) {
        clock->End();
    }
}

void ThreadClock::End() {
    if (!tickThread_.joinable()) {
        return;
    }
    {
        std::lock_guard lock(tickMutex_);
        generation_.fetch_add(1, std::memory_order_relaxed);
        ticking_.store(false, std::memory_order_release);
        ending_ = true;
        // Wakes the thread at once to see that it ends.
        itimerspec soon{};
        soon.it_value.tv_nsec = 1;
        timerfd_settime(timerFd_, 0, &soon, nullptr);
    }
    tickThread_.join();
}

ThreadClock::~ThreadClock() {
    {
        std::lock_guard lock(liveClocksMutex);
        liveClocks.erase(this);
    }
    End();
    wakeNotifier_.reset();
    for (const int fd : {timerFd_, wakeFd_}) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

long long ThreadClock::NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 started_)
        .count();
}

void ThreadClock::Arm(bool on) {
    itimerspec spec{};
    if (on) {
        spec.it_value.tv_nsec = kTickMs * 1000000L;
        spec.it_interval = spec.it_value;
    }
    timerfd_settime(timerFd_, 0, &spec, nullptr);
}

void ThreadClock::StartTicks() {
    static std::once_flag atExit;
    std::call_once(atExit, [] { std::atexit(EndAllAtExit); });
    {
        std::lock_guard lock(liveClocksMutex);
        liveClocks.insert(this);
    }
    unsigned generation = 0;
    {
        std::lock_guard lock(tickMutex_);
        generation = generation_.fetch_add(1, std::memory_order_relaxed) + 1;
        ticking_.store(true, std::memory_order_release);
        // A restarted timer starts its interval again; the timer runs only
        // from the owner's next event-loop pass, as a Qt timer would.
        Arm(false);
    }
    QMetaObject::invokeMethod(
        &context_,
        [this, generation] {
            std::lock_guard lock(tickMutex_);
            if (generation_.load(std::memory_order_relaxed) == generation) {
                Arm(true);
            }
        },
        Qt::QueuedConnection);
}

void ThreadClock::StopTicks() {
    if (OnTickThread()) {
        // From a tick, under tickMutex_: no more ticks until the owner's
        // next start.
        ticking_.store(false, std::memory_order_release);
        Arm(false);
        return;
    }
    std::lock_guard lock(tickMutex_);
    generation_.fetch_add(1, std::memory_order_relaxed);
    ticking_.store(false, std::memory_order_release);
    Arm(false);
}

void ThreadClock::RunOnOwner(std::function<void()> task) {
    if (!OnTickThread()) {
        task();
        return;
    }
    bool first = false;
    {
        std::lock_guard lock(handedOverMutex_);
        first = handedOver_.empty();
        handedOver_.emplace_back(generation_.load(std::memory_order_relaxed), std::move(task));
    }
    if (first) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = write(wakeFd_, &one, sizeof one);
    }
}

void ThreadClock::RunHandedOver() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(wakeFd_, &count, sizeof count);
    std::vector<std::pair<unsigned, std::function<void()>>> tasks;
    {
        std::lock_guard lock(handedOverMutex_);
        tasks.swap(handedOver_);
    }
    // A task that starts or stops the ticks makes the ones after it stale.
    for (auto& [generation, task] : tasks) {
        if (generation_.load(std::memory_order_relaxed) == generation) {
            task();
        }
    }
}

void ThreadClock::Run() {
    // Before the first tick: a tick that a busy machine runs late shows as a
    // stutter of the colour.
    RaiseThisThreadPriority();
    for (;;) {
        std::uint64_t expirations = 0;
        // Ticks missed while the thread could not run are dropped, as a Qt
        // timer drops them.
        if (read(timerFd_, &expirations, sizeof expirations) <= 0) {
            continue;  // EINTR
        }
        std::lock_guard lock(tickMutex_);
        if (ending_) {
            return;
        }
        if (ticking_.load(std::memory_order_relaxed)) {
            onTick_();
        }
    }
}

}  // namespace chromola
