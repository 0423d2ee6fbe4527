#include "settings_remover.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

#include "common/settings_location.h"

namespace uninstall {

namespace {
using chromola::kSettingsSection;
using chromola::SettingsFilePath;

bool IsPlainFile(const QFileInfo& info) {
    return info.exists() && info.isFile() && !info.isSymLink();
}
}  // namespace

bool RemoveSection() {
    const QString path = SettingsFilePath();
    if (!IsPlainFile(QFileInfo(path))) {
        return false;
    }
    // The object must be gone before the file is removed, or it would write
    // the file again when it is destroyed.
    QSettings settings(path, QSettings::IniFormat);
    settings.setFallbacksEnabled(false);
    if (!settings.childGroups().contains(QString::fromLatin1(kSettingsSection))) {
        return false;
    }
    settings.remove(QString::fromLatin1(kSettingsSection));
    settings.sync();
    return settings.status() == QSettings::NoError;
}

bool RemoveApplicationEntry() {
    const QString path = SettingsFilePath();
    const QFileInfo info(path);
    if (info.isSymLink()) {
        // Only the link is ours; removing it leaves its target alone.
        return QFile::remove(path);
    }
    if (!IsPlainFile(info)) {
        return false;
    }
    {
        QSettings settings(path, QSettings::IniFormat);
        settings.setFallbacksEnabled(false);
        if (settings.status() != QSettings::NoError || !settings.childGroups().isEmpty()) {
            return false;
        }
    }
    return QFile::remove(path);
}

void RemoveRemoteSecret() {
    const QString path = chromola::RemoteSecretFilePath();
    const QFileInfo info(path);
    if (info.isSymLink() || IsPlainFile(info)) {
        QFile::remove(path);
    }
    QDir().rmdir(info.absolutePath());  // only when empty
}

QString RemoveSettings() {
    RemoveSection();
    RemoveRemoteSecret();
    return QString::fromUtf8(RemoveApplicationEntry() ? kAllRemovedMessage
                                                      : kAlreadyRemovedMessage);
}

}  // namespace uninstall
