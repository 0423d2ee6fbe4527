// Output through a sound server of the test's own, which restarts, and
// through one that does not answer.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

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

// A sound server of the test's own with a null sink, which the test stops
// and starts again as desktops restart theirs.
class PrivateServer {
  public:
    explicit PrivateServer(const fs::path& dir) : dir_(dir) {
        fs::create_directories(dir_);
        fs::permissions(dir_, fs::perms::owner_all);
    }
    ~PrivateServer() { stop(); }
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    std::string address() const { return "unix:" + (dir_ / "pulse" / "native").string(); }
    bool start() const {
        return run("pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit "
                   "-L module-native-protocol-unix -L 'module-null-sink sink_name=nullsink'") &&
               waitFor([&] { return run("pactl info"); }, 10s);
    }
    void stop() const {
        run("pulseaudio -k");
        waitFor([&] { return !run("pulseaudio --check"); }, 10s);
    }
    // `pactl list sink-inputs`: the streams playing on the server.
    std::string sinkInputs() const {
        std::string text;
        if (FILE* p = popen((environment() + "pactl list sink-inputs 2>/dev/null").c_str(), "r")) {
            char buffer[4096];
            while (std::size_t n = std::fread(buffer, 1, sizeof buffer, p))
                text.append(buffer, n);
            pclose(p);
        }
        return text;
    }

  private:
    std::string environment() const {
        return "XDG_RUNTIME_DIR='" + dir_.string() + "' HOME='" + dir_.string() +
               "' PULSE_SERVER='" + address() + "' ";
    }
    bool run(const std::string& command) const {
        return std::system((environment() + command + " >/dev/null 2>&1").c_str()) == 0;
    }

    fs::path dir_;
};

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
            return server_.sinkInputs().find("application.name = \"Chromola\"") !=
                   std::string::npos;
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
            [&] { return server_.sinkInputs().find("Corked: " + answer) != std::string::npos; },
            10s);
    };
    EXPECT_TRUE(corked("yes")) << server_.sinkInputs();
    const DWORD h = openStream(tone("a.wav", 1));
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(api().ChannelPlay(h, FALSE));
        const auto played = Clock::now();
        EXPECT_LT(positionSeconds(h), 0.02) << "heard before the server played it";
        EXPECT_TRUE(corked("no"));
        last_ = 0;
        ASSERT_TRUE(reaches(h, 0.5)) << "did not get going";
        // Behind what has been written by the stream's latency.
        EXPECT_LT(positionSeconds(h), std::chrono::duration<double>(Clock::now() - played).count());
        ASSERT_TRUE(ends(h));
        EXPECT_GE(Clock::now() - played, 1s) << "ended before it could be heard";
        EXPECT_TRUE(corked("yes"));
    }
}

// A server that takes the connection and never says a word: BASS_Init(-1)
// gives up after its time-out with DEVICE, and tries no ALSA device that
// would wait on the same server for ever.
TEST_F(SoundServerTest, ServerThatNeverAnswersMakesInitFailInsteadOfHanging) {
    const fs::path path = file("silent-server");
    const int server = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(server, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    // The kernel completes the connections; nobody ever reads from them.
    ASSERT_EQ(listen(server, 16), 0);
    ServerAddress pointed("unix:" + path.string());
    ASSERT_TRUE(api().Free());
    alarm(30);  // a hang ends the test here rather than at the run's time-out
    EXPECT_FALSE(api().Init(-1, 44100, 0, nullptr, nullptr));
    alarm(0);
    EXPECT_EQ(api().ErrorGetCode(), BASS_ERROR_DEVICE);
    close(server);
}

}  // namespace
}  // namespace chromola::testing
