#include "sample_history.h"

#include "sample16.h"

#include <algorithm>
#include <bit>

namespace chromola::audio {

SampleHistory::SampleHistory(std::size_t minFrames)
    : capacity_(std::bit_ceil(std::max<std::size_t>(minFrames, 4096))), data_(capacity_) {}

void SampleHistory::restart(int64_t first) noexcept {
    run_.store({static_cast<uint64_t>(first), static_cast<uint64_t>(first)});
}

void SampleHistory::append(const float* mono, std::size_t n) noexcept {
    // Only the last capacity_ frames can be kept.
    const std::size_t skip = n > capacity_ ? n - capacity_ : 0;
    run_.update([&](SeqLocked<2>::Values& run) {
        const uint64_t end = run[1] + skip;
        for (std::size_t i = skip; i < n; ++i) {
            data_[static_cast<std::size_t>(end + (i - skip)) & (capacity_ - 1)].store(
                ToSample16(mono[i]), std::memory_order_release);
        }
        run[1] += n;
    });
}

void SampleHistory::copy(int64_t start, float* out, std::size_t n) const noexcept {
    run_.read([&](const SeqLocked<2>::Values& run) { copyHeld(run, start, out, n); });
}

void SampleHistory::copyNewest(float* out, std::size_t n) const noexcept {
    run_.read([&](const SeqLocked<2>::Values& run) {
        copyHeld(run, static_cast<int64_t>(run[1]) - static_cast<int64_t>(n), out, n);
    });
}

int64_t SampleHistory::copyFrom(int64_t from, float* out, std::size_t max,
                                std::size_t& copied) const noexcept {
    int64_t start = from;
    run_.read([&](const SeqLocked<2>::Values& run) {
        const auto begin = static_cast<int64_t>(run[0]);
        const auto end = static_cast<int64_t>(run[1]);
        const int64_t oldest = std::max(begin, end - static_cast<int64_t>(capacity_));
        start = from > end ? oldest : std::max(from, oldest);
        copied =
            static_cast<std::size_t>(std::min<int64_t>(end - start, static_cast<int64_t>(max)));
        copyHeld(run, start, out, copied);
    });
    return start + static_cast<int64_t>(copied);
}

void SampleHistory::copyHeld(const SeqLocked<2>::Values& run, int64_t start, float* out,
                             std::size_t n) const noexcept {
    const int64_t stop = start + static_cast<int64_t>(n);
    const int64_t cap = static_cast<int64_t>(capacity_);
    const auto begin = static_cast<int64_t>(run[0]);
    const auto end = static_cast<int64_t>(run[1]);
    const int64_t from = std::max({start, begin, end - cap});
    const int64_t to = std::min(stop, end);
    if (from >= to) {
        std::fill_n(out, n, 0.0f);
        return;
    }
    // Zeros only where no frame is held: before the run and after its end.
    std::fill_n(out, static_cast<std::size_t>(from - start), 0.0f);
    std::fill_n(out + (to - start), static_cast<std::size_t>(stop - to), 0.0f);
    // The held frames in at most two straight runs of the ring, each a
    // simple loop without a wrap per frame.
    for (int64_t f = from; f < to;) {
        const std::size_t slot = static_cast<std::size_t>(f) & (capacity_ - 1);
        const std::size_t length =
            std::min<std::size_t>(static_cast<std::size_t>(to - f), capacity_ - slot);
        const std::atomic<int16_t>* src = data_.data() + slot;
        float* dst = out + (f - start);
        for (std::size_t i = 0; i < length; ++i) {
            dst[i] = FromSample16(src[i].load(std::memory_order_acquire));
        }
        f += static_cast<int64_t>(length);
    }
}

}  // namespace chromola::audio
