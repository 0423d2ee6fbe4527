// A futex on a 32-bit atomic, for the light senders: the waker's side is one
// system call that never waits, which is what the display's tick may afford,
// and the sleeper's side takes a deadline (std::atomic::wait has none).
#pragma once

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdint>
#include <ctime>
#include <optional>

namespace chromola {

static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

// Sleeps while `word` still holds `seen`, at most `timeout` when given.
// Returns early on any wake-up or signal; callers look again.
inline void WaitWhile(std::atomic<std::uint32_t>& word, std::uint32_t seen,
                      std::optional<std::chrono::steady_clock::duration> timeout) {
    timespec relative{};
    timespec* limit = nullptr;
    if (timeout) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::max(*timeout, std::chrono::steady_clock::duration::zero()))
                            .count();
        relative.tv_sec = static_cast<time_t>(ns / 1000000000);
        relative.tv_nsec = static_cast<long>(ns % 1000000000);
        limit = &relative;
    }
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAIT_PRIVATE, seen, limit,
            nullptr, 0);
}

inline void WakeAll(std::atomic<std::uint32_t>& word) {
    syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), FUTEX_WAKE_PRIVATE, INT_MAX,
            nullptr, nullptr, 0);
}

}  // namespace chromola
