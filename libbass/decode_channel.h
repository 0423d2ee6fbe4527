// A channel that only decodes: made with BASS_STREAM_DECODE (or
// BASS_MUSIC_DECODE), never attached to the output, and read by its caller
// with BASS_ChannelGetData, as fast as the caller reads. For work that needs
// the whole file (a beat analysis) beside the channel that plays it.
//
// Its samples are the file's frames at the file's own rate (a module: at the
// rate asked for, stereo), mixed to mono with BASS_SAMPLE_MONO, as floats
// with BASS_SAMPLE_FLOAT (or BASS_DATA_FLOAT on a read), else 16-bit.
// Positions count frames of that format in bytes. One mutex makes the calls
// on one channel take turns; nothing else of the library is held meanwhile.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "bass.h"
#include "decoder.h"

namespace chromola::audio {

class DecodeChannel {
  public:
    // module: made by BASS_MusicLoad, freed by BASS_MusicFree alone.
    DecodeChannel(std::unique_ptr<Decoder> decoder, DWORD flags, bool module);

    bool module() const { return module_; }

    int rate() const { return rate_; }
    uint32_t bytesPerFrame() const { return bytesPerFrame_; }
    // -1 when the format cannot tell.
    int64_t lengthFrames() const { return length_; }

    // Reads up to `bytes` bytes of whole frames; returns the bytes written.
    // Throws Error(ENDED) once the end has been read.
    DWORD read(void* out, DWORD bytes, bool asFloat);
    int64_t positionFrames() const;
    void seek(int64_t frame);
    bool ended() const;
    // A module's state as of the last frame read; none for a stream.
    std::optional<MusicState> musicState() const;

  private:
    mutable std::mutex mutex_;
    std::unique_ptr<Decoder> decoder_;
    int rate_;
    int channels_;
    bool mono_;
    bool float_;
    uint32_t bytesPerFrame_;
    int64_t length_;
    int64_t position_ = 0;
    bool ended_ = false;
    bool module_;
    std::vector<float> frames_;
};

}  // namespace chromola::audio
