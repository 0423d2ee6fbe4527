#include "engine/playback.h"

#include <cmath>

#include "common/rounding.h"

namespace chromola {

Playback::Playback(AudioEngine& bass, PlayerState& state) : bass_(bass), state_(state) {}

DWORD Playback::OpenStream(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    return bass_.BASS_StreamCreateFile(mem, file, offset, length, flags | BASS_UNICODE);
}

DWORD Playback::OpenModule(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                           DWORD rate) {
    return bass_.BASS_MusicLoad(mem, file, offset, length, flags | BASS_UNICODE, rate);
}

double Playback::BytesToSeconds(DWORD handle, QWORD bytes) {
    return bass_.BASS_ChannelBytes2Seconds(handle, bytes);
}

BOOL Playback::SeekTo(DWORD handle, QWORD bytes, DWORD mode) {
    return bass_.BASS_ChannelSetPosition(handle, bytes, mode);
}

void Playback::FreeChannel() {
    bass_.BASS_StreamFree(state_.CurrentChannel);
    bass_.BASS_MusicFree(state_.CurrentChannel);
}

Playback::Outcome Playback::PlayFile(const QString& path) {
    FreeChannel();
    currentPath_ = path;
    // QString holds UTF-16 and ends in a NUL, as the library's BASS_UNICODE
    // form expects.
    const void* file = path.utf16();
    state_.CurrentChannel = OpenStream(FALSE, file, 0, 0, BASS_SAMPLE_SOFTWARE);
    if (state_.CurrentChannel == 0) {
        state_.CurrentChannel =
            OpenModule(FALSE, file, 0, 0, BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP, 1);
    }
    if (state_.CurrentChannel == 0) {
        return Outcome::CannotOpen;
    }
    if (bass_.BASS_ChannelPlay(state_.CurrentChannel, FALSE) == 0) {
        FreeChannel();
        return Outcome::CannotPlay;
    }
    return Outcome::Playing;
}

QString Playback::MessageFor(Outcome outcome) {
    switch (outcome) {
        case Outcome::CannotOpen:
            return QString::fromUtf8(kCannotOpenMessage);
        case Outcome::CannotPlay:
            return QString::fromUtf8(kCannotPlayMessage);
        case Outcome::Playing:
            break;
    }
    return {};
}

int Playback::PositionRange() {
    const QWORD bytes = bass_.BASS_ChannelGetLength(state_.CurrentChannel, BASS_POS_BYTE);
    const double seconds = BytesToSeconds(state_.CurrentChannel, bytes);
    if (bytes != static_cast<QWORD>(-1) && std::isfinite(seconds) && seconds > 0) {
        return RoundHalfEven(seconds);
    }
    return 0;
}

}  // namespace chromola
