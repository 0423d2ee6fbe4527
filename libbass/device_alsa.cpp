// Output straight to an ALSA PCM, for desktops without a sound server. A
// thread of ours renders one period at a time and blocks in snd_pcm_writei.
#include <alsa/asoundlib.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "device.h"
#include "lazy_library.h"
#include "mixer.h"
#include "playback_clock.h"
#include "sample16.h"

namespace chromola::audio {

namespace {

// ALSA, loaded the first time a device is opened on it (lazy_library.h):
// with a sound server, never. The members take the functions' own names.
#define CHROMOLA_ALSA_FUNCTIONS(X)            \
    X(snd_config_delete)                      \
    X(snd_config_get_string)                  \
    X(snd_config_search)                      \
    X(snd_config_search_definition)           \
    X(snd_config_update)                      \
    X(snd_lib_error_set_handler)              \
    X(snd_pcm_close)                          \
    X(snd_pcm_delay)                          \
    X(snd_pcm_drop)                           \
    X(snd_pcm_hw_params)                      \
    X(snd_pcm_hw_params_any)                  \
    X(snd_pcm_hw_params_get_period_size)      \
    X(snd_pcm_hw_params_set_access)           \
    X(snd_pcm_hw_params_set_buffer_time_near) \
    X(snd_pcm_hw_params_set_channels)         \
    X(snd_pcm_hw_params_set_format)           \
    X(snd_pcm_hw_params_set_period_time_near) \
    X(snd_pcm_hw_params_set_rate_near)        \
    X(snd_pcm_hw_params_sizeof)               \
    X(snd_pcm_nonblock)                       \
    X(snd_pcm_open)                           \
    X(snd_pcm_prepare)                        \
    X(snd_pcm_recover)                        \
    X(snd_pcm_writei)

struct Alsa {
#define CHROMOLA_DECLARE(name) decltype(&::name) name;
    CHROMOLA_ALSA_FUNCTIONS(CHROMOLA_DECLARE)
#undef CHROMOLA_DECLARE
    snd_config_t** snd_config;  // the global configuration tree
};

const Alsa* alsa() {
    static const Alsa* const api =
        LoadLibraryApi<Alsa>("libasound.so.2", "sound through ALSA where no sound server answers",
                             [](Alsa& f, auto& bind) {
#define CHROMOLA_BIND(name) bind(f.name, #name);
                                 CHROMOLA_ALSA_FUNCTIONS(CHROMOLA_BIND)
#undef CHROMOLA_BIND
                                 bind(f.snd_config, "snd_config");
                             });
    return api;
}

// ALSA prints its configuration complaints (missing cards, plugins) on
// stderr; a desktop player must stay quiet.
void discardAlsaError(const char*, int, const char*, int, const char*, ...) {}

// True when PCM name is the sound server's plugin, or a plugin whose slave
// leads to it.
bool routesToSoundServer(const Alsa& a, const char* name, int depth = 0) {
    if (depth > 4 || a.snd_config_update() < 0)
        return false;
    snd_config_t* definition = nullptr;
    if (a.snd_config_search_definition(*a.snd_config, "pcm", name, &definition) < 0)
        return false;
    bool server = false;
    snd_config_t* node = nullptr;
    const char* text = nullptr;
    if (a.snd_config_search(definition, "type", &node) >= 0 &&
        a.snd_config_get_string(node, &text) >= 0) {
        server = std::strcmp(text, "pulse") == 0;
    }
    if (!server && a.snd_config_search(definition, "slave.pcm", &node) >= 0) {
        snd_config_t* type = nullptr;
        if (a.snd_config_get_string(node, &text) >= 0) {
            server = routesToSoundServer(a, text, depth + 1);
        } else if (a.snd_config_search(node, "type", &type) >= 0 &&
                   a.snd_config_get_string(type, &text) >= 0) {
            server = std::strcmp(text, "pulse") == 0;
        }
    }
    a.snd_config_delete(definition);
    return server;
}

// A plug-converted "default" PCM accepts any rate and resamples it itself;
// the usual hardware mix runs at 48 kHz, so a wish above that only costs.
constexpr int kMaxRate = 48000;
constexpr unsigned kBufferMicroseconds = 60000;
constexpr unsigned kPeriodMicroseconds = 10000;

class AlsaDevice final : public OutputDevice {
  public:
    AlsaDevice(const Alsa& api, Mixer& mixer) : a_(api), mixer_(mixer) {}

    ~AlsaDevice() override {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
        if (pcm_)
            a_.snd_pcm_close(pcm_);
    }
    AlsaDevice(const AlsaDevice&) = delete;
    AlsaDevice& operator=(const AlsaDevice&) = delete;

    bool open(const char* name, int rateWish) {
        a_.snd_lib_error_set_handler(&discardAlsaError);
        if (routesToSoundServer(a_, name))
            return false;
        // Opened without blocking, so a busy device refuses at once instead
        // of waiting to be free; writes block from then on.
        if (a_.snd_pcm_open(&pcm_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return false;
        }
        if (a_.snd_pcm_nonblock(pcm_, 0) < 0)
            return false;
        std::vector<unsigned char> hwSpace(a_.snd_pcm_hw_params_sizeof());
        auto* hw = reinterpret_cast<snd_pcm_hw_params_t*>(hwSpace.data());
        if (a_.snd_pcm_hw_params_any(pcm_, hw) < 0)
            return false;
        if (a_.snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
            return false;
        float32_ = a_.snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_FLOAT_LE) == 0;
        if (!float32_ && a_.snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE) < 0) {
            return false;
        }
        if (a_.snd_pcm_hw_params_set_channels(pcm_, hw, 2) < 0)
            return false;
        unsigned rate = static_cast<unsigned>(std::min(rateWish, kMaxRate));
        if (a_.snd_pcm_hw_params_set_rate_near(pcm_, hw, &rate, nullptr) < 0)
            return false;
        unsigned bufferTime = kBufferMicroseconds;
        unsigned periodTime = kPeriodMicroseconds;
        a_.snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &bufferTime, nullptr);
        a_.snd_pcm_hw_params_set_period_time_near(pcm_, hw, &periodTime, nullptr);
        if (a_.snd_pcm_hw_params(pcm_, hw) < 0)
            return false;
        snd_pcm_uframes_t period = 0;
        a_.snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
        if (period == 0 || rate == 0)
            return false;
        if (a_.snd_pcm_prepare(pcm_) < 0)
            return false;

        rate_ = static_cast<int>(rate);
        period_ = period;
        mix_.resize(period * 2);
        pcm16_.resize(float32_ ? 0 : period * 2);
        clock_.emplace(rate_);
        thread_ = std::thread([this] { run(); });
        return true;
    }

    int rate() const override { return rate_; }
    uint64_t heardFrame() const override { return clock_->heard(mixer_.renderedFrames()); }
    void flush() override { flushRequested_.store(true); }

  private:
    void run() {
        pthread_setname_np(pthread_self(), "chromola-alsa");
        while (!stop_.load()) {
            if (flushRequested_.exchange(false)) {
                a_.snd_pcm_drop(pcm_);
                a_.snd_pcm_prepare(pcm_);
            }
            mixer_.render(mix_.data(), period_);
            const void* data = mix_.data();
            if (!float32_) {
                ToSamples16(mix_.data(), pcm16_.data(), mix_.size());
                data = pcm16_.data();
            }
            writeAll(data);
            snd_pcm_sframes_t delay = 0;
            if (a_.snd_pcm_delay(pcm_, &delay) < 0 || delay < 0)
                delay = 0;
            const uint64_t written = mixer_.renderedFrames();
            const uint64_t queued = static_cast<uint64_t>(delay);
            clock_->mark(written > queued ? written - queued : 0, monotonicNanoseconds());
        }
        a_.snd_pcm_drop(pcm_);
    }

    void writeAll(const void* data) {
        const std::size_t frameBytes = float32_ ? 2 * sizeof(float) : 2 * sizeof(int16_t);
        snd_pcm_uframes_t left = period_;
        const char* p = static_cast<const char*>(data);
        while (left > 0 && !stop_.load()) {
            snd_pcm_sframes_t n = a_.snd_pcm_writei(pcm_, p, left);
            if (n < 0) {
                // Underrun or suspend: recover quietly and go on; anything
                // else drops this period rather than spinning.
                if (a_.snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0)
                    return;
                continue;
            }
            left -= static_cast<snd_pcm_uframes_t>(n);
            p += static_cast<std::size_t>(n) * frameBytes;
        }
    }

    const Alsa& a_;
    Mixer& mixer_;
    snd_pcm_t* pcm_ = nullptr;
    bool float32_ = true;
    int rate_ = 0;
    snd_pcm_uframes_t period_ = 0;
    std::vector<float> mix_;
    std::vector<int16_t> pcm16_;
    std::optional<PlaybackClock> clock_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> flushRequested_{false};
    std::thread thread_;
};

}  // namespace

std::unique_ptr<OutputDevice> openAlsaDevice(Mixer& mixer, const char* pcmName, int rateWish) {
    const Alsa* api = alsa();
    if (api == nullptr)
        return nullptr;
    auto device = std::make_unique<AlsaDevice>(*api, mixer);
    if (!device->open(pcmName, rateWish))
        return nullptr;
    return device;
}

}  // namespace chromola::audio
