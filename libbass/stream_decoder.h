// Streamed formats through libsndfile: wav, aiff, mp1/2/3, ogg (Vorbis, Opus),
// flac and whatever else it recognises, detected by content.
#pragma once

#include <memory>

#include <sndfile.h>

#include "byte_source.h"
#include "decoder.h"

namespace chromola::audio {

// Where libsndfile's virtual I/O stands in a source.
struct SourceCursor {
    ByteSource* source;
    int64_t pos = 0;
};

class StreamDecoder final : public Decoder {
  public:
    // Throws Error(FILEFORM) when the bytes are not a stream format it plays.
    explicit StreamDecoder(std::unique_ptr<ByteSource> source);
    ~StreamDecoder() override;
    StreamDecoder(const StreamDecoder&) = delete;
    StreamDecoder& operator=(const StreamDecoder&) = delete;

    int channels() const override { return info_.channels; }
    int sampleRate() const override { return info_.samplerate; }
    int64_t lengthFrames() const override;
    std::size_t read(float* out, std::size_t frames) override;
    bool seek(int64_t frame) override;

    // The most channels and the rate range accepted; beyond them a header is
    // taken for damage rather than for audio.
    static constexpr int kMaxChannels = 32;
    static constexpr int kMinRate = 1000;
    static constexpr int kMaxRate = 768000;

  private:
    std::unique_ptr<ByteSource> source_;
    SourceCursor cursor_;
    SF_INFO info_{};
    SNDFILE* file_ = nullptr;
};

// Picks the decoder for a streamed file by its content: MPEG audio goes to
// libmpg123 directly, everything else to libsndfile. Throws Error(FILEFORM)
// when neither takes it.
std::unique_ptr<Decoder> openStreamDecoder(std::unique_ptr<ByteSource> source);

}  // namespace chromola::audio
