// What the desktop's media controls see and may ask, on the core alone.
#include <QUrl>

#include "desktop/mpris_state.h"
#include "fake_player.h"

namespace chromola::testing {
namespace {

class MprisTest : public CoreTest {
  protected:
    MprisTest() {
        mpris.propertiesChanged = [this](const QStringList& names) { changes.push_back(names); };
        mpris.seeked = [this](long long us) { seeks.push_back(us); };
    }
    const MprisSnapshot& Now() const { return mpris.Snapshot(); }

    MprisState mpris{engine, state, clock, core};
    std::vector<QStringList> changes;
    std::vector<long long> seeks;
};

TEST_F(MprisTest, EachStartIsANewTrackAndThePauseBetweenTracksStillPlays) {
    engine.tracks["a.wav"] = {.seconds = 1.5};
    Choose({"a.wav", "b.wav"});
    ASSERT_EQ(changes.size(), 1u) << "one announcement for the whole change";
    EXPECT_EQ(changes[0], (QStringList{"PlaybackStatus", "Metadata", "CanGoNext", "CanGoPrevious",
                                       "CanPlay", "CanSeek"}));
    EXPECT_TRUE(Now().playing);
    EXPECT_EQ(Now().track.title, "a.wav") << "no tags: the file name";
    EXPECT_TRUE(Now().track.artists.isEmpty());
    EXPECT_EQ(Now().track.lengthUs, 1'500'000);
    EXPECT_EQ(Now().track.url, QUrl::fromLocalFile(Path("a.wav")).toString());
    const QString first = Now().track.trackId;

    clock.Advance(1600);
    ASSERT_TRUE(core.display.isBetweenTracks());
    EXPECT_TRUE(Now().playing);
    clock.Advance(2010);
    EXPECT_EQ(Now().track.title, "b.wav");
    EXPECT_NE(Now().track.trackId, first);
    EXPECT_EQ(changes.back(), QStringList{"Metadata"});

    mpris.Stop();
    EXPECT_EQ(changes.back(), QStringList{"PlaybackStatus"});
    EXPECT_EQ(mpris.PositionUs(), 0);
    view.selected = 0;
    core.playlist.RemoveSelected();
    core.playlist.RemoveSelected();
    EXPECT_EQ(Now(), MprisSnapshot{}) << "an empty list has no track";
}

TEST_F(MprisTest, PositionsGoToTheCurrentTrackOnlyAndPastItsEndToTheNext) {
    engine.tracks["a.wav"] = {.seconds = 10};
    Choose({"a.wav", "b.wav"});
    const QString id = Now().track.trackId;
    mpris.SetPosition("/org/chromola/Chromola/Track/0", 5'000'000);  // a stale id
    mpris.SetPosition(id, 11'000'000);                               // past the end
    mpris.SetPosition(id, -1);
    EXPECT_TRUE(seeks.empty());
    mpris.SetPosition(id, 5'000'000);
    EXPECT_EQ(seeks, std::vector<long long>{5'000'000});
    clock.Advance(1000);
    EXPECT_EQ(mpris.PositionUs(), 6'000'000);
    mpris.Seek(-9'000'000);
    EXPECT_EQ(seeks.back(), 0) << "no earlier than the start";
    mpris.Seek(12'000'000);
    EXPECT_EQ(engine.PlayingName(), "b.wav");
}

// What a local path opens: the core (FilesOpenedFromOutsideListedUnderTheirCommonFolder).
TEST_F(MprisTest, OpenUriTakesLocalFilesOnly) {
    Choose({"a.wav", "b.wav"});
    EXPECT_FALSE(mpris.OpenUri("https://example.org/a.wav"));
    EXPECT_TRUE(mpris.OpenUri(QUrl::fromLocalFile(Path("b.wav")).toString()));
    EXPECT_EQ(view.entries, QStringList{"b.wav"});
    EXPECT_EQ(Now().track.title, "b.wav");
}

}  // namespace
}  // namespace chromola::testing
