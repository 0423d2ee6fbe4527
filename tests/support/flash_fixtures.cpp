#include "flash_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>
#include <numbers>

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

// Counts the transitions of one measure tick by tick and keeps the largest
// number inside any 1000 ms.
class Counter {
  public:
    Counter(double threshold, bool strict) : threshold_(threshold), strict_(strict) {}
    void Add(long long ms, double value, bool qualifies) {
        if (!started_) {
            started_ = true;
        } else {
            const int direction = (value > last_) - (value < last_);
            if (direction != 0 && direction != direction_) {
                if (direction_ != 0) {
                    extreme_ = last_;
                    extremeQualifies_ = lastQualifies_;
                }
                direction_ = direction;
                counted_ = false;
            }
            const double change = std::abs(value - extreme_);
            const bool reached = strict_ ? change > threshold_ : change >= threshold_;
            if (!counted_ && reached && (extremeQualifies_ || qualifies)) {
                counted_ = true;
                times_.push_back(ms);
            }
        }
        if (direction_ == 0) {
            extreme_ = value;
            extremeQualifies_ = qualifies;
        }
        last_ = value;
        lastQualifies_ = qualifies;
        while (!times_.empty() && times_.front() <= ms - 1000) {
            times_.pop_front();
        }
        most_ = std::max(most_, static_cast<int>(times_.size()));
    }
    int most() const { return most_; }

  private:
    double threshold_;
    bool strict_;
    bool started_ = false;
    double extreme_ = 0, last_ = 0;
    bool extremeQualifies_ = false, lastQualifies_ = false;
    int direction_ = 0;
    bool counted_ = false;
    std::deque<long long> times_;
    int most_ = 0;
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
    std::vector<float> out(static_cast<std::size_t>(seconds * kRate));
    const double amplitude = std::pow(10.0, dbfs / 20.0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] =
            static_cast<float>(amplitude * std::sin(2 * std::numbers::pi * frequency * i / kRate));
    }
    return out;
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
        Spectrum spectrum{};
        fft.compute(window.data(), spectrum.data());
        spectra.push_back(spectrum);
    }
    return spectra;
}

std::vector<ColourLevels> ColoursOf(const std::vector<Spectrum>& spectra, float brightness) {
    std::vector<ColourLevels> colours;
    for (const Spectrum& spectrum : spectra) {
        colours.push_back(ComputeColourLevels(spectrum, {brightness, 0.4f, 0.4f, 0.4f, 0}));
    }
    return colours;
}

FlashCount MostTransitionsInASecond(const std::vector<ColourLevels>& colours,
                                    const std::vector<long long>& times) {
    Counter general(0.1, false);
    Counter red(20.0, true);
    for (std::size_t i = 0; i < colours.size() && (times.empty() || i < times.size()); ++i) {
        const ColourLevels& c = colours[i];
        const long long ms = times.empty() ? static_cast<long long>(i) * kFlashTickMs : times[i];
        const double r = Linear(c.red), g = Linear(c.green), b = Linear(c.blue);
        const double luminance = 0.2126 * r + 0.7152 * g + 0.0722 * b;
        const int sum = c.red + c.green + c.blue;
        general.Add(ms, luminance, luminance < 0.8);
        red.Add(ms, std::max(0.0, (r - g - b) * 320.0), sum > 0 && c.red >= 0.8 * sum);
    }
    return {general.most(), red.most()};
}

}  // namespace chromola::testing
