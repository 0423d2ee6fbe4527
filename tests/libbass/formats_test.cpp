// Every streamed format opens, reports its length, plays, seeks and frees.
#include <algorithm>
#include <cmath>

#include "bass_test.h"

namespace chromola::testing {
namespace {

struct FormatCase {
    const char* name;
    AudioFormat format;
    int rate;
    int channels;
    double lengthTolerance;  // seconds: lossy encoders pad
};

std::ostream& operator<<(std::ostream& os, const FormatCase& c) {
    return os << c.name;
}

class StreamFormatTest : public BassTest, public ::testing::WithParamInterface<FormatCase> {};

// Index of the largest magnitude above DC.
std::size_t peakBin(const std::vector<float>& s) {
    return static_cast<std::size_t>(std::max_element(s.begin() + 1, s.begin() + 1024) - s.begin());
}

TEST_P(StreamFormatTest, OpensPlaysSeeksAndFrees) {
    const FormatCase& c = GetParam();
    Tone tone;
    tone.frequency = 1000.0;
    tone.rate = c.rate;
    tone.channels = c.channels;
    tone.seconds = 2.0;
    const auto path = file(std::string("tone.") + extensionOf(c.format));
    if (!writeTone(path, c.format, tone))
        GTEST_SKIP() << "no encoder for " << c.name;

    DWORD h = openStream(path);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();

    // Length in 16-bit frames of the file's own layout.
    const QWORD length = api().ChannelGetLength(h, BASS_POS_BYTE);
    ASSERT_NE(length, static_cast<QWORD>(-1));
    EXPECT_EQ(length % (2u * static_cast<unsigned>(c.channels)), 0u);
    EXPECT_NEAR(seconds(h, length), 2.0, c.lengthTolerance);
    EXPECT_EQ(api().ChannelSeconds2Bytes(h, 1.0), 2u * c.channels * c.rate);

    // Before playing: position 0, not active.
    EXPECT_EQ(api().ChannelGetPosition(h, BASS_POS_BYTE), 0u);
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));

    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.05; }));

    seekSeconds(h, 1.0);
    EXPECT_NEAR(positionSeconds(h), 1.0, 0.05);

    // The tone is where it should be in the spectrum.
    const double bin = 1000.0 * 2048 / c.rate;
    const auto peak = static_cast<double>(peakBin(spectrum(h)));
    EXPECT_NEAR(peak, bin, 1.0);

    EXPECT_TRUE(api().StreamFree(h));
    EXPECT_FALSE(api().MusicFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StreamFormatTest,
    ::testing::Values(FormatCase{"WavStereo", AudioFormat::Wav, 44100, 2, 1e-9},
                      FormatCase{"WavMono22k", AudioFormat::Wav, 22050, 1, 1e-9},
                      FormatCase{"Aiff", AudioFormat::Aiff, 48000, 2, 1e-9},
                      FormatCase{"Flac", AudioFormat::Flac, 44100, 2, 1e-9},
                      FormatCase{"OggVorbis", AudioFormat::OggVorbis, 44100, 2, 0.01},
                      FormatCase{"OggOpus", AudioFormat::OggOpus, 48000, 2, 0.03},
                      FormatCase{"Mp3", AudioFormat::Mp3, 44100, 2, 0.06},
                      FormatCase{"Mp3Mono", AudioFormat::Mp3, 32000, 1, 0.06},
                      FormatCase{"Mp2", AudioFormat::Mp2, 44100, 2, 0.06}),
    [](const auto& info) { return std::string(info.param.name); });

class FormatDetectionTest : public BassTest {};

TEST_F(FormatDetectionTest, ContentDecidesNotTheExtension) {
    Tone tone;
    ASSERT_TRUE(writeTone(file("wave-named.mp3"), AudioFormat::Wav, tone));
    ASSERT_TRUE(writeProTrackerModule(file("module-named.wav")));
    DWORD stream = openStream(file("wave-named.mp3"));
    EXPECT_NE(stream, 0u) << "error " << api().ErrorGetCode();
    EXPECT_EQ(api().ChannelGetLength(stream, BASS_POS_BYTE), 44100u * 4);
    EXPECT_EQ(openStream(file("module-named.wav")), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM);
    EXPECT_NE(openMusic(file("module-named.wav")), 0u);
}

TEST_F(FormatDetectionTest, Utf8PathWithoutUnicodeFlagAndNonAsciiNames) {
    Tone tone;
    const auto path = file("Мелодия ♪.wav");
    ASSERT_TRUE(writeTone(path, AudioFormat::Wav, tone));
    DWORD a = api().StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_SAMPLE_SOFTWARE);
    EXPECT_NE(a, 0u) << "error " << api().ErrorGetCode();
    DWORD b = openStream(path);
    EXPECT_NE(b, 0u) << "error " << api().ErrorGetCode();
}

TEST_F(FormatDetectionTest, StreamFromMemoryIsCopied) {
    Tone tone;
    ASSERT_TRUE(writeTone(file("a.flac"), AudioFormat::Flac, tone));
    std::vector<unsigned char> bytes = readBytes(file("a.flac"));
    DWORD h = api().StreamCreateFile(TRUE, bytes.data(), 0, bytes.size(), 0);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    std::fill(bytes.begin(), bytes.end(), 0);  // the library must not depend on it any more
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.05; }));
    EXPECT_EQ(api().ChannelGetLength(h, BASS_POS_BYTE), 44100u * 4);
}

}  // namespace
}  // namespace chromola::testing
