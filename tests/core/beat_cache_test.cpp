// The beat cache on a scratch folder: entries that are damaged, truncated or
// foreign are recomputed and rewritten, a track that changed is analysed
// again, and the folder never outgrows its bound.
#include "beats/beat_cache.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using chromola::beats::BeatCache;
using chromola::beats::BeatGrid;

class BeatCacheTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "beat-cache-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
        track_ = folder_ / "track.wav";
        Write(track_, "RIFF and some sound");
    }
    void TearDown() override { fs::remove_all(folder_); }

    static void Write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    }

    // The grid of the track through the cache, counting the analyses.
    BeatGrid Grid(const BeatCache& cache) {
        return cache.GridFor(track_, [this] {
            ++analyses_;
            return BeatGrid{120.0, {0.5, 1.0, 1.5, 2.0}};
        });
    }

    fs::path folder_, track_;
    int analyses_ = 0;
};

struct Damage {
    std::string name;
    std::function<void(const fs::path&)> apply;
};

class DamagedEntry : public BeatCacheTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedEntry, IsRecomputedAndRewritten) {
    const BeatCache cache(folder_ / "cache");
    EXPECT_EQ(Grid(cache).beats.size(), 4u);
    EXPECT_EQ(Grid(cache).bpm, 120.0);
    EXPECT_EQ(analyses_, 1);  // the second came from the cache

    const fs::path entry = cache.EntryFor(*BeatCache::IdentityOf(track_));
    ASSERT_TRUE(fs::exists(entry));
    GetParam().apply(entry);
    EXPECT_EQ(Grid(cache).beats.size(), 4u);
    EXPECT_EQ(analyses_, 2);
    EXPECT_EQ(Grid(cache).beats, (std::vector<double>{0.5, 1.0, 1.5, 2.0}));
    EXPECT_EQ(analyses_, 2);  // rewritten whole
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedEntry,
    ::testing::Values(Damage{"FlippedByte",
                             [](const fs::path& p) {
                                 std::fstream f(p, std::ios::binary | std::ios::in | std::ios::out);
                                 f.seekp(static_cast<std::streamoff>(fs::file_size(p)) -
                                         20);  // in a beat's time
                                 f.put('\x7f');
                             }},
                      Damage{"Truncated",
                             [](const fs::path& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
                      Damage{"Empty", [](const fs::path& p) { fs::resize_file(p, 0); }},
                      Damage{"Foreign",
                             [](const fs::path& p) {
                                 std::ofstream(p, std::ios::trunc) << "[Form]\nBeatAccent=1\n";
                             }}),
    [](const auto& info) { return info.param.name; });

TEST_F(BeatCacheTest, ChangedFileIsAnalysedAgain) {
    const BeatCache cache(folder_ / "cache");
    Grid(cache);
    Write(track_, "RIFF and some other sound, longer");
    Grid(cache);
    EXPECT_EQ(analyses_, 2);
    // Same size, another time.
    fs::last_write_time(track_, fs::last_write_time(track_) + std::chrono::seconds(5));
    Grid(cache);
    EXPECT_EQ(analyses_, 3);
    Grid(cache);
    EXPECT_EQ(analyses_, 3);
}

TEST_F(BeatCacheTest, StaysWithinItsBoundOldestOut) {
    const BeatCache probe(folder_ / "probe");
    const BeatGrid grid{100.0, std::vector<double>(100, 1.0)};
    ASSERT_TRUE(probe.Store({"/music/0.mp3", 1, 1}, grid));
    const auto entrySize = fs::file_size(probe.EntryFor({"/music/0.mp3", 1, 1}));

    const BeatCache cache(folder_ / "cache", 3 * entrySize);
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(cache.Store({"/music/" + std::to_string(i) + ".mp3", 1, 1}, grid));
        // Distinct times of use, whatever the file system's resolution.
        fs::last_write_time(cache.EntryFor({"/music/" + std::to_string(i) + ".mp3", 1, 1}),
                            fs::file_time_type::clock::now() - std::chrono::seconds(60 - i));
    }
    std::uintmax_t total = 0;
    for (const auto& entry : fs::directory_iterator(folder_ / "cache"))
        total += entry.file_size();
    EXPECT_LE(total, 3 * entrySize);
    EXPECT_TRUE(cache.Load({"/music/5.mp3", 1, 1}).has_value());
    EXPECT_TRUE(cache.Load({"/music/4.mp3", 1, 1}).has_value());
    EXPECT_FALSE(cache.Load({"/music/0.mp3", 1, 1}).has_value());
}

}  // namespace
