#include "playlist/playlist_controller.h"

#include "display/level_bars.h"
#include "playlist/chosen_files.h"
#include "transport_math.h"

namespace chromola {

PlaylistController::PlaylistController(PlayerState& state, PlayerView& view, Clock& clock,
                                       Playback& playback)
    : state_(state), view_(view), clock_(clock), playback_(playback) {}

void PlaylistController::ChooseFiles(const QStringList& paths) {
    const QString chosen = ChosenFilesFromPaths(paths);
    if (chosen.isEmpty()) {
        return;
    }
    CancelOpening();
    state_.ChosenFiles = chosen;
    clock_.StopTicks();
    state_.TrackIndex = 0;
    FillPlaylist();
}

void PlaylistController::OpenPaths(const QStringList& paths) {
    CancelOpening();
    scan_ = std::make_unique<FolderScan>(paths, [this](FolderScan::Found run) { Opened(run); });
}

void PlaylistController::CancelOpening() {
    scan_.reset();
    scanListed_ = false;
    scanEnded_ = false;
}

namespace {

// The part of a name up to and including its last '/'.
QStringView SubfolderOf(const QString& name) {
    return QStringView(name).left(name.lastIndexOf(u'/') + 1);
}

// Narrows `subfolder` to the part of it `name` lies in.
void KeepCommonSubfolder(QString& subfolder, const QString& name) {
    while (!subfolder.isEmpty() && !name.startsWith(subfolder)) {
        subfolder.chop(1);
        subfolder.truncate(subfolder.lastIndexOf(u'/') + 1);
    }
}

// A `ChosenFiles` of several names, under `folder` (ending in '/'), that
// RebuildChosenFiles completes with the list's entries.
QString ChosenFilesHead(const QString& folder, const QString& firstName) {
    const QChar nul(u'\0');
    return (folder.size() > 1 ? folder.chopped(1) : folder) + nul + firstName + nul + nul;
}

}  // namespace

void PlaylistController::Opened(FolderScan::Found run) {
    // The names are made again here, packed in this thread's heap: the
    // walker's own heap is full of the holes of its folder listings.
    for (QString& name : run.names) {
        name = QString(name.constData(), name.size());
    }
    if (!run.names.isEmpty() && !scanListed_) {
        // The opened list takes the current one's place as the dialog's
        // answer would, its folder for now the opened paths' own.
        scanListed_ = true;
        scanSubfolder_ = SubfolderOf(run.names.first()).toString();
        for (const QString& name : run.names) {
            KeepCommonSubfolder(scanSubfolder_, name);
        }
        clock_.StopTicks();
        state_.PlaylistFolder = run.folder;
        state_.ChosenFiles = ChosenFilesHead(run.folder, run.names.first());
        state_.Entries = std::move(run.names);
        state_.TrackIndex = 0;
        view_.SetEntries(state_.Entries);
        failedInARow_ = 0;
        if (listOpened) {
            listOpened();
        }
        StartFilledList();
    } else if (!run.names.isEmpty()) {
        for (const QString& name : run.names) {
            KeepCommonSubfolder(scanSubfolder_, name);
        }
        state_.Entries.append(run.names);
        view_.AppendEntries(run.names);
    }
    if (!run.done) {
        return;
    }
    scanEnded_ = true;
    if (!scanListed_) {
        if (nothingOpened) {
            nothingOpened();
        }
        return;
    }
    // Stored as the dialog's answer for these files would be: under their
    // deepest common folder, or as the one path.
    if (!scanSubfolder_.isEmpty()) {
        for (QString& entry : state_.Entries) {
            entry.remove(0, scanSubfolder_.size());
        }
        state_.PlaylistFolder += scanSubfolder_;
        state_.ChosenFiles = ChosenFilesHead(state_.PlaylistFolder, state_.Entries.value(0));
        view_.SetEntries(state_.Entries);
        view_.SelectEntry(state_.TrackIndex);
    }
    // The names themselves join it when the list is saved (RebuildChosenFiles).
    if (state_.Entries.size() == 1) {
        state_.ChosenFiles = state_.PlaylistFolder + state_.Entries.first();
    }
    playback_.Notify(PlaybackEvent::ListChanged);
}

void PlaylistController::FillPlaylist(bool play) {
    if (state_.ChosenFiles.isEmpty()) {
        return;
    }
    const PlaylistSource source = ParseChosenFiles(state_.ChosenFiles);
    state_.PlaylistFolder = source.folder;
    state_.Entries = PlayableEntries(source.folder, source.names);
    view_.SetEntries(state_.Entries);
    failedInARow_ = 0;
    const int count = static_cast<int>(state_.Entries.size());
    if (count == 0) {
        // Nothing left to play: what played before stops with the list, so
        // that no sound goes on under the idle look with nothing to stop it.
        clock_.StopTicks();
        playback_.FreeChannel();
        ShowIdleLook();
        playback_.Notify(PlaybackEvent::ListChanged);
        playback_.Notify(PlaybackEvent::Stopped);
        return;
    }
    state_.TrackIndex = WrapIndex(state_.TrackIndex, count);
    if (!play) {
        view_.SelectEntry(state_.TrackIndex);
        return;
    }
    StartFilledList();
}

void PlaylistController::StartFilledList() {
    if (beforeTrackStart) {
        beforeTrackStart();
    }
    view_.SetBackColour(kBlack);
    view_.ShowPicture(false);
    view_.SelectEntry(state_.TrackIndex);
    StartTrack(state_.PlaylistFolder + state_.Entries.at(state_.TrackIndex));
    playback_.Notify(PlaybackEvent::ListChanged);
}

void PlaylistController::ShowIdleLook() {
    if (showIdleColour) {
        showIdleColour();
    } else {
        view_.SetBackColour(kIdleColour);
    }
    view_.ShowPicture(true);
    view_.SetLevelBarEnds(kIdleBarEndTwips, kIdleBarEndTwips, kIdleBarEndTwips);
    view_.ClearMessage();
}

void PlaylistController::PlaySelected() {
    if (beforeTrackStart) {
        beforeTrackStart();
    }
    clock_.StopTicks();
    view_.ClearMessage();
    playback_.FreeChannel();
    state_.TrackIndex = view_.SelectedEntry();
    const bool selected = state_.TrackIndex >= 0 && state_.TrackIndex < state_.Entries.size();
    StartTrack(state_.PlaylistFolder +
               (selected ? state_.Entries.at(state_.TrackIndex) : QString()));
}

void PlaylistController::StartTrack(const QString& path) {
    const Playback::Outcome outcome = playback_.PlayFile(path);
    failure_ = Playback::MessageFor(outcome);
    failedInARow_ = outcome == Playback::Outcome::Playing ? 0 : failedInARow_ + 1;
    if (outcome != Playback::Outcome::Playing) {
        clock_.StopTicks();
        view_.ClearMessage();
        view_.PrintMessage(failure_);
    }
    view_.SetPositionMaximum(playback_.PositionRange());
    clock_.StartTicks();
    playback_.Notify(PlaybackEvent::TrackStarted);
}

void PlaylistController::PreviousTrack() {
    StepTo(PreviousIndex);
}

void PlaylistController::NextTrack() {
    StepTo(NextIndex);
}

void PlaylistController::StepTo(int (*step)(int trackIndex, int count)) {
    const int count = static_cast<int>(state_.Entries.size());
    if (count <= 1) {
        return;
    }
    state_.TrackIndex = step(state_.TrackIndex, count);
    view_.SelectEntry(state_.TrackIndex);
    PlaySelected();
}

void PlaylistController::RemoveSelected() {
    const int row = view_.SelectedEntry();
    if (row < 0 || row >= state_.Entries.size()) {
        return;
    }
    state_.Entries.removeAt(row);
    view_.RemoveEntry(row);
    playback_.Notify(PlaybackEvent::ListChanged);
    const int count = static_cast<int>(state_.Entries.size());
    const bool removedCurrent = row == state_.TrackIndex;
    if (removedCurrent && clock_.Ticking()) {
        if (count == 0) {
            clock_.StopTicks();
            playback_.FreeChannel();
            ShowIdleLook();
            playback_.Notify(PlaybackEvent::Stopped);
            return;
        }
        state_.TrackIndex = row < count ? row : 0;
        view_.SelectEntry(state_.TrackIndex);
        PlaySelected();
        return;
    }
    if (row < state_.TrackIndex) {
        --state_.TrackIndex;
    } else if (removedCurrent && count > 0) {
        // Between tracks the next start steps on from TrackIndex: make it
        // the entry that took the removed one's place.
        state_.TrackIndex = row > 0 ? row - 1 : count - 1;
        return;
    }
    if (state_.TrackIndex < count) {
        view_.SelectEntry(state_.TrackIndex);
    }
}

}  // namespace chromola
