#include <pthread.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "device.h"
#include "mixer.h"
#include "playback_clock.h"

namespace chromola::audio {

namespace {

// Renders a small block every 5 ms against absolute deadlines computed from
// the frame count, so the pace never drifts however late a wake-up is; sleeps
// while nothing plays.
class NullDevice final : public OutputDevice {
  public:
    NullDevice(Mixer& mixer, int rate, PlaybackClock* clock)
        : mixer_(mixer),
          rate_(rate),
          blockFrames_(static_cast<std::size_t>(std::max(1, rate / 200))),
          buffer_(blockFrames_ * 2),
          ownClock_(rate),
          clock_(clock ? *clock : ownClock_) {
        thread_ = std::thread([this] { run(); });
    }

    ~NullDevice() override {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        thread_.join();
    }

    int rate() const override { return rate_; }
    uint64_t heardFrame() const override { return clock_.heard(mixer_.renderedFrames()); }
    void wake() override {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        wake_.notify_all();
    }

  private:
    using Clock = std::chrono::steady_clock;

    void run() {
        pthread_setname_np(pthread_self(), "chromola-nosound");
        // If the thread is starved for this long, pick up from now instead of
        // rendering a burst to catch up.
        constexpr auto kMaxLag = std::chrono::milliseconds(200);
        Clock::time_point origin = Clock::now();
        uint64_t framesSinceOrigin = 0;
        auto due = [&] {
            return origin + std::chrono::nanoseconds(framesSinceOrigin * 1000000000ull /
                                                     static_cast<uint64_t>(rate_));
        };
        bool idle = false;
        for (;;) {
            {
                std::unique_lock lock(mutex_);
                if (idle) {
                    // Nothing plays: no work until a channel starts.
                    wake_.wait(lock, [this] { return stop_ || woken_; });
                    origin = Clock::now();
                    framesSinceOrigin = 0;
                }
                woken_ = false;
                if (wake_.wait_until(lock, due(), [this] { return stop_; }))
                    return;
            }
            const auto now = Clock::now();
            if (now - due() > kMaxLag) {
                origin = now;
                framesSinceOrigin = 0;
            }
            // The block rendered now starts being "heard" now.
            clock_.mark(mixer_.renderedFrames(), monotonicNanoseconds());
            idle = !mixer_.render(buffer_.data(), blockFrames_);
            framesSinceOrigin += blockFrames_;
        }
    }

    Mixer& mixer_;
    const int rate_;
    const std::size_t blockFrames_;
    std::vector<float> buffer_;
    PlaybackClock ownClock_;
    PlaybackClock& clock_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool woken_ = false;
    std::thread thread_;
};

}  // namespace

std::unique_ptr<OutputDevice> openNullDevice(Mixer& mixer, int rate, PlaybackClock* clock) {
    return std::make_unique<NullDevice>(mixer, rate, clock);
}

}  // namespace chromola::audio
