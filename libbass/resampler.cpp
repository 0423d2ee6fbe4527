#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "error.h"

namespace chromola::audio {

namespace {
constexpr unsigned kChannels = 2;
}

Resampler::Resampler(int inRate, int outRate)
    : ratio_(static_cast<double>(outRate) / static_cast<double>(inRate)) {
    if (inRate == outRate)
        return;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // High quality, and one thread: the decoder thread is ours already.
    soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t err = nullptr;
    soxr_.reset(soxr_create(inRate, outRate, kChannels, &err, &io, &quality, &runtime));
    if (err || !soxr_)
        throw Error(BASS_ERROR_FORMAT);
}

std::size_t Resampler::maxOutput(std::size_t inFrames) const {
    return static_cast<std::size_t>(std::ceil(static_cast<double>(inFrames) * ratio_)) + 64;
}

std::size_t Resampler::process(const float* in, std::size_t inFrames, float* out,
                               std::size_t outCap) {
    if (!soxr_) {
        std::size_t n = std::min(inFrames, outCap);
        std::memcpy(out, in, n * kChannels * sizeof(float));
        return n;
    }
    std::size_t produced = 0;
    while (inFrames > 0 && produced < outCap) {
        std::size_t used = 0;
        std::size_t made = 0;
        soxr_error_t err = soxr_process(soxr_.get(), in, inFrames, &used,
                                        out + produced * kChannels, outCap - produced, &made);
        if (err)
            break;
        in += used * kChannels;
        inFrames -= used;
        produced += made;
        if (used == 0 && made == 0)
            break;
    }
    return produced;
}

std::size_t Resampler::drain(float* out, std::size_t outCap) {
    if (!soxr_)
        return 0;
    std::size_t made = 0;
    if (soxr_process(soxr_.get(), nullptr, 0, nullptr, out, outCap, &made))
        return 0;
    return made;
}

void Resampler::clear() {
    if (soxr_)
        soxr_clear(soxr_.get());
}

}  // namespace chromola::audio
