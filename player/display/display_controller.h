// The colour-music display: every 17 ms tick of `Timer1` turns the spectrum
// of what is heard into the window's colour, the three level bars and the
// position bar, and notices the end of a track. Between two tracks it shows
// the idle picture, waits the pause without blocking the event loop, and
// starts the next entry.
#pragma once

#include <QObject>
#include <QTimer>

#include "display/colour_levels.h"
#include "engine/bass_library.h"
#include "player_state.h"

namespace chromola {

class Form1;
class Playback;
class PlaylistController;

class DisplayController : public QObject {
    Q_OBJECT
  public:
    DisplayController(BassLibrary& bass, PlayerState& state, Form1& form, Playback& playback,
                      PlaylistController& playlist);

    void Tick();
    // The brightness bar's change handling: `Brightness` and `Label1`.
    void BrightnessChanged();
    float Brightness() const { return brightness_; }

    bool isBetweenTracks() const { return pauseTimer_.isActive(); }
    // Drops the pending start of the next entry (a track was started or
    // stopped by hand meanwhile, or the window is closing) and gives the
    // controls back.
    void CancelPendingStart();

  private:
    void EndOfTrack();
    void StartNextEntry();
    void EnableTransport(bool enabled);

    BassLibrary& bass_;
    PlayerState& state_;
    Form1& form_;
    Playback& playback_;
    PlaylistController& playlist_;
    float brightness_ = 0.0f;
    Spectrum spectrum_{};  // filled in place every tick
    QTimer pauseTimer_;
};

}  // namespace chromola
