// Output through a real sound server, when one is reachable.
#include <cstdlib>
#include <filesystem>

#include "bass_test.h"

namespace chromola::testing {
namespace {

using Clock = std::chrono::steady_clock;

bool soundServerReachable() {
    if (const char* server = std::getenv("PULSE_SERVER"); server && *server)
        return true;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        return std::filesystem::exists(std::filesystem::path(runtime) / "pulse" / "native");
    }
    return false;
}

TEST(SoundServer, DefaultSinkPlaysAndReportsHeardPosition) {
    ASSERT_TRUE(bass().error.empty()) << bass().error;
    if (!soundServerReachable()) {
        GTEST_SKIP() << "no sound server (PULSE_SERVER unset, no $XDG_RUNTIME_DIR/pulse/native)";
    }
    const auto start = Clock::now();
    ASSERT_TRUE(bass().Init(-1, 192000, 0, nullptr, nullptr)) << "error " << bass().ErrorGetCode();
    const double initMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::printf("[ info ] BASS_Init(-1) took %.2f ms\n", initMs);
    struct FreeAtEnd {
        ~FreeAtEnd() { bass().Free(); }
    } freeAtEnd;

    TempDir dir;
    Tone tone;
    tone.seconds = 2.0;
    ASSERT_TRUE(writeTone(dir / "a.ogg", AudioFormat::OggVorbis, tone));
    std::u16string path = utf16((dir / "a.ogg").string());
    DWORD h = bass().StreamCreateFile(FALSE, path.c_str(), 0, 0, kStreamFlags);
    ASSERT_NE(h, 0u) << "error " << bass().ErrorGetCode();
    ASSERT_TRUE(bass().ChannelPlay(h, FALSE));
    const auto played = Clock::now();
    auto heard = [&] {
        return bass().ChannelBytes2Seconds(h, bass().ChannelGetPosition(h, BASS_POS_BYTE));
    };
    // The server starts the stream when it is ready (a null sink may take a
    // moment); from then on the heard position follows the clock, behind
    // what has been written by the stream's latency.
    const auto startLimit = Clock::now() + std::chrono::seconds(3);
    while (heard() <= 0.25 && Clock::now() < startLimit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const double first = heard();
    ASSERT_GT(first, 0.25) << "the stream did not get going within 3 s";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const double second = heard();
    EXPECT_NEAR(second - first, 0.3, 0.1) << first << " then " << second;
    EXPECT_LT(second, std::chrono::duration<double>(Clock::now() - played).count());
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (bass().ChannelIsActive(h) != BASS_ACTIVE_STOPPED && Clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(bass().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_STOPPED));
    EXPECT_GE(std::chrono::duration<double>(Clock::now() - played).count(), 2.0);
}

}  // namespace
}  // namespace chromola::testing
