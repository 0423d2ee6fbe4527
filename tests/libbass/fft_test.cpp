// The FFT the display reads: scale, mono mix, bin frequencies, silence, at
// both output rates. A channel that is positioned but not playing holds still,
// so its spectrum is that of a known window of the file.
#include <algorithm>
#include <cmath>

#include "bass_test.h"

constexpr double kFullScale = 32767.0 / 32768.0;  // the loudest 16-bit sine

class SpectrumTest : public BassTest, public ::testing::WithParamInterface<DWORD> {
  protected:
    SpectrumTest() : BassTest(GetParam()) {}

    // A 3 s tone centred on bin k, positioned at 1 s.
    DWORD toneAtBin(int k, double amplitude, int channels, bool leftOnly) {
        const int rate = static_cast<int>(GetParam());
        const auto path = file("bin" + std::to_string(k) + (leftOnly ? "left.wav" : ".wav"));
        EXPECT_TRUE(writeTone(path, AudioFormat::Wav,
                              {k * rate / 2048.0, amplitude, rate, channels, 3.0, leftOnly}));
        DWORD h = openStream(path);
        seekSeconds(h, 1.0);
        return h;
    }
};

// Hann's main lobe: the bin itself, its two neighbours at half, everything
// else near 0. Stereo is mixed to mono, so a tone in one channel reads half.
TEST_P(SpectrumTest, SineAtBinCentreReadsHalfItsAmplitudeInThatBinOnly) {
    const struct {
        int bin;
        double amplitude;
        int channels;
        bool leftOnly;
        double expected;
    } cases[] = {{100, kFullScale, 1, false, 0.5}, {40, kFullScale, 2, false, 0.5},
                 {40, kFullScale, 2, true, 0.25},  {5, 0.5, 2, false, 0.25},
                 {300, 0.5, 2, false, 0.25},       {900, 0.5, 2, false, 0.25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "bin " << c.bin << (c.leftOnly ? ", left only" : ""));
        const std::vector<float> s =
            spectrum(toneAtBin(c.bin, c.amplitude, c.channels, c.leftOnly));
        EXPECT_NEAR(s[c.bin], c.expected, 0.002);
        EXPECT_NEAR(s[c.bin - 1], c.expected / 2, 0.002);
        EXPECT_NEAR(s[c.bin + 1], c.expected / 2, 0.002);
        for (int i = 0; i < 1024; ++i)
            ASSERT_TRUE(std::abs(i - c.bin) <= 1 || s[i] < 1e-3) << "bin " << i << ": " << s[i];
        EXPECT_EQ(s[1024], -1.0f) << "wrote past 1024 values";
    }
}

// Silence reads exactly 0. The window is centred on the frame being heard:
// at the last frame only its first half is still inside the file, and the
// frames past the end count as silence.
TEST_P(SpectrumTest, SilenceAndFramesPastTheEndReadAsSilence) {
    const std::vector<float> silent = spectrum(toneAtBin(100, 0, 2, false));
    EXPECT_EQ(*std::max_element(silent.begin(), silent.begin() + 1024), 0.0f);
    DWORD h = toneAtBin(128, kFullScale, 1, false);
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    ASSERT_TRUE(BASS_ChannelSetPosition(h, length - 2, BASS_POS_BYTE));
    EXPECT_NEAR(spectrum(h)[128], 0.25, 0.01);
}

INSTANTIATE_TEST_SUITE_P(OutputRates, SpectrumTest, ::testing::Values(44100u, 48000u),
                         [](const auto& info) { return std::to_string(info.param); });
