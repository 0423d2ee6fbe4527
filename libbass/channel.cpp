#include "channel.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "error.h"

namespace chromola::audio {

namespace {

// Half a second of output queued ahead (more when the device takes more at
// once): plenty against a slow disk, small enough that a seek or a free never
// waits long for the decoder.
constexpr double kRingSeconds = 0.5;
// The history must reach back past everything queued (the ring, the
// resampler, the device's queue) to the frame being heard, plus the FFT
// window; this much more covers the resampler, the outputs that state no
// burst (ALSA's 60-ms buffer, the no-sound device's lag) and the clock's
// wobble.
constexpr double kHistoryMarginSeconds = 0.25;
// Decoded ahead synchronously on open and after a seek, so playback starts
// and the new position is heard at once; and at least what the device takes
// in one go (the sound server asks for its whole queue after a flush).
constexpr double kPrefillSeconds = 0.2;
// When the ring is full the decoder thread sleeps until only this much (or
// the device's burst, if more) is left in it, then tops it up in one go: it
// wakes a few times a second, and the ring always holds what the device may
// take at once (a sound server back after a restart asks for its whole
// queue). Seeks and frees wake it at once.
constexpr double kRefillSeconds = 0.2;

// A busy machine that runs the decoder late empties the ring: a lower nice
// value for it where the user's limits (RLIMIT_NICE, or the right to set
// any) allow, as for a sound server's threads; left as it is where not.
void LowerThisThreadsNice() {
    constexpr int kNice = -11;
    const auto tid = static_cast<id_t>(gettid());
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, tid);
    if (errno != 0 || current <= kNice || setpriority(PRIO_PROCESS, tid, kNice) == 0) {
        return;
    }
    // The limit is the lowest nice value allowed, counted as 20 - nice.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const int lowest = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
        if (lowest < current) {
            setpriority(PRIO_PROCESS, tid, std::max(lowest, kNice));
        }
    }
}

}  // namespace

Channel::Channel(std::unique_ptr<Decoder> decoder, ChannelKind kind, int outputRate, bool loop,
                 std::size_t burstFrames)
    : kind_(kind),
      rate_(decoder->sampleRate()),
      outputRate_(outputRate),
      channels_(decoder->channels()),
      loop_(loop),
      length_(decoder->lengthFrames()),
      prefillFrames_(std::max(static_cast<std::size_t>(outputRate * kPrefillSeconds),
                              burstFrames + kBlockFrames)),
      refillFrames_(std::max(static_cast<std::size_t>(outputRate * kRefillSeconds), burstFrames)),
      ring_(std::max(static_cast<std::size_t>(outputRate * kRingSeconds),
                     std::max(prefillFrames_, refillFrames_) +
                         static_cast<std::size_t>(outputRate * kRefillSeconds)),
            2),
      decoder_(std::move(decoder)),
      resampler_(rate_, outputRate),
      source_(kBlockFrames * static_cast<std::size_t>(channels_)),
      mono_(kBlockFrames),
      stereo_(kBlockFrames * 2),
      history_((ring_.capacity() + burstFrames) * static_cast<std::size_t>(rate_) /
                   static_cast<std::size_t>(outputRate) +
               static_cast<std::size_t>(rate_ * kHistoryMarginSeconds) + 2 * kBlockFrames +
               Spectrum::kFrames),
      window_(Spectrum::kFrames) {
    pendingCapacity_ = resampler_.maxOutput(kBlockFrames);
    pending_.resize(pendingCapacity_ * 2);
    progress_.store({0, 0, 0});
    history_.restart(0);
    prefill();
    worker_ = std::thread([this] { run(); });
}

Channel::~Channel() {
    {
        std::lock_guard lock(requestMutex_);
        stop_ = true;
    }
    wake_.notify_all();
    worker_.join();
}

void Channel::run() {
    pthread_setname_np(pthread_self(), "chromola-decode");
    LowerThisThreadsNice();
    bool idle = false;
    for (;;) {
        std::optional<Seek> seek;
        {
            std::unique_lock lock(requestMutex_);
            // Nothing to decode: sleep until asked, or until the ring wants
            // topping up.
            if (idle) {
                const auto asked = [this] { return stop_ || seek_; };
                if (decodedAll_.load(std::memory_order_relaxed))
                    wake_.wait(lock, asked);
                else
                    wake_.wait_for(lock, refillWait(), asked);
            }
            if (stop_)
                return;
            seek.swap(seek_);
        }
        if (seek) {
            const bool reached = moveTo(seek->frame, seek->deviceFrame);
            {
                std::lock_guard lock(requestMutex_);
                lastSeekReached_ = reached;
                ++seeksDone_;
            }
            seekDone_.notify_all();
            idle = false;
            continue;
        }
        try {
            idle = !fillOnce();
        } catch (...) {
            // A decoder that throws has nothing more to give: end the channel.
            endInput();
            idle = true;
        }
    }
}

// How long the output takes to play the ring down to refillFrames_.
std::chrono::microseconds Channel::refillWait() const {
    const std::size_t queued = ring_.readable();
    const std::size_t frames = queued > refillFrames_ ? queued - refillFrames_ : 0;
    // Never a busy loop, even when the output stalls with the ring short.
    return std::max(
        std::chrono::microseconds(10000),
        std::chrono::microseconds(frames * 1000000 / static_cast<std::size_t>(outputRate_)));
}

void Channel::endInput() noexcept {
    inputEnded_ = true;
    pendingBegin_ = pendingEnd_ = 0;
    decodedAll_.store(true, std::memory_order_release);
}

void Channel::prefill() {
    while (ring_.readable() < prefillFrames_ && fillOnce()) {
    }
}

// One step of the decoder thread: move pending output into the ring, or
// decode the next block. Returns false when there is nothing to do now.
bool Channel::fillOnce() {
    if (pendingBegin_ < pendingEnd_) {
        std::size_t n =
            ring_.write(pending_.data() + pendingBegin_ * 2, pendingEnd_ - pendingBegin_);
        pendingBegin_ += n;
        return n > 0;
    }
    if (decodedAll_.load(std::memory_order_relaxed))
        return false;
    pendingBegin_ = pendingEnd_ = 0;

    if (inputEnded_) {
        pendingEnd_ = resampler_.drain(pending_.data(), pendingCapacity_);
        if (pendingEnd_ == 0) {
            decodedAll_.store(true, std::memory_order_release);
            return false;
        }
        return true;
    }

    std::size_t got = decoder_->read(source_.data(), kBlockFrames);
    if (got == 0) {
        if (loop_ && framesSinceLoop_ > 0 && decoder_->seek(0)) {
            framesSinceLoop_ = 0;
            return true;
        }
        inputEnded_ = true;
        return true;
    }
    framesSinceLoop_ += static_cast<int64_t>(got);

    // The display wants the mean of the channels; the mixer wants stereo.
    mixToMono(got);
    const std::size_t ch = static_cast<std::size_t>(channels_);
    for (std::size_t f = 0; f < got; ++f) {
        const float* in = source_.data() + f * ch;
        if (ch == 1) {
            stereo_[2 * f] = stereo_[2 * f + 1] = in[0];
        } else {
            float extra = 0;
            for (std::size_t c = 2; c < ch; ++c)
                extra += in[c];
            extra *= 0.5f;
            stereo_[2 * f] = in[0] + extra;
            stereo_[2 * f + 1] = in[1] + extra;
        }
    }
    history_.append(mono_.data(), got);
    timeline_ += static_cast<int64_t>(got);
    pendingEnd_ = resampler_.process(stereo_.data(), got, pending_.data(), pendingCapacity_);
    return true;
}

void Channel::mixToMono(std::size_t frames) {
    const std::size_t ch = static_cast<std::size_t>(channels_);
    const float inv = 1.0f / static_cast<float>(ch);
    for (std::size_t f = 0; f < frames; ++f) {
        const float* in = source_.data() + f * ch;
        float sum = 0;
        for (std::size_t c = 0; c < ch; ++c)
            sum += in[c];
        mono_[f] = sum * inv;
    }
}

void Channel::reposition(int64_t frame, uint64_t deviceFrame) {
    std::unique_lock lock(requestMutex_);
    const uint64_t ticket = ++seeksAsked_;
    seek_ = Seek{frame, deviceFrame};
    wake_.notify_all();
    seekDone_.wait(lock, [&] { return seeksDone_ == ticket; });
    if (!lastSeekReached_)
        throw Error(BASS_ERROR_POSITION);
}

// Decoder thread: puts the decoder at frame, with the history leading up to
// it. When it cannot go there, the decoder goes back to the start, frame
// becomes 0, and the result is false.
bool Channel::seekDecoder(int64_t& frame) {
    // The spectrum's window reaches half its length before the frame being
    // heard: decode those frames for the history alone, so that the colour
    // right after a seek is that of the music around the new position.
    const int64_t preroll = std::min<int64_t>(frame, static_cast<int64_t>(Spectrum::kFrames / 2));
    if (decoder_->seek(frame - preroll)) {
        history_.restart(frame - preroll);
        const std::size_t got =
            preroll > 0 ? decoder_->read(source_.data(), static_cast<std::size_t>(preroll)) : 0;
        mixToMono(got);
        history_.append(mono_.data(), got);
        if (got == static_cast<std::size_t>(preroll))
            return true;
    }
    // The decoder is somewhere unknown now.
    decoder_->seek(0);
    history_.restart(0);
    frame = 0;
    return false;
}

// Decoder thread, with the mixer kept out of the channel.
bool Channel::moveTo(int64_t frame, uint64_t deviceFrame) {
    bool reached = false;
    bool broken = false;
    try {
        reached = seekDecoder(frame);
    } catch (...) {
        broken = true;
        frame = 0;
    }
    resampler_.clear();
    pendingBegin_ = pendingEnd_ = 0;
    inputEnded_ = false;
    decodedAll_.store(false, std::memory_order_relaxed);
    drained_.store(false, std::memory_order_relaxed);
    ring_.reset();
    timeline_ = frame;
    framesSinceLoop_ = 0;
    progress_.store({static_cast<uint64_t>(frame), 0, deviceFrame});
    try {
        if (!broken)
            prefill();
    } catch (...) {
        broken = true;
    }
    if (broken)
        endInput();  // a decoder that throws has nothing more to give
    return reached;
}

int64_t Channel::timelineHeard(uint64_t heardDeviceFrame) const {
    auto [start, taken, endFrame] = progress_.load();
    // Frames taken after the one being heard are still queued in the device.
    uint64_t queued = endFrame > heardDeviceFrame ? endFrame - heardDeviceFrame : 0;
    uint64_t heardOut = taken > queued ? taken - queued : 0;
    return static_cast<int64_t>(start) +
           static_cast<int64_t>(heardOut * static_cast<uint64_t>(rate_) /
                                static_cast<uint64_t>(outputRate_));
}

int64_t Channel::position(uint64_t heardDeviceFrame) const {
    int64_t t = timelineHeard(heardDeviceFrame);
    if (length_ > 0 && loop_)
        return t % length_;
    if (length_ >= 0)
        return std::min(t, length_);
    return t;
}

bool Channel::ended(uint64_t heardDeviceFrame) const {
    if (!drained_.load(std::memory_order_acquire))
        return false;
    return heardDeviceFrame >= progress_.load()[2];
}

void Channel::spectrum(uint64_t heardDeviceFrame, float* out) {
    std::lock_guard lock(spectrumMutex_);
    // The window is centred on the frame being heard, so the colour of a
    // sound shows neither before nor after it is heard.
    const auto half = static_cast<int64_t>(window_.size() / 2);
    history_.copy(timelineHeard(heardDeviceFrame) - half, window_.data(), window_.size());
    spectrum_.compute(window_.data(), out);
}

void Channel::mix(float* out, std::size_t frames, uint64_t blockStart, float gain) noexcept {
    // Read the flag before the ring: if it was set, the ring already holds
    // the last frames, so coming up short then means the end.
    const bool decodedAll = decodedAll_.load(std::memory_order_acquire);
    std::size_t got = ring_.readAdd(out, frames, gain);
    if (got > 0) {
        auto p = progress_.load();
        progress_.store({p[0], p[1] + got, blockStart + got});
    }
    if (decodedAll && got < frames)
        drained_.store(true, std::memory_order_release);
}

}  // namespace chromola::audio
