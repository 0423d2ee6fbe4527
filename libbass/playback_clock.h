// Which output frame is being heard right now. Output backends mark it when
// they learn it (after each write, from the device's reported latency); in
// between, readers extend the last mark by the time elapsed (unless the mark
// says the output is not playing yet), never past what has actually been
// written.
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>

#include "seqlock.h"

namespace chromola::audio {

inline int64_t monotonicNanoseconds() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

class PlaybackClock {
  public:
    explicit PlaybackClock(int rate) : rate_(rate) {}

    void mark(uint64_t heardFrame, int64_t nowNs, bool advancing = true) noexcept {
        snapshot_.store({heardFrame, static_cast<uint64_t>(nowNs), advancing ? 1u : 0u});
    }

    // written: output frames handed to the device so far (the upper bound).
    uint64_t heard(uint64_t written) const noexcept {
        auto [frame, atNs, advancing] = snapshot_.load();
        if (frame == 0 && atNs == 0)
            return 0;
        int64_t elapsed =
            advancing ? std::max<int64_t>(0, monotonicNanoseconds() - static_cast<int64_t>(atNs))
                      : 0;
        uint64_t ahead =
            static_cast<uint64_t>(elapsed) * static_cast<uint64_t>(rate_) / 1000000000u;
        const uint64_t now = std::min(frame + ahead, std::max(frame, written));
        // A fresh mark can sit a little behind where interpolation had got
        // to (the server's latency estimate wobbles); what was heard stays
        // heard, so positions never run backwards.
        uint64_t floor = floor_.load(std::memory_order_relaxed);
        while (now > floor &&
               !floor_.compare_exchange_weak(floor, now, std::memory_order_relaxed)) {
        }
        return std::max(now, floor);
    }

  private:
    int rate_;
    SeqLocked<3> snapshot_;  // {heard frame, when, advancing}
    mutable std::atomic<uint64_t> floor_{0};
};

}  // namespace chromola::audio
