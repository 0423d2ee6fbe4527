// Bad files and bad handles give 0 and the right code, never a crash, a hang
// or a word on stderr.
#include <sys/stat.h>

#include <map>
#include <random>

#include "bass_test.h"

class BadInputTest : public BassTest {};

// Missing and not-a-file paths, and empty, null or malformed path strings,
// give FILEOPEN; what opens but is no music, FILEFORM.
TEST_F(BadInputTest, EachBadFileIsRefusedByBothCallsWithItsCode) {
    ASSERT_TRUE(fs::create_directory(file("folder")));
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    ASSERT_TRUE(writeBytes(file("empty"), {}));
    std::vector<unsigned char> garbage(65536);
    std::generate(garbage.begin(), garbage.end(), std::mt19937(7));
    ASSERT_TRUE(writeBytes(file("garbage"), garbage));
    const auto wav = readBytes(tone("whole.wav"));
    ASSERT_TRUE(writeBytes(file("wav-header-cut-short"), {wav.begin(), wav.begin() + 20}));
    ASSERT_TRUE(writeProTrackerModule(file("whole.mod")));
    const auto mod = readBytes(file("whole.mod"));
    ASSERT_TRUE(writeBytes(file("module-cut-short"), {mod.begin(), mod.begin() + 600}));
    const std::map<int, std::vector<std::string>> cases = {
        {BASS_ERROR_FILEOPEN, {"missing", "folder", "fifo"}},
        {BASS_ERROR_FILEFORM, {"empty", "garbage", "wav-header-cut-short", "module-cut-short"}}};
    const auto refused = [&](const char16_t* path, int code) {
        EXPECT_EQ(errorOf(BASS_StreamCreateFile(FALSE, path, 0, 0, kStreamFlags), 0), code);
        EXPECT_EQ(errorOf(BASS_MusicLoad(FALSE, path, 0, 0, kMusicFlags, 1), 0), code);
    };
    for (const auto& [code, names] : cases) {
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            refused(file(name).u16string().c_str(), code);
        }
    }
    const char16_t loneSurrogate[] = {u'a', 0xD800, u'b', 0};
    for (const char16_t* path : {u"", loneSurrogate, static_cast<const char16_t*>(nullptr)})
        refused(path, BASS_ERROR_FILEOPEN);
}

// Files cut short or with every 97th byte flipped, an MPEG frame sync
// followed by noise, and files deleted or shrunk while they play: each is
// refused with FILEFORM or plays what it holds and ends, without a word.
TEST_F(BadInputTest, DamagedFilesEndQuietly) {
    std::vector<fs::path> damaged;
    for (AudioFormat f : {AudioFormat::Mp3, AudioFormat::Mp2, AudioFormat::OggVorbis,
                          AudioFormat::Flac, AudioFormat::Wav}) {
        std::vector<unsigned char> bytes = readBytes(tone("whole." + extensionOf(f), 0.5, f));
        if (bytes.empty())
            continue;  // no mp2 encoder
        damaged.push_back(file("cut." + extensionOf(f)));
        ASSERT_TRUE(writeBytes(damaged.back(), {bytes.begin(), bytes.begin() + bytes.size() / 3}));
        for (std::size_t i = 40; i < bytes.size(); i += 97)
            bytes[i] ^= 0x5A;
        damaged.push_back(file("flipped." + extensionOf(f)));
        ASSERT_TRUE(writeBytes(damaged.back(), bytes));
    }
    std::vector<unsigned char> sync = {0xFF, 0xFB};
    for (int i = 2; i < 4000; ++i)
        sync.push_back(static_cast<unsigned char>(i * 37));
    damaged.push_back(file("sync.mp3"));
    ASSERT_TRUE(writeBytes(damaged.back(), sync));
    const DWORD deleted = openStream(tone("deleted.flac", 0.6, AudioFormat::Flac));
    const DWORD shrunk = openStream(tone("shrunk.wav", 30));
    CaptureStderr();
    EXPECT_TRUE(BASS_ChannelPlay(deleted, FALSE));
    EXPECT_TRUE(BASS_ChannelPlay(shrunk, FALSE));
    fs::remove(file("deleted.flac"));
    fs::resize_file(file("shrunk.wav"), 44100 * 4);  // one second left of thirty
    for (const fs::path& path : damaged) {
        EXPECT_EQ(openMusic(path), 0u) << path;
        const DWORD h = openStream(path);
        if (h == 0) {
            EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEFORM) << path;
            continue;
        }
        EXPECT_TRUE(BASS_ChannelPlay(h, FALSE)) << path;
        EXPECT_TRUE(ends(h)) << path << " never ended";
        EXPECT_TRUE(BASS_StreamFree(h));
    }
    EXPECT_TRUE(ends(deleted));
    EXPECT_TRUE(ends(shrunk));
    EXPECT_LT(positionSeconds(shrunk), 2.0);
    EXPECT_EQ(GetCapturedStderr(), "");
}

// Zero, never issued and freed handles (freeing again as the player's stop
// does: StreamFree, then MusicFree) give the failure value and HANDLE from
// every call and harm no channel that is playing; a freed handle is never
// handed out again. Positions beyond the end and unknown modes are refused.
TEST_F(BadInputTest, BadHandlesAndArgumentsFailWithTheirCodesAndFailureValues) {
    // Long enough to be playing still at the end on a slow sanitizer build.
    const auto path = tone("a.wav", 10);
    const DWORD freed = openStream(path);
    const DWORD playing = openStream(path);
    ASSERT_TRUE(BASS_ChannelPlay(playing, FALSE));
    ASSERT_TRUE(BASS_StreamFree(freed));
    for (int i = 0; i < 5; ++i)
        EXPECT_NE(openStream(path), freed) << "a freed handle was handed out again";
    float buffer[1024];
    for (DWORD h : {0u, 1u, 0xFFFFFFFFu, 424242u, freed}) {
        SCOPED_TRACE(h);
        EXPECT_EQ(errorOf(BASS_ChannelPlay(h, FALSE), FALSE), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_ChannelGetLength(h, BASS_POS_BYTE), kFailed), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_ChannelGetPosition(h, BASS_POS_BYTE), kFailed), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_ChannelGetAttribute(h, BASS_ATTRIB_MUSIC_SPEED, buffer), FALSE),
                  BASS_ERROR_HANDLE);
        EXPECT_LT(BASS_ChannelBytes2Seconds(h, 1000), 0.0);
        EXPECT_EQ(errorOf(BASS_ChannelSeconds2Bytes(h, 1.0), kFailed), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE), FALSE), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_ChannelGetData(h, buffer, BASS_DATA_FFT2048), -1),
                  BASS_ERROR_HANDLE);
        EXPECT_EQ(BASS_ChannelIsActive(h), kStopped);
        EXPECT_EQ(errorOf(BASS_StreamFree(h), FALSE), BASS_ERROR_HANDLE);
        EXPECT_EQ(errorOf(BASS_MusicFree(h), FALSE), BASS_ERROR_HANDLE);
    }
    EXPECT_EQ(BASS_ChannelIsActive(playing), kPlaying);
    const QWORD length = BASS_ChannelGetLength(playing, BASS_POS_BYTE);
    EXPECT_EQ(errorOf(BASS_ChannelSetPosition(playing, length + 4, BASS_POS_BYTE), FALSE),
              BASS_ERROR_POSITION);
    EXPECT_EQ(errorOf(BASS_ChannelSetPosition(playing, 0, 1), FALSE), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(BASS_ChannelGetData(playing, buffer, 0x80000002), static_cast<DWORD>(-1));
    EXPECT_EQ(errorOf(BASS_ChannelSeconds2Bytes(playing, -1.0), kFailed), BASS_ERROR_ILLPARAM);
}
