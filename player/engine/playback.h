// Track loading and playback: the one audio channel of the player. PlayFile
// replaces it with a newly opened file (a stream, else a tracker module) and
// starts it; a file that cannot be played leaves a message printed on the
// main window and the display timer stopped. Nothing here throws.
#pragma once

#include <QString>

#include "engine/bass_library.h"
#include "player_state.h"

namespace chromola {

class Form1;

class Playback {
  public:
    Playback(BassLibrary& bass, PlayerState& state, Form1& form);

    void PlayFile(const QString& path);
    // The open calls with the player's fixed arguments; the path is UTF-16.
    DWORD OpenStream(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
    DWORD OpenModule(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                     DWORD rate);
    double BytesToSeconds(DWORD handle, QWORD bytes);
    BOOL SeekTo(DWORD handle, QWORD bytes, DWORD mode);
    // The position bar's maximum from the current channel's length, whole
    // seconds; a length the library cannot give leaves it at 0.
    void SetPositionRange();
    // Stops the current channel whatever its kind; the handle is kept.
    void FreeChannel();

    static constexpr char kCannotOpenMessage[] = "Выбранный файл не может быть воспроизведен!";
    static constexpr char kCannotPlayMessage[] = "Произошла ошибка при воспроизведении файла!";

  private:
    void Fail(const char* message);

    BassLibrary& bass_;
    PlayerState& state_;
    Form1& form_;
};

}  // namespace chromola
