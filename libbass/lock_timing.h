// Built into the lock benchmark only (CHROMOLA_TIME_LIBRARY_LOCK): the
// library-wide mutex wrapped so that the longest time any thread held it,
// shared or exclusive, can be read back.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace chromola::audio {

inline std::atomic<int64_t> longestLibraryLockHoldNs{0};

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
    void lock_shared() {
        mutex_.lock_shared();
        since() = now();
    }
    void unlock_shared() {
        record();
        mutex_.unlock_shared();
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
        int64_t longest = longestLibraryLockHoldNs.load(std::memory_order_relaxed);
        while (held > longest && !longestLibraryLockHoldNs.compare_exchange_weak(longest, held)) {
        }
    }

    Mutex mutex_;
};

}  // namespace chromola::audio
