#include "desktop/mpris_state.h"

#include <QUrl>

#include <algorithm>
#include <cmath>

namespace chromola {

namespace {

// Heard time in µs of a position in bytes; -1 where the library has none.
long long Microseconds(AudioEngine& engine, DWORD channel, QWORD bytes) {
    if (bytes == static_cast<QWORD>(-1)) {
        return -1;
    }
    const double seconds = engine.BASS_ChannelBytes2Seconds(channel, bytes);
    return std::isfinite(seconds) && seconds >= 0 ? std::llround(seconds * 1e6) : -1;
}

}  // namespace

QStringList ChangedProperties(const MprisSnapshot& before, const MprisSnapshot& after) {
    QStringList names;
    const auto add = [&names](bool changed, const char* name) {
        if (changed) {
            names << QString::fromLatin1(name);
        }
    };
    add(before.playing != after.playing, "PlaybackStatus");
    add(before.track != after.track, "Metadata");
    add(before.canGoNext != after.canGoNext, "CanGoNext");
    add(before.canGoPrevious != after.canGoPrevious, "CanGoPrevious");
    add(before.canPlay != after.canPlay, "CanPlay");
    add(before.canSeek != after.canSeek, "CanSeek");
    return names;
}

MprisState::MprisState(AudioEngine& engine, PlayerState& state, Clock& clock, PlayerCore& core,
                       TagReader readTags)
    : engine_(engine), state_(state), clock_(clock), core_(core), readTags_(std::move(readTags)) {
    core_.playback.AddListener(this);
    // A stored list may already play when the desktop first asks.
    if (clock_.Ticking()) {
        TrackStarted();
    }
    snapshot_ = Current();
}

MprisState::~MprisState() {
    core_.playback.RemoveListener(this);
}

MprisSnapshot MprisState::Current() const {
    const qsizetype count = state_.Entries.size();
    MprisSnapshot s;
    s.playing = count > 0 && (clock_.Ticking() || core_.sequence.isBetweenTracks());
    if (count > 0) {
        s.track = track_;
    }
    s.canGoNext = s.canGoPrevious = count >= 2;
    s.canPlay = s.canSeek = count > 0;
    return s;
}

void MprisState::TrackStarted() {
    const QString& path = core_.playback.CurrentPath();
    const DWORD channel = state_.CurrentChannel;
    track_.trackId = QStringLiteral("/org/chromola/Chromola/Track/%1").arg(++trackSerial_);
    track_.lengthUs =
        Microseconds(engine_, channel, engine_.BASS_ChannelGetLength(channel, BASS_POS_BYTE));
    track_.title.clear();
    track_.artists.clear();
    track_.url = QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded);
    track_.bpm = 0;
    tagsPath_ = path;
}

void MprisState::TempoChanged(int bpm) {
    track_.bpm = bpm;
    if (snapshot_.track.trackId != track_.trackId) {
        return;
    }
    const MprisSnapshot now = Current();
    const QStringList names = ChangedProperties(snapshot_, now);
    snapshot_ = now;
    if (!names.isEmpty() && propertiesChanged) {
        propertiesChanged(names);
    }
}

const MprisTrack& MprisState::Track() {
    trackAsked_ = true;
    if (!tagsPath_.isEmpty()) {
        TrackTags tags = readTags_(tagsPath_);
        tagsPath_.clear();
        track_.title = std::move(tags.title);
        track_.artists = std::move(tags.artists);
        // What was announced is this track all the same: reading its tags is
        // no change to announce.
        if (snapshot_.track.trackId == track_.trackId) {
            snapshot_.track = track_;
        }
    }
    return snapshot_.track;
}

void MprisState::PlaybackChanged(PlaybackEvent event) {
    if (event == PlaybackEvent::TrackStarted) {
        TrackStarted();
        if (trackAsked_) {
            Track();
        }
    }
    const MprisSnapshot now = Current();
    const QStringList names = ChangedProperties(snapshot_, now);
    snapshot_ = now;
    if (!names.isEmpty() && propertiesChanged) {
        propertiesChanged(names);
    }
    if (event == PlaybackEvent::Seeked && seeked) {
        seeked(PositionUs());
    }
}

long long MprisState::PositionUs() {
    if (!snapshot_.playing) {
        return 0;
    }
    const DWORD channel = state_.CurrentChannel;
    return std::max(0LL, Microseconds(engine_, channel,
                                      engine_.BASS_ChannelGetPosition(channel, BASS_POS_BYTE)));
}

void MprisState::Seek(long long offsetUs) {
    if (!clock_.Ticking()) {
        return;
    }
    const long long target = std::max(0LL, PositionUs() + offsetUs);
    if (track_.lengthUs >= 0 && target > track_.lengthUs) {
        Next();
        return;
    }
    SeekToUs(target);
}

void MprisState::SetPosition(const QString& trackId, long long positionUs) {
    if (!clock_.Ticking() || trackId != snapshot_.track.trackId || positionUs < 0 ||
        (track_.lengthUs >= 0 && positionUs > track_.lengthUs)) {
        return;
    }
    SeekToUs(positionUs);
}

void MprisState::SeekToUs(long long positionUs) {
    // The position bar, and so every seek, counts whole seconds.
    core_.keyboard.SeekTo(static_cast<int>(std::llround(positionUs / 1e6)));
}

bool MprisState::OpenUri(const QString& uri) {
    const QUrl url(uri);
    if (!url.isLocalFile()) {
        return false;
    }
    core_.playlist.OpenPaths({url.toLocalFile()});
    return true;
}

}  // namespace chromola
