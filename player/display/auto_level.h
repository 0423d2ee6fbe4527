// The automatic level: a slowly adapting factor on the brightness, so that
// the music's recent loudness lands in the middle of the colour range.
//
// Loudness is the largest of the three levels the spectrum gives at the
// neutral brightness and gains with the current factor applied, taken back
// to the neutral scale: measured where the colour is, the rounding of quiet
// bands does not skew it. A peak follower that decays over a couple
// of seconds holds it between beats, so the factor does not pump with the
// drum; the factor falls within a fraction of a second when the music gets
// louder and rises over a few seconds when it gets quieter. It stays
// between 1/4 and 16, and below a noise floor it does not amplify at all,
// so silence stays black and hiss never becomes colour. Brightness, gains
// and inversion act on top of it as before.
#pragma once

namespace chromola {

class AutoLevel {
  public:
    // Takes the loudness of this tick (0..255, measured with Factor()
    // applied), `elapsedMs` after the last, and gives the factor to apply
    // to the brightness from now on.
    float Update(int loudness, long long elapsedMs);
    float Factor() const { return factor_; }

    static constexpr double kTarget = 128.0;
    static constexpr double kNoiseFloor = 4.0;
    static constexpr double kMinFactor = 0.25;
    static constexpr double kMaxFactor = 16.0;
    static constexpr double kPeakDecayMs = 2000.0;
    static constexpr double kFallMs = 250.0;
    static constexpr double kRiseMs = 1500.0;

  private:
    double peak_ = 0.0;
    float factor_ = 1.0f;
};

}  // namespace chromola
