// The playlist `List1`: choosing files, filling the list from `ChosenFiles`,
// and the one road that starts every track (the list's double-click action),
// which the stepping actions, the display and the keys all take.
#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

#include "player_state.h"

namespace chromola {

class Form1;
class Playback;

// Asks the user for audio files; an empty list means cancelled.
using FileChooser = std::function<QStringList(QWidget* owner)>;
QStringList ShowOpenFilesDialog(QWidget* owner);

class PlaylistController : public QObject {
    Q_OBJECT
  public:
    PlaylistController(PlayerState& state, Form1& form, Playback& playback,
                       FileChooser chooser = ShowOpenFilesDialog);

    void ChooseFiles();
    void FillPlaylist();
    // Plays the selected entry: the list's double-click action.
    void PlaySelected();
    void PreviousTrack();
    void NextTrack();
    void RemoveSelected();

    // Called before a track is started by hand or by a key, so that a pending
    // start after the pause between tracks does not start a second one.
    std::function<void()> beforeTrackStart;

    static constexpr char kDialogTitle[] = "Открыть музыкальный'е файл'ы";
    static constexpr char kDialogFilter[] =
        "Files (wav,mp1,mp2,mp3,xm,mod,s3m,it,mtm,umx,ogg,aif) "
        "(*.wav *.mp1 *.mp2 *.mp3 *.xm *.mod *.s3m *.it *.mtm *.umx *.ogg *.aif)";

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ShowIdleLook();
    // Moves to the entry `step` gives and plays it; needs two entries.
    void StepTo(int (*step)(int trackIndex, int count));

    PlayerState& state_;
    Form1& form_;
    Playback& playback_;
    FileChooser chooser_;
};

}  // namespace chromola
