// Output through a real sound server, when one is reachable, and through
// one that does not answer.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "bass_test.h"

// libpulse is built without the thread sanitizer, which therefore cannot see
// how its mutexes pass between the server connection's threads; every test
// that reaches the sound server (any device but 0) can trip over that.
extern "C" const char* __tsan_default_suppressions() {
    return "race:pa_mutex_lock\n";
}

namespace chromola::testing {
namespace {

bool soundServerReachable() {
    const char* server = std::getenv("PULSE_SERVER");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return (server && *server) ||
           (runtime && *runtime && fs::exists(fs::path(runtime) / "pulse" / "native"));
}

class SoundServerTest : public BassTest {};

// Points PULSE_SERVER elsewhere for one test.
class ServerAddress {
  public:
    explicit ServerAddress(const std::string& address) {
        if (const char* old = std::getenv("PULSE_SERVER"))
            old_ = old;
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ServerAddress() {
        if (old_.empty())
            unsetenv("PULSE_SERVER");
        else
            setenv("PULSE_SERVER", old_.c_str(), 1);
    }

  private:
    std::string old_;
};

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

// Frees the fixture's "no sound" device for the server's default sink.
TEST_F(SoundServerTest, DefaultSinkPlaysAndReportsHeardPosition) {
    if (!soundServerReachable())
        GTEST_SKIP() << "no sound server (PULSE_SERVER unset, no $XDG_RUNTIME_DIR/pulse/native)";
    ASSERT_TRUE(api().Free());
    ASSERT_TRUE(api().Init(-1, 192000, 0, nullptr, nullptr)) << "error " << api().ErrorGetCode();
    const DWORD h = openStream(tone("a.ogg", 2, AudioFormat::OggVorbis));
    ASSERT_TRUE(api().ChannelPlay(h, FALSE)) << "error " << api().ErrorGetCode();
    const auto played = Clock::now();
    // The server starts the stream when it is ready (a null sink may take a
    // moment); from then on the heard position follows the clock, behind
    // what has been written by the stream's latency.
    ASSERT_TRUE(waitFor([&] { return positionSeconds(h) > 0.25; }, 3s))
        << "the stream did not get going";
    const double first = positionSeconds(h);
    std::this_thread::sleep_for(300ms);
    const double second = positionSeconds(h);
    EXPECT_NEAR(second - first, 0.3, 0.1) << first << " then " << second;
    EXPECT_LT(second, std::chrono::duration<double>(Clock::now() - played).count());
    EXPECT_TRUE(ends(h));
    EXPECT_GE(Clock::now() - played, 2s);
}

}  // namespace
}  // namespace chromola::testing
