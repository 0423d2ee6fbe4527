// The file dialog of "Файл'ы": several audio files at once.
#pragma once

#include <QStringList>
#include <QWidget>

#include <functional>

namespace chromola {

// Asks the user for audio files; an empty list means cancelled.
using FileChooser = std::function<QStringList(QWidget* owner)>;
QStringList ShowOpenFilesDialog(QWidget* owner);

}  // namespace chromola
