// `ChosenFiles`: the answer of the file dialog, also the stored playlist.
// Two forms: one full path; or the folder, NUL, every file name followed by
// NUL, and one more NUL. Files from several folders are stored under their
// deepest common folder with names relative to it ("album/01.mp3"), so a
// one-folder list keeps the form older versions read. Parsing and rebuilding
// here; no widgets, and the only file-system access is checking entries.
#pragma once

#include <QString>
#include <QStringList>

namespace chromola {

// Builds the answer from the paths the dialog returned: one path gives that
// absolute path; several give their deepest common folder (no trailing '/',
// "/" for the root), NUL, each path relative to it + NUL, NUL. Every name is
// kept whole. No paths give empty text.
QString ChosenFilesFromPaths(const QStringList& paths);

struct PlaylistSource {
    QString folder;     // always ends in '/' (or is empty for a bare name)
    QStringList names;  // candidate entries in order, relative to the folder
};

// Splits either form. The one-path form cuts at its last '/' and drops
// anything from a NUL on; the several-names form takes the names between
// NULs. Whether each candidate exists is not checked here.
PlaylistSource ParseChosenFiles(const QString& chosenFiles);

// The value saved at exit: for the several-names form the text up to and
// including its first NUL, then each entry + NUL, then NUL; the one-path
// form unchanged; an empty list gives empty text.
QString RebuildChosenFiles(const QString& chosenFiles, const QStringList& entries);

// A playlist entry must be an existing ordinary file (a link to one counts)
// whose name does not start with '.'.
bool IsPlayableEntryFile(const QString& fullPath);

// The names under `folder` that IsPlayableEntryFile takes, in their order.
// Where several entries in a row lie in one folder, the folder is read once
// instead of asking after each file: a saved list of tens of thousands is
// checked before the window shows.
QStringList PlayableEntries(const QString& folder, const QStringList& names);

}  // namespace chromola
