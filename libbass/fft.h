// The 2048-point magnitude spectrum the display turns into colour.
//
// Contract: input is 2048 mono frames; output element k (0..1023) is
// 2 |X_k| / 2048 of the periodic-Hann-windowed frames, element 0 being DC.
// The window is not compensated for: its coherent gain of 0.5 and the factor
// 2 / N together make a full-scale sine centred on bin k read 0.5 at k (its
// two neighbours read 0.25, the window's main lobe; bins further out ~0).
#pragma once

#include <array>
#include <cstddef>
#include <memory>

#include <kiss_fftr.h>

namespace chromola::audio {

class Spectrum {
  public:
    static constexpr std::size_t kFrames = 2048;
    static constexpr std::size_t kBins = kFrames / 2;
    static constexpr float kMagnitudeScale = 2.0f / static_cast<float>(kFrames);

    Spectrum();

    // No allocation: the plan and the work buffers live in the object.
    void compute(const float* mono, float* out);

  private:
    struct PlanDeleter {
        void operator()(kiss_fftr_cfg p) const { kiss_fftr_free(p); }
    };
    std::unique_ptr<kiss_fftr_state, PlanDeleter> plan_;
    std::array<float, kFrames> window_;
    std::array<float, kFrames> work_;
    std::array<kiss_fft_cpx, kBins + 1> bins_;
};

}  // namespace chromola::audio
