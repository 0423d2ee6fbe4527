#include "fft.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace chromola::audio {

namespace {

static_assert(sizeof(kiss_fft_cpx) == 2 * sizeof(float), "bins_ holds re, im pairs");

// The periodic Hann window, made once for the process. Periodic: a sine
// centred on a bin spreads over exactly that bin and its two neighbours.
struct Window {
    alignas(32) std::array<float, Spectrum::kFrames> values;

    Window() {
        for (std::size_t n = 0; n < Spectrum::kFrames; ++n) {
            values[n] = static_cast<float>(
                0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                      static_cast<double>(Spectrum::kFrames))));
        }
    }
};

const Window& HannWindow() {
    static const Window window;
    return window;
}

// Simple loops over restrict parameters and a whole number of vectors, which
// -O2 vectorises (the square root with math errno off, see CMakeLists.txt).
void Windowed(const float* __restrict in, const float* __restrict window, float* __restrict out) {
    for (std::size_t n = 0; n < Spectrum::kFrames; ++n)
        out[n] = in[n] * window[n];
}

void Magnitudes(const float* __restrict bins, float* __restrict out) {
    for (std::size_t k = 0; k < Spectrum::kBins; ++k) {
        const float re = bins[2 * k];
        const float im = bins[2 * k + 1];
        out[k] = std::sqrt(re * re + im * im) * Spectrum::kMagnitudeScale;
    }
}

kiss_fftr_cfg Config(std::vector<unsigned char>& state) {
    return reinterpret_cast<kiss_fftr_cfg>(state.data());
}

}  // namespace

Spectrum::Spectrum() {
    // A KissFFT configuration for each object: KissFFT keeps its scratch
    // space in it, so channels on several threads cannot share one.
    std::size_t size = 0;
    kiss_fftr_alloc(static_cast<int>(kFrames), 0, nullptr, &size);
    state_.resize(size);
    if (kiss_fftr_alloc(static_cast<int>(kFrames), 0, state_.data(), &size) == nullptr) {
        state_.clear();
    }
    HannWindow();
}

void Spectrum::compute(const float* mono, float* out) {
    if (state_.empty()) {
        std::fill_n(out, kBins, 0.0f);
        return;
    }
    Windowed(mono, HannWindow().values.data(), work_.data());
    kiss_fftr(Config(state_), work_.data(), reinterpret_cast<kiss_fft_cpx*>(bins_.data()));
    Magnitudes(bins_.data(), out);
}

}  // namespace chromola::audio
