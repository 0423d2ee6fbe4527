// The library's building blocks, linked in directly: the channel ring, the
// seqlock, the heard clock, the mixer, the MPEG probe and the lazy loading
// of optional libraries.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "byte_source.h"
#include "channel.h"
#include "lazy_library.h"
#include "mixer.h"
#include "mpeg_probe.h"
#include "playback_clock.h"
#include "ring_buffer.h"
#include "seqlock.h"
#include "stream_decoder.h"

namespace chromola::audio {
namespace {

using testing::AudioFormat;

// An optional library that is missing says so on stderr, with what goes
// without it: otherwise every file that needs it just fails to open.
TEST(LazyLibraryTest, AMissingLibraryIsNamedWithWhatGoesWithoutIt) {
    struct Api {
        int (*fn)();
    };
    ::testing::internal::CaptureStderr();
    const Api* api = LoadLibraryApi<Api>("libchromola-absent.so.7", "absent things",
                                         [](Api& f, LibraryBinder& bind) { bind(f.fn, "fn"); });
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(api, nullptr);
    EXPECT_NE(said.find("libchromola-absent.so.7"), std::string::npos) << said;
    EXPECT_NE(said.find("absent things"), std::string::npos) << said;
}

// Frame i of the test signal: {s, -s}, s = (i mod 30000) 16-bit steps.
float sample(std::size_t i) {
    return static_cast<float>(i % 30000) / 32767.0f;
}
std::vector<float> frames(std::size_t first, std::size_t n) {
    std::vector<float> v(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        v[2 * i] = sample(first + i);
        v[2 * i + 1] = -sample(first + i);
    }
    return v;
}

// Writes and reads in chunks of different sizes through a small ring, so
// that both sides wrap around at every offset; what comes out is the signal
// in order, and neither side ever passes the other. (Across threads, every
// playing channel's decoder and output share a ring, which the thread
// sanitizer's run of libbass_tests watches.)
TEST(RingBufferTest, ChunksWrapAroundInOrderAndNeverOverrun) {
    struct Case {
        std::size_t asked, capacity, writeChunk, readChunk;
    };
    for (const Case& c : {Case{0, 64, 7, 5}, Case{64, 64, 64, 64}, Case{65, 128, 1, 127}}) {
        SCOPED_TRACE(::testing::Message() << c.asked << " " << c.writeChunk << "/" << c.readChunk);
        RingBuffer ring(c.asked, 2);
        ASSERT_EQ(ring.capacity(), c.capacity);
        std::size_t written = 0, read = 0;
        for (int round = 0; round < 300; ++round) {
            const std::size_t room = ring.writable();
            ASSERT_EQ(room, c.capacity - (written - read));
            const std::size_t w = ring.write(frames(written, c.writeChunk).data(), c.writeChunk);
            ASSERT_EQ(w, std::min(c.writeChunk, room));
            written += w;
            ASSERT_EQ(ring.readable(), written - read);
            std::vector<float> mix((c.readChunk + 1) * 2, 1.0f);
            const std::size_t r = ring.readAdd(mix.data(), c.readChunk, 0.5f);
            ASSERT_EQ(r, std::min(c.readChunk, written - read));
            for (std::size_t i = 0; i < r; ++i) {
                ASSERT_NEAR(mix[2 * i], 1.0f + 0.5f * sample(read + i), 1e-6);
                ASSERT_NEAR(mix[2 * i + 1], 1.0f - 0.5f * sample(read + i), 1e-6);
            }
            ASSERT_EQ(mix[2 * r], 1.0f) << "wrote past the frames taken";
            read += r;
        }
        ring.reset();
        EXPECT_EQ(ring.readable(), 0u);
        EXPECT_EQ(ring.writable(), c.capacity);
    }
}

// One writer publishes {k, 2k, 3k} and copies of k beside them; readers must
// never see values or data from two different updates. The writer goes on
// until both readers have read many times, so that reads and updates overlap.
TEST(SeqLockTest, ReadersNeverSeeATornUpdate) {
    SeqLocked<3> values;
    std::vector<std::atomic<uint64_t>> guarded(256);
    std::atomic<int> readersDone{0};
    std::atomic<uint64_t> torn{0};
    const auto reader = [&] {
        uint64_t last = 0;
        std::vector<uint64_t> copy(guarded.size());
        for (int read = 0; read < 20000; ++read) {
            const auto v = values.read([&](const SeqLocked<3>::Values&) {
                for (std::size_t i = 0; i < copy.size(); ++i)
                    copy[i] = guarded[i].load(std::memory_order_acquire);
            });
            torn += v[1] != 2 * v[0] || v[2] != 3 * v[0] || v[0] < last ||
                    std::ranges::count(copy, v[0]) != std::ssize(copy);
            last = v[0];
        }
        ++readersDone;
    };
    std::thread first(reader), second(reader);
    uint64_t k = 0;
    while (readersDone.load() < 2) {
        ++k;
        values.update([&](SeqLocked<3>::Values& v) {
            v = {k, 2 * k, 3 * k};
            for (auto& g : guarded)
                g.store(k, std::memory_order_release);
        });
        if (k % 4 == 0)
            std::this_thread::yield();  // let readers through now and then
    }
    first.join();
    second.join();
    EXPECT_EQ(torn.load(), 0u);
    EXPECT_EQ(values.load()[2], 3 * k);
}

// Rate 1000 frames per second, so an age of one second is 1000 frames.
TEST(PlaybackClockTest, HeardFrameFollowsTheMarksWithinWhatWasWritten) {
    constexpr int64_t kSecond = 1000000000;
    struct Case {
        const char* what;
        uint64_t mark;
        int64_t age;  // ns since the mark; negative: a mark from the future
        uint64_t written;
        uint64_t atLeast, atMost;
        bool advancing = true;
    };
    const Case cases[] = {
        {"never marked", 0, -1, 5000, 0, 0},
        {"a second on, capped by what was written", 100, kSecond, 150, 150, 150},
        {"a second on", 100, kSecond, 1000000, 1100, 999999},
        {"a second on, not playing yet", 100, kSecond, 1000000, 100, 100, false},
        {"mark not reached yet", 100, -10 * kSecond, 1000000, 100, 100},
        {"written behind the mark", 100, 0, 50, 100, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PlaybackClock clock(1000);
        if (c.age >= 0 || c.mark > 0)
            clock.mark(c.mark, monotonicNanoseconds() - c.age, c.advancing);
        const uint64_t heard = clock.heard(c.written);
        EXPECT_GE(heard, c.atLeast);
        EXPECT_LE(heard, c.atMost);
    }
}

TEST(PlaybackClockTest, AnEarlierMarkNeverMovesTheHeardFrameBack) {
    PlaybackClock clock(1000);
    const int64_t now = monotonicNanoseconds();
    // The second mark: the server's latency estimate wobbled.
    for (auto [mark, atLeast] : {std::pair{5000u, 5000u}, {4000u, 5000u}, {7000u, 7000u}}) {
        clock.mark(mark, now);
        EXPECT_GE(clock.heard(10000), atLeast) << mark;
    }
}

// Each channel is scaled by its kind's volume (full by default: the player
// never sets the modules'), the sum clipped to [-1, 1]; a channel that is not
// playing adds nothing.
TEST(MixerTest, SumsPlayingChannelsAtTheirKindsVolumeAndClips) {
    const testing::TempDir dir;
    const std::string path = dir / "tone.wav";
    ASSERT_TRUE(testing::writeTone(path, AudioFormat::Wav, {.amplitude = 0.8, .seconds = 1}));
    // One block rendered from a stream and a music channel on the tone, at
    // these volumes (-1: the mixer's default).
    const auto render = [&](int64_t streamVolume, int64_t musicVolume, bool playing) {
        Mixer mixer;
        std::vector<std::unique_ptr<Channel>> channels;
        for (auto [kind, volume] : {std::pair{ChannelKind::Stream, streamVolume},
                                    std::pair{ChannelKind::Music, musicVolume}}) {
            if (volume >= 0)
                mixer.setVolume(kind, static_cast<uint32_t>(volume));
            channels.push_back(std::make_unique<Channel>(
                openStreamDecoder(openFileSource(path, 0, 0)), kind, 44100, false));
            channels.back()->setPlaying(playing);
            mixer.attach(channels.back().get());
        }
        std::vector<float> out(2048 * 2, 9.0f);
        mixer.render(out.data(), 2048);
        EXPECT_EQ(mixer.renderedFrames(), 2048u);
        for (const auto& c : channels)
            mixer.detach(c.get());
        return out;
    };
    const std::vector<float> one = render(0, -1, true);
    ASSERT_NEAR(*std::max_element(one.begin(), one.end()), 0.8, 0.01);
    struct Case {
        uint32_t stream, music;
        bool playing;
        float gain;  // of one channel's signal, before clipping
    };
    for (const Case& c : {Case{5000, 0, true, 0.5f}, Case{10000, 10000, true, 2.0f},
                          Case{10000, 10000, false, 0.0f}}) {
        SCOPED_TRACE(::testing::Message() << c.stream << " " << c.music << " " << c.playing);
        const std::vector<float> out = render(c.stream, c.music, c.playing);
        for (std::size_t i = 0; i < out.size(); ++i)
            ASSERT_NEAR(out[i], std::clamp(one[i] * c.gain, -1.0f, 1.0f), 1e-6f) << i;
    }
}

// A hand-made frame header: MPEG-1 (version 3) or 2 (2), the layer, the
// bitrate index, the sample rate index, the mode and its extension; zeros
// after it up to the frame's `bytes`.
std::vector<unsigned char> frame(int version, int layer, int bitrate, int rate,
                                 std::size_t bytes = 4, int mode = 0, int modeExtension = 0) {
    const uint32_t h = (0x7FFu << 21) | (uint32_t(version) << 19) | (uint32_t(4 - layer) << 17) |
                       (1u << 16) | (uint32_t(bitrate) << 12) | (uint32_t(rate) << 10) |
                       (uint32_t(mode) << 6) | (uint32_t(modeExtension) << 4);
    std::vector<unsigned char> f(bytes, 0);
    for (int i = 0; i < 4; ++i)
        f[static_cast<std::size_t>(i)] = static_cast<unsigned char>(h >> (24 - 8 * i));
    return f;
}

std::vector<unsigned char> operator+(std::vector<unsigned char> a,
                                     const std::vector<unsigned char>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Files as encoders write them pass: StreamFormatTest plays them through the
// probe.
TEST(MpegProbeTest, AcceptsAgreeingFrameHeadersAndRefusesTheRest) {
    const auto l3 = frame(3, 3, 9, 0, 417);  // 128 kbit/s, 44.1 kHz: 144 * 128000 / 44100 bytes
    const std::vector<unsigned char> id3 = {'I', 'D', '3', 4, 0, 0, 0, 0, 0, 20};
    // MPEG-1 layer II, 32 kbit/s at 48 kHz allows 8 subbands: joint stereo
    // whose stereo bound (4 * extension + 4) lies beyond is damage.
    const auto l2Bound = [](int extension) {
        const auto f = frame(3, 2, 1, 1, 144 * 32000 / 48000, 1, extension);
        return f + f + f;
    };
    struct Case {
        const char* what;
        std::vector<unsigned char> bytes;
        bool looks, starts;
    };
    const Case cases[] = {
        {"three layer III frames", l3 + l3 + l3, true, true},
        {"ID3v2 tag first", id3 + std::vector<unsigned char>(20, 0) + l3 + l3 + l3, true, true},
        {"one frame that ends the file", l3, true, true},
        {"a tag and nothing else", id3 + std::vector<unsigned char>(20, 0), false, true},
        {"second frame at another rate", l3 + frame(3, 3, 9, 1, 384) + l3, false, true},
        {"reserved version", frame(1, 3, 9, 0) + l3 + l3, false, true},
        {"cut inside the second header", l3 + std::vector<unsigned char>{0xFF, 0xFB}, false, true},
        {"layer II stereo bound within the subbands", l2Bound(1), true, true},
        {"layer II stereo bound past the subbands", l2Bound(3), false, true},
        {"RIFF", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto source = copyMemorySource(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(looksLikeMpegAudio(*source), c.looks);
        EXPECT_EQ(startsLikeMpegAudio(*source), c.starts);
    }
}

}  // namespace
}  // namespace chromola::audio
