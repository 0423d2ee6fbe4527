// 16-bit samples, where the library keeps or sends sound at the precision a
// sound card plays: [-1, 1] maps onto [-32767, 32767], to the nearest step.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace chromola::audio {

constexpr float kSample16Scale = 32767.0f;

inline int16_t ToSample16(float value) noexcept {
    const float scaled = std::clamp(value, -1.0f, 1.0f) * kSample16Scale;
    return static_cast<int16_t>(scaled >= 0.0f ? scaled + 0.5f : scaled - 0.5f);
}

inline float FromSample16(int16_t sample) noexcept {
    return static_cast<float>(sample) * (1.0f / kSample16Scale);
}

// The same over runs of samples, vectorised: out[i] = ToSample16(in[i]), and
// mix[i] += FromSample16(in[i]) * gain.
void ToSamples16(const float* in, int16_t* out, std::size_t n) noexcept;
void AddSamples16(const int16_t* in, float* mix, std::size_t n, float gain) noexcept;

}  // namespace chromola::audio
