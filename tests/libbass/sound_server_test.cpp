// Output and live capture through sound servers of the test's own, and
// through none or one that does not answer. The capture tests' server has
// three null sinks as outputs ("speakers", the default; "headphones";
// "micsink") and a remapped monitor of micsink as the default input ("mic"),
// each sink playing its own tone through paplay.
#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

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

namespace chromola::testing {
namespace {

class SoundServerTest : public BassTest {};

// Frees the fixture's "no sound" device for the default sink of a server of
// the test's own, wishing for a rate the null sink does not have: the stream
// takes the sink's, and positions still follow the clock.
class PrivateServerTest : public BassTest {
  protected:
    void SetUp() override {
        BassTest::SetUp();
        if (HasFatalFailure())
            return;
        if (!server_.start())
            GTEST_SKIP() << "no sound server of our own (pulseaudio)";
        pointed_.emplace(server_.address());
        ASSERT_TRUE(api().Free());
        ASSERT_TRUE(api().Init(-1, 192000, 0, nullptr, nullptr))
            << "error " << api().ErrorGetCode();
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

    PrivateServer server_{file("server")};
    std::optional<ServerAddress> pointed_;
    double last_ = 0;
};

// Playing on the server's default sink when the server restarts: the channel
// goes on on the silent stand-in, never backwards, and its stream is back on
// the new server within a few seconds, at real pace.
TEST_F(PrivateServerTest, PlaybackReturnsToARestartedServer) {
    const DWORD h = openStream(tone("long.wav", 30));
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    ASSERT_TRUE(reaches(h, 0.25)) << "the stream did not get going";
    server_.stop();
    ASSERT_TRUE(reaches(h, last_ + 0.5)) << "stood still without the server";
    ASSERT_TRUE(server_.start());
    EXPECT_TRUE(waitFor(
        [&] {
            return server_.run(
                "pactl list sink-inputs | grep -qF 'application.name = \"Chromola\"'");
        },
        10s))
        << "no stream of ours on the restarted server";
    // A fresh server may take a moment to start its sink.
    ASSERT_TRUE(reaches(h, positionSeconds(h) + 0.5));
    const double first = positionSeconds(h);
    std::this_thread::sleep_for(300ms);
    EXPECT_NEAR(positionSeconds(h) - first, 0.3, 0.1);
    EXPECT_EQ(api().ChannelIsActive(h), kPlaying);
}

// Nothing playing, nothing to do: the stream is corked, at start and again
// once a channel has played to its end, and a channel played then is heard
// from its start, behind the clock, and ends once all of it could be heard.
TEST_F(PrivateServerTest, StreamIsCorkedWhileNothingPlays) {
    auto corked = [&](const std::string& answer) {
        return waitFor(
            [&] {
                return server_.run("pactl list sink-inputs | grep -q 'Corked: " + answer + "'");
            },
            10s);
    };
    EXPECT_TRUE(corked("yes"));
    const DWORD h = openStream(tone("a.wav", 1));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(api().ChannelPlay(h, FALSE));
        const auto played = Clock::now();
        EXPECT_LT(positionSeconds(h), 0.02) << "heard before the server played it";
        EXPECT_TRUE(corked("no"));
        last_ = 0;
        ASSERT_TRUE(reaches(h, 0.5)) << "did not get going";
        // Behind what has been written by the stream's latency (a queue of
        // hundreds of ms): never ahead of the time since the play call, but
        // for the server's timing report's jitter of well under 5 ms.
        EXPECT_LT(positionSeconds(h),
                  std::chrono::duration<double>(Clock::now() - played).count() + 0.005);
        ASSERT_TRUE(ends(h));
        EXPECT_GE(Clock::now() - played, 1s) << "ended before it could be heard";
        EXPECT_TRUE(corked("yes"));
    }
}

// No server, or one that takes the connection and never says a word: a
// capture fails with DEVICE, and so does BASS_Init(-1) after its time-out
// with the silent one, trying no ALSA device that would wait on the same
// server for ever (without a server ALSA's default device may take over).
// No hang, and not a word on stderr.
TEST_F(SoundServerTest, WithoutAnAnsweringServerInitAndCaptureFailWithDevice) {
    const SilentServer silent(file("silent-server"));
    const struct {
        fs::path socket;
        DWORD rate;
        bool alsaMayTakeOver;
    } cases[] = {{file("missing"), 192000, true}, {silent.path, 44100, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.socket);
        ServerAddress pointed("unix:" + c.socket.string());
        const std::string said = stderrOf(file("stderr.txt"), [&] {
            alarm(30);  // a hang ends the test here rather than at the run's time-out
            EXPECT_EQ(api().CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT), 0u);
            EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
            CHROMOLA_CAPTURE_SOURCE list[4];
            EXPECT_EQ(api().CaptureSources(list, 4), -1);
            EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
            EXPECT_TRUE(api().Free());
            const BOOL started = api().Init(-1, c.rate, 0, nullptr, nullptr);
            EXPECT_TRUE(!started || c.alsaMayTakeOver);
            if (!started) {
                EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
            }
            alarm(0);
        });
        EXPECT_EQ(said, "");
        api().Free();
        ASSERT_TRUE(api().Init(0, 44100, 0, nullptr, nullptr));
    }
}

// Each sink's tone is centred on a bin of its own at the sinks' rate.
constexpr int kRate = 48000;
constexpr int kSpeakers = 40, kMic = 100, kHeadphones = 160;
constexpr DWORD kStalled = BASS_ACTIVE_STALLED;
constexpr const char* kUnplugHeadphones =
    "pactl unload-module $(pactl list short modules | awk '/sink_name=headphones/ {print $1}')";

class CaptureTest : public BassTest {
  protected:
    // The server, with each sink playing its tone; the library is pointed at it.
    bool startServer() {
        std::string modules;
        for (const char* sink : {"speakers", "headphones", "micsink"})
            modules += " -L 'module-null-sink rate=48000 sink_name=" + std::string(sink) + "'";
        if (!server_.start(modules +
                           " -L 'module-remap-source source_name=mic master=micsink.monitor'") ||
            !server_.run("pactl set-default-sink speakers && pactl set-default-source mic"))
            return false;
        pointed_.emplace(server_.address());
        // A low latency keeps the null sinks from working in 2-second blocks
        // (the waits below allow for them all the same).
        for (const auto& [bin, sink] :
             {std::pair{kSpeakers, "speakers"}, {kMic, "micsink"}, {kHeadphones, "headphones"}}) {
            server_.run("paplay --latency-msec=200 -d " + std::string(sink) + " '" +
                        tone(bin).string() + "' &");
        }
        return true;
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

    PrivateServer server_{file("server")};
    std::optional<ServerAddress> pointed_;
};

TEST_F(CaptureTest, ListsTheSourcesWithMonitorsAndDefaults) {
    if (!startServer())
        GTEST_SKIP() << "no sound server of our own (pulseaudio)";
    const struct {
        const char* id;
        BOOL isMonitor, isDefaultMonitor, isDefaultInput;
    } expected[] = {{"speakers.monitor", TRUE, TRUE, FALSE},
                    {"headphones.monitor", TRUE, FALSE, FALSE},
                    {"micsink.monitor", TRUE, FALSE, FALSE},
                    {"mic", FALSE, FALSE, TRUE}};
    CHROMOLA_CAPTURE_SOURCE list[8] = {};
    ASSERT_EQ(api().CaptureSources(list, 8), 4) << "error " << api().ErrorGetCode();
    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        const auto* s =
            std::find_if(list, list + 4, [&](const auto& x) { return e.id == std::string(x.id); });
        ASSERT_NE(s, list + 4);
        EXPECT_STRNE(s->description, "");
        EXPECT_EQ(s->isMonitor, e.isMonitor);
        EXPECT_EQ(s->isDefaultMonitor, e.isDefaultMonitor);
        EXPECT_EQ(s->isDefaultInput, e.isDefaultInput);
    }
    // Counting alone, and a short list that is filled no further than asked.
    EXPECT_EQ(api().CaptureSources(nullptr, 0), 4);
    CHROMOLA_CAPTURE_SOURCE one[2] = {};
    EXPECT_EQ(api().CaptureSources(one, 1), 4);
    EXPECT_STRNE(one[0].id, "");
    EXPECT_STREQ(one[1].id, "");

    const struct {
        const char* source;
        DWORD which;
    } refused[] = {
        {nullptr, 0}, {nullptr, 3}, {"", CHROMOLA_CAPTURE_OUTPUT}, {"no-such-source", 0}};
    for (const auto& r : refused) {
        EXPECT_EQ(api().CaptureStart(r.source, r.which), 0u) << (r.source ? r.source : "null");
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ILLPARAM);
    }
    EXPECT_EQ(api().CaptureSources(nullptr, 1), -1);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ILLPARAM);
}

// The spectrum of a source captured by name, without any BASS_Init, is that
// of the same file played as a stream. (The default output and input are
// compared with the player's own colours end to end.)
TEST_F(CaptureTest, HearsItsSourceOnTheScaleOfAStream) {
    const DWORD stream = openStream(tone(kHeadphones));
    seekSeconds(stream, 1.0);
    const float played = spectrum(stream)[kHeadphones];
    ASSERT_TRUE(api().Free());
    if (!startServer())
        GTEST_SKIP() << "no sound server of our own (pulseaudio)";
    const DWORD h = api().CaptureStart("headphones.monitor", 0);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    ASSERT_TRUE(hears(h, kHeadphones, {kSpeakers, kMic}));
    // The loudest of a few: a late paplay leaves a gap now and then.
    float level = 0;
    for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(17ms))
        level = std::max(level, spectrum(h)[kHeadphones]);
    EXPECT_NEAR(20 * std::log10(level / played), 0.0, 3.0) << level;
    EXPECT_EQ(api().ChannelIsActive(h), kPlaying);

    // A capture has no position, length or playing of its own, and is no
    // module.
    EXPECT_FALSE(api().ChannelPlay(h, FALSE));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(api().ChannelGetPosition(h, BASS_POS_BYTE), kFailed);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_EQ(api().ChannelGetLength(h, BASS_POS_BYTE), kFailed);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_FALSE(api().ChannelSetPosition(h, 0, BASS_POS_BYTE));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_NOTAVAIL);
    EXPECT_FALSE(api().MusicFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
    EXPECT_TRUE(api().StreamFree(h));
    EXPECT_FALSE(api().StreamFree(h));
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_HANDLE);
}

// A new default output takes the output's capture over, and so does the
// next default when the current one is unplugged. (That a new default input
// never does is checked end to end.)
TEST_F(CaptureTest, OutputCaptureFollowsTheDefaultOutputOnly) {
    if (!startServer())
        GTEST_SKIP() << "no sound server of our own (pulseaudio)";
    const DWORD h = api().CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    ASSERT_TRUE(hears(h, kSpeakers, {kMic, kHeadphones}));

    ASSERT_TRUE(server_.run("pactl set-default-sink headphones"));
    EXPECT_TRUE(hears(h, kHeadphones, {kMic}));
    // The server moves the tones along to the next default: speakers'
    // tone is heard whichever sink that is.
    ASSERT_TRUE(server_.run(kUnplugHeadphones));
    EXPECT_TRUE(hears(h, kSpeakers, {}));
    EXPECT_EQ(api().ChannelIsActive(h), kPlaying);
    EXPECT_TRUE(api().StreamFree(h));
}

// Unplugged or without its server, a capture reports the loss, reads as
// silence and is freed as usual.
TEST_F(CaptureTest, LostSourceStallsIntoSilence) {
    if (!startServer())
        GTEST_SKIP() << "no sound server of our own (pulseaudio)";
    const struct {
        const char* what;
        const char* source;
        DWORD which;
        int bin;
        std::string loss;
    } cases[] = {{"microphone unplugged", nullptr, CHROMOLA_CAPTURE_INPUT, kMic,
                  "pactl unload-module module-remap-source"},
                 {"output unplugged", "headphones.monitor", 0, kHeadphones, kUnplugHeadphones},
                 {"server gone", nullptr, CHROMOLA_CAPTURE_OUTPUT, kSpeakers, "pulseaudio -k"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DWORD h = api().CaptureStart(c.source, c.which);
        ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
        ASSERT_TRUE(hears(h, c.bin, {}));
        ASSERT_TRUE(server_.run(c.loss));
        EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(h) == kStalled; }, 10s));
        const auto s = spectrum(h);
        EXPECT_EQ(*std::max_element(s.begin(), s.begin() + 1024), 0.0f);
        alarm(30);  // a hang ends the test here rather than at the run's time-out
        EXPECT_TRUE(api().StreamFree(h));
        alarm(0);
    }
}

// The C API's functions and nothing else leave the library.
TEST(CaptureExportsTest, LibraryExportsTheApiAlone) {
    std::set<std::string> exported;
    if (FILE* p = popen("nm -D --defined-only '" CHROMOLA_LIBBASS_PATH "'", "r")) {
        char line[512];
        while (std::fgets(line, sizeof line, p)) {
            char type = 0;
            char name[256] = {};
            if (std::sscanf(line, "%*s %c %255s", &type, name) == 2 && type == 'T')
                exported.insert(name);
        }
        pclose(p);
    }
    std::set<std::string> expected;
#define CHROMOLA_NAME(prefix, name) expected.insert(#prefix #name);
    CHROMOLA_BASS_FUNCTIONS(CHROMOLA_NAME)
#undef CHROMOLA_NAME
    EXPECT_EQ(expected.size(), 19u);
    EXPECT_EQ(exported, expected);
}

}  // namespace
}  // namespace chromola::testing
