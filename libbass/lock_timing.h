// Built into the lock benchmark only (CHROMOLA_TIME_LIBRARY_LOCK): the
// library-wide mutex wrapped so that the longest time any thread held it, and
// how often it was held for more than a millisecond, can be read back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace chromola::audio {

inline std::atomic<int64_t> longestLibraryLockHoldNs{0};
inline std::atomic<int64_t> libraryLockHolds{0};
inline std::atomic<int64_t> libraryLockHoldsOverMs{0};

template <class Mutex>
class TimedLock {
  public:
    void lock() {
        mutex_.lock();
        since() = now();
    }
    void unlock() {
        record();
        mutex_.unlock();
    }

  private:
    static int64_t now() {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }
    // The lock is not recursive: one start time per thread is enough.
    static int64_t& since() {
        thread_local int64_t t = 0;
        return t;
    }
    static void record() {
        const int64_t held = now() - since();
        libraryLockHolds.fetch_add(1, std::memory_order_relaxed);
        if (held > 1000000)
            libraryLockHoldsOverMs.fetch_add(1, std::memory_order_relaxed);
        int64_t longest = longestLibraryLockHoldNs.load(std::memory_order_relaxed);
        while (held > longest && !longestLibraryLockHoldNs.compare_exchange_weak(longest, held)) {
        }
    }

    Mutex mutex_;
};

}  // namespace chromola::audio
