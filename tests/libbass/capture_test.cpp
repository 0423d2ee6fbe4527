// Live capture through a sound server of the test's own: three null sinks as
// outputs ("speakers", the default; "headphones"; "micsink") and a remapped
// monitor of micsink as the default input ("mic"), each sink playing its own
// tone through paplay.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "bass_test.h"

namespace chromola::testing {
namespace {

struct CaptureApi {
    decltype(&::CHROMOLA_CaptureStart) start = nullptr;
    decltype(&::CHROMOLA_CaptureSources) sources = nullptr;
};

const CaptureApi& capture() {
    static const CaptureApi api = [] {
        CaptureApi a;
        if (void* lib = dlopen(CHROMOLA_LIBBASS_PATH, RTLD_NOW | RTLD_LOCAL)) {
            a.start = reinterpret_cast<decltype(a.start)>(dlsym(lib, "CHROMOLA_CaptureStart"));
            a.sources =
                reinterpret_cast<decltype(a.sources)>(dlsym(lib, "CHROMOLA_CaptureSources"));
        }
        return a;
    }();
    return api;
}

// Each sink's tone is centred on a bin of its own at the sinks' rate.
constexpr int kRate = 48000;
constexpr int kSpeakers = 40, kMic = 100, kHeadphones = 160;
constexpr DWORD kStalled = BASS_ACTIVE_STALLED;

class CaptureTest : public BassTest {
  protected:
    void SetUp() override {
        BassTest::SetUp();
        ASSERT_TRUE(capture().start && capture().sources) << "CHROMOLA_* not exported";
        if (const char* old = std::getenv("PULSE_SERVER"))
            oldServer_ = old;
        server_ = file("server");
        fs::create_directories(server_);
        fs::permissions(server_, fs::perms::owner_all);
    }
    void TearDown() override {
        run("pulseaudio -k");
        waitFor([&] { return !run("pulseaudio --check"); }, 10s);
        if (oldServer_.empty())
            unsetenv("PULSE_SERVER");
        else
            setenv("PULSE_SERVER", oldServer_.c_str(), 1);
        BassTest::TearDown();
    }

    // The server, with each sink playing its tone; the library is pointed at it.
    bool startServer() {
        setenv("PULSE_SERVER", ("unix:" + (server_ / "pulse" / "native").string()).c_str(), 1);
        std::string modules = " -L module-native-protocol-unix";
        for (const char* sink : {"speakers", "headphones", "micsink"})
            modules += " -L 'module-null-sink rate=48000 sink_name=" + std::string(sink) + "'";
        modules += " -L 'module-remap-source source_name=mic master=micsink.monitor'";
        if (!run("pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit" + modules) ||
            !waitFor([&] { return run("pactl info"); }, 10s) ||
            !run("pactl set-default-sink speakers && pactl set-default-source mic")) {
            return false;
        }
        // A low latency keeps the null sinks from working in 2-second blocks
        // (the waits below allow for them all the same).
        for (const auto& [bin, sink] :
             {std::pair{kSpeakers, "speakers"}, {kMic, "micsink"}, {kHeadphones, "headphones"}}) {
            run("paplay --latency-msec=200 -d " + std::string(sink) + " '" + tone(bin).string() +
                "' &");
        }
        return true;
    }

    bool run(const std::string& command) const {
        const std::string environment =
            "export XDG_RUNTIME_DIR='" + server_.string() + "' HOME='" + server_.string() +
            "' PULSE_SERVER='unix:" + (server_ / "pulse" / "native").string() + "'; ";
        return std::system((environment + "(" + command + ") >/dev/null 2>&1").c_str()) == 0;
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

    fs::path server_;
    std::string oldServer_;
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
    ASSERT_EQ(capture().sources(list, 8), 4) << "error " << api().ErrorGetCode();
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
    EXPECT_EQ(capture().sources(nullptr, 0), 4);
    CHROMOLA_CAPTURE_SOURCE one[2] = {};
    EXPECT_EQ(capture().sources(one, 1), 4);
    EXPECT_STRNE(one[0].id, "");
    EXPECT_STREQ(one[1].id, "");

    const struct {
        const char* source;
        DWORD which;
    } refused[] = {
        {nullptr, 0}, {nullptr, 3}, {"", CHROMOLA_CAPTURE_OUTPUT}, {"no-such-source", 0}};
    for (const auto& r : refused) {
        EXPECT_EQ(capture().start(r.source, r.which), 0u) << (r.source ? r.source : "null");
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_ILLPARAM);
    }
    EXPECT_EQ(capture().sources(nullptr, 1), -1);
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
    const DWORD h = capture().start("headphones.monitor", 0);
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
    const DWORD h = capture().start(nullptr, CHROMOLA_CAPTURE_OUTPUT);
    ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
    ASSERT_TRUE(hears(h, kSpeakers, {kMic, kHeadphones}));

    ASSERT_TRUE(run("pactl set-default-sink headphones"));
    EXPECT_TRUE(hears(h, kHeadphones, {kMic}));
    // The server moves the tones along to the next default: speakers'
    // tone is heard whichever sink that is.
    ASSERT_TRUE(
        run("pactl unload-module $(pactl list short modules | "
            "awk '/sink_name=headphones/ {print $1}')"));
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
                 {"output unplugged", "headphones.monitor", 0, kHeadphones,
                  "pactl unload-module $(pactl list short modules | awk '/sink_name=headphones/ "
                  "{print $1}')"},
                 {"server gone", nullptr, CHROMOLA_CAPTURE_OUTPUT, kSpeakers, "pulseaudio -k"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const DWORD h = capture().start(c.source, c.which);
        ASSERT_NE(h, 0u) << "error " << api().ErrorGetCode();
        ASSERT_TRUE(hears(h, c.bin, {}));
        ASSERT_TRUE(run(c.loss));
        EXPECT_TRUE(waitFor([&] { return api().ChannelIsActive(h) == kStalled; }, 10s));
        const auto s = spectrum(h);
        EXPECT_EQ(*std::max_element(s.begin(), s.begin() + 1024), 0.0f);
        alarm(30);  // a hang ends the test here rather than at the run's time-out
        EXPECT_TRUE(api().StreamFree(h));
        alarm(0);
    }
}

// No server, or one that takes the connection and never answers: DEVICE,
// at once or after a short wait, never a hang.
TEST_F(CaptureTest, WithoutAnAnsweringServerFailsWithDevice) {
    const fs::path silent = file("silent-server");
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, silent.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 16), 0);  // the kernel takes connections; nobody reads
    for (const fs::path& socketPath : {file("missing"), silent}) {
        SCOPED_TRACE(socketPath);
        setenv("PULSE_SERVER", ("unix:" + socketPath.string()).c_str(), 1);
        alarm(30);
        EXPECT_EQ(capture().start(nullptr, CHROMOLA_CAPTURE_OUTPUT), 0u);
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
        CHROMOLA_CAPTURE_SOURCE list[4];
        EXPECT_EQ(capture().sources(list, 4), -1);
        EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
        alarm(0);
    }
    close(listener);
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
    std::set<std::string> expected = {"CHROMOLA_CaptureSources", "CHROMOLA_CaptureStart"};
#define CHROMOLA_NAME(name) expected.insert("BASS_" #name);
    CHROMOLA_BASS_FUNCTIONS(CHROMOLA_NAME)
#undef CHROMOLA_NAME
    EXPECT_EQ(expected.size(), 19u);
    EXPECT_EQ(exported, expected);
}

}  // namespace
}  // namespace chromola::testing
