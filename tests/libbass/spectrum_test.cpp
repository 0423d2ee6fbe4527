// The FFT the display reads: scale, mono mix, bin frequencies, silence.
// A channel that is positioned but not playing holds still, so its spectrum
// is that of a known window of the file.
#include <algorithm>
#include <cmath>

#include "bass_test.h"

namespace chromola::testing {
namespace {

constexpr double kFullScale = 32767.0 / 32768.0;  // the loudest 16-bit sine

class SpectrumTest : public BassTest, public ::testing::WithParamInterface<DWORD> {
  protected:
    SpectrumTest() : BassTest(GetParam()) {}

    // Opens a tone centred on bin k, 3 s long, positioned at 1 s.
    DWORD toneAtBin(int k, double amplitude, int channels, bool leftOnly) {
        Tone tone;
        tone.rate = static_cast<int>(GetParam());
        tone.frequency = k * tone.rate / 2048.0;
        tone.amplitude = amplitude;
        tone.channels = channels;
        tone.leftOnly = leftOnly;
        tone.seconds = 3.0;
        const auto path = file("bin" + std::to_string(k) + ".wav");
        EXPECT_TRUE(writeTone(path, AudioFormat::Wav, tone));
        DWORD h = openStream(path);
        EXPECT_NE(h, 0u) << "error " << api().ErrorGetCode();
        seekSeconds(h, 1.0);
        return h;
    }
};

TEST_P(SpectrumTest, FullScaleSineAtBinCentreReadsHalf) {
    const int k = 100;
    DWORD h = toneAtBin(k, kFullScale, 1, false);
    std::vector<float> s = spectrum(h);
    EXPECT_NEAR(s[k], 0.5, 0.002);
    // Hann's main lobe: the two neighbours at half, everything else near 0.
    EXPECT_NEAR(s[k - 1], 0.25, 0.002);
    EXPECT_NEAR(s[k + 1], 0.25, 0.002);
    for (int i = 0; i < 1024; ++i) {
        if (std::abs(i - k) > 1) {
            ASSERT_LT(s[i], 1e-3) << "bin " << i;
        }
    }
    EXPECT_EQ(s[1024], -1.0f) << "wrote past 1024 values";
}

TEST_P(SpectrumTest, LeftOnlyToneReadsHalfOfBothChannels) {
    const int k = 40;
    DWORD both = toneAtBin(k, kFullScale, 2, false);
    DWORD left = toneAtBin(k, kFullScale, 2, true);
    const float full = spectrum(both)[k];
    const float half = spectrum(left)[k];
    EXPECT_NEAR(full, 0.5, 0.002);
    EXPECT_NEAR(half, full / 2, 0.002);
}

TEST_P(SpectrumTest, PeakBinMatchesFrequency) {
    for (int k : {5, 64, 300, 900}) {
        DWORD h = toneAtBin(k, 0.5, 2, false);
        std::vector<float> s = spectrum(h);
        auto peak = std::max_element(s.begin() + 1, s.begin() + 1024) - s.begin();
        EXPECT_EQ(peak, k) << "tone at " << k * GetParam() / 2048.0 << " Hz";
        EXPECT_NEAR(s[k], 0.25, 0.002);
    }
}

TEST_P(SpectrumTest, SilenceGivesZeros) {
    ASSERT_TRUE(
        writeSilence(file("silence.wav"), AudioFormat::Wav, static_cast<int>(GetParam()), 2, 1.0));
    DWORD h = openStream(file("silence.wav"));
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    std::vector<float> s = spectrum(h);
    EXPECT_EQ(*std::max_element(s.begin(), s.begin() + 1024), 0.0f);
}

TEST_P(SpectrumTest, FramesPastTheEndCountAsSilence) {
    const int k = 128;
    DWORD h = toneAtBin(k, kFullScale, 1, false);
    // At the last frame only the window's first half is still inside the
    // file (the window is centred on the frame being heard).
    const QWORD length = api().ChannelGetLength(h, BASS_POS_BYTE);
    ASSERT_TRUE(api().ChannelSetPosition(h, length - 2, BASS_POS_BYTE));
    EXPECT_NEAR(spectrum(h)[k], 0.25, 0.01);
}

INSTANTIATE_TEST_SUITE_P(OutputRates, SpectrumTest, ::testing::Values(44100u, 48000u),
                         [](const auto& info) { return std::to_string(info.param); });

}  // namespace
}  // namespace chromola::testing
