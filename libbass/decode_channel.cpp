#include "decode_channel.h"

#include <algorithm>
#include <cstring>

#include "error.h"
#include "sample16.h"

namespace chromola::audio {

namespace {
constexpr std::size_t kBlockFrames = 4096;
}  // namespace

DecodeChannel::DecodeChannel(std::unique_ptr<Decoder> decoder, DWORD flags, bool module)
    : decoder_(std::move(decoder)),
      rate_(decoder_->sampleRate()),
      channels_(decoder_->channels()),
      mono_((flags & BASS_SAMPLE_MONO) != 0),
      float_((flags & BASS_SAMPLE_FLOAT) != 0),
      bytesPerFrame_(static_cast<uint32_t>(mono_ ? 1 : channels_) * (float_ ? 4u : 2u)),
      length_(decoder_->lengthFrames()),
      module_(module) {}

DWORD DecodeChannel::read(void* out, DWORD bytes, bool asFloat) {
    std::lock_guard lock(mutex_);
    if (ended_)
        throw Error(BASS_ERROR_ENDED);
    const bool floats = asFloat || float_;
    const std::size_t outChannels = mono_ ? 1 : static_cast<std::size_t>(channels_);
    const std::size_t frameBytes = outChannels * (floats ? 4 : 2);
    const std::size_t wanted = bytes / frameBytes;
    std::size_t done = 0;
    auto* bytesOut = static_cast<unsigned char*>(out);
    while (done < wanted) {
        const std::size_t n = std::min(kBlockFrames, wanted - done);
        frames_.resize(n * static_cast<std::size_t>(channels_));
        const std::size_t got = decoder_->read(frames_.data(), n);
        if (got == 0) {
            break;
        }
        if (mono_ && channels_ > 1) {
            for (std::size_t f = 0; f < got; ++f) {
                float sum = 0.0f;
                for (int c = 0; c < channels_; ++c)
                    sum += frames_[f * static_cast<std::size_t>(channels_) +
                                   static_cast<std::size_t>(c)];
                frames_[f] = sum / static_cast<float>(channels_);
            }
        }
        const std::size_t samples = got * outChannels;
        unsigned char* at = bytesOut + done * frameBytes;
        if (floats) {
            std::memcpy(at, frames_.data(), samples * sizeof(float));
        } else {
            std::vector<int16_t> converted(samples);
            ToSamples16(frames_.data(), converted.data(), samples);
            std::memcpy(at, converted.data(), samples * sizeof(int16_t));
        }
        done += got;
        position_ += static_cast<int64_t>(got);
    }
    if (done == 0 && wanted > 0) {
        ended_ = true;
        throw Error(BASS_ERROR_ENDED);
    }
    return static_cast<DWORD>(done * frameBytes);
}

int64_t DecodeChannel::positionFrames() const {
    std::lock_guard lock(mutex_);
    return position_;
}

void DecodeChannel::seek(int64_t frame) {
    std::lock_guard lock(mutex_);
    if (!decoder_->seek(frame))
        throw Error(BASS_ERROR_POSITION);
    position_ = frame;
    ended_ = false;
}

std::optional<MusicState> DecodeChannel::musicState() const {
    std::lock_guard lock(mutex_);
    return decoder_->musicState();
}

bool DecodeChannel::ended() const {
    std::lock_guard lock(mutex_);
    return ended_;
}

}  // namespace chromola::audio
