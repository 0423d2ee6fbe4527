#include "display/colour_levels.h"

#include <algorithm>
#include <cmath>

#include "common/rounding.h"

namespace chromola {

namespace {

// Turns the natural logarithm of the width term into a common logarithm. It is
// ln 10 to 15 digits, kept exactly as written: the weights of the bands, and
// so every level, depend on it to the last bit.
constexpr double kLn10 = 2.30258509299405;
constexpr double kFullScale = 255.0;
constexpr int kMaxLevel = 255;

std::array<Band, kBandCount> BuildBandTable() {
    std::array<Band, kBandCount> table{};
    int binPosition = 0;
    for (int i = 0; i < kBandCount; ++i) {
        const double exponent = static_cast<double>(i * 10) / 38.0;
        const int bandEnd = RoundHalfEven(std::pow(2.0, exponent));
        Band& band = table[static_cast<std::size_t>(i)];
        band.w = bandEnd - binPosition + 10;
        band.first = binPosition + 1;
        // A band takes at least one value even when its nominal end lies
        // behind the values already taken: the low bands are one bin each.
        do {
            ++binPosition;
        } while (binPosition < bandEnd);
        band.last = binPosition;
    }
    return table;
}

// A damaged spectrum (NaN, infinities, negative magnitudes) must not push a
// level outside 0..255, so such values simply add nothing.
inline float SaneMagnitude(float value) {
    return (std::isfinite(value) && value > 0.0f) ? value : 0.0f;
}

// The common logarithm of each band's width term, the divisor of its sum.
const std::array<double, kBandCount>& BandDivisors() {
    static const std::array<double, kBandCount> divisors = [] {
        std::array<double, kBandCount> out{};
        for (int i = 0; i < kBandCount; ++i) {
            const int w = BandTable()[static_cast<std::size_t>(i)].w;
            out[static_cast<std::size_t>(i)] = std::log(static_cast<double>(w)) / kLn10;
        }
        return out;
    }();
    return divisors;
}

inline int Level(float accumulator) {
    return std::clamp(RoundHalfEven(accumulator), 0, kMaxLevel);
}

}  // namespace

const std::array<Band, kBandCount>& BandTable() {
    static const std::array<Band, kBandCount> table = BuildBandTable();
    return table;
}

ColourLevels ComputeColourLevels(const Spectrum& spectrum, const ColourParams& params) {
    const auto& bands = BandTable();
    const auto& divisors = BandDivisors();
    // Single-precision accumulators: each contribution is rounded to float as
    // it is added, which decides the ties of the final rounding.
    float accumulators[3] = {0.0f, 0.0f, 0.0f};
    const float gains[3] = {params.redGain, params.greenGain, params.blueGain};
    const double brightness = params.brightness;

    for (int i = 0; i < kBandCount; ++i) {
        const Band& band = bands[static_cast<std::size_t>(i)];
        float sum = 0.0f;
        for (int k = band.first; k <= band.last; ++k) {
            sum += SaneMagnitude(spectrum[static_cast<std::size_t>(k)]);
        }
        const int colour = i < kFirstGreenBand ? 0 : (i < kFirstBlueBand ? 1 : 2);
        // Left to right, in double: root, full scale, brightness, gain.
        const double contribution =
            std::floor(std::sqrt(static_cast<double>(sum) / divisors[static_cast<std::size_t>(i)]) *
                       kFullScale * brightness * static_cast<double>(gains[colour]));
        accumulators[colour] = static_cast<float>(accumulators[colour] + contribution);
    }

    ColourLevels levels{Level(accumulators[0]), Level(accumulators[1]), Level(accumulators[2])};
    if (params.invertColours == 1) {
        levels.red = kMaxLevel - levels.red;
        levels.green = kMaxLevel - levels.green;
        levels.blue = kMaxLevel - levels.blue;
    }
    return levels;
}

}  // namespace chromola
