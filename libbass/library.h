// The state behind the C API: the output device, the mixer, the channels by
// handle (files, modules and captures) and the global volumes. Every method
// may be called from any thread; methods report failures by throwing Error.
#pragma once

#include <cstdint>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

#include "bass.h"
#include "byte_source.h"
#include "capture.h"
#include "channel.h"
#include "decode_channel.h"
#include "device.h"
#include "mixer.h"
#ifdef CHROMOLA_TIME_LIBRARY_LOCK
#include "lock_timing.h"
#endif

namespace chromola::audio {

class Library {
  public:
    Library() = default;
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    void init(int device, DWORD freq);
    void free();
    void setConfig(DWORD option, DWORD value);

    DWORD createStream(std::unique_ptr<ByteSource> source, DWORD flags);
    DWORD loadMusic(std::unique_ptr<ByteSource> source, DWORD flags, DWORD freq);
    // A capture belongs to no output: it needs no init() and outlives free().
    DWORD startCapture(const char* source, DWORD which);
    // Streams and captures go with ChannelKind::Stream.
    void freeChannel(DWORD handle, ChannelKind kind);
    // Throws Error(INIT) when BASS_Init has not been called, so that opening
    // reports that before any complaint about the file.
    void requireInit() const;

    void play(DWORD handle, bool restart);
    QWORD length(DWORD handle, DWORD mode) const;
    QWORD position(DWORD handle, DWORD mode) const;
    float attribute(DWORD handle, DWORD attrib) const;
    void setPosition(DWORD handle, QWORD bytes, DWORD mode);
    double bytesToSeconds(DWORD handle, QWORD bytes) const;
    QWORD secondsToBytes(DWORD handle, double seconds) const;
    void spectrum(DWORD handle, float* out) const;
    // A decoding channel's samples (decode_channel.h).
    DWORD decodedData(DWORD handle, void* out, DWORD bytes, bool asFloat) const;
    DWORD isActive(DWORD handle) const;

  private:
    // A channel and the device it plays on, copied out of the table so that
    // the work is done without the library lock.
    struct Target {
        std::shared_ptr<Channel> channel;
        std::shared_ptr<OutputDevice> device;
    };
    // Throws Error(HANDLE) for an unknown handle, Error(NOTAVAIL) for a
    // capture's: it has no position, length or playing to speak of.
    Target find(DWORD handle) const;
    // nullptr when the handle is not a capture's.
    std::shared_ptr<Capture> findCapture(DWORD handle) const;
    // nullptr when the handle is not a decoding channel's.
    std::shared_ptr<DecodeChannel> findDecode(DWORD handle) const;
    // A decoding module's state; throws Error(NOTAVAIL) for any other channel.
    MusicState musicState(DWORD handle) const;
    DWORD addDecode(std::shared_ptr<DecodeChannel> channel);
    // A handle that names nothing yet; the caller holds mutex_.
    DWORD newHandle();
    DWORD add(std::shared_ptr<Channel> channel, uint64_t generation);
    // The output's rate, generation and burst (OutputDevice::burstFrames)
    // for a channel about to be opened; the generation tells add() whether
    // the output changed meanwhile.
    struct Output {
        int rate;
        uint64_t generation;
        std::size_t burst;
    };
    Output outputNow() const;
    void reposition(Channel& channel, OutputDevice& device, int64_t frame);

    Mixer mixer_;  // first: outlives every device that renders from it

    // init() and free() one at a time, so that there is never more than one
    // device; held while a device opens or closes, and by nothing else.
    std::mutex lifecycle_;
    std::future<void> deviceGone_;  // ready once the device free() let go of is destroyed

    // The library lock: the table below, held only to look up, insert or erase.
#ifdef CHROMOLA_TIME_LIBRARY_LOCK
    mutable TimedLock<std::mutex> mutex_;
#else
    mutable std::mutex mutex_;
#endif
    std::shared_ptr<OutputDevice> device_;
    int deviceRate_ = 0;
    uint64_t deviceGeneration_ = 0;  // changes with every init, so a channel made for
                                     // an older device is never attached to a newer one
    std::map<DWORD, std::shared_ptr<Channel>> channels_;
    std::map<DWORD, std::shared_ptr<Capture>> captures_;
    std::map<DWORD, std::shared_ptr<DecodeChannel>> decodes_;
    DWORD lastHandle_ = 0;
};

}  // namespace chromola::audio
