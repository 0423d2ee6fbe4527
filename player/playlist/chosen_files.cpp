#include "playlist/chosen_files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>

#include <algorithm>
#include <optional>
#include <vector>

namespace chromola {

namespace {

constexpr QChar kNul = QChar(u'\0');
constexpr QChar kSlash = QChar(u'/');

// The several-names form needs at least one character of a name after the
// first NUL. A single path followed only by NULs (as a trimmed dialog answer
// for a name with a short extension leaves it) is still one path.
bool IsSeveralNamesForm(const QString& chosenFiles, qsizetype firstNul) {
    for (qsizetype i = firstNul + 1; i < chosenFiles.size(); ++i) {
        if (chosenFiles.at(i) != kNul) {
            return true;
        }
    }
    return false;
}

QString FolderOf(const QString& absolutePath) {
    const qsizetype slash = absolutePath.lastIndexOf(kSlash);
    return slash <= 0 ? QStringLiteral("/") : absolutePath.left(slash);
}

// Whether a clean absolute path lies below a folder given without its
// trailing '/' ("/" for the root).
bool IsInside(const QString& path, const QString& folder) {
    if (folder.size() == 1) {
        return path.size() > 1;
    }
    return path.size() > folder.size() + 1 && path.startsWith(folder) &&
           path.at(folder.size()) == kSlash;
}

// The names of the ordinary files in a folder, and those it could not tell
// without following a link or asking after the file, each sorted; nothing
// when the folder cannot be read (a folder that may be entered but not
// listed still lets each file be asked after).
// Names are compared as the bytes the file system holds, as asking after
// the file by its name would.
struct FolderListing {
    std::vector<QByteArray> files;
    std::vector<QByteArray> unsure;
};

bool Holds(const std::vector<QByteArray>& sorted, const QByteArray& name) {
    return std::binary_search(sorted.begin(), sorted.end(), name);
}

std::optional<FolderListing> ReadFolder(const QString& folder) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return std::nullopt;
    }
    FolderListing listing;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_type == DT_REG) {
            listing.files.emplace_back(entry->d_name);
        } else if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            listing.unsure.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.unsure.begin(), listing.unsure.end());
    return listing;
}

// Below this many entries in one folder, asking after each file is cheaper
// than listing a folder that may hold many more.
constexpr qsizetype kEntriesWorthAListing = 8;

// The part of a relative name up to and including its last '/'.
QStringView SubfolderOf(const QString& name) {
    return QStringView(name).left(name.lastIndexOf(kSlash) + 1);
}

}  // namespace

QString ChosenFilesFromPaths(const QStringList& paths) {
    if (paths.isEmpty()) {
        return {};
    }
    const QDir current = QDir::current();
    QStringList absolute;
    for (const QString& path : paths) {
        absolute << QDir::cleanPath(current.absoluteFilePath(path));
    }
    if (absolute.size() == 1) {
        return absolute.first();
    }
    QString folder = FolderOf(absolute.first());
    for (const QString& path : absolute) {
        while (folder.size() > 1 && !IsInside(path, folder)) {
            folder = FolderOf(folder);
        }
    }
    const qsizetype nameStart = folder.size() == 1 ? 1 : folder.size() + 1;
    QString chosen = folder;
    chosen += kNul;
    for (const QString& path : absolute) {
        const QString name = path.mid(nameStart);
        // An empty name would read back as the end of the list.
        if (name.isEmpty() || name.contains(kNul)) {
            continue;
        }
        chosen += name;
        chosen += kNul;
    }
    chosen += kNul;
    return chosen;
}

PlaylistSource ParseChosenFiles(const QString& chosenFiles) {
    PlaylistSource source;
    const qsizetype firstNul = chosenFiles.indexOf(kNul);
    if (firstNul >= 0 && IsSeveralNamesForm(chosenFiles, firstNul)) {
        source.folder = chosenFiles.left(firstNul);
        if (!source.folder.endsWith(kSlash)) {
            source.folder += kSlash;
        }
        // A missing or doubled final NUL, and empty names between NULs, all
        // read the same.
        source.names = chosenFiles.mid(firstNul + 1).split(kNul, Qt::SkipEmptyParts);
        return source;
    }
    const QString path = firstNul >= 0 ? chosenFiles.left(firstNul) : chosenFiles;
    const qsizetype slash = path.lastIndexOf(kSlash);
    source.folder = path.left(slash + 1);
    const QString name = path.mid(slash + 1);
    if (!name.isEmpty()) {
        source.names.append(name);
    }
    return source;
}

QString RebuildChosenFiles(const QString& chosenFiles, const QStringList& entries) {
    if (entries.isEmpty()) {
        return {};
    }
    const qsizetype firstNul = chosenFiles.indexOf(kNul);
    if (firstNul < 0 || !IsSeveralNamesForm(chosenFiles, firstNul)) {
        return chosenFiles;
    }
    QString rebuilt = chosenFiles.left(firstNul + 1);
    for (const QString& entry : entries) {
        rebuilt += entry;
        rebuilt += kNul;
    }
    rebuilt += kNul;
    return rebuilt;
}

bool IsPlayableEntryFile(const QString& fullPath) {
    if (fullPath.isEmpty() || fullPath.contains(kNul)) {
        return false;
    }
    const QFileInfo info(fullPath);
    // isFile() follows links and is false for directories, dangling links,
    // devices and pipes: only something a decoder can read to the end.
    return !info.fileName().startsWith(u'.') && info.isFile();
}

QStringList PlayableEntries(const QString& folder, const QStringList& names) {
    QStringList playable;
    // The listing of the folder the current run of entries lies in, when
    // the run is long enough to be worth it.
    std::optional<FolderListing> listing;
    QStringView runFolder;
    qsizetype runEnd = 0;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        const QStringView subfolder = SubfolderOf(name);
        if (i >= runEnd) {
            runFolder = subfolder;
            runEnd = i + 1;
            while (runEnd < names.size() && SubfolderOf(names.at(runEnd)) == runFolder) {
                ++runEnd;
            }
            listing.reset();
            if (runEnd - i >= kEntriesWorthAListing && !runFolder.contains(kNul)) {
                listing = ReadFolder(folder + runFolder.toString());
            }
        }
        const QStringView leaf = QStringView(name).mid(subfolder.size());
        const QByteArray leafBytes = listing ? QFile::encodeName(leaf.toString()) : QByteArray();
        bool ok = false;
        if (listing && !leaf.isEmpty() && !leaf.startsWith(u'.') &&
            !Holds(listing->unsure, leafBytes)) {
            ok = Holds(listing->files, leafBytes);
        } else {
            ok = IsPlayableEntryFile(folder + name);
        }
        if (ok) {
            playable.append(name);
        }
    }
    return playable;
}

}  // namespace chromola
