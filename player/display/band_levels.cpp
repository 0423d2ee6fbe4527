#include "display/band_levels.h"

#include <algorithm>
#include <cmath>

namespace chromola {

namespace {

// ln 10 as the colour takes it, so that a band's contribution here is the
// very number the colour adds up.
constexpr double kLn10 = 2.30258509299405;
constexpr double kFullScale = 255.0;
constexpr int kMaxLevel = 255;

const std::array<double, kBandCount>& Divisors() {
    static const std::array<double, kBandCount> divisors = [] {
        std::array<double, kBandCount> out{};
        for (std::size_t i = 0; i < out.size(); ++i) {
            out[i] = std::log(static_cast<double>(BandTable()[i].w)) / kLn10;
        }
        return out;
    }();
    return divisors;
}

}  // namespace

BandLevels ComputeBandLevels(const Spectrum& spectrum, const ColourParams& params) {
    const auto& bands = BandTable();
    const auto& divisors = Divisors();
    const float gains[3] = {params.redGain, params.greenGain, params.blueGain};
    const double brightness = params.brightness;
    BandLevels levels{};
    for (int i = 0; i < kBandCount; ++i) {
        const auto index = static_cast<std::size_t>(i);
        float sum = 0.0f;
        for (int k = bands[index].first; k <= bands[index].last; ++k) {
            const float value = spectrum[static_cast<std::size_t>(k)];
            sum += std::isfinite(value) && value > 0.0f ? value : 0.0f;
        }
        const double contribution =
            std::floor(std::sqrt(static_cast<double>(sum) / divisors[index]) * kFullScale *
                       brightness * static_cast<double>(gains[BandGroup(i)]));
        // Written so that a NaN (from a NaN brightness) gives 0 as well.
        int level = contribution > 0.0
                        ? static_cast<int>(std::min(contribution, static_cast<double>(kMaxLevel)))
                        : 0;
        if (params.invertColours == 1) {
            level = kMaxLevel - level;
        }
        levels[index] = static_cast<std::uint8_t>(level);
    }
    return levels;
}

}  // namespace chromola
