#include "library.h"

#include <cmath>
#include <mutex>

#include "error.h"
#include "module_decoder.h"
#include "stream_decoder.h"

namespace chromola::audio {

namespace {

constexpr int kDefaultNullRate = 44100;
constexpr int kDefaultRateWish = 48000;
constexpr DWORD kMinRate = 1000;
constexpr DWORD kMaxRate = 384000;

bool sensibleRate(DWORD freq) {
    return freq >= kMinRate && freq <= kMaxRate;
}

// Restores the mixer's access to a channel however a reposition ends.
struct HoldGuard {
    Channel& channel;
    ~HoldGuard() { channel.hold(false); }
};

}  // namespace

Library::~Library() {
    try {
        free();
    } catch (...) {
        // Not initialised: nothing to release.
    }
}

void Library::init(int device, DWORD freq) {
    std::unique_lock lock(mutex_);
    if (device_)
        throw Error(BASS_ERROR_ALREADY);
    const int wish = sensibleRate(freq) ? static_cast<int>(freq) : kDefaultRateWish;
    std::unique_ptr<OutputDevice> out;
    if (device == 0) {
        out =
            openNullDevice(mixer_, sensibleRate(freq) ? static_cast<int>(freq) : kDefaultNullRate);
    } else if (device == -1) {
        out = openPulseDevice(mixer_, 0, wish);
        if (!out)
            out = openAlsaDevice(mixer_, "default", wish);
    } else if (device >= 1) {
        out = openPulseDevice(mixer_, device, wish);
        // Without a sound server the only device there is, is ALSA's default.
        if (!out && device == 1)
            out = openAlsaDevice(mixer_, "default", wish);
    }
    if (!out)
        throw Error(BASS_ERROR_DEVICE);
    device_ = std::move(out);
    ++deviceGeneration_;
}

void Library::free() {
    std::map<DWORD, std::shared_ptr<Channel>> doomed;
    {
        std::unique_lock lock(mutex_);
        if (!device_)
            throw Error(BASS_ERROR_INIT);
        device_.reset();  // the output thread is gone after this
        for (auto& [handle, channel] : channels_)
            mixer_.detach(channel.get());
        doomed.swap(channels_);
    }
    // Decoder threads are joined here, outside the lock.
}

void Library::setConfig(DWORD option, DWORD value) {
    switch (option) {
        case BASS_CONFIG_GVOL_STREAM:
        case BASS_CONFIG_GVOL_MUSIC:
            if (value > Mixer::kFullVolume)
                throw Error(BASS_ERROR_ILLPARAM);
            mixer_.setVolume(
                option == BASS_CONFIG_GVOL_STREAM ? ChannelKind::Stream : ChannelKind::Music,
                value);
            return;
        case BASS_CONFIG_GVOL_SAMPLE:
            // There are no sample channels here; accept the setting.
            if (value > Mixer::kFullVolume)
                throw Error(BASS_ERROR_ILLPARAM);
            return;
        default:
            throw Error(BASS_ERROR_ILLTYPE);
    }
}

void Library::requireInit() const {
    std::shared_lock lock(mutex_);
    if (!device_)
        throw Error(BASS_ERROR_INIT);
}

std::pair<int, uint64_t> Library::outputNow() const {
    std::shared_lock lock(mutex_);
    if (!device_)
        throw Error(BASS_ERROR_INIT);
    return {device_->rate(), deviceGeneration_};
}

DWORD Library::createStream(std::unique_ptr<ByteSource> source, DWORD flags) {
    const auto [rate, generation] = outputNow();
    // Opening and pre-decoding happen without the lock: they read the file.
    auto decoder = openStreamDecoder(std::move(source));
    auto channel = std::make_shared<Channel>(std::move(decoder), ChannelKind::Stream, rate,
                                             (flags & BASS_SAMPLE_LOOP) != 0);
    return add(std::move(channel), generation);
}

DWORD Library::loadMusic(std::unique_ptr<ByteSource> source, DWORD flags, DWORD freq) {
    const auto [rate, generation] = outputNow();
    ModuleOptions options;
    // 0 and 1 mean "the output's rate"; another sensible rate renders at
    // that rate and resamples.
    options.rate = sensibleRate(freq) ? static_cast<int>(freq) : rate;
    options.loop = (flags & BASS_SAMPLE_LOOP) != 0;
    options.volumeRamping = (flags & (BASS_MUSIC_RAMP | BASS_MUSIC_RAMPS)) != 0;
    auto decoder = std::make_unique<ModuleDecoder>(std::move(source), options);
    auto channel =
        std::make_shared<Channel>(std::move(decoder), ChannelKind::Music, rate, options.loop);
    return add(std::move(channel), generation);
}

DWORD Library::add(std::shared_ptr<Channel> channel, uint64_t generation) {
    std::unique_lock lock(mutex_);
    if (!device_ || generation != deviceGeneration_)
        throw Error(BASS_ERROR_INIT);
    // Handles count up and are never handed out twice in practice (2^32
    // channels), so a stale handle can not name a newer channel.
    DWORD handle = lastHandle_;
    do {
        ++handle;
    } while (handle == 0 || channels_.count(handle));
    mixer_.attach(channel.get());
    channels_.emplace(handle, std::move(channel));
    lastHandle_ = handle;
    return handle;
}

void Library::freeChannel(DWORD handle, ChannelKind kind) {
    std::shared_ptr<Channel> doomed;
    {
        std::unique_lock lock(mutex_);
        auto it = channels_.find(handle);
        if (it == channels_.end() || it->second->kind() != kind)
            throw Error(BASS_ERROR_HANDLE);
        mixer_.detach(it->second.get());
        doomed = std::move(it->second);
        channels_.erase(it);
    }
    // Its decoder thread is joined here, outside the lock.
}

std::shared_ptr<Channel> Library::find(DWORD handle) const {
    auto it = channels_.find(handle);
    if (it == channels_.end())
        throw Error(BASS_ERROR_HANDLE);
    return it->second;
}

void Library::reposition(Channel& channel, int64_t frame) {
    channel.hold(true);
    HoldGuard release{channel};
    mixer_.waitUntilOutside();
    const bool wasPlaying = channel.playing();
    channel.reposition(frame, mixer_.renderedFrames());
    if (wasPlaying)
        device_->flush();
}

void Library::play(DWORD handle, bool restart) {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    std::lock_guard control(channel->control());
    // A channel that has played to its end starts again from the beginning.
    if (restart || channel->ended(heard()))
        reposition(*channel, 0);
    channel->setPlaying(true);
}

QWORD Library::length(DWORD handle, DWORD mode) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    if (mode != BASS_POS_BYTE || channel->lengthFrames() < 0)
        throw Error(BASS_ERROR_NOTAVAIL);
    return static_cast<QWORD>(channel->lengthFrames()) * channel->bytesPerFrame();
}

QWORD Library::position(DWORD handle, DWORD mode) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    if (mode != BASS_POS_BYTE)
        throw Error(BASS_ERROR_NOTAVAIL);
    return static_cast<QWORD>(channel->position(heard())) * channel->bytesPerFrame();
}

void Library::setPosition(DWORD handle, QWORD bytes, DWORD mode) {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    if (mode != BASS_POS_BYTE)
        throw Error(BASS_ERROR_NOTAVAIL);
    const QWORD frame = bytes / channel->bytesPerFrame();
    const int64_t length = channel->lengthFrames();
    if ((length >= 0 && frame > static_cast<QWORD>(length)) || frame > (QWORD{1} << 48)) {
        throw Error(BASS_ERROR_POSITION);
    }
    std::lock_guard control(channel->control());
    reposition(*channel, static_cast<int64_t>(frame));
}

double Library::bytesToSeconds(DWORD handle, QWORD bytes) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    return static_cast<double>(bytes) /
           (static_cast<double>(channel->bytesPerFrame()) * channel->rate());
}

QWORD Library::secondsToBytes(DWORD handle, double seconds) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    const double frames = std::floor(seconds * channel->rate());
    if (!(frames >= 0) || frames > 0x1p48)
        throw Error(BASS_ERROR_ILLPARAM);
    return static_cast<QWORD>(frames) * channel->bytesPerFrame();
}

void Library::spectrum(DWORD handle, float* out) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    channel->spectrum(heard(), out);
}

DWORD Library::isActive(DWORD handle) const {
    std::shared_lock lock(mutex_);
    auto channel = find(handle);
    if (!channel->playing() || channel->ended(heard()))
        return BASS_ACTIVE_STOPPED;
    return BASS_ACTIVE_PLAYING;
}

}  // namespace chromola::audio
