// Tracker modules (mod, xm, s3m, it, mtm, umx, ...) rendered by libopenmpt as
// stereo float at the rate asked for.
#pragma once

#include <memory>

#include "byte_source.h"
#include "decoder.h"

struct openmpt_module;

namespace chromola::audio {

struct ModuleOptions {
    int rate = 44100;
    bool loop = false;           // repeat the song for ever
    bool volumeRamping = false;  // click-free volume changes (libopenmpt's default)
};

class ModuleDecoder final : public Decoder {
  public:
    // Throws Error(FILEFORM) when libopenmpt does not take the bytes for a
    // module.
    ModuleDecoder(std::unique_ptr<ByteSource> source, const ModuleOptions& options);
    ~ModuleDecoder() override;
    ModuleDecoder(const ModuleDecoder&) = delete;
    ModuleDecoder& operator=(const ModuleDecoder&) = delete;

    int channels() const override { return 2; }
    int sampleRate() const override { return rate_; }
    int64_t lengthFrames() const override { return length_; }
    std::size_t read(float* out, std::size_t frames) override;
    bool seek(int64_t frame) override;
    std::optional<MusicState> musicState() const override;

    // Modules are small; anything bigger is not one.
    static constexpr int64_t kMaxFileBytes = int64_t{256} << 20;

  private:
    openmpt_module* module_ = nullptr;
    int rate_;
    int64_t length_ = 0;
};

}  // namespace chromola::audio
