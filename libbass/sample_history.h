// The recently decoded frames of one channel, mixed to mono and kept at the
// channel's own rate as 16-bit samples (far finer than the display needs, at
// half the memory), indexed by the channel's timeline frame. The FFT reads
// the window being heard from here, so it never touches the decoder; a
// reader that races with the writer copies again.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "seqlock.h"

namespace chromola::audio {

class SampleHistory {
  public:
    explicit SampleHistory(std::size_t minFrames);

    std::size_t capacity() const { return capacity_; }

    // Writer side (one writer at a time): start a new run at timeline frame
    // first (after a seek), then append frames in order; samples beyond
    // [-1, 1] are clipped.
    void restart(int64_t first) noexcept;
    void append(const float* mono, std::size_t n) noexcept;

    // Copies timeline frames [start, start + n) into out; any frame not held
    // (not decoded yet, already overwritten, or before the current run)
    // reads as 0.
    void copy(int64_t start, float* out, std::size_t n) const noexcept;
    // Copies the newest n frames, the last one last; frames not held read as 0.
    void copyNewest(float* out, std::size_t n) const noexcept;
    // Copies up to max frames held from timeline frame `from` on (from the
    // oldest one held when `from` is no longer held or lies beyond the end
    // of a run restarted since); returns the frame after the last copied.
    int64_t copyFrom(int64_t from, float* out, std::size_t max, std::size_t& copied) const noexcept;

  private:
    void copyHeld(const SeqLocked<2>::Values& run, int64_t start, float* out,
                  std::size_t n) const noexcept;

    std::size_t capacity_;
    std::vector<std::atomic<int16_t>> data_;
    SeqLocked<2> run_;  // {first frame of the run, frame after the last one}, guards data_
};

}  // namespace chromola::audio
