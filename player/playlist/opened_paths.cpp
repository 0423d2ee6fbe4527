#include "playlist/opened_paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "playlist/chosen_files.h"

namespace chromola {

namespace {

bool IsDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Name order as a file manager shows it, the same in every locale: letter
// case aside, and numbers by their value, so that "2 Intro" comes before
// "10 Finale".
int CompareNames(QStringView a, QStringView b) {
    qsizetype i = 0;
    qsizetype j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            qsizetype endA = i;
            qsizetype endB = j;
            while (endA < a.size() && IsDigit(a[endA])) {
                ++endA;
            }
            while (endB < b.size() && IsDigit(b[endB])) {
                ++endB;
            }
            QStringView numberA = a.sliced(i, endA - i);
            QStringView numberB = b.sliced(j, endB - j);
            while (numberA.size() > 1 && numberA.front() == u'0') {
                numberA = numberA.sliced(1);
            }
            while (numberB.size() > 1 && numberB.front() == u'0') {
                numberB = numberB.sliced(1);
            }
            if (numberA.size() != numberB.size()) {
                return numberA.size() < numberB.size() ? -1 : 1;
            }
            if (const int order = numberA.compare(numberB); order != 0) {
                return order;
            }
            i = endA;
            j = endB;
            continue;
        }
        const QChar foldedA = a[i].toCaseFolded();
        const QChar foldedB = b[j].toCaseFolded();
        if (foldedA != foldedB) {
            return foldedA < foldedB ? -1 : 1;
        }
        ++i;
        ++j;
    }
    const qsizetype restA = a.size() - i;
    const qsizetype restB = b.size() - j;
    return restA == restB ? 0 : (restA < restB ? -1 : 1);
}

struct NameOrder {
    bool operator()(const QString& a, const QString& b) const {
        const int order = CompareNames(a, b);
        return order != 0 ? order < 0 : a < b;
    }
};

// What a folder holds that the walk takes: its readable, non-hidden audio
// files (links to files too) and its readable, non-hidden folders (not the
// linked ones, which could loop), by name. Read with the entry types the
// folder itself records, asking after an entry only where that type is a
// link or unknown: a folder of tens of thousands is read in a moment and
// without an object per entry.
void ReadFolder(const QString& folder, QStringList& files, QStringList& folders) {
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (dir == nullptr) {
        return;
    }
    const int fd = ::dirfd(dir);
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') {
            continue;  // hidden, and "." and ".."
        }
        unsigned char type = entry->d_type;
        if (type == DT_UNKNOWN || type == DT_LNK) {
            struct stat info {};
            if (type == DT_UNKNOWN &&
                ::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(info.st_mode)) {
                type = DT_LNK;
            }
            if (::fstatat(fd, entry->d_name, &info, 0) != 0) {
                continue;  // a dangling link
            }
            if (S_ISREG(info.st_mode)) {
                type = DT_REG;
            } else if (S_ISDIR(info.st_mode) && type != DT_LNK) {
                type = DT_DIR;
            } else {
                continue;
            }
        }
        if (type == DT_DIR) {
            if (::faccessat(fd, entry->d_name, R_OK, 0) == 0) {
                folders << QFile::decodeName(entry->d_name);
            }
        } else if (type == DT_REG) {
            QString name = QFile::decodeName(entry->d_name);
            if (HasPlayableExtension(name) && ::faccessat(fd, entry->d_name, R_OK, 0) == 0) {
                files << std::move(name);
            }
        }
    }
    ::closedir(dir);
}

bool WalkFolder(const QString& folder, const NameOrder& order,
                const std::function<bool(const QString&, QStringList)>& found) {
    QStringList files;
    QStringList folders;
    ReadFolder(folder, files, folders);
    std::sort(files.begin(), files.end(), order);
    std::sort(folders.begin(), folders.end(), order);
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    if (!found(prefix, std::move(files))) {
        return false;
    }
    for (const QString& name : folders) {
        if (!WalkFolder(prefix + name, order, found)) {
            return false;
        }
    }
    return true;
}

// Whether a clean absolute path is `folder` or lies below it.
bool IsAtOrBelow(const QString& path, const QString& folder) {
    return folder == u"/" || path == folder ||
           (path.startsWith(folder) && path.at(folder.size()) == u'/');
}

QString ParentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace

const QStringList& PlayableExtensions() {
    static const QStringList extensions = {"wav", "aif", "aiff", "mp1",  "mp2",
                                           "mp3", "ogg", "opus", "flac", "xm",
                                           "mod", "s3m", "it",   "mtm",  "umx"};
    return extensions;
}

bool HasPlayableExtension(const QString& fileName) {
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return dot >= 0 && PlayableExtensions().contains(fileName.mid(dot + 1).toLower());
}

void WalkOpenedPaths(const QStringList& paths,
                     const std::function<bool(const QString&, QStringList)>& found) {
    const NameOrder order;
    for (const QString& path : paths) {
        const QFileInfo info(QDir::current().absoluteFilePath(path));
        const QString clean = QDir::cleanPath(info.absoluteFilePath());
        if (info.isDir()) {
            if (!WalkFolder(clean, order, found)) {
                return;
            }
        } else if (IsPlayableEntryFile(clean)) {
            const qsizetype slash = clean.lastIndexOf(u'/');
            if (!found(clean.left(slash + 1), {clean.mid(slash + 1)})) {
                return;
            }
        }
    }
}

QString OpenedPathsFolder(const QStringList& paths) {
    QString common;
    for (const QString& path : paths) {
        const QFileInfo info(QDir::current().absoluteFilePath(path));
        const QString clean = QDir::cleanPath(info.absoluteFilePath());
        QString folder;
        if (info.isDir()) {
            folder = clean;
        } else if (IsPlayableEntryFile(clean)) {
            folder = ParentOf(clean);
        } else {
            continue;
        }
        if (common.isEmpty()) {
            common = folder;
        }
        while (!IsAtOrBelow(folder, common)) {
            common = ParentOf(common);
        }
    }
    return common;
}

QStringList MergeHandedOver(std::vector<QStringList> lists) {
    std::erase_if(lists, [](const QStringList& list) { return list.isEmpty(); });
    const NameOrder order;
    std::stable_sort(lists.begin(), lists.end(),
                     [&order](const QStringList& a, const QStringList& b) {
                         return order(a.first(), b.first());
                     });
    QStringList merged;
    for (const QStringList& list : lists) {
        merged << list;
    }
    return merged;
}

QString DialogFolder(const QString& playlistFolder, const QString& musicFolder,
                     const QString& homeFolder) {
    for (const QString& folder : {playlistFolder, musicFolder}) {
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            return folder;
        }
    }
    return homeFolder;
}

}  // namespace chromola
