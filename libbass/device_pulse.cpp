// Output through the sound server (PulseAudio, or PipeWire's pulse server)
// with libpulse's asynchronous API on a threaded main loop: connecting takes
// one round trip, and the server reports the stream's latency exactly.
//
// When the server goes away (restarted, crashed) after we were playing, a
// silent stand-in renders the mixer at real-time pace, so that tracks still
// advance and end rather than freezing, and the device tries once a second
// to connect again; once a new stream is ready it takes over from the
// stand-in. Both mark the same heard clock, which never runs backwards.
//
// While nothing plays the stream is corked, once everything rendered before
// has been heard, and the mixer does no work; wake() uncorks it.
#include <pulse/pulseaudio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "device.h"
#include "error.h"
#include "mixer.h"
#include "playback_clock.h"
#include "pulse_connection.h"
#include "sample16.h"

namespace chromola::audio {

namespace {

// The server is sent 16-bit frames, what sound cards play: half the bytes of
// the mixer's floats to copy and to hold in the memory shared with it, and
// usually nothing for it to convert.
constexpr std::size_t kFrameBytes = 2 * sizeof(int16_t);
// The mixer renders this many frames at a time before they are converted.
constexpr std::size_t kRenderFrames = 1024;
// Latency asked of the server: the whole queue, and the least it asks for at
// a time. The server keeps about (tlength - 2 * request) / 2 = 50 ms of it in
// the sink and the rest in its own queue, which a flush drops: a stop, a seek
// or a new track is heard within the sink's 50 ms, while the server asks for
// more only a few times a second. The display follows the sound through the
// server's timing reports, whatever the latency.
constexpr pa_usec_t kTargetLatency = 200 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kRequestSize = 50 * PA_USEC_PER_MSEC;
// How long start-up, or one attempt to reconnect, waits for an answer before
// giving up on the server.
constexpr pa_usec_t kConnectTimeout = 2 * PA_USEC_PER_SEC;
// How soon a timing report is asked for again while the server says it is
// not playing what it holds.
constexpr pa_usec_t kTimingRetry = 20 * PA_USEC_PER_MSEC;
// How often a lost server is looked for again.
constexpr pa_usec_t kReconnectPeriod = 1 * PA_USEC_PER_SEC;

// Everything below runs with the main loop lock held: on the main loop's own
// thread (callbacks) or on an API thread that took it.
class PulseDevice final : public OutputDevice {
  public:
    explicit PulseDevice(Mixer& mixer) : mixer_(mixer) {}

    ~PulseDevice() override {
        if (!loop_)
            return;
        {
            PulseLock lock(*loop_);
            shutDown();
        }
        loop_.reset();  // stops the thread
    }
    PulseDevice(const PulseDevice&) = delete;
    PulseDevice& operator=(const PulseDevice&) = delete;

    // False when there is no server; throws Error(DEVICE) when one took the
    // connection but did not answer within the time-out.
    bool open(int sink, int rateWish) {
        loop_ = std::make_unique<PulseLoop>("chromola-output");
        api_ = loop_->api();
        if (!newContext())
            return false;
        loop_->start();

        PulseLock lock(*loop_);
        switch (awaitPulseContext(*loop_, context_, kConnectTimeout, kConnectTimeout)) {
            case PulseConnected::Ready:
                break;
            case PulseConnected::Refused:
                return false;
            case PulseConnected::NoAnswer:
                throw Error(BASS_ERROR_DEVICE);
        }
        if (sink > 0)
            sinkName_ = sinkNameAt(sink - 1);  // throws DEVICE when out of range
        if (!connectStream(rateWish, true))
            throw Error(BASS_ERROR_DRIVER);
        loop_->waitUntil(context_, kConnectTimeout, [&] {
            return ready_ || !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
        });
        if (!ready_)
            throw Error(BASS_ERROR_DRIVER);
        return true;
    }

    int rate() const override { return rate_; }
    std::size_t burstFrames() const override { return burst_.load(std::memory_order_relaxed); }
    uint64_t heardFrame() const override { return clock_->heard(mixer_.renderedFrames()); }

    void flush() override {
        PulseLock lock(*loop_);
        if (!ready_)
            return;
        dropQueued();
    }

    void wake() override {
        PulseLock lock(*loop_);
        // Nothing audible is left to be heard: all that is queued is the
        // silence rendered since the last channel ended.
        bool onlySilenceQueued = false;
        if (ready_ && !corked_ && silentFrames_ > 0) {
            const uint64_t written = mixer_.renderedFrames();
            onlySilenceQueued = written - clock_->heard(written) <= silentFrames_;
        }
        silentFrames_ = 0;
        if (standIn_)
            standIn_->wake();
        if (!ready_ || !(corked_ || onlySilenceQueued))
            return;
        // What is queued is silence: dropped, so the channel starts at once
        // rather than after the server's whole queue.
        dropQueued();
        if (corked_)
            setCorked(false);
    }

  private:
    bool newContext() {
        context_ = connectPulseContext(*loop_, &PulseDevice::onContextState, this);
        return context_ != nullptr;
    }

    void closeStreamAndContext() {
        if (stream_) {
            pa_stream_set_write_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            closePulseContext(context_);
            context_ = nullptr;
        }
    }

    void shutDown() {
        ready_ = false;
        if (reconnectTimer_) {
            api_->time_free(reconnectTimer_);
            reconnectTimer_ = nullptr;
        }
        if (timingTimer_) {
            api_->time_free(timingTimer_);
            timingTimer_ = nullptr;
        }
        closeStreamAndContext();
        standIn_.reset();
    }

    std::string sinkNameAt(int index) {
        std::vector<std::string> names;
        pa_operation* op = pa_context_get_sink_info_list(
            context_,
            [](pa_context*, const pa_sink_info* info, int eol, void* user) {
                auto* self = static_cast<PulseDevice*>(user);
                if (eol == 0 && info)
                    self->sinkNames_.emplace_back(info->name);
                self->loop_->signal();
            },
            this);
        if (!op)
            throw Error(BASS_ERROR_DEVICE);
        const bool answered = loop_->waitUntil(context_, kConnectTimeout, [&] {
            return pa_operation_get_state(op) != PA_OPERATION_RUNNING;
        });
        if (!answered)
            pa_operation_cancel(op);  // its callback runs no more
        pa_operation_unref(op);
        if (!answered)
            throw Error(BASS_ERROR_DEVICE);
        names.swap(sinkNames_);
        if (index < 0 || static_cast<std::size_t>(index) >= names.size()) {
            throw Error(BASS_ERROR_DEVICE);
        }
        return names[static_cast<std::size_t>(index)];
    }

    // Starts connecting a stream; onStreamState finishes the work. The
    // first stream takes the sink's own rate, so that the server never
    // resamples behind our back, and starts corked: nothing plays yet. A
    // stream after a reconnection keeps the rate the channels were made for,
    // and corks itself if there is nothing to play.
    bool connectStream(int rate, bool first) {
        pa_sample_spec format{};
        format.format = PA_SAMPLE_S16NE;
        format.channels = 2;
        format.rate = static_cast<uint32_t>(rate);
        pa_channel_map map;
        pa_channel_map_init_stereo(&map);
        stream_ = pa_stream_new(context_, "Chromola", &format, &map);
        if (!stream_)
            return false;
        pa_stream_set_state_callback(stream_, &PulseDevice::onStreamState, this);

        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatency, &format));
        // Start at once and never pause on an underrun: the mixer always has
        // frames to give, silence included.
        attr.prebuf = 0;
        attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(kRequestSize, &format));
        attr.fragsize = static_cast<uint32_t>(-1);
        auto flags = static_cast<pa_stream_flags_t>(
            PA_STREAM_ADJUST_LATENCY | PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_INTERPOLATE_TIMING |
            (first ? PA_STREAM_FIX_RATE | PA_STREAM_START_CORKED : 0));
        corked_ = first;
        silentFrames_ = 0;
        return pa_stream_connect_playback(stream_, sinkName_.empty() ? nullptr : sinkName_.c_str(),
                                          &attr, flags, nullptr, nullptr) >= 0;
    }

    // The stream is ready: from now on the server asks for the frames.
    void streamReady() {
        if (ready_)
            return;
        if (!clock_) {
            rate_ = static_cast<int>(pa_stream_get_sample_spec(stream_)->rate);
            clock_.emplace(rate_);
        }
        // Joined before the stream's first request: one renderer at a time.
        standIn_.reset();
        if (reconnectTimer_)
            api_->time_restart(reconnectTimer_, nullptr);
        // The first request may already be pending, so both callbacks start
        // now.
        pa_stream_set_write_callback(stream_, &PulseDevice::onWrite, this);
        pa_stream_set_latency_update_callback(stream_, &PulseDevice::onLatencyUpdate, this);
        // The server may grant a longer queue than asked for (a null sink
        // grants three times as much). After a flush it asks for all of it,
        // and for what the sink gave back of its own buffer, up to a request
        // more.
        if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(stream_))
            burst_.store((granted->tlength + granted->minreq) / kFrameBytes,
                         std::memory_order_relaxed);
        ready_ = true;
        std::size_t writable = pa_stream_writable_size(stream_);
        if (!corked_ && writable != static_cast<std::size_t>(-1) && writable > 0)
            write(writable);
    }

    // Main loop thread: the server asks for nbytes.
    void write(std::size_t nbytes) {
        while (nbytes >= kFrameBytes) {
            void* data = nullptr;
            std::size_t n = nbytes;
            if (pa_stream_begin_write(stream_, &data, &n) < 0 || !data)
                break;
            n -= n % kFrameBytes;
            if (n == 0) {
                pa_stream_cancel_write(stream_);
                break;
            }
            const bool active = render(static_cast<int16_t*>(data), n / kFrameBytes);
            silentFrames_ = active ? 0 : silentFrames_ + n / kFrameBytes;
            pa_stream_write(stream_, data, n, nullptr, 0, PA_SEEK_RELATIVE);
            nbytes = nbytes > n ? nbytes - n : 0;
        }
        updateClock();
        // Once all that is still to be heard is silence, there is no need to
        // go on: cork until a channel plays.
        const uint64_t request = kRequestSize * static_cast<uint64_t>(rate_) / PA_USEC_PER_SEC;
        if (!corked_ && silentFrames_ > queuedFrames_ + request)
            setCorked(true);
    }

    // Renders `frames` frames as 16-bit samples; true if a channel played.
    bool render(int16_t* out, std::size_t frames) {
        bool active = false;
        while (frames > 0) {
            const std::size_t now = std::min(frames, kRenderFrames);
            active = mixer_.render(rendered_.data(), now) || active;
            ToSamples16(rendered_.data(), out, now * 2);
            out += now * 2;
            frames -= now;
        }
        return active;
    }

    // Has the server drop what it holds but has not played. Those frames are
    // never heard: the clock stands at the end of what was written until the
    // server's next timing report tells when the frames written next sound.
    void dropQueued() {
        if (pa_operation* op = pa_stream_flush(stream_, nullptr, nullptr))
            pa_operation_unref(op);
        clock_->mark(mixer_.renderedFrames(), monotonicNanoseconds(), false);
    }

    void setCorked(bool on) {
        if (pa_operation* op = pa_stream_cork(stream_, on ? 1 : 0, nullptr, nullptr))
            pa_operation_unref(op);
        corked_ = on;
        silentFrames_ = 0;
    }

    // Marks the frame being heard from the server's last timing report: what
    // was written, less what its buffers held then, less what it has played
    // since, if it said it was playing. Only then does the heard clock run
    // on between marks. (libpulse's own estimate runs ahead of the sound
    // while a sink starts after an uncork or a stall.)
    void updateClock() {
        if (!ready_)
            return;
        const pa_timing_info* t = pa_stream_get_timing_info(stream_);
        if (!t || t->write_index_corrupt || t->read_index_corrupt)
            return;  // until the report that follows a flush
        const int64_t bytes = std::max<int64_t>(0, t->write_index - t->read_index);
        int64_t queuedUs = static_cast<int64_t>(
            pa_bytes_to_usec(static_cast<uint64_t>(bytes), pa_stream_get_sample_spec(stream_)) +
            t->sink_usec);
        timeval now{};
        pa_gettimeofday(&now);
        if (t->playing && pa_timeval_cmp(&now, &t->timestamp) > 0)
            queuedUs -= static_cast<int64_t>(pa_timeval_diff(&now, &t->timestamp));
        const uint64_t queued = static_cast<uint64_t>(std::max<int64_t>(0, queuedUs)) *
                                static_cast<uint64_t>(rate_) / PA_USEC_PER_SEC;
        queuedFrames_ = queued;
        const uint64_t written = mixer_.renderedFrames();
        clock_->mark(written > queued ? written - queued : 0, monotonicNanoseconds(),
                     t->playing != 0);
        // The clock stands still until a report says the server plays what it
        // holds (a stream just uncorked, a sink starting, an underrun):
        // ask again soon rather than wait for libpulse's own next report,
        // which comes up to 1.5 s later.
        if (!t->playing && !corked_)
            askTimingSoon();
    }

    void askTimingSoon() {
        if (timingAsked_)
            return;
        timeval at{};
        pa_timeval_add(pa_gettimeofday(&at), kTimingRetry);
        if (timingTimer_)
            api_->time_restart(timingTimer_, &at);
        else
            timingTimer_ = api_->time_new(api_, &at, &PulseDevice::onTimingTimer, this);
        timingAsked_ = true;
    }

    // Main loop thread. The server went away while we were playing through
    // it: the stand-in takes over, and a timer looks for the server again.
    void checkConnectionLost() {
        if (!ready_)
            return;
        const bool contextLost = !PA_CONTEXT_IS_GOOD(pa_context_get_state(context_));
        const bool streamLost = stream_ && !PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
        if (!contextLost && !streamLost)
            return;
        ready_ = false;
        // The dead stream renders no more; the connection itself is closed
        // on the next tick, outside its own callbacks.
        pa_stream_set_write_callback(stream_, nullptr, nullptr);
        pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
        try {
            standIn_ = openNullDevice(mixer_, rate_, &*clock_);
        } catch (...) {
            // Without a thread positions stand still until the server is back.
        }
        attemptStartedAt_ = 0;
        scheduleReconnect();
    }

    void scheduleReconnect() {
        timeval at{};
        pa_timeval_add(pa_gettimeofday(&at), kReconnectPeriod);
        if (reconnectTimer_)
            api_->time_restart(reconnectTimer_, &at);
        else
            reconnectTimer_ = api_->time_new(api_, &at, &PulseDevice::onReconnectTick, this);
    }

    // Once a second while the server is lost: leave an attempt that is still
    // getting somewhere alone, or start a fresh one.
    void reconnectTick() {
        if (ready_)
            return;
        const bool connecting = context_ && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
                                (!stream_ || PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) &&
                                pa_rtclock_now() - attemptStartedAt_ < kConnectTimeout;
        if (!connecting) {
            closeStreamAndContext();
            attemptStartedAt_ = pa_rtclock_now();
            if (!newContext())
                closeStreamAndContext();
        }
        scheduleReconnect();
    }

    static void onContextState(pa_context* context, void* user) {
        auto* self = static_cast<PulseDevice*>(user);
        self->checkConnectionLost();
        // While reconnecting, a ready context gets its stream at once.
        if (self->reconnectTimer_ && !self->ready_ && !self->stream_ &&
            pa_context_get_state(context) == PA_CONTEXT_READY &&
            !self->connectStream(self->rate_, false)) {
            self->closeStreamAndContext();
        }
        self->loop_->signal();
    }
    static void onStreamState(pa_stream* stream, void* user) {
        auto* self = static_cast<PulseDevice*>(user);
        self->checkConnectionLost();
        if (pa_stream_get_state(stream) == PA_STREAM_READY)
            self->streamReady();
        self->loop_->signal();
    }
    static void onTimingTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* user) {
        auto* self = static_cast<PulseDevice*>(user);
        self->timingAsked_ = false;
        if (!self->ready_)
            return;
        // The answer comes through onLatencyUpdate.
        if (pa_operation* op = pa_stream_update_timing_info(self->stream_, nullptr, nullptr))
            pa_operation_unref(op);
    }
    static void onReconnectTick(pa_mainloop_api*, pa_time_event*, const struct timeval*,
                                void* user) {
        static_cast<PulseDevice*>(user)->reconnectTick();
    }
    static void onWrite(pa_stream*, std::size_t nbytes, void* user) {
        static_cast<PulseDevice*>(user)->write(nbytes);
    }
    static void onLatencyUpdate(pa_stream*, void* user) {
        static_cast<PulseDevice*>(user)->updateClock();
    }

    Mixer& mixer_;
    std::unique_ptr<PulseLoop> loop_;
    pa_mainloop_api* api_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::string sinkName_;  // empty: the server's default sink
    int rate_ = 0;
    // Set up before the device is handed out, then only marked.
    std::optional<PlaybackClock> clock_;
    std::vector<std::string> sinkNames_;
    bool ready_ = false;                               // playing through the server
    std::unique_ptr<OutputDevice> standIn_;            // renders while the server is lost
    pa_time_event* reconnectTimer_ = nullptr;          // set once the server was lost
    pa_time_event* timingTimer_ = nullptr;             // asks for a timing report (askTimingSoon)
    bool timingAsked_ = false;                         // ...and is armed
    pa_usec_t attemptStartedAt_ = 0;                   // of the current reconnection
    bool corked_ = false;                              // as last asked of the server
    uint64_t silentFrames_ = 0;                        // rendered since a channel last played
    uint64_t queuedFrames_ = 0;                        // rendered but not heard yet
    std::atomic<std::size_t> burst_{0};                // the queue the server granted, in frames
    std::array<float, kRenderFrames * 2> rendered_{};  // main loop thread
};

}  // namespace

std::unique_ptr<OutputDevice> openPulseDevice(Mixer& mixer, int sink, int rateWish) {
    auto device = std::make_unique<PulseDevice>(mixer);
    if (!device->open(sink, rateWish))
        return nullptr;
    return device;
}

}  // namespace chromola::audio
