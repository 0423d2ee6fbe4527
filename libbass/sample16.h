// 16-bit samples, where the library keeps or sends sound at the precision a
// sound card plays: [-1, 1] maps onto [-32767, 32767], to the nearest step.
// Written so that loops over them vectorise.
#pragma once

#include <algorithm>
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

}  // namespace chromola::audio
