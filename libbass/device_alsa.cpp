// Output straight to an ALSA PCM, for desktops without a sound server. A
// thread of ours renders one period at a time and blocks in snd_pcm_writei.
#include <alsa/asoundlib.h>
#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "device.h"
#include "mixer.h"
#include "playback_clock.h"

namespace chromola::audio {

namespace {

// ALSA prints its configuration complaints (missing cards, plugins) on
// stderr; a desktop player must stay quiet.
void discardAlsaError(const char*, int, const char*, int, const char*, ...) {}

// True when PCM name is the sound server's plugin, or a plugin whose slave
// leads to it.
bool routesToSoundServer(const char* name, int depth = 0) {
    if (depth > 4 || snd_config_update() < 0)
        return false;
    snd_config_t* definition = nullptr;
    if (snd_config_search_definition(snd_config, "pcm", name, &definition) < 0)
        return false;
    bool server = false;
    snd_config_t* node = nullptr;
    const char* text = nullptr;
    if (snd_config_search(definition, "type", &node) >= 0 &&
        snd_config_get_string(node, &text) >= 0) {
        server = std::strcmp(text, "pulse") == 0;
    }
    if (!server && snd_config_search(definition, "slave.pcm", &node) >= 0) {
        snd_config_t* type = nullptr;
        if (snd_config_get_string(node, &text) >= 0) {
            server = routesToSoundServer(text, depth + 1);
        } else if (snd_config_search(node, "type", &type) >= 0 &&
                   snd_config_get_string(type, &text) >= 0) {
            server = std::strcmp(text, "pulse") == 0;
        }
    }
    snd_config_delete(definition);
    return server;
}

// A plug-converted "default" PCM accepts any rate and resamples it itself;
// the usual hardware mix runs at 48 kHz, so a wish above that only costs.
constexpr int kMaxRate = 48000;
constexpr unsigned kBufferMicroseconds = 60000;
constexpr unsigned kPeriodMicroseconds = 10000;

class AlsaDevice final : public OutputDevice {
  public:
    explicit AlsaDevice(Mixer& mixer) : mixer_(mixer) {}

    ~AlsaDevice() override {
        stop_.store(true);
        if (thread_.joinable())
            thread_.join();
        if (pcm_)
            snd_pcm_close(pcm_);
    }
    AlsaDevice(const AlsaDevice&) = delete;
    AlsaDevice& operator=(const AlsaDevice&) = delete;

    bool open(const char* name, int rateWish) {
        snd_lib_error_set_handler(&discardAlsaError);
        if (routesToSoundServer(name))
            return false;
        // Opened without blocking, so a busy device refuses at once instead
        // of waiting to be free; writes block from then on.
        if (snd_pcm_open(&pcm_, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
            pcm_ = nullptr;
            return false;
        }
        if (snd_pcm_nonblock(pcm_, 0) < 0)
            return false;
        snd_pcm_hw_params_t* hw = nullptr;
        snd_pcm_hw_params_alloca(&hw);
        if (snd_pcm_hw_params_any(pcm_, hw) < 0)
            return false;
        if (snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED) < 0)
            return false;
        float32_ = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_FLOAT_LE) == 0;
        if (!float32_ && snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16_LE) < 0) {
            return false;
        }
        if (snd_pcm_hw_params_set_channels(pcm_, hw, 2) < 0)
            return false;
        unsigned rate = static_cast<unsigned>(std::min(rateWish, kMaxRate));
        if (snd_pcm_hw_params_set_rate_near(pcm_, hw, &rate, nullptr) < 0)
            return false;
        unsigned bufferTime = kBufferMicroseconds;
        unsigned periodTime = kPeriodMicroseconds;
        snd_pcm_hw_params_set_buffer_time_near(pcm_, hw, &bufferTime, nullptr);
        snd_pcm_hw_params_set_period_time_near(pcm_, hw, &periodTime, nullptr);
        if (snd_pcm_hw_params(pcm_, hw) < 0)
            return false;
        snd_pcm_uframes_t period = 0;
        snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
        if (period == 0 || rate == 0)
            return false;
        if (snd_pcm_prepare(pcm_) < 0)
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
                snd_pcm_drop(pcm_);
                snd_pcm_prepare(pcm_);
            }
            mixer_.render(mix_.data(), period_);
            const void* data = mix_.data();
            if (!float32_) {
                for (std::size_t i = 0; i < mix_.size(); ++i) {
                    pcm16_[i] = static_cast<int16_t>(std::lrint(mix_[i] * 32767.0f));
                }
                data = pcm16_.data();
            }
            writeAll(data);
            snd_pcm_sframes_t delay = 0;
            if (snd_pcm_delay(pcm_, &delay) < 0 || delay < 0)
                delay = 0;
            const uint64_t written = mixer_.renderedFrames();
            const uint64_t queued = static_cast<uint64_t>(delay);
            clock_->mark(written > queued ? written - queued : 0, monotonicNanoseconds());
        }
        snd_pcm_drop(pcm_);
    }

    void writeAll(const void* data) {
        const std::size_t frameBytes = float32_ ? 2 * sizeof(float) : 2 * sizeof(int16_t);
        snd_pcm_uframes_t left = period_;
        const char* p = static_cast<const char*>(data);
        while (left > 0 && !stop_.load()) {
            snd_pcm_sframes_t n = snd_pcm_writei(pcm_, p, left);
            if (n < 0) {
                // Underrun or suspend: recover quietly and go on; anything
                // else drops this period rather than spinning.
                if (snd_pcm_recover(pcm_, static_cast<int>(n), 1) < 0)
                    return;
                continue;
            }
            left -= static_cast<snd_pcm_uframes_t>(n);
            p += static_cast<std::size_t>(n) * frameBytes;
        }
    }

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
    auto device = std::make_unique<AlsaDevice>(mixer);
    if (!device->open(pcmName, rateWish))
        return nullptr;
    return device;
}

}  // namespace chromola::audio
