#include "sample16.h"

namespace chromola::audio {

void ToSamples16(const float* __restrict in, int16_t* __restrict out, std::size_t n) noexcept {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = ToSample16(in[i]);
}

void AddSamples16(const int16_t* __restrict in, float* __restrict mix, std::size_t n,
                  float gain) noexcept {
    for (std::size_t i = 0; i < n; ++i)
        mix[i] += FromSample16(in[i]) * gain;
}

}  // namespace chromola::audio
