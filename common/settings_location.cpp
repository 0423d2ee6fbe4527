#include "common/settings_location.h"

#include <QFileInfo>
#include <QStandardPaths>

namespace chromola {

QString SettingsFilePath() {
    // QSettings takes the same folder and makes the name absolute and clean.
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QFileInfo(folder + QLatin1Char('/') + QLatin1String(kSettingsApplication) +
                     QStringLiteral(".conf"))
        .absoluteFilePath();
}

QString RemoteSecretFilePath() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return QFileInfo(folder + QStringLiteral("/chromola/remote-secret")).absoluteFilePath();
}

}  // namespace chromola
