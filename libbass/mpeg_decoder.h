// MPEG audio (mp1, mp2, mp3) through libmpg123, which libsndfile also uses
// for these formats. Driven directly so that it can be told to be quiet: it
// otherwise prints warnings about damaged files on stderr.
#pragma once

#include <memory>

#include "byte_source.h"
#include "decoder.h"

struct mpg123_handle_struct;

namespace chromola::audio {

class MpegDecoder final : public Decoder {
  public:
    // Throws Error(FILEFORM) when libmpg123 finds no audio in the bytes.
    explicit MpegDecoder(std::unique_ptr<ByteSource> source);
    ~MpegDecoder() override;
    MpegDecoder(const MpegDecoder&) = delete;
    MpegDecoder& operator=(const MpegDecoder&) = delete;

    int channels() const override { return channels_; }
    int sampleRate() const override { return rate_; }
    int64_t lengthFrames() const override { return length_; }
    std::size_t read(float* out, std::size_t frames) override;
    bool seek(int64_t frame) override;

    // Where the decoder's reader stands in the source.
    struct Cursor {
        ByteSource* source;
        int64_t pos = 0;
    };

  private:
    std::unique_ptr<ByteSource> source_;
    Cursor cursor_;
    struct HandleDeleter {
        void operator()(mpg123_handle_struct* h) const;
    };
    std::unique_ptr<mpg123_handle_struct, HandleDeleter> handle_;
    int channels_ = 0;
    int rate_ = 0;
    int64_t length_ = -1;
    bool ended_ = false;
};

}  // namespace chromola::audio
