// The beats of the tracks the player plays: a background thread at the
// lowest priority decodes each file through the audio library (a decoding
// channel, no output), finds its beat grid (beat_grid.h) or takes it from the
// cache (beat_cache.h), and hands it to the display's tick.
//
// Contract
// - Work is done only while an option that needs beats is on (BeatAccent or
//   BeatScene): with both off the player decodes nothing twice. When a track
//   starts, its grid is wanted, then the next entry's, ahead, for the cache;
//   a new start drops the work under way. Turning an option on mid-track
//   (OptionsChanged) asks for the playing track's grid.
// - The tick (GridFor) never waits: it takes the newest grid under a
//   try-lock, or keeps the one it had. A grid belongs to the channel that
//   was playing when it was asked for.
// - The tempo of the playing track reaches the UI thread (tempoChanged, with
//   whole BPM, 0 for none): the worker leaves it under the job lock and
//   posts an empty event to wake the UI thread, which takes it there.
// Threads: the UI thread makes, asks and destroys (which stops and joins the
// worker); the tick calls GridFor only; the worker calls the audio library.
#pragma once

#include <QEvent>
#include <QObject>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "beats/beat_cache.h"
#include "beats/beat_grid.h"
#include "engine/audio_engine.h"
#include "engine/playback.h"
#include "engine/playback_events.h"
#include "player_state.h"

namespace chromola {

struct TrackGrid {
    DWORD channel = 0;  // the playing channel it was found for
    beats::BeatGrid grid;
};

// The beat grid of the file at `path`, decoded through `engine` (a decoding
// channel, mono floats): a tracker module's own rows where its timing is
// steady (beats/module_timing.h), else the audio analysis (beats/beat_grid.h).
// None when the file cannot be decoded, or when `stop` says so midway (asked
// between reads, every few milliseconds of sound).
std::optional<beats::BeatGrid> FindBeats(AudioEngine& engine, const std::u16string& path,
                                         const std::function<bool()>& stop);

class TrackBeats final : public PlaybackListener {
  public:
    TrackBeats(AudioEngine& engine, PlayerState& state, Playback& playback,
               std::filesystem::path cacheFolder = beats::BeatCache::DefaultFolder());
    ~TrackBeats() override;
    TrackBeats(const TrackBeats&) = delete;
    TrackBeats& operator=(const TrackBeats&) = delete;

    void PlaybackChanged(PlaybackEvent event) override;
    // The options changed (set-up window).
    void OptionsChanged();
    bool Wanted() const { return state_.BeatAccent == 1 || state_.BeatScene != 0; }

    // The tick's side: the grid of `channel`, or null while none is known.
    const TrackGrid* GridFor(DWORD channel);

    // UI thread.
    int Bpm() const { return bpm_; }
    // The live tracker's tempo (whole BPM, 0 none), while live mode is on.
    void LiveTempo(int bpm);
    std::function<void(int bpm)> tempoChanged;

  private:
    struct Job {
        DWORD channel = 0;  // 0: only ahead, for the cache
        QString path;
        unsigned generation = 0;
    };
    void Request();
    void Run();
    std::optional<TrackGrid> Analyse(const Job& job);
    void Publish(std::shared_ptr<const TrackGrid> grid);
    void SetBpm(int bpm);
    void TakeTempo();
    // Wakes the UI thread for TakeTempo.
    class Relay final : public QObject {
      public:
        explicit Relay(TrackBeats& owner) : owner_(owner) {}
        // The worker's event itself is never read here: it was made on the
        // worker's thread, and only Qt's own code, which hands it over,
        // touches it.
        void customEvent(QEvent*) override { owner_.TakeTempo(); }

      private:
        TrackBeats& owner_;
    };

    AudioEngine& engine_;
    PlayerState& state_;
    Playback& playback_;
    std::filesystem::path cacheFolder_;
    Relay relay_{*this};
    int bpm_ = 0;
    DWORD asked_ = 0;  // the channel last asked for (UI thread)

    std::mutex mutex_;  // the jobs, between the UI thread and the worker
    std::condition_variable wake_;
    std::optional<Job> current_, ahead_;
    std::atomic<unsigned> generation_{0};  // a new request drops the work under way
    bool quit_ = false;
    std::optional<std::pair<DWORD, int>> tempo_;  // a channel's tempo for the UI thread
    std::thread worker_;

    std::mutex slotMutex_;  // the worker sets, the tick try-locks
    std::shared_ptr<const TrackGrid> slot_;
    std::shared_ptr<const TrackGrid> taken_;  // the tick's own
};

}  // namespace chromola
