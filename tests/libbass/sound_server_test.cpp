// Output and live capture through sound servers of the test's own, and
// through none or one that does not answer. The capture tests' server has
// three null sinks as outputs ("speakers", the default; "headphones";
// "micsink") and a remapped monitor of micsink as the default input ("mic"),
// each sink playing its own tone through paplay.
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cmath>

#include "bass_test.h"

// libpulse is built without the thread sanitizer, which therefore cannot see
// how its mutexes pass between the server connection's threads, nor how its
// lock-free free lists hand memory from one connection's thread to another's
// (the output's and a capture's); every test that reaches the sound server
// (any device but 0, any capture) can trip over that.
extern "C" const char* __tsan_default_suppressions() {
    return "race:pa_mutex_lock\nrace:pa_packet_new_data\nrace:pa_srbchannel_read\n"
           "race:pa_iochannel_read_with_ancil_data\n";
}

// Points the library at other sound servers: one that does not answer, or
// one of the test's own (PulseAudio) with its runtime folder in the test's,
// which a test stops and starts again as desktops restart theirs. Every test
// that reaches a server points at its own, so none is put back.
class SoundServerTest : public BassTest {
  protected:
    void TearDown() override {
        BassTest::TearDown();
        stopServer();
    }
    void pointAt(const fs::path& socket) {
        setenv("PULSE_SERVER", ("unix:" + socket.string()).c_str(), 1);
    }
    // `modules`: the -L options after the native protocol's.
    bool startServer(const std::string& modules = "-L 'module-null-sink sink_name=nullsink'") {
        pointAt(file("pulse/native"));
        return sh("pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit "
                  "-L module-native-protocol-unix " +
                  modules) &&
               waitFor([&] { return sh("pactl info"); }, 10s);
    }
    void stopServer() const {
        sh("pulseaudio -k");
        waitFor([&] { return !sh("pulseaudio --check"); }, 10s);
    }
    // A shell command against the server; true when it exits 0.
    bool sh(const std::string& command) const {
        const std::string dir = "'" + dir_.path().string() + "'";
        return std::system(("export XDG_RUNTIME_DIR=" + dir + " HOME=" + dir + "; (" + command +
                            ") >/dev/null 2>&1")
                               .c_str()) == 0;
    }
};

// A server that takes the connection (the kernel completes it) and never
// says a word: a capture, the list of sources and BASS_Init(-1) fail with
// DEVICE after their time-outs, BASS_Init trying no ALSA device that would
// wait on the same server for ever. No hang, and not a word on stderr. (That
// capture fails without any server is checked end to end, through the
// player's message.)
TEST_F(SoundServerTest, ASilentServerFailsInitAndCaptureWithDevice) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{AF_UNIX, {}};
    file("silent").string().copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(fd, 16), 0);
    pointAt(file("silent"));
    ASSERT_TRUE(BASS_Free());
    CaptureStderr();
    alarm(30);  // a hang ends the test here rather than at the run's time-out
    EXPECT_EQ(errorOf(CHROMOLA_CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT), 0),
              BASS_ERROR_DEVICE);
    EXPECT_EQ(errorOf(CHROMOLA_CaptureSources(nullptr, 0), -1), BASS_ERROR_DEVICE);
    EXPECT_EQ(errorOf(BASS_Init(-1, 44100, 0, nullptr, nullptr), FALSE), BASS_ERROR_DEVICE);
    alarm(0);
    EXPECT_EQ(GetCapturedStderr(), "");
    close(fd);
}

// Frees the fixture's "no sound" device for the default sink of a server of
// the test's own, wishing for a rate the null sink does not have: the stream
// takes the sink's, and positions still follow the clock.
class PrivateServerTest : public SoundServerTest {
  protected:
    void SetUp() override {
        SoundServerTest::SetUp();
        if (!startServer())
            GTEST_SKIP() << "no sound server of our own (pulseaudio)";
        ASSERT_TRUE(BASS_Free());
        ASSERT_TRUE(BASS_Init(-1, 192000, 0, nullptr, nullptr)) << "error " << BASS_ErrorGetCode();
    }
    // Waits until the position passes `seconds`, checking that it never goes
    // back.
    bool reaches(DWORD h, double seconds) {
        return waitFor(
            [&] {
                const double now = positionSeconds(h);
                EXPECT_GE(now, last_) << "went backwards";
                last_ = now;
                return now > seconds;
            },
            10s);
    }

    double last_ = 0;
};

// Playing on the server's default sink when the server restarts: the channel
// goes on on the silent stand-in, never backwards, and its stream is back on
// the new server within a few seconds, at real pace.
TEST_F(PrivateServerTest, PlaybackReturnsToARestartedServer) {
    const DWORD h = openStream(tone("long.wav", 30));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    ASSERT_TRUE(reaches(h, 0.25)) << "the stream did not get going";
    stopServer();
    ASSERT_TRUE(reaches(h, last_ + 0.5)) << "stood still without the server";
    ASSERT_TRUE(startServer());
    EXPECT_TRUE(waitFor(
        [&] { return sh("pactl list sink-inputs | grep -qF 'application.name = \"Chromola\"'"); },
        10s))
        << "no stream of ours on the restarted server";
    // A fresh server may take a moment to start its sink.
    ASSERT_TRUE(reaches(h, positionSeconds(h) + 0.5));
    const double first = positionSeconds(h);
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(positionSeconds(h) - first, 0.3, 0.1);
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
}

// A channel played on the idle stream is heard from its start, behind the
// clock, and ends once all of it could be heard; so is the same channel
// played again after it ended. (What the idle stream costs is measured by
// bench/player/playback_cpu.sh.)
TEST_F(PrivateServerTest, PlayOnTheIdleStreamIsHeardFromItsStart) {
    const DWORD h = openStream(tone("a.wav", 1));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        const auto played = Clock::now();
        EXPECT_LT(positionSeconds(h), 0.02) << "heard before the server played it";
        last_ = 0;
        ASSERT_TRUE(reaches(h, 0.5)) << "did not get going";
        // Behind what has been written by the stream's latency (a queue of
        // hundreds of ms): never ahead of the time since the play call, but
        // for the server's timing report's jitter of well under 5 ms.
        EXPECT_LT(positionSeconds(h),
                  std::chrono::duration<double>(Clock::now() - played).count() + 0.005);
        ASSERT_TRUE(ends(h));
        EXPECT_GE(Clock::now() - played, 1s) << "ended before it could be heard";
    }
}

// Each sink's tone is centred on a bin of its own at the sinks' rate.
constexpr int kRate = 48000;
constexpr int kSpeakers = 40, kMic = 100, kHeadphones = 160;
constexpr const char* kUnplugHeadphones =
    "pactl unload-module $(pactl list short modules | awk '/sink_name=headphones/ {print $1}')";

class CaptureTest : public SoundServerTest {
  protected:
    // The server, with each sink playing its tone.
    void SetUp() override {
        SoundServerTest::SetUp();
        std::string modules;
        for (const char* sink : {"speakers", "headphones", "micsink"})
            modules += " -L 'module-null-sink rate=48000 sink_name=" + std::string(sink) + "'";
        if (!startServer(modules +
                         " -L 'module-remap-source source_name=mic master=micsink.monitor'") ||
            !sh("pactl set-default-sink speakers && pactl set-default-source mic"))
            GTEST_SKIP() << "no sound server of our own (pulseaudio)";
        // A low latency keeps the null sinks from working in 2-second blocks
        // (the waits below allow for them all the same).
        for (const auto& [bin, sink] :
             {std::pair{kSpeakers, "speakers"}, {kMic, "micsink"}, {kHeadphones, "headphones"}})
            sh("paplay --latency-msec=200 -d " + std::string(sink) + " '" + tone(bin).string() +
               "' &");
    }

    // Half-scale tone centred on bin, 20 s: longer than any test.
    fs::path tone(int bin) const {
        const fs::path path = file("bin" + std::to_string(bin) + ".wav");
        if (!fs::exists(path))
            writeTone(path, AudioFormat::Wav, {bin * kRate / 2048.0, 0.5, kRate, 2, 20.0});
        return path;
    }

    // Until the capture holds the tone on bin and none of the others' (an
    // idle null sink may hold its first frames back for up to 2 s).
    bool hears(DWORD h, int bin, const std::vector<int>& absent) const {
        return waitFor(
            [&] {
                const auto s = spectrum(h);
                return s[bin] > 0.2f && std::all_of(absent.begin(), absent.end(),
                                                    [&](int b) { return s[b] < 0.02f; });
            },
            10s);
    }
};

// The FFT of a source captured by name, without any BASS_Init, is that of
// the same file played as a stream. (The default output and input are
// compared with the player's own colours end to end.)
TEST_F(CaptureTest, HearsItsSourceOnTheScaleOfAStream) {
    const DWORD stream = openStream(tone(kHeadphones));
    seekSeconds(stream, 1.0);
    const float played = spectrum(stream)[kHeadphones];
    ASSERT_TRUE(BASS_Free());
    const DWORD h = CHROMOLA_CaptureStart("headphones.monitor", 0);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    ASSERT_TRUE(hears(h, kHeadphones, {kSpeakers, kMic}));
    // The loudest of a few: a late paplay leaves a gap now and then.
    float level = 0;
    for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(17ms))
        level = std::max(level, spectrum(h)[kHeadphones]);
    EXPECT_NEAR(20 * std::log10(level / played), 0.0, 3.0) << level;
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
    // Its samples, mono, at the source's rate: the half-scale tone.
    EXPECT_EQ(BASS_ChannelSeconds2Bytes(h, 1.0), 2u * 48000);
    std::vector<float> samples(4096);
    // Every read takes what came since the last one.
    DWORD got = 0;
    const auto read = [&] {
        got = BASS_ChannelGetData(h, samples.data(), 4096 * 4 | BASS_DATA_FLOAT);
        return got;
    };
    ASSERT_TRUE(waitFor([&] { return got > 400 || read() > 400; }));
    EXPECT_EQ(got % 4, 0u);
    float peak = 0;
    for (std::size_t i = 0; i < got / 4; ++i)
        peak = std::max(peak, std::abs(samples[i]));
    EXPECT_NEAR(peak, 0.5f, 0.05f);

    // A capture has no position, length or playing of its own, and is no
    // module.
    EXPECT_EQ(errorOf(BASS_ChannelPlay(h, FALSE), FALSE), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(errorOf(BASS_ChannelGetPosition(h, BASS_POS_BYTE), kFailed), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(errorOf(BASS_ChannelGetLength(h, BASS_POS_BYTE), kFailed), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(errorOf(BASS_ChannelSetPosition(h, 0, BASS_POS_BYTE), FALSE), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(errorOf(BASS_MusicFree(h), FALSE), BASS_ERROR_HANDLE);
    EXPECT_TRUE(BASS_StreamFree(h));
    EXPECT_EQ(errorOf(BASS_StreamFree(h), FALSE), BASS_ERROR_HANDLE);

    // Unknown sources and kinds are refused; the list of sources is counted
    // whole and filled no further than asked (the address sanitizer sees a
    // write past the one entry).
    EXPECT_EQ(errorOf(CHROMOLA_CaptureStart("no-such-source", 0), 0), BASS_ERROR_ILLPARAM);
    EXPECT_EQ(errorOf(CHROMOLA_CaptureStart(nullptr, 3), 0), BASS_ERROR_ILLPARAM);
    CHROMOLA_CAPTURE_SOURCE one[1] = {};
    EXPECT_EQ(CHROMOLA_CaptureSources(one, 1), 4);
    EXPECT_STRNE(one[0].id, "");
}

// A new default output takes the output's capture over, and so does the
// next default when the current one is unplugged. (That a new default input
// never does is checked end to end.)
TEST_F(CaptureTest, OutputCaptureFollowsTheDefaultOutputOnly) {
    const DWORD h = CHROMOLA_CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT);
    ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
    ASSERT_TRUE(hears(h, kSpeakers, {kMic, kHeadphones}));
    ASSERT_TRUE(sh("pactl set-default-sink headphones"));
    EXPECT_TRUE(hears(h, kHeadphones, {kMic}));
    // The server moves the tones along to the next default: speakers' tone is
    // heard whichever sink that is.
    ASSERT_TRUE(sh(kUnplugHeadphones));
    EXPECT_TRUE(hears(h, kSpeakers, {}));
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
    EXPECT_TRUE(BASS_StreamFree(h));
}

// The microphone unplugged or the server gone: a capture reports the loss,
// reads as silence and is freed as usual. One capture at a time: libpulse's
// free lists, which the thread sanitizer cannot see, hand memory between the
// connections of captures that run at once.
TEST_F(CaptureTest, LostSourceStallsIntoSilence) {
    const struct {
        DWORD which;
        int bin;
        std::string loss;
    } cases[] = {{CHROMOLA_CAPTURE_INPUT, kMic, "pactl unload-module module-remap-source"},
                 {CHROMOLA_CAPTURE_OUTPUT, kSpeakers, "pulseaudio -k"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.loss);
        const DWORD h = CHROMOLA_CaptureStart(nullptr, c.which);
        ASSERT_NE(h, 0u) << "error " << BASS_ErrorGetCode();
        ASSERT_TRUE(hears(h, c.bin, {}));
        ASSERT_TRUE(sh(c.loss));
        EXPECT_TRUE(waitFor([&] { return BASS_ChannelIsActive(h) == BASS_ACTIVE_STALLED; }, 10s));
        const auto s = spectrum(h);
        EXPECT_EQ(*std::max_element(s.begin(), s.begin() + 1024), 0.0f);
        alarm(30);  // a hang ends the test here rather than at the run's time-out
        EXPECT_TRUE(BASS_StreamFree(h));
        alarm(0);
    }
}
