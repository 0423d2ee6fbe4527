#include "settings/settings_store.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include <cstdio>
#include <optional>

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

// Reads the values back from the bytes on disk. QSettings answers from its
// in-process cache for a file it has just written, so the check goes
// through a second name of the same file, which it has never seen.
bool ReadsBackAs(const QString& path, const std::vector<std::pair<QString, QString>>& encoded,
                 const QString& group) {
    const QString secondName = path + QStringLiteral(".check");
    QFile::remove(secondName);
    if (::link(QFile::encodeName(path).constData(), QFile::encodeName(secondName).constData()) !=
        0) {
        return false;
    }
    bool same = true;
    {
        const QSettings check(secondName, QSettings::IniFormat);
        same = check.status() == QSettings::NoError;
        for (const auto& [name, text] : encoded) {
            const QVariant stored = check.value(group + name);
            same = same && stored.typeId() == QMetaType::QString && stored.toString() == text;
        }
    }
    QFile::remove(secondName);
    return same;
}

}  // namespace

bool SettingsStore::Write(const StoredSettings& values, const QLocale& locale) {
    // QSettings can leave a cut-short file behind when the disk fills up and
    // still report success, so the new file is made beside the old one, read
    // back and checked, flushed to disk and only then put in its place with
    // an atomic rename. Groups of other programs in the file are kept.
    const QString path = SettingsFilePath();
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        return false;  // a FIFO, a folder or a device is not ours to replace
    }
    QDir().mkpath(info.absolutePath());
    const QString temporary = path + QStringLiteral(".new");
    QFile::remove(temporary);
    if (info.exists() && !QFile::copy(path, temporary)) {
        QFile::remove(temporary);
        return false;
    }
    const auto encoded = EncodeSettings(values, locale);
    const QString group = QString::fromLatin1(kSettingsSection) + QLatin1Char('/');
    bool written = false;
    {
        QSettings settings(temporary, QSettings::IniFormat);
        for (const auto& [name, text] : encoded) {
            settings.setValue(group + name, text);
        }
        settings.sync();
        written = settings.status() == QSettings::NoError;
    }
    written = written && ReadsBackAs(temporary, encoded, group);
    if (written) {
        QFile file(temporary);
        written = file.open(QIODevice::ReadWrite) && ::fsync(file.handle()) == 0;
    }
    if (!written || ::rename(QFile::encodeName(temporary).constData(),
                             QFile::encodeName(path).constData()) != 0) {
        QFile::remove(temporary);
        return false;
    }
    return true;
}

}  // namespace chromola
