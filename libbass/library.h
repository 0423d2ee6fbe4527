// The state behind the C API: the output device, the mixer, the channels by
// handle and the global volumes. Every method may be called from any thread;
// methods report failures by throwing Error.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <shared_mutex>
#include <utility>

#include "writer_preferring_mutex.h"
#ifdef CHROMOLA_TIME_LIBRARY_LOCK
#include "lock_timing.h"
#endif

#include "bass.h"
#include "byte_source.h"
#include "channel.h"
#include "device.h"
#include "mixer.h"

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
    void freeChannel(DWORD handle, ChannelKind kind);
    // Throws Error(INIT) when BASS_Init has not been called, so that opening
    // reports that before any complaint about the file.
    void requireInit() const;

    void play(DWORD handle, bool restart);
    QWORD length(DWORD handle, DWORD mode) const;
    QWORD position(DWORD handle, DWORD mode) const;
    void setPosition(DWORD handle, QWORD bytes, DWORD mode);
    double bytesToSeconds(DWORD handle, QWORD bytes) const;
    QWORD secondsToBytes(DWORD handle, double seconds) const;
    void spectrum(DWORD handle, float* out) const;
    DWORD isActive(DWORD handle) const;

  private:
    std::shared_ptr<Channel> find(DWORD handle) const;  // shared lock held
    DWORD add(std::shared_ptr<Channel> channel, uint64_t generation);
    // The output's rate and generation for a channel about to be opened;
    // the generation tells add() whether the output changed meanwhile.
    std::pair<int, uint64_t> outputNow() const;
    void reposition(Channel& channel, int64_t frame);  // shared lock held
    uint64_t heard() const { return device_->heardFrame(); }

#ifdef CHROMOLA_TIME_LIBRARY_LOCK
    mutable TimedLock<WriterPreferringMutex> mutex_;
#else
    mutable WriterPreferringMutex mutex_;
#endif
    Mixer mixer_;
    std::unique_ptr<OutputDevice> device_;
    uint64_t deviceGeneration_ = 0;  // changes with every init, so a channel made for
                                     // an older device is never attached to a newer one
    std::map<DWORD, std::shared_ptr<Channel>> channels_;
    DWORD lastHandle_ = 0;
};

}  // namespace chromola::audio
