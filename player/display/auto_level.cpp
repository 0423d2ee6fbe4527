#include "display/auto_level.h"

#include <algorithm>
#include <cmath>

namespace chromola {

namespace {
// A tick after a long stop (the pause between tracks) counts as one tick:
// the music that follows is judged afresh, not against the silence.
constexpr long long kLongestStepMs = 100;
}  // namespace

float AutoLevel::Update(int loudness, long long elapsedMs) {
    const double dt = static_cast<double>(std::clamp(elapsedMs, 0LL, kLongestStepMs));
    const double neutral = static_cast<double>(loudness) / factor_;
    peak_ = std::max(neutral, peak_ * std::exp(-dt / kPeakDecayMs));
    const double target =
        peak_ < kNoiseFloor ? 1.0 : std::clamp(kTarget / peak_, kMinFactor, kMaxFactor);
    const double now = std::log(static_cast<double>(factor_));
    const double wanted = std::log(target);
    const double tau = wanted < now ? kFallMs : kRiseMs;
    factor_ = static_cast<float>(std::exp(now + (wanted - now) * (1.0 - std::exp(-dt / tau))));
    return factor_;
}

}  // namespace chromola
