#include "lights/strip_frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace chromola {

namespace {

constexpr int kMaxEffect = kEffectMeter;

// sRGB levels in linear light, as the flash limiter measures them.
struct LinearTable {
    std::array<double, 256> values{};
    LinearTable() {
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double c = static_cast<double>(i) / 255.0;
            values[i] = c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
        }
    }
};

const std::array<double, 256>& Linear() {
    static const LinearTable table;
    return table.values;
}

// The level whose linear light is nearest `value`.
std::uint8_t LevelOf(double value) {
    const auto& linear = Linear();
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

void FillWith(std::uint8_t* out, int pixels, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    for (int i = 0; i < pixels; ++i) {
        out[3 * i] = r;
        out[3 * i + 1] = g;
        out[3 * i + 2] = b;
    }
}

}  // namespace

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

std::span<const std::uint8_t> StripPainter::Paint(const StripInput& input,
                                                  const StripOptions& options) {
    const StripOptions o = options.Clamped();
    const auto bytes = static_cast<std::size_t>(3 * o.pixels);
    switch (o.effect) {
        case kEffectSpectrum:
        case kEffectMirrored:
            MapBands(o.pixels, o.effect);
            PaintSpectrum(input.bands, o.pixels);
            break;
        case kEffectFlow:
            PaintFlow(input.shown, o.pixels);
            break;
        case kEffectMeter:
            PaintMeter(input.shown, o.pixels);
            break;
        default:
            return Fill(input.shown, o.pixels, input.nowMs);
    }
    KeepFlashesInLimit(o.pixels, input.limitFlashes, input.nowMs);
    return {frame_.data(), bytes};
}

std::span<const std::uint8_t> StripPainter::Fill(const ColourLevels& colour, int pixels,
                                                 long long nowMs) {
    const int n = StripOptions{pixels, kEffectOneColour}.Clamped().pixels;
    const ColourLevels c{Byte(colour.red), Byte(colour.green), Byte(colour.blue)};
    FillWith(frame_.data(), n, Byte(c.red), Byte(c.green), Byte(c.blue));
    limiter_.Shown(c, nowMs);
    return {frame_.data(), static_cast<std::size_t>(3 * n)};
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
    if (effect == kEffectSpectrum) {
        for (int i = 0; i < pixels; ++i) {
            bandOf_[static_cast<std::size_t>(i)] = band(i, pixels);
        }
        return;
    }
    // Mirrored: positions count from the middle out; pixel i and pixel
    // N-1-i are the same distance from either end, so the same position.
    const int positions = (pixels + 1) / 2;
    for (int i = 0; i < pixels; ++i) {
        const int fromEnd = std::min(i, pixels - 1 - i);
        bandOf_[static_cast<std::size_t>(i)] = band(positions - 1 - fromEnd, positions);
    }
}

void StripPainter::PaintSpectrum(const BandLevels& bands, int pixels) {
    // Each band's pixel once, then a copy per pixel.
    std::array<std::array<std::uint8_t, 3>, kBandCount> colours{};
    for (int b = 0; b < kBandCount; ++b) {
        colours[static_cast<std::size_t>(b)][static_cast<std::size_t>(BandGroup(b))] =
            bands[static_cast<std::size_t>(b)];
    }
    std::uint8_t* out = frame_.data();
    for (int i = 0; i < pixels; ++i, out += 3) {
        std::memcpy(out, colours[bandOf_[static_cast<std::size_t>(i)]].data(), 3);
    }
}

void StripPainter::PaintFlow(const ColourLevels& colour, int pixels) {
    if (pixels != flowPixels_) {
        flowPixels_ = pixels;
        flowHead_ = 0;
        std::fill(flow_.begin(), flow_.end(), std::uint8_t{0});
    }
    flowHead_ = (flowHead_ + pixels - 1) % pixels;
    for (const int at : {flowHead_, flowHead_ + pixels}) {
        FillWith(flow_.data() + 3 * at, 1, Byte(colour.red), Byte(colour.green), Byte(colour.blue));
    }
    std::memcpy(frame_.data(), flow_.data() + 3 * flowHead_, static_cast<std::size_t>(3 * pixels));
}

void StripPainter::PaintMeter(const ColourLevels& levels, int pixels) {
    std::fill_n(frame_.begin(), 3 * pixels, std::uint8_t{0});
    const int bars[3] = {levels.red, levels.green, levels.blue};
    for (int c = 0; c < 3; ++c) {
        const int first = c * pixels / 3;
        const int length = (c + 1) * pixels / 3 - first;
        const int lit = (std::clamp(bars[c], 0, 255) * length + 127) / 255;
        for (int i = first; i < first + lit; ++i) {
            frame_[static_cast<std::size_t>(3 * i + c)] = 255;
        }
    }
}

void StripPainter::KeepFlashesInLimit(int pixels, bool limit, long long nowMs) {
    const auto& linear = Linear();
    double sums[3] = {0, 0, 0};
    const std::uint8_t* p = frame_.data();
    for (int i = 0; i < pixels; ++i, p += 3) {
        sums[0] += linear[p[0]];
        sums[1] += linear[p[1]];
        sums[2] += linear[p[2]];
    }
    const double means[3] = {sums[0] / pixels, sums[1] / pixels, sums[2] / pixels};
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
        const double target = linear[static_cast<std::size_t>(allowed[c])];
        const double from = means[c];
        std::array<std::uint8_t, 256> curve{};
        for (std::size_t v = 0; v < curve.size(); ++v) {
            const double x = linear[v];
            curve[v] = LevelOf(target < from ? x * (target / from)
                                             : x + (target - from) * (1.0 - x) / (1.0 - from));
        }
        std::uint8_t* q = frame_.data() + c;
        for (int i = 0; i < pixels; ++i, q += 3) {
            *q = curve[*q];
        }
    }
}

}  // namespace chromola
