// The playlist: filling it from `ChosenFiles`, and the one road that starts
// every track (the list's double-click action), which the stepping actions,
// the display and the keys all take.
#pragma once

#include <QStringList>

#include <functional>
#include <memory>

#include "clock.h"
#include "engine/playback.h"
#include "player_state.h"
#include "player_view.h"
#include "playlist/folder_scan.h"

namespace chromola {

class PlaylistController {
  public:
    PlaylistController(PlayerState& state, PlayerView& view, Clock& clock, Playback& playback);

    // The files the user chose (none: cancelled, nothing changes).
    void ChooseFiles(const QStringList& paths);
    // Files and folders opened from outside the dialog (opened_paths.h),
    // read on a thread of their own (folder_scan.h). The list they give takes
    // the current one's place, and its first file starts, as soon as the
    // first of them is found; the rest join the list as they are found, so
    // that the list ends in the same order as if they had all been read
    // first. Until then nothing changes; when they hold nothing to play,
    // nothing does and `nothingOpened` is called. Opening again, choosing in
    // the dialog or CancelOpening stops an opening under way.
    void OpenPaths(const QStringList& paths);
    void CancelOpening();
    // Opened paths are still being read.
    bool Opening() const { return scan_ != nullptr && !scanEnded_; }
    // Lists the entries of `ChosenFiles` and, with `play`, starts the
    // current one.
    void FillPlaylist(bool play = true);
    // Plays the selected entry: the list's double-click action.
    void PlaySelected();
    void PreviousTrack();
    void NextTrack();
    // Removes the selected entry. Removing the playing entry plays the one
    // that takes its place; removing another leaves playback alone.
    void RemoveSelected();

    // The message of the last track that could not be played, until another
    // track starts.
    const QString& Failure() const { return failure_; }
    // Every entry of the list failed in turn since the list was filled or a
    // track last played: going round again would only fail again.
    bool WholeRoundFailed() const {
        return !Opening() && !state_.Entries.isEmpty() && failedInARow_ >= state_.Entries.size();
    }

    // Called before a track is started by hand or by a key, so that a pending
    // start after the pause between tracks does not start a second one.
    std::function<void()> beforeTrackStart;
    // Shows the idle colour on the window and whatever else follows it.
    std::function<void()> showIdleColour;
    // An opening listed its first files, or found nothing to play.
    std::function<void()> listOpened;
    std::function<void()> nothingOpened;

    static constexpr char kDialogTitle[] = "Открыть музыкальный'е файл'ы";
    static constexpr char kDialogFilter[] =
        "Files (wav,mp1,mp2,mp3,xm,mod,s3m,it,mtm,umx,ogg,aif) "
        "(*.wav *.mp1 *.mp2 *.mp3 *.xm *.mod *.s3m *.it *.mtm *.umx *.ogg *.aif *.flac *.opus)";

  private:
    // A run of opened files (folder_scan.h).
    void Opened(FolderScan::Found run);
    void ShowIdleLook();
    // Starts the current entry of a list just filled.
    void StartFilledList();
    // Opens and starts the track at `path`; a failure is printed on the
    // window and counts as ended at the next tick.
    void StartTrack(const QString& path);
    // Moves to the entry `step` gives and plays it; needs two entries.
    void StepTo(int (*step)(int trackIndex, int count));

    PlayerState& state_;
    PlayerView& view_;
    Clock& clock_;
    Playback& playback_;
    QString failure_;
    qsizetype failedInARow_ = 0;
    // The last opening's scan; one that has ended stays until the next
    // opening, since it ends inside its own call.
    std::unique_ptr<FolderScan> scan_;
    bool scanEnded_ = false;
    // The opening under way has listed its first files.
    bool scanListed_ = false;
    // The subfolder every entry of the opening lies in so far ("" or ending
    // in '/'): the list's folder when the opening ends.
    QString scanSubfolder_;
};

}  // namespace chromola
