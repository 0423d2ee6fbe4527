// Bad files and bad handles give 0 and the right code, never a crash or hang.
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bass_test.h"

namespace chromola::testing {
namespace {

namespace fs = std::filesystem;

class BadInputTest : public BassTest {};

struct BadFile {
    const char* name;
    std::function<bool(const fs::path&, const fs::path& dir)> make;  // false: cannot make it
    int streamError;
    int musicError;
};

std::vector<BadFile> badFiles() {
    return {
        {"Missing", [](const fs::path&, const fs::path&) { return true; }, BASS_ERROR_FILEOPEN,
         BASS_ERROR_FILEOPEN},
        {"Folder", [](const fs::path& p, const fs::path&) { return fs::create_directory(p); },
         BASS_ERROR_FILEOPEN, BASS_ERROR_FILEOPEN},
        {"Fifo", [](const fs::path& p, const fs::path&) { return mkfifo(p.c_str(), 0600) == 0; },
         BASS_ERROR_FILEOPEN, BASS_ERROR_FILEOPEN},
        {"Empty", [](const fs::path& p, const fs::path&) { return writeBytes(p, {}); },
         BASS_ERROR_FILEFORM, BASS_ERROR_FILEFORM},
        {"Garbage", [](const fs::path& p, const fs::path&) { return writeGarbage(p, 65536, 7); },
         BASS_ERROR_FILEFORM, BASS_ERROR_FILEFORM},
        {"Text",
         [](const fs::path& p, const fs::path&) {
             std::ofstream(p) << "This is not music.\nNeither is this line.\n";
             return true;
         },
         BASS_ERROR_FILEFORM, BASS_ERROR_FILEFORM},
        {"WavHeaderCutShort",
         [](const fs::path& p, const fs::path& dir) {
             Tone tone;
             return writeTone(dir / "whole.wav", AudioFormat::Wav, tone) &&
                    writeTruncatedCopy(dir / "whole.wav", p, 20);
         },
         BASS_ERROR_FILEFORM, BASS_ERROR_FILEFORM},
        {"ModuleCutShort",
         [](const fs::path& p, const fs::path& dir) {
             return writeProTrackerModule(dir / "whole.mod") &&
                    writeTruncatedCopy(dir / "whole.mod", p, 600);
         },
         BASS_ERROR_FILEFORM, BASS_ERROR_FILEFORM},
    };
}

TEST_F(BadInputTest, EachBadFileFailsWithItsCode) {
    for (const BadFile& c : badFiles()) {
        const fs::path path = file(std::string("bad-") + c.name);
        ASSERT_TRUE(c.make(path, dir_.path())) << c.name;
        EXPECT_EQ(openStream(path), 0u) << c.name;
        EXPECT_EQ(api().ErrorGetCode(), c.streamError) << c.name;
        EXPECT_EQ(openMusic(path), 0u) << c.name;
        EXPECT_EQ(api().ErrorGetCode(), c.musicError) << c.name;
    }
}

TEST_F(BadInputTest, EmptyAndNullPathsFailWithFileOpen) {
    const char16_t empty[] = u"";
    EXPECT_EQ(api().StreamCreateFile(FALSE, empty, 0, 0, kStreamFlags), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEOPEN);
    EXPECT_EQ(api().MusicLoad(FALSE, nullptr, 0, 0, kMusicFlags, 1), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEOPEN);
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(api().StreamCreateFile(FALSE, loneSurrogate, 0, 0, kStreamFlags), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(BadInputTest, UnreadableFileFailsWithFileOpen) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root reads files whatever their mode";
    Tone tone;
    ASSERT_TRUE(writeTone(file("locked.wav"), AudioFormat::Wav, tone));
    fs::permissions(file("locked.wav"), fs::perms::none);
    EXPECT_EQ(openStream(file("locked.wav")), 0u);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEOPEN);
}

TEST_F(BadInputTest, TruncatedFilesPlayWhatTheyHoldAndEnd) {
    Tone tone;
    tone.seconds = 1.0;
    for (AudioFormat f :
         {AudioFormat::Mp3, AudioFormat::OggVorbis, AudioFormat::Flac, AudioFormat::Wav}) {
        const auto whole = file("whole." + extensionOf(f));
        const auto cut = file("cut." + extensionOf(f));
        ASSERT_TRUE(writeTone(whole, f, tone));
        ASSERT_TRUE(writeTruncatedCopy(whole, cut, fs::file_size(whole) / 3));
        DWORD h = openStream(cut);
        if (h == 0) {
            EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_FILEFORM) << extensionOf(f);
            continue;
        }
        ASSERT_TRUE(api().ChannelPlay(h, FALSE));
        EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }))
            << extensionOf(f) << " never ended";
        EXPECT_TRUE(api().StreamFree(h));
    }
}

TEST_F(BadInputTest, FileDeletedOrTruncatedWhilePlayingEndsCleanly) {
    Tone tone;
    tone.seconds = 0.6;
    ASSERT_TRUE(writeTone(file("deleted.flac"), AudioFormat::Flac, tone));
    tone.seconds = 30;
    ASSERT_TRUE(writeTone(file("shrunk.wav"), AudioFormat::Wav, tone));
    DWORD deleted = openStream(file("deleted.flac"));
    DWORD shrunk = openStream(file("shrunk.wav"));
    ASSERT_NE(deleted, 0u);
    ASSERT_NE(shrunk, 0u);
    ASSERT_TRUE(api().ChannelPlay(deleted, FALSE));
    ASSERT_TRUE(api().ChannelPlay(shrunk, FALSE));
    fs::remove(file("deleted.flac"));
    fs::resize_file(file("shrunk.wav"), 44100 * 4);  // one second left of thirty
    EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(deleted) == BASS_ACTIVE_STOPPED; }));
    EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(shrunk) == BASS_ACTIVE_STOPPED; }));
    EXPECT_LT(positionSeconds(shrunk), 2.0);
}

TEST_F(BadInputTest, BadHandlesFailWithHandleAndTheirFailureValues) {
    for (DWORD h : {0u, 1u, 0xFFFFFFFFu, 424242u}) {
        float buffer[1024];
        EXPECT_FALSE(api().ChannelPlay(h, FALSE));
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
        EXPECT_EQ(api().ChannelGetLength(h, BASS_POS_BYTE), static_cast<QWORD>(-1));
        EXPECT_EQ(api().ChannelGetPosition(h, BASS_POS_BYTE), static_cast<QWORD>(-1));
        EXPECT_LT(api().ChannelBytes2Seconds(h, 1000), 0.0);
        EXPECT_EQ(api().ChannelSeconds2Bytes(h, 1.0), static_cast<QWORD>(-1));
        EXPECT_FALSE(api().ChannelSetPosition(h, 0, BASS_POS_BYTE));
        EXPECT_EQ(api().ChannelGetData(h, buffer, BASS_DATA_FFT2048), static_cast<DWORD>(-1));
        EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
        EXPECT_FALSE(api().StreamFree(h));
        EXPECT_FALSE(api().MusicFree(h));
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    }
}

TEST_F(BadInputTest, DoubleFreeFailsTheSecondTimeAndHarmsNoOtherChannel) {
    Tone tone;
    ASSERT_TRUE(writeTone(file("a.wav"), AudioFormat::Wav, tone));
    DWORD a = openStream(file("a.wav"));
    DWORD b = openStream(file("a.wav"));
    ASSERT_TRUE(api().ChannelPlay(b, FALSE));
    // The player's stop: StreamFree then MusicFree, twice over.
    EXPECT_TRUE(api().StreamFree(a));
    EXPECT_FALSE(api().MusicFree(a));
    EXPECT_FALSE(api().StreamFree(a));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_FALSE(api().MusicFree(a));
    EXPECT_EQ(api().ChannelIsActive(b), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
}

TEST_F(BadInputTest, PositionBeyondTheEndAndUnknownModesAreRefused) {
    Tone tone;
    ASSERT_TRUE(writeTone(file("a.wav"), AudioFormat::Wav, tone));
    DWORD h = openStream(file("a.wav"));
    const QWORD length = api().ChannelGetLength(h, BASS_POS_BYTE);
    EXPECT_FALSE(api().ChannelSetPosition(h, length + 4, BASS_POS_BYTE));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_POSITION);
    EXPECT_FALSE(api().ChannelSetPosition(h, 0, 1));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    float buffer[1024];
    EXPECT_EQ(api().ChannelGetData(h, buffer, 0x80000002), static_cast<DWORD>(-1));
    EXPECT_EQ(api().ChannelSeconds2Bytes(h, -1.0), static_cast<QWORD>(-1));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

}  // namespace
}  // namespace chromola::testing
