#include "main_window/open_files_dialog.h"

#include <QFileDialog>

#include "playlist/playlist_controller.h"

namespace chromola {

QStringList ShowOpenFilesDialog(QWidget* owner, const QString& folder) {
    QFileDialog dialog(owner, QString::fromUtf8(PlaylistController::kDialogTitle), folder);
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

}  // namespace chromola
