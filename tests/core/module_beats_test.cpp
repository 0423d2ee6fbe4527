// The beats of tracker modules as the player's analysis finds them, through
// the real audio library (libbass.so beside the tests, bound by name as the
// player binds it): a module of one speed and tempo gives its rows, exact;
// one whose speed changes midway gives what the audio analysis hears. The
// truth is the sound itself: the first frame of every click, decoded apart.
#include "beats/track_beats.h"
#include "engine/bass_library.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "audio_fixtures.h"

namespace chromola {
namespace {

using testing::ModuleSpec;
using testing::TempDir;

constexpr DWORD kDecode = BASS_MUSIC_DECODE | BASS_SAMPLE_FLOAT | BASS_SAMPLE_MONO | BASS_UNICODE;
constexpr int kRate = 44100;

class ModuleBeats : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(bass_.BASS_Init(0, kRate, 0, nullptr, nullptr))
            << "error " << bass_.BASS_ErrorGetCode();
    }
    void TearDown() override { bass_.BASS_Free(); }

    std::u16string Module(const ModuleSpec& song) {
        const auto path = dir_ / "song.mod";
        EXPECT_TRUE(writeProTrackerModule(path, song));
        return path.u16string();
    }
    // Where each click's sound starts (after at least 10 ms of silence), in
    // seconds.
    std::vector<double> Clicks(const std::u16string& path) {
        const DWORD h = bass_.BASS_MusicLoad(FALSE, path.c_str(), 0, 0, kDecode, 1);
        EXPECT_NE(h, 0u);
        std::vector<double> clicks;
        std::vector<float> block(4096);
        std::size_t frame = 0, quiet = kRate;
        for (;;) {
            const DWORD got = bass_.BASS_ChannelGetData(h, block.data(), 4 * 4096);
            if (got == static_cast<DWORD>(-1) || got == 0)
                break;
            for (std::size_t i = 0; i < got / 4; ++i, ++frame) {
                const bool heard = std::abs(block[i]) > 1e-3f;
                if (heard && quiet >= kRate / 100)
                    clicks.push_back(static_cast<double>(frame) / kRate);
                quiet = heard ? 0 : quiet + 1;
            }
        }
        bass_.BASS_MusicFree(h);
        return clicks;
    }

    BassLibrary bass_{QStringLiteral(CHROMOLA_BIN_DIR "/libbass.so")};
    TempDir dir_;
};

double Nearest(const std::vector<double>& times, double t) {
    double best = 1e9;
    for (double s : times)
        best = std::min(best, std::abs(s - t));
    return best;
}

// Speed 5, tempo 137, a click every 4 rows: a beat on every click from the
// song's start, within a millisecond (the audio analysis alone misses the
// click at the start and strays by up to 3.2 ms here), at 6 * 137 / 5 BPM
// (libopenmpt's whole-frame ticks make it 164.55 at 44.1 kHz). A stop asked
// for gives nothing.
TEST_F(ModuleBeats, SteadyModuleGivesItsRowsExactly) {
    const auto path = Module({.speed = 5, .patterns = 3, .tempo = 137, .clickRows = 4});
    const std::vector<double> clicks = Clicks(path);
    ASSERT_EQ(clicks.size(), 48u);
    const auto grid = FindBeats(bass_, path, [] { return false; });
    ASSERT_TRUE(grid);
    ASSERT_EQ(grid->beats.size(), clicks.size());
    for (std::size_t i = 0; i < clicks.size(); ++i)
        EXPECT_NEAR(grid->beats[i], clicks[i], 0.001) << "beat " << i;
    EXPECT_NEAR(grid->bpm, 6.0 * 137 / 5, 0.3);
    EXPECT_FALSE(FindBeats(bass_, path, [] { return true; }));
}

// Speed 6 for half of each pattern, 3 for the other half, with the clicks
// every 4 rows, then every 8: rows of two lengths, so no grid of rows, but a
// steady 125 BPM that the audio analysis finds on the clicks.
TEST_F(ModuleBeats, ModuleWhoseSpeedChangesIsHeard) {
    const auto path =
        Module({.speed = 6, .patterns = 4, .tempo = 125, .clickRows = 4, .laterSpeed = 3});
    const std::vector<double> clicks = Clicks(path);
    ASSERT_EQ(clicks.size(), 48u);
    const auto grid = FindBeats(bass_, path, [] { return false; });
    ASSERT_TRUE(grid);
    EXPECT_NEAR(grid->bpm, 125.0, 2.0);
    // The analysis hears no onset in the very first frame, and keeps the beat
    // going a little after the sound.
    for (std::size_t i = 1; i < clicks.size(); ++i)
        EXPECT_LE(Nearest(grid->beats, clicks[i]), 0.015) << "click at " << clicks[i] << " s";
    for (double beat : grid->beats) {
        if (beat < clicks.back() + 0.1) {
            EXPECT_LE(Nearest(clicks, beat), 0.015) << "beat at " << beat << " s";
        }
    }
}

}  // namespace
}  // namespace chromola
