// Strip frames from real spectra (tones and drum loops through the audio
// library's FFT) and the DDP packets that carry them, read back by an
// independent decoder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "display/band_levels.h"
#include "flash_fixtures.h"
#include "lights/ddp_decoder.h"
#include "lights/ddp_packet.h"
#include "lights/strip_frame.h"

namespace chromola::testing {
namespace {

using Pixels = std::vector<std::uint8_t>;

const ColourParams kNeutral{kNeutralBrightness, 0.4f, 0.4f, 0.4f, 0};

BandLevels BandsOf(const Spectrum& spectrum, ColourParams params = kNeutral) {
    return ComputeBandLevels(spectrum, params);
}

Pixels Paint(StripPainter& painter, const StripInput& input, int pixels, int effect) {
    StripBuffer out;
    out.fill(0xee);  // what a painter fails to write shows
    const std::size_t bytes = painter.Paint(input, {pixels, effect}, out);
    return {out.begin(), out.begin() + static_cast<std::ptrdiff_t>(bytes)};
}

int LitPixels(const Pixels& frame, int first, int last) {
    int lit = 0;
    for (int i = first; i < last; ++i) {
        lit += frame[3 * i] + frame[3 * i + 1] + frame[3 * i + 2] > 0 ? 1 : 0;
    }
    return lit;
}

// The per-band levels add up to the three levels the window shows, so the
// strip and the window tell the same story.
TEST(BandLevels, BandsOfEachGroupAddUpToTheWindowsLevel) {
    for (const double frequency : {50.0, 1000.0, 8000.0}) {
        const Spectrum spectrum = SpectraOf(Sine(frequency, -6, 0.5)).back();
        const BandLevels bands = BandsOf(spectrum);
        const ColourLevels levels = ComputeColourLevels(spectrum, kNeutral);
        int sums[3] = {0, 0, 0};
        for (int b = 0; b < kBandCount; ++b) {
            sums[BandGroup(b)] += bands[static_cast<std::size_t>(b)];
        }
        EXPECT_EQ(
            (ColourLevels{std::min(sums[0], 255), std::min(sums[1], 255), std::min(sums[2], 255)}),
            levels)
            << frequency << " Hz";
        ColourParams inverted = kNeutral;
        inverted.invertColours = 1;
        const BandLevels flipped = BandsOf(spectrum, inverted);
        for (int b = 0; b < kBandCount; ++b) {
            EXPECT_EQ(flipped[static_cast<std::size_t>(b)],
                      255 - bands[static_cast<std::size_t>(b)]);
        }
    }
}

TEST(StripFrame, LowToneLightsTheLowEndOnlyAndMirrorsExactly) {
    StripInput input;
    input.bands = BandsOf(SpectraOf(Sine(60, -6, 0.5)).back());
    input.shown = ComputeColourLevels(SpectraOf(Sine(60, -6, 0.5)).back(), kNeutral);
    ASSERT_GT(input.shown.red, 0);
    StripPainter painter;
    for (const int n : {600, 4096, 40}) {
        SCOPED_TRACE(n);
        const Pixels spectrum = Paint(painter, input, n, kEffectSpectrum);
        ASSERT_EQ(spectrum.size(), 3u * n);
        // Red bands (0..14) take the first 15/39 of the strip.
        const int redEnd = n * kFirstGreenBand / kBandCount;
        EXPECT_GT(LitPixels(spectrum, 0, n / 20 + 1), 0);
        EXPECT_EQ(LitPixels(spectrum, redEnd, n), 0);
        for (int i = 0; i < redEnd; ++i) {
            EXPECT_EQ(spectrum[3 * i + 1] + spectrum[3 * i + 2], 0) << "pixel " << i;
        }
    }
    // A beat scene one step on shows the low bands in green, as the window
    // shows its red level.
    input.sceneSteps = 1;
    const Pixels scene = Paint(painter, input, 600, kEffectSpectrum);
    for (int i = 0; i < 600; ++i) {
        ASSERT_EQ(scene[3 * i] + scene[3 * i + 2], 0) << "pixel " << i;
    }
    EXPECT_GT(LitPixels(scene, 0, 30), 0);
    input.sceneSteps = 0;
    for (const int n : {600, 599, 1, 2, 4096}) {
        SCOPED_TRACE(n);
        const Pixels mirrored = Paint(painter, input, n, kEffectMirrored);
        for (int i = 0; i < n; ++i) {
            for (int c = 0; c < 3; ++c) {
                ASSERT_EQ(mirrored[3 * i + c], mirrored[3 * (n - 1 - i) + c]) << i;
            }
        }
        // Lowest in the middle: the ends stay dark, the middle is lit.
        if (n >= 78) {
            EXPECT_GT(LitPixels(mirrored, (n - 1) / 2, n / 2 + 1), 0);
            EXPECT_EQ(LitPixels(mirrored, 0, n / 4) + LitPixels(mirrored, n - n / 4, n), 0);
        }
    }
}

TEST(StripFrame, FlowMovesOnePixelATickAndMeterGrowsFromTheStart) {
    StripPainter painter;
    StripInput input;
    std::vector<Pixels> frames;
    for (int t = 0; t < 12; ++t) {
        input.shown = {10 * t + 1, 5, 200 - t};
        frames.push_back(Paint(painter, input, 8, kEffectFlow));
    }
    for (int t = 0; t < 12; ++t) {
        for (int i = 0; i < 8; ++i) {
            const int from = t - i;  // the tick whose colour pixel i shows
            const Pixels expected = from < 0 ? Pixels{0, 0, 0}
                                             : Pixels{static_cast<std::uint8_t>(10 * from + 1), 5,
                                                      static_cast<std::uint8_t>(200 - from)};
            EXPECT_EQ(Pixels(frames[t].begin() + 3 * i, frames[t].begin() + 3 * i + 3), expected)
                << "tick " << t << " pixel " << i;
        }
    }
    input.shown = {255, 128, 0};
    const Pixels meter = Paint(painter, input, 30, kEffectMeter);
    EXPECT_EQ(LitPixels(meter, 0, 10), 10);
    EXPECT_EQ(LitPixels(meter, 10, 15), 5);
    EXPECT_EQ(LitPixels(meter, 15, 30), 0);
    EXPECT_EQ(meter[3 * 10 + 1], 255);
}

// The strip's mean colour as the eye in the room gets it: linear light
// averaged over the pixels, back to the nearest level.
ColourLevels MeanColour(const Pixels& frame) {
    const auto linear = [](int v) {
        const double c = v / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const auto level = [](double l) {
        const double c = l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
        return static_cast<int>(std::lround(c * 255));
    };
    double sums[3] = {0, 0, 0};
    const std::size_t n = frame.size() / 3;
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            sums[c] += linear(frame[3 * i + c]);
        }
    }
    return {level(sums[0] / n), level(sums[1] / n), level(sums[2] / n)};
}

// Every band at full and at 0 by turns (a band alone stays far below its
// group's level on music, so no music makes a spectrum strip flash), drum
// loops on the meter, and white and black by turns of five ticks flowing
// along five pixels, whose mean rises and falls six times a second.
TEST(StripFrame, StripAsAWholeShowsNoMoreThanThreeFlashesASecond) {
    const ColourParams brightest{kBrightest, 0.4f, 0.4f, 0.4f, 0};
    std::vector<StripInput> strobe;
    std::vector<StripInput> waves;
    for (int t = 0; t < 240; ++t) {
        StripInput input;
        input.bands.fill(t % 2 == 0 ? 255 : 0);
        strobe.push_back(input);
        const int level = t / 5 % 2 == 0 ? 255 : 0;
        input.shown = {level, level, level};
        waves.push_back(input);
    }
    std::vector<StripInput> drums;
    for (const Spectrum& spectrum : SpectraOf(DrumLoop(174, 4))) {
        drums.push_back({BandsOf(spectrum, brightest), ComputeColourLevels(spectrum, brightest)});
    }
    struct Case {
        int effect;
        int pixels;
        const std::vector<StripInput>& inputs;
    };
    for (const Case& c : {Case{kEffectSpectrum, 300, strobe}, Case{kEffectMeter, 300, drums},
                          Case{kEffectFlow, 5, waves}}) {
        SCOPED_TRACE(c.effect);
        std::vector<ColourLevels> unlimited;
        std::vector<ColourLevels> limited;
        StripPainter free;
        StripPainter held;
        long long now = 1000;
        for (StripInput input : c.inputs) {
            input.nowMs = now;
            unlimited.push_back(MeanColour(Paint(free, input, c.pixels, c.effect)));
            input.limitFlashes = true;
            limited.push_back(MeanColour(Paint(held, input, c.pixels, c.effect)));
            now += kFlashTickMs;
        }
        const FlashCount before = MostTransitionsInASecond(unlimited);
        EXPECT_GT(std::max(before.general, before.red), 6) << "or the input does not flash";
        const FlashCount after = MostTransitionsInASecond(limited);
        EXPECT_LE(std::max(after.general, after.red), 6);
    }
}

TEST(DdpPacket, SixHundredPixelsMakeTwoPacketsThatADecoderReassembles) {
    Pixels frame(3 * 600);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        frame[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    DdpPackets<3 * kMaxStripPixels> packets;
    DdpSequence sequence;
    DdpDisplay display(frame.size());
    for (int f = 0; f < 20; ++f) {
        PacketizeDdp(frame, sequence.Next(), packets);
        ASSERT_EQ(packets.count, 2u);
        for (std::size_t p = 0; p < packets.count; ++p) {
            std::string why;
            ASSERT_TRUE(display.Take({packets.packets[p].data(), packets.sizes[p]}, &why)) << why;
        }
    }
    ASSERT_EQ(display.headers.size(), 40u);
    for (std::size_t k = 0; k < display.headers.size(); ++k) {
        const DdpHeader& h = display.headers[k];
        const bool last = k % 2 == 1;
        EXPECT_EQ(h.offset, last ? 1440u : 0u);
        EXPECT_EQ(h.length, last ? 360 : 1440);
        EXPECT_EQ(h.push, last);
        EXPECT_EQ(h.sequence, static_cast<int>(k / 2) % 15 + 1);  // 1..15, then 1 again
    }
    ASSERT_EQ(display.shown.size(), 20u);
    EXPECT_EQ(display.shown.back(), frame);
    // A full strip: nine packets, the last one short.
    const Pixels full(3 * kMaxStripPixels, 9);
    PacketizeDdp(full, sequence.Next(), packets);
    EXPECT_EQ(packets.count, 9u);
    EXPECT_EQ(packets.sizes[8], 10u + 3 * kMaxStripPixels - 8 * 1440);
}

}  // namespace
}  // namespace chromola::testing
