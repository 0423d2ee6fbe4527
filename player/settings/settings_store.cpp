#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

#include <atomic>
#include <climits>
#include <cstdlib>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace chromola {

StoredSettings SettingsStore::Read(const QLocale& locale) {
    // Only a file is read, or the file a link leads to: opening a FIFO would
    // wait for a writer for good, and a folder or a device holds no settings.
    const QString path = SettingsFilePath();
    std::optional<QSettings> settings;
    if (QFileInfo(path).isFile()) {
        settings.emplace(path, QSettings::IniFormat);
        settings->beginGroup(QString::fromLatin1(kSettingsSection));
    }
    return DecodeSettings(
        [&settings](const QString& name) -> std::optional<QString> {
            const QVariant value = settings ? settings->value(name) : QVariant();
            if (!value.isValid()) {
                return std::nullopt;
            }
            // A list or other non-text value counts as text that is not a
            // number, so it takes the default.
            return value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("\x01");
        },
        locale);
}

namespace {

using Encoded = std::vector<std::pair<QString, QString>>;

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

QString FolderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash > 0 ? path.left(slash) : QStringLiteral("/");
}

QString NameOf(const QString& path) {
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

// The path with every link and dot resolved as the kernel resolves them;
// empty when there is nothing there. QFileInfo would take "a/../b" as "b"
// even where "a" is a link.
QString RealPath(const QString& path) {
    char* real = ::realpath(Native(path).constData(), nullptr);
    if (real == nullptr) {
        return {};
    }
    QString result = QFile::decodeName(real);
    std::free(real);
    return result;
}

// What a link says, made absolute; empty when it cannot be read.
QString LinkTarget(const QString& link) {
    QByteArray target(PATH_MAX, '\0');
    const ssize_t length = ::readlink(Native(link).constData(), target.data(), target.size());
    if (length <= 0 || length >= target.size()) {
        return {};
    }
    target.truncate(length);
    const QString text = QFile::decodeName(target);
    return text.startsWith(QLatin1Char('/')) ? text : FolderOf(link) + QLatin1Char('/') + text;
}

// The file a save replaces: the settings file, or the file at the end of the
// links in its place, so that a link kept by a dotfile manager stays a link
// and the file it leads to gets the values. A link to a missing file leads
// to it when the folder it names exists and gives way to the new file
// otherwise. Nothing when the path holds something other than a file (a
// FIFO would block the reader, and a folder or a device is not the player's
// to replace) or links that never end. The answer's folder is free of links
// and dots, so that QSettings, which tidies the paths it is given, writes
// where the renames expect.
std::optional<QString> SaveTarget(const QString& path) {
    constexpr int kMostLinks = 40;  // as many as the kernel follows
    QString current = path;
    for (int links = 0; links <= kMostLinks; ++links) {
        struct stat status {};
        if (::lstat(Native(current).constData(), &status) == 0) {
            if (S_ISREG(status.st_mode)) {
                return RealPath(current);
            }
            if (!S_ISLNK(status.st_mode) || (current = LinkTarget(current)).isEmpty()) {
                return std::nullopt;
            }
            continue;
        }
        if (errno != ENOENT || NameOf(current).isEmpty()) {
            return std::nullopt;
        }
        // Nothing there yet. The first save makes the settings folder.
        if (links == 0) {
            QDir().mkpath(FolderOf(current));
        }
        if (const QString folder = RealPath(FolderOf(current)); !folder.isEmpty()) {
            return folder + QLatin1Char('/') + NameOf(current);
        }
        if (links == 0) {
            return std::nullopt;
        }
        return RealPath(FolderOf(path)) + QLatin1Char('/') + NameOf(path);  // the link gives way
    }
    return std::nullopt;
}

// The previous file's bytes and permissions, so that the new file starts as
// its copy.
struct Contents {
    QByteArray bytes;
    mode_t mode = 0;
};

// Nothing when the path holds no file, or one that cannot be read. Opened
// without waiting, in case a FIFO took the file's place since it was looked
// at.
std::optional<Contents> ReadContents(const QString& path) {
    const int handle = ::open(Native(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0) {
        return std::nullopt;
    }
    QFile file;
    struct stat status {};
    if (!file.open(handle, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(handle);
        return std::nullopt;
    }
    if (::fstat(handle, &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    Contents contents{file.readAll(), status.st_mode & 07777};
    if (file.error() != QFileDevice::NoError) {
        return std::nullopt;
    }
    return contents;
}

bool WriteNewFile(const QString& path, const Contents& contents) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
           ::fchmod(file.handle(), contents.mode) == 0 &&
           file.write(contents.bytes) == contents.bytes.size() && file.flush();
}

bool Rename(const QString& from, const QString& to) {
    return ::rename(Native(from).constData(), Native(to).constData()) == 0;
}

// A file or a folder (QFile opens no folders).
bool SyncToDisk(const QString& path) {
    const int handle = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC);
    const bool synced = handle >= 0 && ::fsync(handle) == 0;
    if (handle >= 0) {
        ::close(handle);
    }
    return synced;
}

// Removes what an interrupted save leaves beside the settings file `name`:
// the new file (name.new, or name.new<number>), the name it is checked
// under (.check), the lock QSettings takes while writing it (.lock) and
// Qt's temporary file (a dot and six letters or digits). Nothing else,
// since the folder is shared with other programs.
void RemoveLeftovers(QDir folder, const QString& name) {
    const QRegularExpression ours(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(name + QStringLiteral(".new")) +
        QStringLiteral(R"(\d*(\.check|\.lock|\.[A-Za-z0-9]{6})?)")));
    for (const QString& entry : folder.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (ours.match(entry).hasMatch()) {
            folder.remove(entry);
        }
    }
}

// Reads the values back from the bytes on disk. Every section is parsed, so
// that a file cut short anywhere fails the check.
bool ReadsBackAs(const QString& path, const Encoded& encoded, const QString& group) {
    const QSettings check(path, QSettings::IniFormat);
    check.allKeys();
    bool same = check.status() == QSettings::NoError;
    for (const auto& [name, text] : encoded) {
        const QVariant stored = check.value(group + name);
        same = same && stored.typeId() == QMetaType::QString && stored.toString() == text;
    }
    return same;
}

}  // namespace

bool SettingsStore::Write(const StoredSettings& values, const QLocale& locale) {
    // QSettings can leave a cut-short file behind when the disk fills up and
    // still report success, so the new file is made beside the old one as
    // its copy, edited, read back and checked, flushed to disk and only then
    // put in its place with an atomic rename. Groups of other programs in the
    // file are kept. No hard links: vfat, exFAT and some network mounts have
    // none.
    const std::optional<QString> target = SaveTarget(SettingsFilePath());
    if (!target) {
        return false;
    }
    const QFileInfo info(*target);
    const QDir folder = info.absoluteDir();
    RemoveLeftovers(folder, info.fileName());
    std::optional<Contents> previous;
    if (info.exists() && !(previous = ReadContents(*target))) {
        return false;
    }

    // QSettings trusts what it once read of a path for as long as the file's
    // size and time look unchanged, whatever the bytes on disk; each save
    // therefore works under names this process has not used before, so that
    // both the edit and the check read the disk.
    static std::atomic<int> saves = 0;
    const QString fresh = *target + QStringLiteral(".new") + QString::number(saves++);
    const QString check = fresh + QStringLiteral(".check");
    const Encoded encoded = EncodeSettings(values, locale);
    const QString group = QString::fromLatin1(kSettingsSection) + QLatin1Char('/');
    bool written = !previous || WriteNewFile(fresh, *previous);
    if (written) {
        QSettings settings(fresh, QSettings::IniFormat);
        for (const auto& [name, text] : encoded) {
            settings.setValue(group + name, text);
        }
        settings.sync();
        // A format error is the previous file's: QSettings leaves out the
        // lines it cannot read and writes the rest, so a stray comment or a
        // byte-order mark does not stop every later save. It also hides a
        // failed write, which the check below finds.
        written = settings.status() != QSettings::AccessError;
    }
    written = written && Rename(fresh, check) && ReadsBackAs(check, encoded, group) &&
              SyncToDisk(check) && Rename(check, *target);
    if (!written) {
        QFile::remove(fresh);
        QFile::remove(check);
        return false;
    }
    // The rename reaches the disk with the folder. It has happened whatever
    // this answers, and some file systems cannot flush a folder at all.
    SyncToDisk(folder.absolutePath());
    return true;
}

}  // namespace chromola
