#include "playlist/playlist_controller.h"

#include <QCursor>
#include <QFileDialog>
#include <QMouseEvent>

#include <memory>

#include "engine/playback.h"
#include "main_window/form1.h"
#include "main_window/transport_math.h"
#include "playlist/chosen_files.h"

namespace chromola {

namespace {
const QColor kIdleColour(12, 17, 11);
constexpr int kIdleBarX2 = 144;
}  // namespace

QStringList ShowOpenFilesDialog(QWidget* owner) {
    QFileDialog dialog(owner, QString::fromUtf8(PlaylistController::kDialogTitle));
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(QString::fromUtf8(PlaylistController::kDialogFilter));
    // Qt's own dialog matches the extensions in any letter case (SONG.MP3 as
    // well as song.mp3); some desktop dialogs would not.
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    if (dialog.exec() != QDialog::Accepted) {
        return {};
    }
    return dialog.selectedFiles();
}

PlaylistController::PlaylistController(PlayerState& state, Form1& form, Playback& playback,
                                       FileChooser chooser)
    : state_(state), form_(form), playback_(playback), chooser_(std::move(chooser)) {
    connect(form_.Command1, &QPushButton::clicked, this, &PlaylistController::ChooseFiles);
    connect(form_.Command2, &QPushButton::clicked, this, &PlaylistController::PreviousTrack);
    connect(form_.Command3, &QPushButton::clicked, this, &PlaylistController::NextTrack);
    connect(form_.List1, &QListWidget::itemDoubleClicked, this, [this] { PlaySelected(); });
    connect(form_.mDel, &QAction::triggered, this, &PlaylistController::RemoveSelected);
    connect(&form_, &Form1::listMouseDown, this, [this](Qt::MouseButton button) {
        if (button == Qt::RightButton && form_.List1->currentRow() > -1) {
            form_.mMenu->popup(QCursor::pos());
        }
    });
    form_.List1->viewport()->installEventFilter(this);
}

void PlaylistController::ChooseFiles() {
    const QStringList paths = chooser_(&form_);
    const QString chosen = ChosenFilesFromPaths(paths);
    if (chosen.isEmpty()) {
        return;
    }
    state_.ChosenFiles = chosen;
    form_.Timer1.stop();
    state_.TrackIndex = 0;
    FillPlaylist();
}

void PlaylistController::FillPlaylist() {
    if (state_.ChosenFiles.isEmpty()) {
        return;
    }
    const PlaylistSource source = ParseChosenFiles(state_.ChosenFiles);
    state_.PlaylistFolder = source.folder;
    form_.List1->clear();
    for (const QString& name : source.names) {
        if (IsPlayableEntryFile(source.folder + name)) {
            form_.List1->addItem(name);
        }
    }
    const int count = form_.List1->count();
    if (count == 0) {
        ShowIdleLook();
        return;
    }
    if (beforeTrackStart) {
        beforeTrackStart();
    }
    form_.setBackColor(Qt::black);
    form_.Image1->hide();
    state_.TrackIndex = WrapIndex(state_.TrackIndex, count);
    form_.List1->setCurrentRow(state_.TrackIndex);
    playback_.PlayFile(state_.PlaylistFolder + form_.List1->currentItem()->text());
    playback_.SetPositionRange();
    form_.Timer1.start();
}

void PlaylistController::ShowIdleLook() {
    form_.setBackColor(kIdleColour);
    form_.Image1->show();
    for (int bar = 0; bar < 3; ++bar) {
        form_.Frame1->setLineX2(bar, kIdleBarX2);
    }
    form_.cls();
}

void PlaylistController::PlaySelected() {
    if (beforeTrackStart) {
        beforeTrackStart();
    }
    form_.Timer1.stop();
    form_.cls();
    playback_.FreeChannel();
    state_.TrackIndex = form_.List1->currentRow();
    const QListWidgetItem* item = form_.List1->currentItem();
    playback_.PlayFile(state_.PlaylistFolder + (item != nullptr ? item->text() : QString()));
    playback_.SetPositionRange();
    form_.Timer1.start();
}

void PlaylistController::PreviousTrack() {
    StepTo(PreviousIndex);
}

void PlaylistController::NextTrack() {
    StepTo(NextIndex);
}

void PlaylistController::StepTo(int (*step)(int trackIndex, int count)) {
    const int count = form_.List1->count();
    if (count <= 1) {
        return;
    }
    state_.TrackIndex = step(state_.TrackIndex, count);
    form_.List1->setCurrentRow(state_.TrackIndex);
    PlaySelected();
}

void PlaylistController::RemoveSelected() {
    const int row = form_.List1->currentRow();
    if (row < 0) {
        return;
    }
    std::unique_ptr<QListWidgetItem> removed(form_.List1->takeItem(row));
    NextTrack();
}

bool PlaylistController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == form_.List1->viewport() && event->type() == QEvent::MouseMove) {
        // The tooltip names the entry under the pointer and keeps its last
        // text over the empty space below the entries.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (const QListWidgetItem* item = form_.List1->itemAt(mouse->position().toPoint())) {
            form_.List1->setToolTip(item->text());
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace chromola
