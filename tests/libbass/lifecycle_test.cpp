// Initialisation and freeing, configuration, and the error code.
#include <thread>
#include <tuple>

#include "bass_test.h"

namespace chromola::testing {
namespace {

class LifecycleTest : public BassTest {};

// Begins by freeing the fixture's device; TearDown frees the second life.
TEST_F(LifecycleTest, InitAndFreeGuardEveryCallAndCanBeRepeated) {
    EXPECT_EQ(api().GetVersion() >> 16, 0x0204u);
    ASSERT_TRUE(writeTone(file("a.wav"), AudioFormat::Wav, {.amplitude = 0}));
    const std::u16string path = file("a.wav").u16string();
    auto open = [&] { return api().StreamCreateFile(FALSE, path.c_str(), 0, 0, kStreamFlags); };
    ASSERT_TRUE(api().Free());

    EXPECT_FALSE(api().Free());
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(open(), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(api().MusicLoad(FALSE, path.c_str(), 0, 0, kMusicFlags, 1), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_INIT);
    for (int device : {-2, 4096}) {
        EXPECT_FALSE(api().Init(device, 44100, 0, nullptr, nullptr)) << device;
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE) << device;
    }

    ASSERT_TRUE(api().Init(0, 44100, 0, nullptr, nullptr)) << "error " << api().ErrorGetCode();
    EXPECT_FALSE(api().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ALREADY);
    const DWORD h = open();
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    // Free ends every channel; a second life hands out new handles.
    ASSERT_TRUE(api().Free());
    EXPECT_EQ(api().ChannelIsActive(h), kStopped);
    EXPECT_FALSE(api().StreamFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    ASSERT_TRUE(api().Init(0, 48000, 0, nullptr, nullptr));
    const DWORD again = open();
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, h);
}

// The last calls put both volumes back to full for the tests that follow.
TEST_F(LifecycleTest, VolumeOutOfRangeOrUnknownOptionIsRefusedAndSuccessClearsTheCode) {
    const std::tuple<DWORD, DWORD, int> cases[] = {
        {BASS_CONFIG_GVOL_STREAM, 0, BASS_OK},
        {BASS_CONFIG_GVOL_MUSIC, 5000, BASS_OK},
        {BASS_CONFIG_GVOL_STREAM, 10001, BASS_ERROR_ILLPARAM},
        {BASS_CONFIG_GVOL_MUSIC, 0xFFFFFFFF, BASS_ERROR_ILLPARAM},
        {999, 1, BASS_ERROR_ILLTYPE},
        {BASS_CONFIG_GVOL_STREAM, 10000, BASS_OK},
        {BASS_CONFIG_GVOL_MUSIC, 10000, BASS_OK}};
    for (const auto& [option, value, error] : cases) {
        EXPECT_EQ(api().SetConfig(option, value), error == BASS_OK ? TRUE : FALSE)
            << option << " " << value;
        EXPECT_EQ(api().ErrorGetCode(), error) << option << " " << value;
    }
}

TEST_F(LifecycleTest, ErrorCodeBelongsToTheCallingThread) {
    EXPECT_FALSE(api().MusicFree(777));
    int otherThreadCode = -2;
    std::thread([&] {
        api().GetVersion();
        otherThreadCode = api().ErrorGetCode();
    }).join();
    EXPECT_EQ(otherThreadCode, BASS_OK);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
}

}  // namespace
}  // namespace chromola::testing
