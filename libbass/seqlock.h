// A few 64-bit values published together by one writer and read consistently
// by any number of readers without a lock: the audio thread must never wait,
// and readers on API threads simply retry when they race with an update.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

namespace chromola::audio {

template <std::size_t N>
class SeqLocked {
  public:
    using Values = std::array<uint64_t, N>;

    // Single writer at a time (the caller guarantees it).
    void store(const Values& v) noexcept {
        uint64_t s = seq_.load(std::memory_order_relaxed);
        seq_.store(s + 1, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        for (std::size_t i = 0; i < N; ++i)
            values_[i].store(v[i], std::memory_order_relaxed);
        seq_.store(s + 2, std::memory_order_release);
    }

    Values load() const noexcept {
        Values v{};
        for (;;) {
            uint64_t s1 = seq_.load(std::memory_order_acquire);
            if (s1 & 1)
                continue;
            for (std::size_t i = 0; i < N; ++i)
                v[i] = values_[i].load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (seq_.load(std::memory_order_relaxed) == s1)
                return v;
        }
    }

  private:
    std::atomic<uint64_t> seq_{0};
    std::array<std::atomic<uint64_t>, N> values_{};
};

}  // namespace chromola::audio
