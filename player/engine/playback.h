// Track loading and playback: the one audio channel of the player. PlayFile
// replaces it with a newly opened file (a stream, else a tracker module) and
// starts it, and says whether that worked; the caller reports a failure.
// Nothing here throws.
#pragma once

#include <QString>

#include <vector>

#include "engine/audio_engine.h"
#include "engine/playback_events.h"
#include "player_state.h"

namespace chromola {

class Playback {
  public:
    Playback(AudioEngine& bass, PlayerState& state);

    enum class Outcome { Playing, CannotOpen, CannotPlay };
    Outcome PlayFile(const QString& path);
    // The message a failed outcome is reported with; empty for Playing.
    static QString MessageFor(Outcome outcome);

    // The open calls with the player's fixed arguments; the path is UTF-16.
    DWORD OpenStream(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags);
    DWORD OpenModule(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                     DWORD rate);
    double BytesToSeconds(DWORD handle, QWORD bytes);
    BOOL SeekTo(DWORD handle, QWORD bytes, DWORD mode);
    // The position bar's maximum from the current channel's length, whole
    // seconds; 0 when the library cannot give the length.
    int PositionRange();
    // Stops the current channel whatever its kind; the handle is kept.
    void FreeChannel();
    // The file PlayFile was last given.
    const QString& CurrentPath() const { return currentPath_; }

    // Listeners are told of every PlaybackEvent from now on; not owned.
    void AddListener(PlaybackListener* listener) { listeners_.push_back(listener); }
    void RemoveListener(PlaybackListener* listener) { std::erase(listeners_, listener); }
    void Notify(PlaybackEvent event) const {
        for (PlaybackListener* listener : listeners_) {
            listener->PlaybackChanged(event);
        }
    }

    static constexpr char kCannotOpenMessage[] = "Выбранный файл не может быть воспроизведен!";
    static constexpr char kCannotPlayMessage[] = "Произошла ошибка при воспроизведении файла!";

  private:
    AudioEngine& bass_;
    PlayerState& state_;
    QString currentPath_;
    std::vector<PlaybackListener*> listeners_;
};

}  // namespace chromola
