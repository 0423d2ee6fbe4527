#include "sample_history.h"

#include <algorithm>
#include <bit>

namespace chromola::audio {

SampleHistory::SampleHistory(std::size_t minFrames)
    : capacity_(std::bit_ceil(std::max<std::size_t>(minFrames + kWriteMargin, 4 * kWriteMargin))),
      data_(capacity_) {}

void SampleHistory::restart(int64_t first) noexcept {
    uint64_t g = generation_.load(std::memory_order_relaxed);
    generation_.store(g + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    begin_.store(first, std::memory_order_relaxed);
    end_.store(first, std::memory_order_relaxed);
    generation_.store(g + 2, std::memory_order_release);
}

void SampleHistory::append(const float* mono, std::size_t n) noexcept {
    // Publish in slices so a reader's safety margin always covers the slice
    // being written.
    while (n > kWriteMargin) {
        append(mono, kWriteMargin);
        mono += kWriteMargin;
        n -= kWriteMargin;
    }
    int64_t e = end_.load(std::memory_order_relaxed);
    const std::size_t mask = capacity_ - 1;
    for (std::size_t i = 0; i < n; ++i) {
        data_[static_cast<std::size_t>(e + static_cast<int64_t>(i)) & mask].store(
            mono[i], std::memory_order_relaxed);
    }
    end_.store(e + static_cast<int64_t>(n), std::memory_order_release);
}

void SampleHistory::copy(int64_t start, float* out, std::size_t n) const noexcept {
    std::fill_n(out, n, 0.0f);
    const uint64_t g = generation_.load(std::memory_order_acquire);
    if (g & 1)
        return;
    const int64_t cap = static_cast<int64_t>(capacity_);
    const int64_t stop = start + static_cast<int64_t>(n);
    int64_t end = end_.load(std::memory_order_acquire);
    const int64_t margin = static_cast<int64_t>(kWriteMargin);
    int64_t from = std::max({start, begin_.load(std::memory_order_relaxed), end - cap + margin});
    int64_t to = std::min(stop, end);
    if (from >= to)
        return;
    const std::size_t mask = capacity_ - 1;
    for (int64_t f = from; f < to; ++f) {
        out[f - start] = data_[static_cast<std::size_t>(f) & mask].load(std::memory_order_relaxed);
    }
    // Frames the writer may have overwritten while we copied are not ours.
    std::atomic_thread_fence(std::memory_order_acquire);
    if (generation_.load(std::memory_order_relaxed) != g) {
        std::fill_n(out, n, 0.0f);
        return;
    }
    // A slice being written may already have replaced frames just above
    // end - capacity before end moved, hence the margin.
    int64_t lowestIntact = end_.load(std::memory_order_relaxed) - cap + margin;
    for (int64_t f = from; f < std::min(to, lowestIntact); ++f)
        out[f - start] = 0.0f;
}

}  // namespace chromola::audio
