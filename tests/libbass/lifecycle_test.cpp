// Initialisation and freeing, configuration, and the error code.
#include <thread>
#include <tuple>

#include "bass_test.h"

class LifecycleTest : public BassTest {};

// Begins by freeing the fixture's device; TearDown frees the second life.
TEST_F(LifecycleTest, InitAndFreeGuardEveryCallAndCanBeRepeated) {
    EXPECT_EQ(BASS_GetVersion() >> 16, 0x0204u);
    ASSERT_TRUE(writeTone(file("a.wav"), AudioFormat::Wav, {.amplitude = 0}));
    const std::u16string path = file("a.wav").u16string();
    auto open = [&] { return BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, kStreamFlags); };
    ASSERT_TRUE(BASS_Free());

    EXPECT_EQ(errorOf(BASS_Free(), FALSE), BASS_ERROR_INIT);
    EXPECT_EQ(errorOf(open(), 0), BASS_ERROR_INIT);
    EXPECT_EQ(errorOf(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, kMusicFlags, 1), 0),
              BASS_ERROR_INIT);
    for (int device : {-2, 4096})
        EXPECT_EQ(errorOf(BASS_Init(device, 44100, 0, nullptr, nullptr), FALSE), BASS_ERROR_DEVICE)
            << device;

    ASSERT_TRUE(BASS_Init(0, 44100, 0, nullptr, nullptr)) << "error " << BASS_ErrorGetCode();
    EXPECT_EQ(errorOf(BASS_Init(0, 44100, 0, nullptr, nullptr), FALSE), BASS_ERROR_ALREADY);
    const DWORD h = open();
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    // Free ends every channel; a second life hands out new handles.
    ASSERT_TRUE(BASS_Free());
    EXPECT_EQ(BASS_ChannelIsActive(h), kStopped);
    EXPECT_EQ(errorOf(BASS_StreamFree(h), FALSE), BASS_ERROR_HANDLE);
    ASSERT_TRUE(BASS_Init(0, 48000, 0, nullptr, nullptr));
    const DWORD again = open();
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, h);
}

// Volumes out of range and unknown options are refused, and success clears
// the code; the last calls put both volumes back to full for the tests that
// follow.
TEST_F(LifecycleTest, VolumeOutOfRangeOrUnknownOptionIsRefusedAndSuccessClearsTheCode) {
    const std::tuple<DWORD, DWORD, int> cases[] = {
        {BASS_CONFIG_GVOL_STREAM, 10001, BASS_ERROR_ILLPARAM},
        {BASS_CONFIG_GVOL_MUSIC, 0xFFFFFFFF, BASS_ERROR_ILLPARAM},
        {999, 1, BASS_ERROR_ILLTYPE},
        {BASS_CONFIG_GVOL_STREAM, 10000, BASS_OK},
        {BASS_CONFIG_GVOL_MUSIC, 10000, BASS_OK}};
    for (const auto& [option, value, error] : cases) {
        EXPECT_EQ(BASS_SetConfig(option, value), error == BASS_OK ? TRUE : FALSE)
            << option << " " << value;
        EXPECT_EQ(BASS_ErrorGetCode(), error) << option << " " << value;
    }
}

TEST_F(LifecycleTest, ErrorCodeBelongsToTheCallingThread) {
    EXPECT_FALSE(BASS_MusicFree(777));
    int otherThreadCode = -2;
    std::thread([&] {
        BASS_GetVersion();
        otherThreadCode = BASS_ErrorGetCode();
    }).join();
    EXPECT_EQ(otherThreadCode, BASS_OK);
    EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_HANDLE);
}
