// Initialisation, configuration, error codes and handles.
#include <thread>

#include "bass_test.h"

namespace chromola::testing {
namespace {

class LifecycleTest : public BassTest {};

TEST(LibraryLoad, ExportsVersionTwoPointFour) {
    ASSERT_TRUE(bass().error.empty()) << bass().error;
    EXPECT_EQ(bass().GetVersion() >> 16, 0x0204u);
}

TEST(LibraryLoad, CallsBeforeInitFailWithInit) {
    ASSERT_TRUE(bass().error.empty()) << bass().error;
    EXPECT_FALSE(bass().Free());
    EXPECT_EQ(bass().ErrorGetCode(), BASS_ERROR_INIT);
    TempDir dir;
    ASSERT_TRUE(writeSilence(dir / "a.wav", AudioFormat::Wav, 44100, 1, 0.1));
    std::u16string path = utf16((dir / "a.wav").string());
    EXPECT_EQ(bass().StreamCreateFile(FALSE, path.c_str(), 0, 0, kStreamFlags), 0u);
    EXPECT_EQ(bass().ErrorGetCode(), BASS_ERROR_INIT);
    EXPECT_EQ(bass().MusicLoad(FALSE, path.c_str(), 0, 0, kMusicFlags, 1), 0u);
    EXPECT_EQ(bass().ErrorGetCode(), BASS_ERROR_INIT);
}

TEST(LibraryLoad, DeviceThatDoesNotExistFailsWithDevice) {
    ASSERT_TRUE(bass().error.empty()) << bass().error;
    for (int device : {-2, 4096}) {
        EXPECT_FALSE(bass().Init(device, 44100, 0, nullptr, nullptr)) << device;
        EXPECT_EQ(bass().ErrorGetCode(), BASS_ERROR_DEVICE) << device;
    }
}

TEST_F(LifecycleTest, SecondInitFailsWithAlready) {
    EXPECT_FALSE(api().Init(0, 44100, 0, nullptr, nullptr));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ALREADY);
}

TEST_F(LifecycleTest, SuccessfulCallClearsTheErrorCode) {
    EXPECT_FALSE(api().StreamFree(12345));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_TRUE(api().SetConfig(BASS_CONFIG_GVOL_STREAM, 10000));
    EXPECT_EQ(api().ErrorGetCode(), BASS_OK);
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

TEST_F(LifecycleTest, VolumeConfigRejectsOutOfRangeAndUnknownOptions) {
    struct Case {
        DWORD option, value;
        BOOL ok;
        int error;
    };
    const Case cases[] = {
        {BASS_CONFIG_GVOL_STREAM, 0, TRUE, BASS_OK},
        {BASS_CONFIG_GVOL_STREAM, 10000, TRUE, BASS_OK},
        {BASS_CONFIG_GVOL_MUSIC, 5000, TRUE, BASS_OK},
        {BASS_CONFIG_GVOL_STREAM, 10001, FALSE, BASS_ERROR_ILLPARAM},
        {BASS_CONFIG_GVOL_MUSIC, 0xFFFFFFFF, FALSE, BASS_ERROR_ILLPARAM},
        {999, 1, FALSE, BASS_ERROR_ILLTYPE},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(api().SetConfig(c.option, c.value), c.ok) << c.option << " " << c.value;
        EXPECT_EQ(api().ErrorGetCode(), c.error) << c.option << " " << c.value;
    }
    api().SetConfig(BASS_CONFIG_GVOL_STREAM, 10000);
    api().SetConfig(BASS_CONFIG_GVOL_MUSIC, 10000);
}

TEST_F(LifecycleTest, FreedHandleIsNeverHandedOutAgain) {
    ASSERT_TRUE(writeSilence(file("a.wav"), AudioFormat::Wav, 44100, 2, 0.2));
    DWORD first = openStream(file("a.wav"));
    ASSERT_NE(first, 0u);
    ASSERT_TRUE(api().StreamFree(first));
    for (int i = 0; i < 5; ++i) {
        DWORD next = openStream(file("a.wav"));
        ASSERT_NE(next, 0u);
        EXPECT_NE(next, first);
        ASSERT_TRUE(api().StreamFree(next));
    }
    EXPECT_EQ(api().ChannelIsActive(first), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
    EXPECT_EQ(api().ChannelGetLength(first, BASS_POS_BYTE), static_cast<QWORD>(-1));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
}

TEST_F(LifecycleTest, FreeReleasesEveryChannelAndAllowsInitAgain) {
    ASSERT_TRUE(writeSilence(file("a.wav"), AudioFormat::Wav, 44100, 2, 1.0));
    DWORD h = openStream(file("a.wav"));
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    ASSERT_TRUE(api().Free());
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
    EXPECT_FALSE(api().StreamFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    ASSERT_TRUE(api().Init(0, 48000, 0, nullptr, nullptr));
    DWORD again = openStream(file("a.wav"));
    EXPECT_NE(again, 0u);
    EXPECT_NE(again, h);
}

}  // namespace
}  // namespace chromola::testing
