// Time on the "no sound" device: the heard position, the end of a track,
// restarting, resampling, and calls from many threads at once.
#include <atomic>
#include <cmath>
#include <thread>

#include "bass_test.h"

namespace chromola::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class PlaybackTest : public BassTest {
  protected:
    DWORD tone(const std::string& name, double seconds, int rate = 44100) {
        Tone t;
        t.seconds = seconds;
        t.rate = rate;
        EXPECT_TRUE(writeTone(file(name), AudioFormat::Wav, t));
        DWORD h = openStream(file(name));
        EXPECT_NE(h, 0u) << "error " << api().ErrorGetCode();
        return h;
    }
};

TEST_F(PlaybackTest, ShortFileStopsBeingActiveOnceHeard) {
    DWORD h = tone("short.wav", 0.3);
    const auto start = Clock::now();
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
    ASSERT_TRUE(waitFor([&] { return api().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    // Not before its frames could have been heard.
    EXPECT_GE(Clock::now() - start, 290ms);
    EXPECT_EQ(api().ChannelGetPosition(h, BASS_POS_BYTE), api().ChannelGetLength(h, BASS_POS_BYTE));
}

TEST_F(PlaybackTest, PositionFollowsTheClock) {
    DWORD h = tone("long.wav", 5.0);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    const auto start = Clock::now();
    double last = 0;
    // Never goes backwards while playing.
    while (Clock::now() - start < 1000ms) {
        double now = positionSeconds(h);
        ASSERT_GE(now, last);
        last = now;
        std::this_thread::sleep_for(10ms);
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    // Generous: sanitizer builds run slowly; the pace itself is measured by
    // the benchmark tool.
    EXPECT_NEAR(positionSeconds(h), elapsed, 0.15);
}

TEST_F(PlaybackTest, SeekIsHeardAtOnce) {
    DWORD h = tone("seek.wav", 5.0);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(100ms);
    for (double target : {3.0, 0.5, 4.25}) {
        seekSeconds(h, target);
        EXPECT_NEAR(positionSeconds(h), target, 0.02);
    }
    // Sample-accurate: the byte asked for is the byte reported.
    ASSERT_TRUE(api().ChannelSetPosition(h, 12345 * 4, BASS_POS_BYTE));
    const QWORD pos = api().ChannelGetPosition(h, BASS_POS_BYTE);
    EXPECT_GE(pos, 12345u * 4);
    EXPECT_LT(pos, 12345u * 4 + 44100 / 50 * 4);
}

TEST_F(PlaybackTest, RestartAndReplayAfterTheEndStartOver) {
    DWORD h = tone("again.wav", 0.4);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(200ms);
    ASSERT_TRUE(api().ChannelPlay(h, TRUE));
    EXPECT_LT(positionSeconds(h), 0.05);
    ASSERT_TRUE(waitFor([&] { return api().ChannelIsActive(h) == BASS_ACTIVE_STOPPED; }));
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    EXPECT_EQ(api().ChannelIsActive(h), static_cast<DWORD>(BASS_ACTIVE_PLAYING));
    EXPECT_LT(positionSeconds(h), 0.05);
}

TEST_F(PlaybackTest, PositionsCountTheFilesOwnFramesWhenResampled) {
    DWORD h = tone("low.wav", 2.0, 22050);
    EXPECT_EQ(api().ChannelGetLength(h, BASS_POS_BYTE), 22050u * 2 * 4);
    ASSERT_TRUE(api().ChannelPlay(h, FALSE));
    std::this_thread::sleep_for(500ms);
    EXPECT_NEAR(positionSeconds(h), 0.5, 0.15);
    EXPECT_EQ(api().ChannelGetPosition(h, BASS_POS_BYTE) % 4, 0u);
}

TEST_F(PlaybackTest, CallsFromManyThreadsAtOnce) {
    std::atomic<bool> stop{false};
    std::atomic<DWORD> current{tone("a.wav", 2.0)};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            std::vector<float> s(1024);
            while (!stop) {
                DWORD h = current.load();
                api().ChannelGetData(h, s.data(), BASS_DATA_FFT2048);
                api().ChannelGetPosition(h, BASS_POS_BYTE);
                api().ChannelIsActive(h);
            }
        });
    }
    // The player's road: free, open, play, seek; again and again.
    for (int round = 0; round < 20; ++round) {
        DWORD old = current.load();
        api().ChannelPlay(old, FALSE);
        api().ChannelSetPosition(old, api().ChannelSeconds2Bytes(old, 0.5), BASS_POS_BYTE);
        api().StreamFree(old);
        api().MusicFree(old);
        DWORD next = openStream(file("a.wav"));
        ASSERT_NE(next, 0u);
        current = next;
    }
    stop = true;
    for (auto& t : readers)
        t.join();
    EXPECT_TRUE(api().StreamFree(current.load()));
}

}  // namespace
}  // namespace chromola::testing
