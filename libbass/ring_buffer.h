// Single-producer single-consumer ring of interleaved frames, handed in and
// out as floats and held as 16-bit samples (the output's own precision, at
// half the memory). The decoder thread writes, the output callback reads;
// neither ever waits on the other, and the storage is allocated once up front.
#pragma once

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "sample16.h"

namespace chromola::audio {

class RingBuffer {
  public:
    RingBuffer(std::size_t minFrames, int channels)
        : channels_(static_cast<std::size_t>(channels)),
          capacity_(std::bit_ceil(std::max<std::size_t>(minFrames, 64))),
          data_(capacity_ * channels_) {}

    std::size_t capacity() const { return capacity_; }

    // Producer side.
    std::size_t writable() const noexcept {
        return capacity_ -
               (write_.load(std::memory_order_relaxed) - read_.load(std::memory_order_acquire));
    }
    std::size_t write(const float* frames, std::size_t n) noexcept {
        uint64_t w = write_.load(std::memory_order_relaxed);
        n = std::min(n, writable());
        for (std::size_t i = 0; i < n;) {
            std::size_t at = static_cast<std::size_t>((w + i) & (capacity_ - 1));
            std::size_t run = std::min(n - i, capacity_ - at);
            ToSamples16(frames + i * channels_, data_.data() + at * channels_, run * channels_);
            i += run;
        }
        write_.store(w + n, std::memory_order_release);
        return n;
    }

    // Consumer side.
    std::size_t readable() const noexcept {
        return static_cast<std::size_t>(write_.load(std::memory_order_acquire) -
                                        read_.load(std::memory_order_relaxed));
    }
    // Adds up to n frames, scaled by gain, onto mix; returns the frames taken.
    std::size_t readAdd(float* mix, std::size_t n, float gain) noexcept {
        uint64_t r = read_.load(std::memory_order_relaxed);
        n = std::min(n, readable());
        for (std::size_t i = 0; i < n;) {
            std::size_t at = static_cast<std::size_t>((r + i) & (capacity_ - 1));
            std::size_t run = std::min(n - i, capacity_ - at);
            AddSamples16(data_.data() + at * channels_, mix + i * channels_, run * channels_, gain);
            i += run;
        }
        read_.store(r + n, std::memory_order_release);
        return n;
    }

    // Empties the ring. Only while neither side is running.
    void reset() noexcept {
        read_.store(0, std::memory_order_release);
        write_.store(0, std::memory_order_release);
    }

  private:
    std::size_t channels_;
    std::size_t capacity_;
    std::vector<int16_t> data_;
    std::atomic<uint64_t> write_{0};
    std::atomic<uint64_t> read_{0};
};

}  // namespace chromola::audio
