// Threads and locks of the library.
//
// Threads:
// - Caller threads: whichever threads call BASS_* (the player's window and
//   its timer), any number at once.
// - The output thread: the sound server's callback thread (libpulse's main
//   loop), the ALSA writer or the no-sound timer (also the silent stand-in
//   while the sound server is away). It runs Mixer::render without any lock
//   of the library or of a channel: it reads channels through atomics, the
//   rings and seqlocks. libpulse's main loop thread also reconnects to a
//   restarted server.
// - Decoder threads, one per channel: they alone run the channel's decoder.
//   They take their channel's request mutex for moments only, never while
//   decoding.
// - Capture threads, one per capture: the libpulse main loop of its own
//   connection to the sound server. It alone writes the capture's history
//   (lock-free, a seqlock) and follows the default output; it takes no lock
//   of the library.
//
// Locks, in the order they may be taken (a thread holding one only takes
// those below it):
// 1. Library::lifecycle_: init() and free() one at a time. Held while a
//    device opens or closes (up to the sound server's time-out).
// 2. Channel::control(): play and seek of one channel, one at a time. Held
//    across a reposition: the seek, the decoding ahead, the flush and the
//    wake-up of an idle output.
// 3. Channel::requestMutex_ (a caller handing a seek to the decoder thread
//    and waiting for it); Channel::spectrumMutex_; the device's own lock,
//    taken by flush and wake: libpulse's main loop lock, then under it the
//    stand-in's, or the no-sound timer's mutex (which its thread holds only
//    to sleep, never while rendering). A capture's spectrum mutex (callers
//    only, one spectrum at a time); a decoding channel's mutex (callers
//    only, held while it decodes a read's worth); a capture's main loop lock, held by a caller only
//    while the capture starts (up to the sound server's time-outs) and while
//    it is freed, and by its thread while handling the server's messages.
// 4. Library::mutex_, the library lock: held only to find, insert or erase
//    channels and to copy the device pointer, never across other work and
//    never while taking another lock.
//
// Lifetimes: a call copies the shared pointers to its channel (or capture)
// and to the device out of the table and then works on the copies, so a
// channel freed or a BASS_Free meanwhile leaves them valid; a capture is
// started and stopped outside the library lock; free() waits until the last
// copy of the device is gone, so that a new device never renders from the
// mixer while the old one still does.
#include "library.h"

#include <cmath>

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
    std::lock_guard life(lifecycle_);
    {
        std::lock_guard lock(mutex_);
        if (device_)
            throw Error(BASS_ERROR_ALREADY);
    }
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
    auto gone = std::make_shared<std::promise<void>>();
    deviceGone_ = gone->get_future();
    std::shared_ptr<OutputDevice> shared(out.release(), [gone](OutputDevice* d) {
        delete d;
        gone->set_value();
    });
    std::lock_guard lock(mutex_);
    deviceRate_ = shared->rate();
    device_ = std::move(shared);
    ++deviceGeneration_;
}

void Library::free() {
    std::lock_guard life(lifecycle_);
    std::shared_ptr<OutputDevice> device;
    std::map<DWORD, std::shared_ptr<Channel>> doomed;
    std::map<DWORD, std::shared_ptr<DecodeChannel>> decodes;
    {
        std::lock_guard lock(mutex_);
        if (!device_)
            throw Error(BASS_ERROR_INIT);
        device.swap(device_);
        doomed.swap(channels_);
        decodes.swap(decodes_);
    }
    for (auto& [handle, channel] : doomed)
        mixer_.detach(channel.get());
    // A call still working with the device lets go of it within one seek;
    // the output thread is gone once it is destroyed.
    device.reset();
    deviceGone_.wait();
    // Decoder threads are joined here (or by the last call using a channel).
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
    std::lock_guard lock(mutex_);
    if (!device_)
        throw Error(BASS_ERROR_INIT);
}

Library::Output Library::outputNow() const {
    std::lock_guard lock(mutex_);
    if (!device_)
        throw Error(BASS_ERROR_INIT);
    return {deviceRate_, deviceGeneration_, device_->burstFrames()};
}

DWORD Library::createStream(std::unique_ptr<ByteSource> source, DWORD flags) {
    const auto [rate, generation, burst] = outputNow();
    // Opening and pre-decoding happen without the lock: they read the file.
    auto decoder = openStreamDecoder(std::move(source));
    if (flags & BASS_STREAM_DECODE)
        return addDecode(std::make_shared<DecodeChannel>(std::move(decoder), flags, false));
    auto channel = std::make_shared<Channel>(std::move(decoder), ChannelKind::Stream, rate,
                                             (flags & BASS_SAMPLE_LOOP) != 0, burst);
    return add(std::move(channel), generation);
}

DWORD Library::loadMusic(std::unique_ptr<ByteSource> source, DWORD flags, DWORD freq) {
    const auto [rate, generation, burst] = outputNow();
    ModuleOptions options;
    // 0 and 1 mean "the output's rate"; another sensible rate renders at
    // that rate and resamples.
    options.rate = sensibleRate(freq) ? static_cast<int>(freq) : rate;
    options.loop = (flags & BASS_SAMPLE_LOOP) != 0;
    options.volumeRamping = (flags & (BASS_MUSIC_RAMP | BASS_MUSIC_RAMPS)) != 0;
    auto decoder = std::make_unique<ModuleDecoder>(std::move(source), options);
    if (flags & BASS_MUSIC_DECODE)
        return addDecode(std::make_shared<DecodeChannel>(std::move(decoder), flags, true));
    auto channel = std::make_shared<Channel>(std::move(decoder), ChannelKind::Music, rate,
                                             options.loop, burst);
    return add(std::move(channel), generation);
}

DWORD Library::newHandle() {
    // Handles count up and are never handed out twice in practice (2^32
    // channels), so a stale handle can not name a newer channel.
    DWORD handle = lastHandle_;
    do {
        ++handle;
    } while (handle == 0 || channels_.count(handle) || captures_.count(handle) ||
             decodes_.count(handle));
    return handle;
}

DWORD Library::addDecode(std::shared_ptr<DecodeChannel> channel) {
    std::lock_guard lock(mutex_);
    if (!device_)
        throw Error(BASS_ERROR_INIT);
    const DWORD handle = newHandle();
    decodes_.emplace(handle, std::move(channel));
    lastHandle_ = handle;
    return handle;
}

std::shared_ptr<DecodeChannel> Library::findDecode(DWORD handle) const {
    std::lock_guard lock(mutex_);
    auto it = decodes_.find(handle);
    return it == decodes_.end() ? nullptr : it->second;
}

DWORD Library::decodedData(DWORD handle, void* out, DWORD bytes, bool asFloat) const {
    if (const auto capture = findCapture(handle))
        return capture->read(out, bytes, asFloat);
    const auto decode = findDecode(handle);
    if (!decode)
        throw Error(BASS_ERROR_HANDLE);
    return decode->read(out, bytes, asFloat);
}

DWORD Library::add(std::shared_ptr<Channel> channel, uint64_t generation) {
    std::lock_guard lock(mutex_);
    if (!device_ || generation != deviceGeneration_)
        throw Error(BASS_ERROR_INIT);
    const DWORD handle = newHandle();
    // Attaching only fills a free slot: it never waits for the output.
    mixer_.attach(channel.get());
    channels_.emplace(handle, std::move(channel));
    lastHandle_ = handle;
    return handle;
}

DWORD Library::startCapture(const char* source, DWORD which) {
    // Connecting and starting take up to the server's time-outs: no lock.
    auto capture = std::make_shared<Capture>(source, which);
    std::lock_guard lock(mutex_);
    const DWORD handle = newHandle();
    captures_.emplace(handle, std::move(capture));
    lastHandle_ = handle;
    return handle;
}

void Library::freeChannel(DWORD handle, ChannelKind kind) {
    std::shared_ptr<Channel> doomed;
    std::shared_ptr<Capture> stopped;  // stops here, or with the last call using it
    std::shared_ptr<OutputDevice> device;
    bool othersPlay = false;
    {
        std::lock_guard lock(mutex_);
        if (auto it = captures_.find(handle);
            it != captures_.end() && kind == ChannelKind::Stream) {
            stopped = std::move(it->second);
            captures_.erase(it);
            return;
        }
        // A decoding channel ends with the last call using it.
        if (auto it = decodes_.find(handle); it != decodes_.end()) {
            if ((kind == ChannelKind::Music) != it->second->module())
                throw Error(BASS_ERROR_HANDLE);
            decodes_.erase(it);
            return;
        }
        auto it = channels_.find(handle);
        if (it == channels_.end() || it->second->kind() != kind)
            throw Error(BASS_ERROR_HANDLE);
        doomed = std::move(it->second);
        channels_.erase(it);
        device = device_;
        for (const auto& [h, c] : channels_)
            othersPlay = othersPlay || (c->playing() && !c->drained());
    }
    const bool audible = device && doomed->playing() && !doomed->ended(device->heardFrame());
    // Waits for the output to leave the channel; its decoder thread is joined
    // when the last call using it lets go.
    mixer_.detach(doomed.get());
    // What the output still holds of the channel would go on sounding for its
    // whole latency: dropped, so the stop is heard at once. Channels that play
    // on keep theirs.
    if (audible && !othersPlay)
        device->flush();
}

Library::Target Library::find(DWORD handle) const {
    std::lock_guard lock(mutex_);
    auto it = channels_.find(handle);
    if (it == channels_.end())
        throw Error(captures_.count(handle)  ? BASS_ERROR_NOTAVAIL
                    : decodes_.count(handle) ? BASS_ERROR_DECODE
                                             : BASS_ERROR_HANDLE);
    return {it->second, device_};
}

std::shared_ptr<Capture> Library::findCapture(DWORD handle) const {
    std::lock_guard lock(mutex_);
    auto it = captures_.find(handle);
    return it == captures_.end() ? nullptr : it->second;
}

// Caller holds the channel's control().
void Library::reposition(Channel& channel, OutputDevice& device, int64_t frame) {
    channel.hold(true);
    HoldGuard release{channel};
    mixer_.waitUntilOutside();
    const bool wasPlaying = channel.playing();
    channel.reposition(frame, mixer_.renderedFrames());
    if (wasPlaying) {
        device.flush();
        device.wake();  // it may have played to its end, and sounds again now
    }
}

void Library::play(DWORD handle, bool restart) {
    const auto [channel, device] = find(handle);
    std::lock_guard control(channel->control());
    // A channel that has played to its end starts again from the beginning.
    if (restart || channel->ended(device->heardFrame()))
        reposition(*channel, *device, 0);
    channel->setPlaying(true);
    device->wake();
}

QWORD Library::length(DWORD handle, DWORD mode) const {
    if (const auto decode = findDecode(handle)) {
        if (mode != BASS_POS_BYTE || decode->lengthFrames() < 0)
            throw Error(BASS_ERROR_NOTAVAIL);
        return static_cast<QWORD>(decode->lengthFrames()) * decode->bytesPerFrame();
    }
    const auto channel = find(handle).channel;
    if (mode != BASS_POS_BYTE || channel->lengthFrames() < 0)
        throw Error(BASS_ERROR_NOTAVAIL);
    return static_cast<QWORD>(channel->lengthFrames()) * channel->bytesPerFrame();
}

MusicState Library::musicState(DWORD handle) const {
    const auto decode = findDecode(handle);
    if (!decode)
        find(handle);  // an unknown handle is reported as such
    const std::optional<MusicState> state = decode ? decode->musicState() : std::nullopt;
    if (!state)
        throw Error(BASS_ERROR_NOTAVAIL);
    return *state;
}

QWORD Library::position(DWORD handle, DWORD mode) const {
    if (mode == BASS_POS_MUSIC_ORDER) {
        const MusicState state = musicState(handle);
        return static_cast<QWORD>(state.order & 0xFFFF) |
               (static_cast<QWORD>(state.row & 0xFFFF) << 16);
    }
    if (const auto decode = findDecode(handle)) {
        if (mode != BASS_POS_BYTE)
            throw Error(BASS_ERROR_NOTAVAIL);
        return static_cast<QWORD>(decode->positionFrames()) * decode->bytesPerFrame();
    }
    const auto [channel, device] = find(handle);
    if (mode != BASS_POS_BYTE)
        throw Error(BASS_ERROR_NOTAVAIL);
    return static_cast<QWORD>(channel->position(device->heardFrame())) * channel->bytesPerFrame();
}

float Library::attribute(DWORD handle, DWORD attrib) const {
    const MusicState state = musicState(handle);
    if (attrib == BASS_ATTRIB_MUSIC_SPEED)
        return static_cast<float>(state.speed);
    if (attrib == BASS_ATTRIB_MUSIC_BPM)
        return static_cast<float>(state.tempo);
    throw Error(BASS_ERROR_ILLTYPE);
}

void Library::setPosition(DWORD handle, QWORD bytes, DWORD mode) {
    if (const auto decode = findDecode(handle)) {
        const QWORD frame = bytes / decode->bytesPerFrame();
        const int64_t length = decode->lengthFrames();
        if (mode != BASS_POS_BYTE)
            throw Error(BASS_ERROR_NOTAVAIL);
        if ((length >= 0 && frame > static_cast<QWORD>(length)) || frame > (QWORD{1} << 48))
            throw Error(BASS_ERROR_POSITION);
        return decode->seek(static_cast<int64_t>(frame));
    }
    const auto [channel, device] = find(handle);
    if (mode != BASS_POS_BYTE)
        throw Error(BASS_ERROR_NOTAVAIL);
    const QWORD frame = bytes / channel->bytesPerFrame();
    const int64_t length = channel->lengthFrames();
    if ((length >= 0 && frame > static_cast<QWORD>(length)) || frame > (QWORD{1} << 48)) {
        throw Error(BASS_ERROR_POSITION);
    }
    std::lock_guard control(channel->control());
    reposition(*channel, *device, static_cast<int64_t>(frame));
}

double Library::bytesToSeconds(DWORD handle, QWORD bytes) const {
    if (const auto decode = findDecode(handle))
        return static_cast<double>(bytes) /
               (static_cast<double>(decode->bytesPerFrame()) * decode->rate());
    const auto channel = find(handle).channel;
    return static_cast<double>(bytes) /
           (static_cast<double>(channel->bytesPerFrame()) * channel->rate());
}

QWORD Library::secondsToBytes(DWORD handle, double seconds) const {
    int rate = 0;
    uint32_t bytesPerFrame = 0;
    if (const auto capture = findCapture(handle)) {
        rate = capture->rate();
        bytesPerFrame = sizeof(int16_t);
        if (rate == 0)
            throw Error(BASS_ERROR_NOTAVAIL);
    } else if (const auto decode = findDecode(handle)) {
        rate = decode->rate();
        bytesPerFrame = decode->bytesPerFrame();
    } else {
        const auto channel = find(handle).channel;
        rate = channel->rate();
        bytesPerFrame = channel->bytesPerFrame();
    }
    const double frames = std::floor(seconds * rate);
    if (!(frames >= 0) || frames > 0x1p48)
        throw Error(BASS_ERROR_ILLPARAM);
    return static_cast<QWORD>(frames) * bytesPerFrame;
}

void Library::spectrum(DWORD handle, float* out) const {
    if (const auto capture = findCapture(handle))
        return capture->spectrum(out);
    const auto [channel, device] = find(handle);
    channel->spectrum(device->heardFrame(), out);
}

DWORD Library::isActive(DWORD handle) const {
    if (const auto capture = findCapture(handle))
        return capture->present() ? BASS_ACTIVE_PLAYING : BASS_ACTIVE_STALLED;
    if (const auto decode = findDecode(handle))
        return decode->ended() ? BASS_ACTIVE_STOPPED : BASS_ACTIVE_PLAYING;
    const auto [channel, device] = find(handle);
    if (!channel->playing() || channel->ended(device->heardFrame()))
        return BASS_ACTIVE_STOPPED;
    return BASS_ACTIVE_PLAYING;
}

}  // namespace chromola::audio
