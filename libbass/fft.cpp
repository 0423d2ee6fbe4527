#include "fft.h"

#include <cmath>
#include <numbers>

#include "error.h"

namespace chromola::audio {

Spectrum::Spectrum() : plan_(kiss_fftr_alloc(static_cast<int>(kFrames), 0, nullptr, nullptr)) {
    if (!plan_)
        throw Error(BASS_ERROR_MEM);
    // Periodic Hann: a sine centred on a bin spreads over exactly that bin and
    // its two neighbours.
    for (std::size_t n = 0; n < kFrames; ++n) {
        window_[n] = static_cast<float>(
            0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                  static_cast<double>(kFrames))));
    }
}

void Spectrum::compute(const float* mono, float* out) {
    for (std::size_t n = 0; n < kFrames; ++n)
        work_[n] = mono[n] * window_[n];
    kiss_fftr(plan_.get(), work_.data(), bins_.data());
    for (std::size_t k = 0; k < kBins; ++k) {
        out[k] = std::sqrt(bins_[k].r * bins_[k].r + bins_[k].i * bins_[k].i) * kMagnitudeScale;
    }
}

}  // namespace chromola::audio
