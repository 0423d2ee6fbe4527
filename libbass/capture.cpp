// Capture through libpulse's asynchronous API on a threaded main loop, one
// loop and one connection per capture.
//
// The default output's monitor is resolved to a name (server info's default
// sink, then that sink's own monitor source) and recorded with
// PA_STREAM_DONT_MOVE: a stream left on "the default monitor" has been seen
// to move to a newly plugged microphone when that became the default
// source. Following the output is our own work instead: on every change of
// the server's defaults, and whenever the stream dies, the default sink's
// monitor is looked up again, and a different one (or the same one, if our
// stream died) gets a new stream. A source that goes for good (unplugged,
// the server gone) leaves the capture stalled and silent.
#include "capture.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "error.h"
#include "fft.h"
#include "pulse_connection.h"
#include "sample16.h"
#include "sample_history.h"

namespace chromola::audio {

namespace {

// A server that took the connection must answer its first message within
// this, or it counts as no server. Where there is no server at all,
// connecting fails at once. Under a sanitizer, our own side of the handshake
// alone has taken up to 0.8 s (2 to 30 ms otherwise): such builds wait longer.
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
constexpr pa_usec_t kAnswerTimeout = 2 * PA_USEC_PER_SEC;
#else
constexpr pa_usec_t kAnswerTimeout = 500 * PA_USEC_PER_MSEC;
#endif
// Each later step, once the server has answered: the rest of the handshake,
// looking sources up, opening the record stream (a real device may take a
// moment to open).
constexpr pa_usec_t kRequestTimeout = 2 * PA_USEC_PER_SEC;
// How often the server hands over new frames, each a wake-up of the
// capture's thread. A frame waits for its fragment to fill and then for the
// display's next 17-ms tick: measured on a null sink's monitor, the spectrum
// shows a tone a median 21 ms (95 % within 29 ms) after it is heard with
// 12-ms fragments, 17-20 ms with 8-ms ones and 24-26 ms (95 % within 33 ms)
// with 16-ms ones. 12 ms keeps the colour within 30 ms of the sound at a
// third fewer wake-ups than 8 ms (bench/live/live_cpu.sh), and is still
// shorter than a tick, so that no tick goes without news.
constexpr pa_usec_t kFragment = 12 * PA_USEC_PER_MSEC;
// Frames mixed to mono per step of the record callback.
constexpr std::size_t kChunkFrames = 256;
// A source that keeps killing its new stream before giving a single frame
// is given up after this many tries.
constexpr int kMaxFruitlessStreams = 3;

// Lets go of a request's handle; its callback still runs. False when the
// request could not even be made (the connection is gone).
bool sent(pa_operation* op) {
    if (!op)
        return false;
    pa_operation_unref(op);
    return true;
}

// One connection to the server with a main loop thread of its own. Apart
// from construction and destruction, everything is done with the loop's
// lock held: on the loop thread (callbacks) or by a caller holding it.
class ServerLink {
  public:
    // Connects; throws Error(DEVICE) when no server answers. broken runs on
    // the loop thread once the connection has failed.
    explicit ServerLink(std::function<void()> broken = {})
        : broken_(std::move(broken)), loop_("chromola-capture") {
        try {
            open();
        } catch (...) {
            close();
            throw;
        }
    }
    ~ServerLink() { close(); }
    ServerLink(const ServerLink&) = delete;
    ServerLink& operator=(const ServerLink&) = delete;

    const PulseLoop& loop() const { return loop_; }
    pa_context* context() const { return context_; }
    bool connected() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)); }
    // Wakes a caller in waitUntil().
    void signal() const { loop_.signal(); }
    // With the lock held: ends the connection. Requests still open are
    // cancelled without their callbacks; no callback runs after this.
    void disconnect() noexcept {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }

    // With the lock held: see PulseLoop::waitUntil.
    template <class Done>
    bool waitUntil(pa_usec_t timeout, Done&& done) {
        return loop_.waitUntil(context_, timeout, std::forward<Done>(done));
    }

  private:
    void open() {
        context_ = connectPulseContext(loop_, &ServerLink::onState, this);
        if (!context_)
            throw Error(BASS_ERROR_DEVICE);
        loop_.start();
        PulseLock lock(loop_);
        if (awaitPulseContext(loop_, context_, kAnswerTimeout, kRequestTimeout) !=
            PulseConnected::Ready) {
            throw Error(BASS_ERROR_DEVICE);
        }
    }

    // The loop itself stops and goes with the member.
    void close() noexcept {
        if (context_) {
            PulseLock lock(loop_);
            closePulseContext(context_);
            context_ = nullptr;
        }
    }

    static void onState(pa_context* context, void* user) {
        auto* self = static_cast<ServerLink*>(user);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context)) && self->broken_)
            self->broken_();
        self->signal();
    }

    std::function<void()> broken_;
    PulseLoop loop_;
    pa_context* context_ = nullptr;
};

// Copies text into a fixed field, cut short at a character boundary.
template <std::size_t N>
void copyText(char (&field)[N], const char* text) {
    std::size_t n = text ? std::min(std::strlen(text), N - 1) : 0;
    if (text && n < std::strlen(text)) {
        while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
            --n;
    }
    std::memcpy(field, text ? text : "", n);
    field[n] = '\0';
}

}  // namespace

// The record stream and the state behind it; see the top of this file.
class Capture::Recorder {
  public:
    Recorder(const char* source, DWORD which)
        : target_(source ? Target::Named
                         : (which == CHROMOLA_CAPTURE_OUTPUT ? Target::Output : Target::Input)),
          named_(source ? source : ""),
          history_(2 * Spectrum::kFrames),
          window_(Spectrum::kFrames),
          mono_(kChunkFrames),
          interleaved_(kChunkFrames * PA_CHANNELS_MAX),
          link_([this] { lose(); }) {
        PulseLock lock(link_.loop());
        try {
            start();
        } catch (...) {
            shutDown();
            throw;
        }
    }

    ~Recorder() {
        PulseLock lock(link_.loop());
        shutDown();
    }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool present() const { return present_.load(std::memory_order_acquire); }

    void spectrum(float* out) {
        std::lock_guard lock(spectrumMutex_);
        history_.copyNewest(window_.data(), window_.size());
        spectrum_.compute(window_.data(), out);
    }

    DWORD read(void* out, DWORD bytes, bool asFloat) {
        std::lock_guard lock(readMutex_);
        const std::size_t frameBytes = asFloat ? sizeof(float) : sizeof(int16_t);
        const std::size_t wanted = std::min<std::size_t>(bytes / frameBytes, history_.capacity());
        read_.resize(wanted);
        std::size_t copied = 0;
        readFrom_ = history_.copyFrom(readFrom_, read_.data(), wanted, copied);
        if (asFloat) {
            std::memcpy(out, read_.data(), copied * sizeof(float));
        } else {
            ToSamples16(read_.data(), static_cast<int16_t*>(out), copied);
        }
        return static_cast<DWORD>(copied * frameBytes);
    }

    int rate() const { return rate_.load(std::memory_order_acquire); }

  private:
    enum class Target { Output, Input, Named };

    struct StreamCloser {
        void operator()(pa_stream* s) const {
            pa_stream_set_state_callback(s, nullptr, nullptr);
            pa_stream_set_read_callback(s, nullptr, nullptr);
            pa_stream_disconnect(s);
            pa_stream_unref(s);
        }
    };

    // Caller holds the loop's lock.
    void start() {
        if (target_ == Target::Output) {
            // Subscribed first, so that no change between the look-up and
            // the subscription goes unseen.
            pa_context_set_subscribe_callback(link_.context(), &Recorder::onEvent, this);
            sent(pa_context_subscribe(link_.context(), PA_SUBSCRIPTION_MASK_SERVER, nullptr,
                                      nullptr));
        }
        lookUp();
        if (!link_.waitUntil(kRequestTimeout, [&] { return startError_ != 0 || present(); }))
            throw Error(BASS_ERROR_DEVICE);
        if (startError_ != 0)
            throw Error(startError_);
        starting_ = false;
    }

    // Caller holds the loop's lock: no callback of ours runs after this.
    void shutDown() noexcept {
        stream_.reset();
        pa_context_set_subscribe_callback(link_.context(), nullptr, nullptr);
        link_.disconnect();
    }

    // ---- the loop thread, or a caller holding its lock

    // Asks which source to record; found() or notFound() follows.
    void lookUp() {
        pa_context* c = link_.context();
        if (!sent(target_ == Target::Named
                      ? pa_context_get_source_info_by_name(c, named_.c_str(), &onSourceInfo, this)
                      : pa_context_get_server_info(c, &onServerInfo, this))) {
            notFound(BASS_ERROR_DEVICE);
        }
    }

    static void onServerInfo(pa_context* c, const pa_server_info* info, void* user) {
        auto* self = static_cast<Recorder*>(user);
        const bool output = self->target_ == Target::Output;
        const char* name =
            !info ? nullptr : (output ? info->default_sink_name : info->default_source_name);
        if (!name || !*name)
            return self->notFound(BASS_ERROR_DEVICE);
        if (!sent(output ? pa_context_get_sink_info_by_name(c, name, &onSinkInfo, self)
                         : pa_context_get_source_info_by_name(c, name, &onSourceInfo, self))) {
            self->notFound(BASS_ERROR_DEVICE);
        }
    }

    static void onSinkInfo(pa_context* c, const pa_sink_info* info, int eol, void* user) {
        auto* self = static_cast<Recorder*>(user);
        if (eol > 0)
            return;
        if (eol < 0 || !info || !info->monitor_source_name)
            return self->notFound(BASS_ERROR_DEVICE);
        if (!sent(pa_context_get_source_info_by_name(c, info->monitor_source_name, &onSourceInfo,
                                                     self))) {
            self->notFound(BASS_ERROR_DEVICE);
        }
    }

    static void onSourceInfo(pa_context*, const pa_source_info* info, int eol, void* user) {
        auto* self = static_cast<Recorder*>(user);
        if (eol > 0)
            return;
        if (eol < 0 || !info) {
            return self->notFound(self->target_ == Target::Named ? BASS_ERROR_ILLPARAM
                                                                 : BASS_ERROR_DEVICE);
        }
        self->found(*info);
    }

    void found(const pa_source_info& info) {
        if (streamAlive() && source_ == info.name)
            return;  // already recording it
        if (!record(info))
            streamLost();
    }

    void notFound(int code) {
        if (starting_) {
            startError_ = code;
            link_.signal();
        } else if (!streamAlive()) {
            lose();
        }
    }

    bool streamAlive() const {
        return stream_ && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_.get()));
    }

    // A new record stream on the source, in place of the old one: float
    // frames at the source's own rate and layout, handed over every
    // kFragment.
    bool record(const pa_source_info& info) {
        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_FLOAT32NE;
        spec.rate = info.sample_spec.rate;
        spec.channels = info.sample_spec.channels;
        std::unique_ptr<pa_stream, StreamCloser> stream(
            pa_stream_new(link_.context(), "Chromola capture", &spec, &info.channel_map));
        if (!stream)
            return false;
        pa_stream_set_state_callback(stream.get(), &Recorder::onStreamState, this);
        pa_stream_set_read_callback(stream.get(), &Recorder::onRead, this);
        pa_buffer_attr attr{};
        attr.maxlength = static_cast<uint32_t>(-1);
        attr.tlength = attr.prebuf = attr.minreq = static_cast<uint32_t>(-1);
        attr.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragment, &spec));
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        if (pa_stream_connect_record(stream.get(), info.name, &attr, flags) < 0)
            return false;
        source_ = info.name;
        stream_ = std::move(stream);
        rate_.store(static_cast<int>(spec.rate), std::memory_order_release);
        return true;
    }

    static void onStreamState(pa_stream* stream, void* user) {
        auto* self = static_cast<Recorder*>(user);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_READY) {
            self->present_.store(true, std::memory_order_release);
        } else if (!PA_STREAM_IS_GOOD(state)) {
            pa_stream_set_read_callback(stream, nullptr, nullptr);
            self->streamLost();
        }
        self->link_.signal();
    }

    // The stream died or could not be made: the source went, or, for the
    // default output, the output may have moved on to another sink.
    void streamLost() {
        if (starting_) {
            startError_ = BASS_ERROR_DEVICE;
            link_.signal();
        } else if (target_ == Target::Output && link_.connected() &&
                   ++fruitlessStreams_ < kMaxFruitlessStreams) {
            lookUp();
        } else {
            lose();
        }
    }

    // For good: silence from now on.
    void lose() {
        history_.restart(0);
        present_.store(false, std::memory_order_release);
    }

    static void onEvent(pa_context*, pa_subscription_event_type_t type, uint32_t, void* user) {
        // The server's defaults changed (among other things): if the default
        // output is another sink now, its monitor is recorded instead.
        if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
            static_cast<Recorder*>(user)->lookUp();
    }

    static void onRead(pa_stream* stream, std::size_t, void* user) {
        static_cast<Recorder*>(user)->take(stream);
    }

    // Everything the server has handed over goes into the history as mono.
    void take(pa_stream* stream) {
        const std::size_t channels = pa_stream_get_sample_spec(stream)->channels;
        const std::size_t frameBytes = channels * sizeof(float);
        const float inverse = 1.0f / static_cast<float>(channels);
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0)
                return;
            fruitlessStreams_ = 0;
            // A hole (data lost on the server's side) reads as silence. Of
            // more than the history holds, only the newest frames count.
            const std::size_t total = bytes / frameBytes;
            std::size_t frames = std::min(total, history_.capacity());
            const auto* bytesIn = static_cast<const unsigned char*>(data);
            if (bytesIn)
                bytesIn += (total - frames) * frameBytes;
            while (frames > 0) {
                const std::size_t n = std::min(frames, kChunkFrames);
                if (data) {
                    std::memcpy(interleaved_.data(), bytesIn, n * frameBytes);
                    bytesIn += n * frameBytes;
                    for (std::size_t f = 0; f < n; ++f) {
                        float sum = 0;
                        for (std::size_t c = 0; c < channels; ++c)
                            sum += interleaved_[f * channels + c];
                        mono_[f] = sum * inverse;
                    }
                } else {
                    std::fill_n(mono_.begin(), n, 0.0f);
                }
                history_.append(mono_.data(), n);
                frames -= n;
            }
            pa_stream_drop(stream);
        }
    }

    const Target target_;
    const std::string named_;

    // Read by API threads without waiting; written by the loop thread only.
    SampleHistory history_;
    std::atomic<bool> present_{false};

    std::mutex spectrumMutex_;  // API threads, one spectrum at a time
    Spectrum spectrum_;
    std::vector<float> window_;
    std::atomic<int> rate_{0};
    std::mutex readMutex_;  // API threads, one read at a time
    int64_t readFrom_ = 0;
    std::vector<float> read_;

    // Loop thread (or a caller holding its lock).
    bool starting_ = true;
    int startError_ = 0;
    std::string source_;  // recorded by stream_
    std::unique_ptr<pa_stream, StreamCloser> stream_;
    int fruitlessStreams_ = 0;
    std::vector<float> mono_;
    std::vector<float> interleaved_;

    ServerLink link_;  // last: connected once everything above exists, closed first
};

Capture::Capture(const char* source, DWORD which) {
    if (source ? *source == '\0'
               : which != CHROMOLA_CAPTURE_OUTPUT && which != CHROMOLA_CAPTURE_INPUT) {
        throw Error(BASS_ERROR_ILLPARAM);
    }
    recorder_ = std::make_unique<Recorder>(source, which);
}

Capture::~Capture() = default;

bool Capture::present() const {
    return recorder_->present();
}

void Capture::spectrum(float* out) {
    recorder_->spectrum(out);
}

DWORD Capture::read(void* out, DWORD bytes, bool asFloat) {
    return recorder_->read(out, bytes, asFloat);
}

int Capture::rate() const {
    return recorder_->rate();
}

int listCaptureSources(CHROMOLA_CAPTURE_SOURCE* out, int max) {
    if (max < 0 || (max > 0 && !out))
        throw Error(BASS_ERROR_ILLPARAM);
    // The answers outlive the connection: a request still open when a wait
    // gives up is cancelled when the connection closes, before they go.
    struct Answers {
        const ServerLink* link = nullptr;
        bool failed = false;
        bool server = false, sink = false, sources = false;
        std::string defaultSink, defaultSource, defaultMonitor;
        std::vector<CHROMOLA_CAPTURE_SOURCE> list;
    } a;
    ServerLink link;
    a.link = &link;
    PulseLock lock(link.loop());
    auto expect = [&](pa_operation* op) {
        if (!sent(op))
            throw Error(BASS_ERROR_DEVICE);
    };
    auto answered = [&](const std::initializer_list<bool*>& parts) {
        return link.waitUntil(kRequestTimeout, [&] {
            return a.failed || std::all_of(parts.begin(), parts.end(), [](bool* p) { return *p; });
        });
    };

    expect(pa_context_get_server_info(
        link.context(),
        [](pa_context*, const pa_server_info* info, void* user) {
            auto* a = static_cast<Answers*>(user);
            if (info) {
                a->defaultSink = info->default_sink_name ? info->default_sink_name : "";
                a->defaultSource = info->default_source_name ? info->default_source_name : "";
            }
            a->failed = !info;
            a->server = true;
            a->link->signal();
        },
        &a));
    if (!answered({&a.server}) || a.failed)
        throw Error(BASS_ERROR_DEVICE);

    if (a.defaultSink.empty()) {
        a.sink = true;
    } else {
        expect(pa_context_get_sink_info_by_name(
            link.context(), a.defaultSink.c_str(),
            [](pa_context*, const pa_sink_info* info, int eol, void* user) {
                auto* a = static_cast<Answers*>(user);
                // No such sink any more: then there is no default monitor.
                if (eol == 0 && info && info->monitor_source_name)
                    a->defaultMonitor = info->monitor_source_name;
                if (eol != 0) {
                    a->sink = true;
                    a->link->signal();
                }
            },
            &a));
    }
    expect(pa_context_get_source_info_list(
        link.context(),
        [](pa_context*, const pa_source_info* info, int eol, void* user) {
            auto* a = static_cast<Answers*>(user);
            if (eol == 0 && info) {
                CHROMOLA_CAPTURE_SOURCE entry{};
                copyText(entry.id, info->name);
                copyText(entry.description, info->description);
                entry.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
                a->list.push_back(entry);
                return;
            }
            a->failed = a->failed || eol < 0;
            a->sources = true;
            a->link->signal();
        },
        &a));
    if (!answered({&a.sink, &a.sources}) || a.failed)
        throw Error(BASS_ERROR_DEVICE);

    for (std::size_t i = 0; i < a.list.size() && i < static_cast<std::size_t>(max); ++i) {
        CHROMOLA_CAPTURE_SOURCE& entry = a.list[i];
        entry.isDefaultMonitor = entry.isMonitor && a.defaultMonitor == entry.id;
        entry.isDefaultInput = a.defaultSource == entry.id;
        out[i] = entry;
    }
    return static_cast<int>(a.list.size());
}

}  // namespace chromola::audio
