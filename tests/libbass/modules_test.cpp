// Tracker modules: the player tries a file as a stream first and then as a
// module, so each call must turn the other kind away with FILEFORM, whatever
// the file's name says.
#include <algorithm>

#include "bass_test.h"

namespace chromola::testing {
namespace {

class ModuleTest : public BassTest {};

TEST_F(ModuleTest, ModuleIsRefusedAsStreamAndPlaysAsMusic) {
    const ModuleSpec song{3, 2};
    ASSERT_TRUE(writeProTrackerModule(file("protracker.wav"), song));
    ASSERT_TRUE(writeScreamTrackerModule(file("screamtracker.s3m"), song));
    for (const char* name : {"protracker.wav", "screamtracker.s3m"}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(openStream(file(name)), 0u);
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM);
        DWORD h = openMusic(file(name));
        ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
        // Stereo 16-bit at the output rate, one pass of the song.
        const QWORD length = api().ChannelGetLength(h, BASS_POS_BYTE);
        EXPECT_EQ(length % 4, 0u);
        EXPECT_NEAR(api().ChannelBytes2Seconds(h, length), moduleSeconds(song), 0.05);
        EXPECT_EQ(api().ChannelSeconds2Bytes(h, 1.0), 44100u * 4);

        ASSERT_TRUE(api().ChannelPlay(h, FALSE));
        EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.2; }));
        const std::vector<float> s = spectrum(h);
        EXPECT_GT(*std::max_element(s.begin() + 1, s.begin() + 1024), 0.01f) << "silent";
        seekSeconds(h, 3.0);
        EXPECT_NEAR(positionSeconds(h), 3.0, 0.05);

        EXPECT_FALSE(api().StreamFree(h));
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_EQ(api().ChannelIsActive(h), kPlaying);
        EXPECT_TRUE(api().MusicFree(h));
        EXPECT_EQ(api().ChannelIsActive(h), kStopped);
    }
}

TEST_F(ModuleTest, StreamFileIsRefusedAsMusicAndPlaysAsStream) {
    for (AudioFormat f : {AudioFormat::Wav, AudioFormat::Mp3, AudioFormat::OggVorbis,
                          AudioFormat::Flac, AudioFormat::Aiff}) {
        const auto path = tone(extensionOf(f) + "-named.mod", 0.5, f);
        EXPECT_EQ(openMusic(path), 0u) << extensionOf(f);
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM) << extensionOf(f);
        EXPECT_NE(openStream(path), 0u) << extensionOf(f);
    }
}

TEST_F(ModuleTest, ModuleWithoutLoopEndsAndLoopingOneNeverDoes) {
    const ModuleSpec shortSong{1, 1};  // 1.28 s
    ASSERT_TRUE(writeProTrackerModule(file("short.mod"), shortSong));
    DWORD once = openMusic(file("short.mod"), BASS_MUSIC_RAMP);
    DWORD looping = openMusic(file("short.mod"), BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP);
    ASSERT_TRUE(api().ChannelPlay(once, FALSE));
    ASSERT_TRUE(api().ChannelPlay(looping, FALSE));
    EXPECT_TRUE(ends(once));
    std::this_thread::sleep_for(300ms);  // well past one pass
    EXPECT_EQ(api().ChannelIsActive(looping), kPlaying);
    const double pos = positionSeconds(looping);
    EXPECT_GE(pos, 0.0);
    EXPECT_LT(pos, moduleSeconds(shortSong));
}

}  // namespace
}  // namespace chromola::testing
