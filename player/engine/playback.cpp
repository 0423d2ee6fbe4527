#include "engine/playback.h"

#include <cmath>
#include <limits>

#include "common/rounding.h"
#include "main_window/form1.h"

namespace chromola {

Playback::Playback(BassLibrary& bass, PlayerState& state, Form1& form)
    : bass_(bass), state_(state), form_(form) {}

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

void Playback::PlayFile(const QString& path) {
    FreeChannel();
    // QString holds UTF-16 and ends in a NUL, as the library's BASS_UNICODE
    // form expects.
    const void* file = path.utf16();
    state_.CurrentChannel = OpenStream(FALSE, file, 0, 0, BASS_SAMPLE_SOFTWARE);
    if (state_.CurrentChannel == 0) {
        state_.CurrentChannel =
            OpenModule(FALSE, file, 0, 0, BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP, 1);
    }
    if (state_.CurrentChannel == 0) {
        Fail(kCannotOpenMessage);
        return;
    }
    if (bass_.BASS_ChannelPlay(state_.CurrentChannel, FALSE) == 0) {
        Fail(kCannotPlayMessage);
    }
}

void Playback::Fail(const char* message) {
    form_.Timer1.stop();
    FreeChannel();
    form_.cls();
    const double width = form_.scaleWidth();
    form_.print(width / 5 - width / 10, form_.scaleHeight() / 2.0, QString::fromUtf8(message));
}

void Playback::SetPositionRange() {
    const QWORD bytes = bass_.BASS_ChannelGetLength(state_.CurrentChannel, BASS_POS_BYTE);
    const double seconds = BytesToSeconds(state_.CurrentChannel, bytes);
    int maximum = 0;
    if (bytes != static_cast<QWORD>(-1) && std::isfinite(seconds) && seconds > 0) {
        maximum = RoundHalfEven(seconds);
    }
    form_.HScroll1->setMaximum(maximum);
}

}  // namespace chromola
