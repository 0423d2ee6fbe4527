// Colour sequences for the flash limiter and the automatic level: generated
// drum loops and tones turned into spectra by the audio library's own FFT,
// one per 17 ms tick, and an independent flash counter written from the
// flash rules (not from the limiter's code).
#pragma once

#include <vector>

#include "display/colour_levels.h"

namespace chromola::testing {

inline constexpr int kFlashTickMs = 17;

// Mono samples at 44.1 kHz: kick on beats 1 and 3, snare on 2 and 4, closed
// hi-hat on every eighth, at `bpm`.
std::vector<float> DrumLoop(double bpm, double seconds);
// A sine at `dbfs` (0 = full scale).
std::vector<float> Sine(double frequency, double dbfs, double seconds);
// The spectrum the display sees at each tick (the window centred on the
// tick's frame).
std::vector<Spectrum> SpectraOf(const std::vector<float>& samples);
// The colours of those spectra at the neutral gains and a brightness (the
// neutral one by default; kBrightest is the top of the brightness bar).
inline constexpr float kNeutralBrightness = 0.425f;
inline constexpr float kBrightest = 0.8f;
std::vector<ColourLevels> ColoursOf(const std::vector<Spectrum>& spectra,
                                    float brightness = kNeutralBrightness);

// The most general and red transitions that any one-second window of the
// sequence (one colour per tick) holds. A transition is a run of monotonic
// change that reaches the threshold: relative luminance by 0.1 with the
// darker end below 0.8; max(0, (R - G - B) x 320) by more than 20 with a
// saturated red at one end.
struct FlashCount {
    int general = 0;
    int red = 0;
};
// With `times`, the colours were shown at those times (milliseconds).
FlashCount MostTransitionsInASecond(const std::vector<ColourLevels>& colours,
                                    const std::vector<long long>& times = {});

}  // namespace chromola::testing
