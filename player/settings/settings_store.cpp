#include "settings/settings_store.h"

#include <QSettings>

namespace chromola {

QString SettingsStore::FilePath() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QString::fromLatin1(kSettingsApplication))
        .fileName();
}

StoredSettings SettingsStore::Read(const QLocale& locale) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(kSettingsApplication));
    settings.setFallbacksEnabled(false);
    settings.beginGroup(QString::fromLatin1(kSettingsSection));
    return DecodeSettings(
        [&settings](const QString& name) -> std::optional<QString> {
            const QVariant value = settings.value(name);
            if (!value.isValid()) {
                return std::nullopt;
            }
            // A list or other non-text value counts as text that is not a
            // number, so it takes the default.
            return value.typeId() == QMetaType::QString ? value.toString() : QStringLiteral("\x01");
        },
        locale);
}

bool SettingsStore::Write(const StoredSettings& values, const QLocale& locale) {
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromLatin1(kSettingsApplication));
    settings.setFallbacksEnabled(false);
    settings.beginGroup(QString::fromLatin1(kSettingsSection));
    for (const auto& [name, text] : EncodeSettings(values, locale)) {
        settings.setValue(name, text);
    }
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace chromola
