// The 2048-point magnitude spectrum the display turns into colour.
//
// Contract: input is 2048 mono frames; output element k (0..1023) is
// 2 |X_k| / 2048 of the periodic-Hann-windowed frames, element 0 being DC.
// The window is not compensated for: its coherent gain of 0.5 and the factor
// 2 / N together make a full-scale sine centred on bin k read 0.5 at k (its
// two neighbours read 0.25, the window's main lobe; bins further out ~0).
//
// The transform is FFTW's, on one plan for the whole process made the first
// time a spectrum is computed; its real and imaginary parts come out in
// arrays of their own so that the magnitudes are one simple loop.
#pragma once

#include <array>
#include <cstddef>

namespace chromola::audio {

class Spectrum {
  public:
    static constexpr std::size_t kFrames = 2048;
    static constexpr std::size_t kBins = kFrames / 2;
    static constexpr float kMagnitudeScale = 2.0f / static_cast<float>(kFrames);

    // No allocation in compute(): the work buffers live in the object.
    void compute(const float* mono, float* out);

  private:
    alignas(32) std::array<float, kFrames> work_;
    alignas(32) std::array<float, kBins + 1> re_;
    alignas(32) std::array<float, kBins + 1> im_;
};

}  // namespace chromola::audio
