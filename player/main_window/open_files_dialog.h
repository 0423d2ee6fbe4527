// The file dialog of "Файл'ы": several audio files at once.
#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

namespace chromola {

// Asks the user for audio files, starting in `folder`; an empty list means
// cancelled.
using FileChooser = std::function<QStringList(QWidget* owner, const QString& folder)>;
QStringList ShowOpenFilesDialog(QWidget* owner, const QString& folder);

}  // namespace chromola
