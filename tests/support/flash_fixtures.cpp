#include "flash_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "audio_fixtures.h"
#include "fft.h"

namespace chromola::testing {

namespace {

constexpr int kRate = 44100;

// Deterministic noise in -1..1.
struct Noise {
    std::uint32_t state = 12345;
    float operator()() {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) / 8388608.0f - 1.0f;
    }
};

double Linear(int level) {
    const double c = level / 255.0;
    return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

// The transitions of one measure: a run of monotonic change counts once, at
// the tick where it first reaches the threshold from the run's turning point,
// when the colour qualifies at one end.
struct Measure {
    std::vector<double> values;
    std::vector<bool> qualifies;

    int MostInASecond(const std::vector<long long>& ms, double threshold, bool strict) const {
        std::vector<long long> at;
        std::size_t turn = 0;
        int direction = 0;
        bool counted = false;
        for (std::size_t i = 1; i < values.size(); ++i) {
            const int d = (values[i] > values[i - 1]) - (values[i] < values[i - 1]);
            if (direction == 0 || (d != 0 && d != direction)) {
                turn = i - 1;
                counted = false;
            }
            direction = d != 0 ? d : direction;
            const double change = std::abs(values[i] - values[turn]);
            if (!counted && (strict ? change > threshold : change >= threshold) &&
                (qualifies[turn] || qualifies[i])) {
                counted = true;
                at.push_back(ms[i]);
            }
        }
        int most = 0;
        for (std::size_t i = 0, first = 0; i < at.size(); ++i) {
            while (at[first] <= at[i] - 1000)
                ++first;
            most = std::max(most, static_cast<int>(i - first + 1));
        }
        return most;
    }
};

}  // namespace

std::vector<float> DrumLoop(double bpm, double seconds) {
    std::vector<float> out(static_cast<std::size_t>(seconds * kRate), 0.0f);
    const double beat = 60.0 / bpm;
    Noise noise;
    for (double start = 0; start < seconds; start += beat / 2) {
        const int eighth = static_cast<int>(std::lround(start / (beat / 2)));
        const std::size_t first = static_cast<std::size_t>(start * kRate);
        for (std::size_t i = first; i < out.size() && i < first + kRate / 4; ++i) {
            const double t = static_cast<double>(i - first) / kRate;
            float v = 0.25f * noise() * static_cast<float>(std::exp(-t / 0.01));  // hi-hat
            if (eighth % 4 == 0) {  // kick: a falling 60 Hz thump
                v += 0.8f * static_cast<float>(std::sin(2 * std::numbers::pi *
                                                        (50 + 40 * std::exp(-t / 0.03)) * t) *
                                               std::exp(-t / 0.12));
            } else if (eighth % 4 == 2) {  // snare: 200 Hz body and noise
                v += static_cast<float>(
                    (0.4 * std::sin(2 * std::numbers::pi * 200 * t) + 0.4 * noise()) *
                    std::exp(-t / 0.06));
            }
            out[i] += v;
        }
    }
    return out;
}

std::vector<float> Sine(double frequency, double dbfs, double seconds) {
    return samplesOf({frequency, std::pow(10.0, dbfs / 20.0), kRate, 1, seconds});
}

std::vector<Spectrum> SpectraOf(const std::vector<float>& samples) {
    audio::Spectrum fft;
    constexpr long long kFrames = audio::Spectrum::kFrames;
    std::vector<float> window(kFrames);
    std::vector<Spectrum> spectra;
    const long long ticks = static_cast<long long>(samples.size()) * 1000 / kRate / kFlashTickMs;
    for (long long tick = 0; tick < ticks; ++tick) {
        const long long centre = tick * kFlashTickMs * kRate / 1000;
        for (long long i = 0; i < kFrames; ++i) {
            const long long at = centre - kFrames / 2 + i;
            window[i] = at >= 0 && at < static_cast<long long>(samples.size()) ? samples[at] : 0.0f;
        }
        fft.compute(window.data(), spectra.emplace_back().data());
    }
    return spectra;
}

std::vector<ColourLevels> ColoursOf(const std::vector<Spectrum>& spectra, float brightness) {
    std::vector<ColourLevels> colours;
    for (const Spectrum& spectrum : spectra)
        colours.push_back(ComputeColourLevels(spectrum, {brightness, 0.4f, 0.4f, 0.4f, 0}));
    return colours;
}

FlashCount MostTransitionsInASecond(const std::vector<ColourLevels>& colours,
                                    const std::vector<long long>& times) {
    Measure general, red;
    std::vector<long long> ms;
    for (std::size_t i = 0; i < colours.size() && (times.empty() || i < times.size()); ++i) {
        const ColourLevels& c = colours[i];
        ms.push_back(times.empty() ? static_cast<long long>(i) * kFlashTickMs : times[i]);
        const double r = Linear(c.red), g = Linear(c.green), b = Linear(c.blue);
        const double luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        const int sum = c.red + c.green + c.blue;
        general.values.push_back(luminance);
        general.qualifies.push_back(luminance < 0.8);
        red.values.push_back(std::max(0.0, (r - g - b) * 320.0));
        red.qualifies.push_back(sum > 0 && c.red >= 0.8 * sum);
    }
    return {general.MostInASecond(ms, 0.1, false), red.MostInASecond(ms, 20.0, true)};
}

}  // namespace chromola::testing
