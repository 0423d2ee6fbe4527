#include "lights/strip_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace chromola {

namespace {

constexpr int kMaxEffect = kEffectMeter;
// Linear light in whole numbers: 1.0 is this many units.
constexpr double kLinearUnit = 1 << 24;

// sRGB levels in linear light, as the flash limiter measures them, and the
// same in units.
struct LinearTable {
    std::array<double, 256> values{};
    std::array<std::uint32_t, 256> units{};
    LinearTable() {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double c = static_cast<double>(i) / 255.0;
            values[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
            units[i] = static_cast<std::uint32_t>(std::lround(values[i] * kLinearUnit));
        }
    }
};

const LinearTable& Linear() {
    static const LinearTable table;
    return table;
}

// The level whose linear light is nearest `value`.
std::uint8_t LevelOf(double value) {
    const auto& linear = Linear().values;
    const auto above = std::lower_bound(linear.begin(), linear.end(), value);
    if (above == linear.begin()) {
        return 0;
    }
    if (above == linear.end()) {
        return 255;
    }
    const auto below = above - 1;
    const auto nearest = value - *below <= *above - value ? below : above;
    return static_cast<std::uint8_t>(nearest - linear.begin());
}

std::uint8_t Byte(int level) {
    return static_cast<std::uint8_t>(std::clamp(level, 0, 255));
}

// Pixels first..last-1 of `out` in one colour.
void FillWith(std::uint8_t* out, int first, int last, const std::array<std::uint8_t, 3>& colour) {
    for (int i = first; i < last; ++i) {
        std::memcpy(out + 3 * i, colour.data(), 3);
    }
}

}  // namespace

StripInput StripInputFor(const ColourLevels& levels) {
    StripInput input;
    const int groups[3] = {levels.red, levels.green, levels.blue};
    for (int b = 0; b < kBandCount; ++b) {
        input.bands[static_cast<std::size_t>(b)] = Byte(groups[BandGroup(b)]);
    }
    input.shown = levels;
    return input;
}

StripOptions StripOptions::Clamped() const {
    const StripOptions defaults;
    StripOptions clamped = *this;
    if (pixels < 1 || pixels > kMaxStripPixels) {
        clamped.pixels = defaults.pixels;
    }
    if (effect < kEffectOneColour || effect > kMaxEffect) {
        clamped.effect = defaults.effect;
    }
    return clamped;
}

std::size_t StripPainter::Paint(const StripInput& input, const StripOptions& options,
                                StripBuffer& out) {
    const StripOptions o = options.Clamped();
    Sums sums{};
    switch (o.effect) {
        case kEffectSpectrum:
        case kEffectMirrored:
            MapBands(o.pixels, o.effect);
            sums = PaintSpectrum(input.bands, input.sceneSteps, o.pixels, out);
            break;
        case kEffectFlow:
            sums = PaintFlow(input.shown, o.pixels, out);
            break;
        case kEffectMeter:
            sums = PaintMeter(input.shown, o.pixels, out);
            break;
        default:
            return Fill(input.shown, o.pixels, input.nowMs, out);
    }
    KeepFlashesInLimit(sums, o.pixels, input.limitFlashes, input.nowMs, out);
    return static_cast<std::size_t>(3 * o.pixels);
}

std::size_t StripPainter::Fill(const ColourLevels& colour, int pixels, long long nowMs,
                               StripBuffer& out) {
    const int n = StripOptions{pixels, kEffectOneColour}.Clamped().pixels;
    const std::array<std::uint8_t, 3> c{Byte(colour.red), Byte(colour.green), Byte(colour.blue)};
    FillWith(out.data(), 0, n, c);
    limiter_.Shown({c[0], c[1], c[2]}, nowMs);
    return static_cast<std::size_t>(3 * n);
}

// Pixel p of `count` positions shows the band under its centre, so that
// the bands share the pixels as evenly as whole pixels allow.
void StripPainter::MapBands(int pixels, int effect) {
    if (pixels == mappedPixels_ && effect == mappedEffect_) {
        return;
    }
    mappedPixels_ = pixels;
    mappedEffect_ = effect;
    const auto band = [](int position, int count) {
        return static_cast<std::uint8_t>((2 * position + 1) * kBandCount / (2 * count));
    };
    // Mirrored: positions count from the middle out; pixel i and pixel
    // N-1-i are the same distance from either end, so the same position.
    const int positions = (pixels + 1) / 2;
    bandPixels_.fill(0);
    for (int i = 0; i < pixels; ++i) {
        const int fromEnd = std::min(i, pixels - 1 - i);
        const std::uint8_t b =
            effect == kEffectSpectrum ? band(i, pixels) : band(positions - 1 - fromEnd, positions);
        bandOf_[static_cast<std::size_t>(i)] = b;
        ++bandPixels_[b];
    }
}

StripPainter::Sums StripPainter::PaintSpectrum(const BandLevels& bands, int sceneSteps, int pixels,
                                               StripBuffer& out) const {
    const auto& units = Linear().units;
    // Each band's pixel once, then a copy per pixel.
    std::array<std::array<std::uint8_t, 3>, kBandCount> colours{};
    Sums sums{};
    for (std::size_t b = 0; b < colours.size(); ++b) {
        const int group = (BandGroup(static_cast<int>(b)) + ((sceneSteps % 3) + 3)) % 3;
        colours[b][static_cast<std::size_t>(group)] = bands[b];
        sums[static_cast<std::size_t>(group)] +=
            std::uint64_t{units[bands[b]]} * static_cast<std::uint64_t>(bandPixels_[b]);
    }
    std::uint8_t* p = out.data();
    for (int i = 0; i < pixels; ++i, p += 3) {
        std::memcpy(p, colours[bandOf_[static_cast<std::size_t>(i)]].data(), 3);
    }
    return sums;
}

StripPainter::Sums StripPainter::PaintFlow(const ColourLevels& colour, int pixels,
                                           StripBuffer& out) {
    const auto& units = Linear().units;
    if (pixels != flowPixels_) {
        flowPixels_ = pixels;
        flowHead_ = 0;
        flowSums_ = {};
        std::fill(flow_.begin(), flow_.end(), std::uint8_t{0});
    }
    // The new colour takes the place of the one that falls off the end.
    flowHead_ = (flowHead_ + pixels - 1) % pixels;
    const std::array<std::uint8_t, 3> c{Byte(colour.red), Byte(colour.green), Byte(colour.blue)};
    std::uint8_t* slot = flow_.data() + 3 * flowHead_;
    for (std::size_t k = 0; k < 3; ++k) {
        flowSums_[k] = flowSums_[k] - units[slot[k]] + units[c[k]];
    }
    std::memcpy(slot, c.data(), 3);
    std::memcpy(slot + 3 * pixels, c.data(), 3);
    std::memcpy(out.data(), slot, static_cast<std::size_t>(3 * pixels));
    return flowSums_;
}

StripPainter::Sums StripPainter::PaintMeter(const ColourLevels& levels, int pixels,
                                            StripBuffer& out) {
    std::fill_n(out.begin(), 3 * pixels, std::uint8_t{0});
    const int bars[3] = {levels.red, levels.green, levels.blue};
    Sums sums{};
    for (int c = 0; c < 3; ++c) {
        const int first = c * pixels / 3;
        const int length = (c + 1) * pixels / 3 - first;
        const int lit = (std::clamp(bars[c], 0, 255) * length + 127) / 255;
        for (int i = first; i < first + lit; ++i) {
            out[static_cast<std::size_t>(3 * i + c)] = 255;
        }
        sums[static_cast<std::size_t>(c)] =
            std::uint64_t{Linear().units[255]} * static_cast<std::uint64_t>(lit);
    }
    return sums;
}

void StripPainter::KeepFlashesInLimit(const Sums& sums, int pixels, bool limit, long long nowMs,
                                      StripBuffer& out) {
    const auto& linear = Linear().values;
    const double scale = kLinearUnit * pixels;
    const double means[3] = {static_cast<double>(sums[0]) / scale,
                             static_cast<double>(sums[1]) / scale,
                             static_cast<double>(sums[2]) / scale};
    const ColourLevels mean{LevelOf(means[0]), LevelOf(means[1]), LevelOf(means[2])};
    if (!limit) {
        limiter_.Shown(mean, nowMs);
        return;
    }
    const ColourLevels limited = limiter_.Limit(mean, nowMs);
    const int wanted[3] = {mean.red, mean.green, mean.blue};
    const int allowed[3] = {limited.red, limited.green, limited.blue};
    for (int c = 0; c < 3; ++c) {
        if (wanted[c] == allowed[c]) {
            continue;
        }
        // One curve for the channel, keeping order between pixels: darker
        // scales every pixel down, brighter scales every pixel's headroom
        // down, so both move the mean to the target and none leaves 0..1.
        // (A mean that rounds to another level than the target lies on the
        // right side of it, so neither divides by 0.)
        const double target = linear[static_cast<std::size_t>(allowed[c])];
        const double from = means[c];
        std::array<std::uint8_t, 256> curve{};
        for (std::size_t v = 0; v < curve.size(); ++v) {
            const double x = linear[v];
            curve[v] = LevelOf(target < from ? x * (target / from)
                                             : x + (target - from) * (1.0 - x) / (1.0 - from));
        }
        std::uint8_t* q = out.data() + c;
        for (int i = 0; i < pixels; ++i, q += 3) {
            *q = curve[*q];
        }
    }
}

}  // namespace chromola
