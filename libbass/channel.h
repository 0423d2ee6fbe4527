// One playing file: a decoder thread that keeps a ring of output-rate frames
// filled, the mono history the spectrum reads, and the bookkeeping that maps
// the output clock back to the channel's own frames.
//
// Three parties touch a channel. The decoder thread alone owns the decoder
// and everything it feeds; API threads reach it only through a request slot
// under requestMutex_, which neither side holds while decoding. The output
// callback (mix) only reads the ring and publishes how far it got; it never
// waits. API threads serialise among themselves with control(), and before
// repositioning they hold() the channel and wait until the mixer has left it,
// so the decoder thread can empty the ring with nobody inside.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "decoder.h"
#include "fft.h"
#include "resampler.h"
#include "ring_buffer.h"
#include "sample_history.h"
#include "seqlock.h"

namespace chromola::audio {

enum class ChannelKind { Stream, Music };

class Channel {
  public:
    // burstFrames: the most output frames the device takes at once.
    Channel(std::unique_ptr<Decoder> decoder, ChannelKind kind, int outputRate, bool loop,
            std::size_t burstFrames = 0);
    ~Channel();
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

    ChannelKind kind() const { return kind_; }
    int rate() const { return rate_; }
    int channels() const { return channels_; }
    // Length of one pass in the channel's frames; -1 when unknown.
    int64_t lengthFrames() const { return length_; }
    // Positions are counted in 16-bit frames of the channel's own layout.
    uint32_t bytesPerFrame() const { return static_cast<uint32_t>(channels_) * 2u; }

    // ---- API threads
    std::mutex& control() { return control_; }
    bool playing() const { return playing_.load(std::memory_order_seq_cst); }
    void setPlaying(bool on) { playing_.store(on, std::memory_order_seq_cst); }
    bool held() const { return held_.load(std::memory_order_seq_cst); }
    void hold(bool on) { held_.store(on, std::memory_order_seq_cst); }

    // Has the decoder thread move to frame and refill at once, and waits for
    // it. The caller holds control() and the channel, and has waited for the
    // mixer to leave it; deviceFrame is the output frame the first new frame
    // will be written at. Throws Error(POSITION) when the decoder cannot go
    // there.
    void reposition(int64_t frame, uint64_t deviceFrame);

    // Frame being heard when output frame heardDeviceFrame is heard, as the
    // player sees it (wrapped into one pass for looping channels).
    int64_t position(uint64_t heardDeviceFrame) const;
    // True once every frame has been decoded, mixed and heard.
    bool ended(uint64_t heardDeviceFrame) const;
    // Spectrum of the 2048 frames starting at the heard one (1024 values).
    void spectrum(uint64_t heardDeviceFrame, float* out);

    // ---- output callback
    // Every frame has been mixed (the mixer has nothing more to take).
    bool drained() const { return drained_.load(std::memory_order_acquire); }
    // Adds this channel's next frames (stereo, output rate) onto out;
    // blockStart is the output frame index of out[0].
    void mix(float* out, std::size_t frames, uint64_t blockStart, float gain) noexcept;

  private:
    // Mean of the channels of the first `frames` frames in source_, into
    // mono_.
    void mixToMono(std::size_t frames);
    static constexpr std::size_t kBlockFrames = 1024;

    struct Seek {
        int64_t frame;
        uint64_t deviceFrame;
    };

    void run();
    std::chrono::microseconds refillWait() const;
    bool fillOnce();
    void prefill();
    bool seekDecoder(int64_t& frame);
    bool moveTo(int64_t frame, uint64_t deviceFrame);
    void endInput() noexcept;
    int64_t timelineHeard(uint64_t heardDeviceFrame) const;

    const ChannelKind kind_;
    const int rate_;
    const int outputRate_;
    const int channels_;
    const bool loop_;
    const int64_t length_;
    const std::size_t prefillFrames_;  // decoded ahead on open and after a seek
    const std::size_t refillFrames_;   // the decoder sleeps until the ring is down to this

    // Shared between the decoder thread and the output callback.
    RingBuffer ring_;
    std::atomic<bool> decodedAll_{false};  // everything decoded is in the ring
    std::atomic<bool> drained_{false};     // ...and the mixer has taken all of it
    std::atomic<bool> playing_{false};
    std::atomic<bool> held_{false};
    // {timeline frame of the run's start, output frames taken in this run,
    //  output frame just after the last one taken}
    SeqLocked<3> progress_;

    // Requests to the decoder thread. seeksAsked_ counts the seeks asked
    // for; seeksDone_ those carried out, lastSeekReached_ how the last ended.
    std::mutex requestMutex_;
    std::condition_variable wake_;      // the decoder thread: a seek or stop
    std::condition_variable seekDone_;  // the API thread waiting for its seek
    bool stop_ = false;
    std::optional<Seek> seek_;
    uint64_t seeksAsked_ = 0;
    uint64_t seeksDone_ = 0;
    bool lastSeekReached_ = true;

    // Decoder thread state (and the constructor's, before the thread starts).
    std::unique_ptr<Decoder> decoder_;
    Resampler resampler_;
    std::vector<float> source_;   // decoded frames, file layout
    std::vector<float> mono_;     // for the history
    std::vector<float> stereo_;   // resampler input
    std::vector<float> pending_;  // resampler output not yet in the ring
    std::size_t pendingCapacity_ = 0;
    std::size_t pendingBegin_ = 0;
    std::size_t pendingEnd_ = 0;
    bool inputEnded_ = false;
    int64_t timeline_ = 0;         // timeline frame of the next decoded frame
    int64_t framesSinceLoop_ = 0;  // guards against looping a file that yields nothing

    SampleHistory history_;

    std::mutex control_;
    std::mutex spectrumMutex_;
    Spectrum spectrum_;
    std::vector<float> window_;

    std::thread worker_;  // last: starts once everything above exists
};

}  // namespace chromola::audio
