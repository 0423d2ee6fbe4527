// Tracker modules: the player tries a file as a stream first and then as a
// module, so each call must turn the other kind away with FILEFORM.
#include <algorithm>
#include <cmath>

#include "bass_test.h"

namespace chromola::testing {
namespace {

class ModuleTest : public BassTest {};

TEST_F(ModuleTest, ModuleIsRejectedAsStreamAndLoadsAsMusic) {
    ASSERT_TRUE(writeProTrackerModule(file("song.mod")));
    EXPECT_EQ(openStream(file("song.mod")), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM);

    DWORD h = openMusic(file("song.mod"));
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    // Stereo 16-bit at the output rate, one pass of the song.
    const QWORD length = api().ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_EQ(length % 4, 0u);
    EXPECT_NEAR(seconds(h, length), moduleSeconds({}), 0.05);
    EXPECT_EQ(api().ChannelSeconds2Bytes(h, 1.0), 44100u * 4);

    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.2; }));
    std::vector<float> s = spectrum(h);
    EXPECT_GT(*std::max_element(s.begin() + 1, s.begin() + 1024), 0.01f) << "module is silent";

    seekSeconds(h, 3.0);
    EXPECT_NEAR(positionSeconds(h), 3.0, 0.05);
    EXPECT_FALSE(api().StreamFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
    EXPECT_TRUE(api().MusicFree(h));
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
}

TEST_F(ModuleTest, ScreamTrackerModuleLoadsWithItsLength) {
    ASSERT_TRUE(writeScreamTrackerModule(file("song.s3m"), {3, 2}));
    EXPECT_EQ(openStream(file("song.s3m")), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM);
    DWORD h = openMusic(file("song.s3m"));
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    EXPECT_NEAR(seconds(h, api().ChannelGetLength(h, BASS_POS_BYTE)), moduleSeconds({3, 2}), 0.05);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.2; }));
    std::vector<float> s = spectrum(h);
    EXPECT_GT(*std::max_element(s.begin() + 1, s.begin() + 1024), 0.01f) << "module is silent";
}

TEST_F(ModuleTest, StreamFilesAreRejectedAsMusic) {
    Tone tone;
    tone.seconds = 0.5;
    for (AudioFormat f : {AudioFormat::Wav, AudioFormat::Mp3, AudioFormat::OggVorbis,
                          AudioFormat::Flac, AudioFormat::Aiff}) {
        const auto path = file("tone." + extensionOf(f));
        ASSERT_TRUE(writeTone(path, f, tone));
        EXPECT_EQ(openMusic(path), 0u) << extensionOf(f);
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM) << extensionOf(f);
    }
}

TEST_F(ModuleTest, ModuleWithoutLoopEndsAndLoopingOneNeverDoes) {
    const ModuleSpec shortSong{1, 1};  // 1.28 s
    ASSERT_TRUE(writeProTrackerModule(file("short.mod"), shortSong));
    DWORD once = openMusic(file("short.mod"), BASS_MUSIC_RAMP);
    DWORD looping = openMusic(file("short.mod"), BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP);
    ASSERT_NE(once, 0u);
    ASSERT_NE(looping, 0u);
    ASSERT_TRUE(api().ChannelPlay(once, FALSE));
    ASSERT_TRUE(api().ChannelPlay(looping, FALSE));
    EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(once) == BASS_ACTIVE_STOPPED; }));
    // Well past the end of one pass.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(api().ChannelIsActive(looping), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
    const double pos = positionSeconds(looping);
    EXPECT_GE(pos, 0.0);
    EXPECT_LT(pos, moduleSeconds(shortSong));
}

TEST_F(ModuleTest, ModuleFromMemoryWithoutRamping) {
    ASSERT_TRUE(writeProTrackerModule(file("song.mod")));
    std::vector<unsigned char> bytes = readBytes(file("song.mod"));
    DWORD h = api().MusicLoad(TRUE, bytes.data(), 0, static_cast<DWORD>(bytes.size()), 0, 22050);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    // Rendered at the rate asked for: positions count its frames.
    EXPECT_EQ(api().ChannelSeconds2Bytes(h, 1.0), 22050u * 4);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_TRUE(waitFor([&] { return positionSeconds(h) > 0.1; }));
}

}  // namespace
}  // namespace chromola::testing
