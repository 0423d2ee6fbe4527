// Bad files and bad handles give 0 and the right code, never a crash or hang.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include <filesystem>
#include <fstream>

#include "bass_test.h"

namespace chromola::testing {
namespace {

namespace fs = std::filesystem;

class BadInputTest : public BassTest {};

// Everything written on stderr (fd 2) while alive; the player has no console
// and a library that talks there is a defect.
class StderrCapture {
  public:
    explicit StderrCapture(const fs::path& file) : file_(file) {
        std::fflush(stderr);
        saved_ = dup(2);
        int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, 2);
        close(fd);
    }
    ~StderrCapture() { restore(); }
    std::string text() {
        restore();
        std::vector<unsigned char> bytes = readBytes(file_);
        return std::string(bytes.begin(), bytes.end());
    }

  private:
    void restore() {
        if (saved_ < 0)
            return;
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        saved_ = -1;
    }
    fs::path file_;
    int saved_ = -1;
};

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

TEST_F(BadInputTest, DamagedFilesLeaveStderrQuiet) {
    Tone tone;
    tone.seconds = 0.5;
    std::vector<fs::path> damaged;
    for (AudioFormat f : {AudioFormat::Mp3, AudioFormat::Mp2, AudioFormat::OggVorbis}) {
        const auto whole = file("q-whole." + extensionOf(f));
        if (!writeTone(whole, f, tone))
            continue;  // no mp2 encoder
        std::vector<unsigned char> bytes = readBytes(whole);
        // Cut short, and with every 97th byte flipped.
        damaged.push_back(file("q-cut." + extensionOf(f)));
        ASSERT_TRUE(writeTruncatedCopy(whole, damaged.back(), bytes.size() / 2));
        for (std::size_t i = 40; i < bytes.size(); i += 97)
            bytes[i] ^= 0x5A;
        damaged.push_back(file("q-flipped." + extensionOf(f)));
        ASSERT_TRUE(writeBytes(damaged.back(), bytes));
    }
    // MPEG frame sync followed by noise.
    std::vector<unsigned char> sync(4000, 0);
    for (std::size_t i = 0; i < sync.size(); ++i)
        sync[i] = static_cast<unsigned char>(i * 37);
    sync[0] = 0xFF;
    sync[1] = 0xFB;
    damaged.push_back(file("q-sync.mp3"));
    ASSERT_TRUE(writeBytes(damaged.back(), sync));

    StderrCapture capture(file("stderr.txt"));
    for (const fs::path& path : damaged) {
        for (DWORD h : {openStream(path), openMusic(path)}) {
            if (h == 0)
                continue;
            api().ChannelPlay(h, FALSE);
            waitFor([&] { return api().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; },
                    std::chrono::milliseconds(1500));
            api().StreamFree(h);
            api().MusicFree(h);
        }
    }
    EXPECT_EQ(capture.text(), "");
}

TEST(QuietStart, InitWithoutSoundServerSaysNothing) {
    ASSERT_TRUE(bass().error.empty()) << bass().error;
    TempDir dir;
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/chromola-test-socket", 1);
    StderrCapture capture(dir / "stderr.txt");
    const BOOL ok = bass().Init(-1, 192000, 0, nullptr, nullptr);
    const int error = bass().ErrorGetCode();
    if (ok)
        bass().Free();
    const std::string said = capture.text();
    if (old) {
        setenv("PULSE_SERVER", saved.c_str(), 1);
    } else {
        unsetenv("PULSE_SERVER");
    }
    // Either ALSA's default device took over or there is no output at all.
    if (!ok) {
        EXPECT_EQ(error, BASS_ERROR_DEVICE);
    }
    EXPECT_EQ(said, "");
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
