// Output through a real sound server, when one is reachable.
#include <cstdlib>

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
