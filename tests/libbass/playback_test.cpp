// Time on the "no sound" device: the heard position, the end of a track,
// playing again, resampling, and calls from many threads at once.
#include <atomic>

#include "bass_test.h"

class PlaybackTest : public BassTest {};

TEST_F(PlaybackTest, ShortFileEndsOnceHeardAndPlayStartsItOver) {
    DWORD h = openStream(tone("short.wav", 0.3));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
    const auto start = Clock::now();
    ASSERT_TRUE(ends(h));
    EXPECT_GE(Clock::now() - start, 290ms) << "ended before its frames could be heard";
    EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE), BASS_ChannelGetLength(h, BASS_POS_BYTE));
    ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));  // after the end: from the start
    EXPECT_EQ(BASS_ChannelIsActive(h), kPlaying);
    EXPECT_LT(positionSeconds(h), 0.05);
}

// At the output rate and resampled: positions count the file's own frames,
// and a seek while playing is heard at once, to the frame asked for.
TEST_F(PlaybackTest, PositionAdvancesAtRealPaceAndSeeksLandAtOnce) {
    for (int rate : {44100, 22050}) {
        SCOPED_TRACE(rate);
        DWORD h = openStream(tone(std::to_string(rate) + ".wav", 5, AudioFormat::Wav, rate));
        EXPECT_EQ(BASS_ChannelGetLength(h, BASS_POS_BYTE), 5u * rate * 4);
        ASSERT_TRUE(BASS_ChannelPlay(h, FALSE));
        const auto start = Clock::now();
        std::this_thread::sleep_for(1s);
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        // Generous: sanitizer builds run slowly; the benchmark measures the pace.
        EXPECT_NEAR(positionSeconds(h), elapsed, 0.15);
        EXPECT_EQ(BASS_ChannelGetPosition(h, BASS_POS_BYTE) % 4, 0u);
        // At the frame asked for (to a frame, where the time falls between
        // two) and never before it.
        for (double target : {3.0, 0.5, 4.25}) {
            seekSeconds(h, target);
            EXPECT_GE(positionSeconds(h), target - 1.0 / rate);
            EXPECT_LT(positionSeconds(h), target + 0.02);
        }
    }
}

// The player's road and worse: readers on the timer and a thread seeking
// and playing, while the main thread frees, opens, plays and seeks, and now
// and then frees the whole library and starts it again. Meant for the
// sanitizers.
TEST_F(PlaybackTest, CallsFromManyThreadsAtOnce) {
    const auto path = tone("a.wav", 2);
    std::atomic<bool> stop{false};
    std::atomic<DWORD> current{openStream(path)};
    std::vector<std::thread> threads;
    for (int i = 0; i < 3; ++i) {
        threads.emplace_back([&] {
            std::vector<float> s(1024);
            while (!stop) {
                const DWORD h = current.load();
                BASS_ChannelGetData(h, s.data(), BASS_DATA_FFT2048);
                BASS_ChannelGetPosition(h, BASS_POS_BYTE);
                BASS_ChannelIsActive(h);
            }
        });
    }
    threads.emplace_back([&] {
        for (int i = 0; !stop; ++i) {
            const DWORD h = current.load();
            BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, 0.1 * (i % 15)), BASS_POS_BYTE);
            BASS_ChannelPlay(h, i % 7 == 0);
        }
    });
    // A failure ends the rounds but not before the threads are joined: a
    // fatal assertion here would leave them running into std::terminate.
    for (int round = 0; round < 20 && !HasFailure(); ++round) {
        const DWORD old = current.load();
        BASS_ChannelPlay(old, FALSE);
        BASS_ChannelSetPosition(old, BASS_ChannelSeconds2Bytes(old, 0.5), BASS_POS_BYTE);
        if (round % 5 == 4) {
            EXPECT_TRUE(BASS_Free());
            EXPECT_TRUE(BASS_Init(0, outputRate_, 0, nullptr, nullptr));
        } else {
            BASS_StreamFree(old);
            BASS_MusicFree(old);
        }
        current = openStream(path);
        EXPECT_NE(current.load(), 0u);
    }
    stop = true;
    for (auto& t : threads)
        t.join();
    EXPECT_TRUE(BASS_StreamFree(current.load()));
}
