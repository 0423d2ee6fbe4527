// What the desktop's media controls (MPRIS) see of the player and what they
// may ask of it, without D-Bus: the thin adaptor (mpris_service.h) only
// moves these values and calls onto the bus. The state follows the core's
// playback events; the actions are those of the media keys.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "clock.h"
#include "desktop/track_tags.h"
#include "engine/audio_engine.h"
#include "engine/playback_events.h"
#include "player_core.h"
#include "player_state.h"

namespace chromola {

struct MprisTrack {
    QString trackId;          // a D-Bus object path; empty: no track
    long long lengthUs = -1;  // -1: not known
    QString title;            // with the artists, empty until the tags are read
    QStringList artists;
    QString url;
    int bpm = 0;  // whole beats per minute; 0: not known
    bool operator==(const MprisTrack&) const = default;
};

// The properties of org.mpris.MediaPlayer2.Player that change with the
// player (Position is read when asked and is never announced).
struct MprisSnapshot {
    bool playing = false;  // PlaybackStatus: the pause between tracks counts
    MprisTrack track;      // Metadata: the track last started
    bool canGoNext = false;
    bool canGoPrevious = false;
    bool canPlay = false;
    bool canSeek = false;
    bool operator==(const MprisSnapshot&) const = default;
};

// The names of the properties whose values differ, in D-Bus spelling.
QStringList ChangedProperties(const MprisSnapshot& before, const MprisSnapshot& after);

inline constexpr char kNoTrackId[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

class MprisState final : public PlaybackListener {
  public:
    using TagReader = std::function<TrackTags(const QString& path)>;
    MprisState(AudioEngine& engine, PlayerState& state, Clock& clock, PlayerCore& core,
               TagReader readTags = ReadTrackTags);
    ~MprisState() override;
    MprisState(const MprisState&) = delete;
    MprisState& operator=(const MprisState&) = delete;

    const MprisSnapshot& Snapshot() const { return snapshot_; }
    // The current track with its title and artists. Its tags are read here,
    // the first time anything asks for them, not as the track starts: TagLib
    // then stays unloaded (about a megabyte) while no media widget looks.
    const MprisTrack& Track();
    // True once the track has been asked for: from then on every new track is
    // announced with its tags.
    bool TrackAsked() const { return trackAsked_; }
    // The heard position of the current track; 0 when nothing plays.
    long long PositionUs();

    void Play() { core_.keyboard.Play(); }
    void Stop() { core_.keyboard.Stop(); }
    void Next() { core_.playlist.NextTrack(); }
    void Previous() { core_.playlist.PreviousTrack(); }
    // Relative to the heard position; past the end it acts as Next.
    void Seek(long long offsetUs);
    // Ignored unless `trackId` names the current track and the position lies
    // within it.
    void SetPosition(const QString& trackId, long long positionUs);
    // A file:// URI (a file or a folder) replaces the list as "Open with"
    // does; false for anything else or nothing to play.
    bool OpenUri(const QString& uri);

    // Told the names of the changed properties after every change, and the
    // new position after every jump.
    std::function<void(const QStringList& names)> propertiesChanged;
    std::function<void(long long positionUs)> seeked;

    void PlaybackChanged(PlaybackEvent event) override;
    // The current track's tempo became known (whole BPM; 0: none).
    void TempoChanged(int bpm);

  private:
    MprisSnapshot Current() const;
    void TrackStarted();
    void SeekToUs(long long positionUs);

    AudioEngine& engine_;
    PlayerState& state_;
    Clock& clock_;
    PlayerCore& core_;
    TagReader readTags_;
    MprisTrack track_;
    QString tagsPath_;  // the file whose tags are still to be read, if any
    bool trackAsked_ = false;
    int trackSerial_ = 0;
    MprisSnapshot snapshot_;
};

}  // namespace chromola
