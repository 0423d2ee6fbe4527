// Files that reach the player from outside its file dialog: the command
// line, a file manager's "Open with", a drop on the window, a second start
// handing its files to the running player. A folder among them stands for
// the audio files inside it. No widgets; only reads the file system.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace chromola {

// The extensions of the files the player opens, lower case, without a dot.
const QStringList& PlayableExtensions();
// Whether a file name ends in one of them, in any letter case.
bool HasPlayableExtension(const QString& fileName);

// Walks what `paths` stand for, in order. Files stay as they are (a missing
// one is dropped). A folder gives the audio files directly in it in name
// order, then those of each subfolder in name order; hidden entries and
// linked folders (which could loop) are passed by. Paths are absolute or
// relative to the current folder. `found` gets each folder (clean,
// absolute, ending in '/') with the names of its files (none for a folder
// without any), or a file given with its folder, as soon as they are known,
// so that the files of a whole tree come in their final order; when it
// returns false the walk stops. Reads only the file system: any thread may
// walk.
void WalkOpenedPaths(const QStringList& paths,
                     const std::function<bool(const QString&, QStringList)>& found);

// The deepest folder that holds every file `paths` stand for: each folder
// among them, and the folder of each file (missing paths count for
// nothing). Clean and absolute, without a trailing '/' ("/" for the root);
// empty when nothing among them exists.
QString OpenedPathsFolder(const QStringList& paths);

// Several starts at once hand over one list each, in no particular order:
// one list keeps its order, several are put in the order of their first
// paths, so that files opened together play in name order.
QStringList MergeHandedOver(std::vector<QStringList> lists);

// Where the file dialog opens: the playlist's folder, else the user's music
// folder, else home; only folders that exist count.
QString DialogFolder(const QString& playlistFolder, const QString& musicFolder,
                     const QString& homeFolder);

}  // namespace chromola
