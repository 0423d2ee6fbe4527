// Every streamed format opens through a UTF-16 path, reports its length,
// plays, seeks and frees, and so does a tracker module. The player tries a
// file as a stream first and then as a tracker module, so each call must
// turn the other kind away with FILEFORM, whatever the file's name says.
#include <algorithm>
#include <tuple>

#include "bass_test.h"

// name, format, rate, channels, how far the length may be off (lossy encoders pad)
using FormatCase = std::tuple<const char*, AudioFormat, int, int, double>;
class StreamFormatTest : public BassTest, public ::testing::WithParamInterface<FormatCase> {};

TEST_P(StreamFormatTest, OpensPlaysSeeksAndFrees) {
    const auto& [name, format, rate, channels, lengthTolerance] = GetParam();
    const auto path = file("Мелодия ♪ " + std::string(name) + ".mod");
    if (!writeTone(path, format,
                   {.frequency = 1000, .rate = rate, .channels = channels, .seconds = 2}))
        GTEST_SKIP() << "no encoder for " << name;
    EXPECT_EQ(errorOf(openMusic(path), 0), BASS_ERROR_FILEFORM);
    DWORD h = openStream(path);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();

    // Length in 16-bit frames of the file's own layout.
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_EQ(length % (2u * channels), 0u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, length), 2.0, lengthTolerance);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), 2u * channels * rate);

    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.05; }));
    seekSeconds(h, 1.0);
    EXPECT_NEAR(positionSeconds(h), 1.0, 0.05);
    // The tone is where it should be in the spectrum.
    const std::vector<float> s = spectrum(h);
    const auto peak = std::max_element(s.begin() + 1, s.begin() + 1024) - s.begin();
    EXPECT_NEAR(static_cast<double>(peak), 1000.0 * 2048 / rate, 1.0);

    EXPECT_TRUE(BASS_StreamFree(h));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, StreamFormatTest,
    ::testing::Values(FormatCase("WavStereo", AudioFormat::Wav, 44100, 2, 1e-9),
                      FormatCase("WavMono22k", AudioFormat::Wav, 22050, 1, 1e-9),
                      FormatCase("Aiff", AudioFormat::Aiff, 48000, 2, 1e-9),
                      FormatCase("Flac", AudioFormat::Flac, 44100, 2, 1e-9),
                      FormatCase("OggVorbis", AudioFormat::OggVorbis, 44100, 2, 0.01),
                      FormatCase("OggOpus", AudioFormat::OggOpus, 48000, 2, 0.03),
                      FormatCase("Mp3", AudioFormat::Mp3, 44100, 2, 0.06),
                      FormatCase("Mp3Mono", AudioFormat::Mp3, 32000, 1, 0.06),
                      FormatCase("Mp2", AudioFormat::Mp2, 44100, 2, 0.06)),
    [](const auto& info) { return std::string(std::get<0>(info.param)); });

class ModuleTest : public BassTest {};

// Stereo 16-bit at the output rate, one pass of the song unless it loops,
// as the player's modules do; freed as music only.
TEST_F(ModuleTest, ModuleIsRefusedAsStreamAndPlaysAsMusic) {
    const ModuleSpec song{1, 2};  // 2.56 s
    ASSERT_TRUE(writeProTrackerModule(file("song.wav"), song));
    EXPECT_EQ(errorOf(openStream(file("song.wav")), 0), BASS_ERROR_FILEFORM);
    const DWORD h = openMusic(file("song.wav"));
    const DWORD once = openMusic(file("song.wav"), BASS_MUSIC_RAMP);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_EQ(length % 4, 0u);
    EXPECT_NEAR(BASS_ChannelBytes2Seconds(h, length), moduleSeconds(song), 0.05);
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), 44100u * 4);

    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(BASS_ChannelPlay(once, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.2; }));
    const std::vector<float> s = spectrum(h);
    EXPECT_GT(*std::max_element(s.begin() + 1, s.begin() + 1024), 0.01f) << "silent";
    seekSeconds(h, 1.0);
    EXPECT_NEAR(positionSeconds(h), 1.0, 0.05);
    // By the time the other one has ended, the sought one is well past its
    // end: round again.
    EXPECT_TRUE(ends(once));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
    EXPECT_LT(positionSeconds(h), moduleSeconds(song));

    EXPECT_EQ(errorOf(BASS_StreamFree(h), FALSE), BASS_ERROR_HANDLE);
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
    EXPECT_TRUE(BASS_MusicFree(h));
    EXPECT_EQ(BASS_ChannelIsActive(h), kStopped);
}

// A decoding module tells where its song is and how fast it goes, as of the
// last frame read: read a few frames at a time, every row in turn, and the
// tempo that its first row sets from that row's second tick on. Only a
// decoding module does: a playing one, or a stream, has none to tell.
TEST_F(ModuleTest, DecodingModuleTellsItsRowsSpeedAndTempo) {
    ASSERT_TRUE(writeProTrackerModule(file("song.mod"), {.speed = 5, .patterns = 2, .tempo = 137}));
    const DWORD h = openMusic(file("song.mod"), BASS_MUSIC_DECODE | BASS_SAMPLE_FLOAT);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    std::vector<QWORD> places;
    float block[2 * 32], speed = 0, tempo = 0;
    while (BASS_ChannelGetData(h, block, sizeof block) != static_cast<DWORD>(-1)) {
        const QWORD place = BASS_ChannelGetPosition(h, BASS_POS_MUSIC_ORDER);
        if (!places.empty() && place == places.back())
            continue;
        places.push_back(place);
        ASSERT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MUSIC_SPEED, &speed));
        ASSERT_TRUE(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MUSIC_BPM, &tempo));
        EXPECT_EQ(speed, 5.0f);
        EXPECT_EQ(tempo, places.size() == 1 ? 125.0f : 137.0f) << "row " << places.size() - 1;
    }
    ASSERT_EQ(places.size(), 129u);  // and the song's start again, once it is over
    for (QWORD i = 0; i < 129; ++i)
        EXPECT_EQ(places[i], i == 128 ? 0 : (i % 64) << 16 | i / 64);
    EXPECT_EQ(errorOf(BASS_ChannelGetAttribute(h, 0x105, &tempo), FALSE), BASS_ERROR_ILLTYPE);
    EXPECT_TRUE(BASS_MusicFree(h));

    const DWORD playing = openMusic(file("song.mod"));
    const DWORD stream = BASS_StreamCreateFile(FALSE, tone("a.wav").u16string().c_str(), 0, 0,
                                               BASS_STREAM_DECODE | BASS_UNICODE);
    for (DWORD other : {playing, stream}) {
        EXPECT_EQ(errorOf(BASS_ChannelGetAttribute(other, BASS_ATTRIB_MUSIC_BPM, &tempo), FALSE),
                  BASS_ERROR_NOTAVAIL);
        EXPECT_EQ(errorOf(BASS_ChannelGetPosition(other, BASS_POS_MUSIC_ORDER), kFailed),
                  BASS_ERROR_NOTAVAIL);
    }
    EXPECT_TRUE(BASS_MusicFree(playing));
    EXPECT_TRUE(BASS_StreamFree(stream));
}

// A decoding channel hands over every frame of the file, in order, as fast
// as it is read and without the output: mono floats when asked, the file's
// own 16-bit frames otherwise; it cannot be played, and it ends once read.
TEST_F(BassTest, DecodingChannelGivesEveryFrameOnceAndEnds) {
    const auto path = file("left.wav");
    const Tone tone{.frequency = 1000, .amplitude = 0.5, .seconds = 1.5, .leftOnly = true};
    ASSERT_TRUE(writeTone(path, AudioFormat::Wav, tone));
    const DWORD flags = BASS_STREAM_DECODE | BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO | BASS_UNICODE;
    const DWORD h = BASS_StreamCreateFile(FALSE, path.u16string().c_str(), 0, 0, flags);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), 4u * 44100);
    EXPECT_EQ(errorOf(BASS_ChannelPlay(h, FALSE), FALSE), BASS_ERROR_DECODE);
    std::vector<float> mono;
    std::vector<float> block(1000);
    for (DWORD got; (got = BASS_ChannelGetData(h, block.data(), 4000 | BASS_DATA_FLOAT)) !=
                    static_cast<DWORD>(-1);) {
        ASSERT_EQ(got % 4, 0u);
        mono.insert(mono.end(), block.begin(), block.begin() + got / 4);
        ASSERT_LT(mono.size(), 100000u) << "the channel never ends";
    }
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_ENDED);
    EXPECT_EQ(BASS_ChannelIsActive(h), kStopped);
    ASSERT_EQ(mono.size(), 66150u);
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), 4u * 66150);
    // The left channel's tone at half the amplitude: the mean of the two.
    EXPECT_NEAR(*std::max_element(mono.begin(), mono.end()), 0.25, 0.01);

    // From the start again, in the file's layout: the right channel silent.
    ASSERT_TRUE(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE));
    std::vector<int16_t> frames(2 * 512);
    const DWORD stereo = BASS_StreamCreateFile(FALSE, path.u16string().c_str(), 0, 0,
                                               BASS_STREAM_DECODE | BASS_UNICODE);
    ASSERT_EQ(BASS_ChannelGetData(stereo, frames.data(), 4 * 512), 4u * 512);
    EXPECT_EQ(BASS_ChannelGetLength(stereo, BASS_POS_BYTE), 4u * 66150);
    EXPECT_EQ(frames[2 * 5 + 1], 0);
    EXPECT_NEAR(frames[2 * 11], 32767 * samplesOf(tone)[2 * 11], 2);
    EXPECT_EQ(errorOf(BASS_MusicFree(stereo), FALSE), BASS_ERROR_HANDLE);
    EXPECT_TRUE(BASS_StreamFree(stereo));
    EXPECT_TRUE(BASS_StreamFree(h));
}
