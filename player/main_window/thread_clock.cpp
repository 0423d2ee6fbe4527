#include "main_window/thread_clock.h"

#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>

namespace chromola {

ThreadClock::ThreadClock(std::function<void()> onTick, std::function<void()> onPauseElapsed)
    : onTick_(std::move(onTick)) {
    pause_.setSingleShot(true);
    pause_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&pause_, &QTimer::timeout, std::move(onPauseElapsed));
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    stopFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (timerFd_ < 0 || stopFd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "display tick timer");
    }
    tickThread_ = std::thread([this] { Run(); });
    pthread_setname_np(tickThread_.native_handle(), "display tick");
}

ThreadClock::~ThreadClock() {
    StopTicks();
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t written = write(stopFd_, &one, sizeof one);
    tickThread_.join();
    close(timerFd_);
    close(stopFd_);
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
    const unsigned generation = generation_.load(std::memory_order_relaxed);
    QMetaObject::invokeMethod(
        &context_,
        [this, generation, task = std::move(task)] {
            if (generation_.load(std::memory_order_relaxed) == generation) {
                task();
            }
        },
        Qt::QueuedConnection);
}

void ThreadClock::Run() {
    pollfd fds[] = {{timerFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            continue;  // EINTR
        }
        if (fds[1].revents != 0) {
            return;
        }
        std::uint64_t expirations = 0;
        // Ticks missed while the thread could not run are dropped, as a Qt
        // timer drops them.
        if (read(timerFd_, &expirations, sizeof expirations) <= 0) {
            continue;
        }
        std::lock_guard lock(tickMutex_);
        if (ticking_.load(std::memory_order_relaxed)) {
            onTick_();
        }
    }
}

}  // namespace chromola
