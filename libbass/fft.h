// The 2048-point magnitude spectrum the display turns into colour.
//
// Contract: input is 2048 mono frames; output element k (0..1023) is
// 2 |X_k| / 2048 of the periodic-Hann-windowed frames, element 0 being DC.
// The window is not compensated for: its coherent gain of 0.5 and the factor
// 2 / N together make a full-scale sine centred on bin k read 0.5 at k (its
// two neighbours read 0.25, the window's main lobe; bins further out ~0).
//
// The transform is KissFFT's real one. FFTW's is twice as fast (4.5 against
// 9.3 us for the whole spectrum, 0.03% of a core at 59 spectra a second),
// but its planner touches the code of every solver it has: 2.2 MB of the
// player's resident memory, as much as the rest of this library.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

namespace chromola::audio {

class Spectrum {
  public:
    static constexpr std::size_t kFrames = 2048;
    static constexpr std::size_t kBins = kFrames / 2;
    static constexpr float kMagnitudeScale = 2.0f / static_cast<float>(kFrames);

    Spectrum();
    // The transform's state points into itself.
    Spectrum(const Spectrum&) = delete;
    Spectrum& operator=(const Spectrum&) = delete;

    // No allocation in compute(): the work buffers live in the object.
    void compute(const float* mono, float* out);

  private:
    std::vector<unsigned char> state_;  // KissFFT's configuration, ours alone
    alignas(32) std::array<float, kFrames> work_;
    alignas(32) std::array<float, 2 * (kBins + 1)> bins_;  // re, im, re, im...
};

}  // namespace chromola::audio
