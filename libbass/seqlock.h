// A few 64-bit values published together by one writer and read consistently
// by any number of readers without a lock: the audio thread must never wait,
// and readers simply retry when they race with an update. Besides its own
// values, a SeqLocked can guard more data that the writer changes inside
// update() and readers copy inside read(); that data is kept in atomics,
// stored with memory_order_release and loaded with memory_order_acquire (free
// on x86, and no fences, which the thread sanitizer cannot follow), so a
// racing reader sees stale or mixed values, which it then discards, but never
// undefined behaviour.
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

    // One writer at a time (the caller guarantees it). change(Values&) may
    // alter the values and write the guarded data.
    template <class Change>
    void update(Change&& change) noexcept {
        const uint64_t s = seq_.load(std::memory_order_relaxed);
        // Every store below is a release: a reader that sees one of them
        // sees the odd count too, and retries.
        seq_.store(s + 1, std::memory_order_relaxed);
        Values v;
        for (std::size_t i = 0; i < N; ++i)
            v[i] = values_[i].load(std::memory_order_relaxed);
        change(v);
        for (std::size_t i = 0; i < N; ++i)
            values_[i].store(v[i], std::memory_order_release);
        seq_.store(s + 2, std::memory_order_release);
    }
    void store(const Values& v) noexcept {
        update([&](Values& current) { current = v; });
    }

    // copy(const Values&) reads the guarded data. It runs again whenever an
    // update overlapped it, and may meanwhile be given values from different
    // updates: it must stay in bounds whatever the values.
    template <class Copy>
    Values read(Copy&& copy) const noexcept {
        for (;;) {
            const uint64_t s = seq_.load(std::memory_order_acquire);
            if (s & 1)
                continue;
            Values v;
            for (std::size_t i = 0; i < N; ++i)
                v[i] = values_[i].load(std::memory_order_acquire);
            copy(static_cast<const Values&>(v));
            // The acquire loads above keep this one after them.
            if (seq_.load(std::memory_order_relaxed) == s)
                return v;
        }
    }
    Values load() const noexcept {
        return read([](const Values&) {});
    }

  private:
    std::atomic<uint64_t> seq_{0};
    std::array<std::atomic<uint64_t>, N> values_{};
};

}  // namespace chromola::audio
