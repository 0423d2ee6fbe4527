// Writes a full set of settings and exits 0 when the store reported success.
// Run under a small file-size limit it shows what a full disk does to the
// file.
#include <QCoreApplication>

#include <csignal>

#include "settings/settings_store.h"

int main(int argc, char** argv) {
    std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails instead
    QCoreApplication app(argc, argv);
    chromola::StoredSettings settings;
    settings.path = QString(4000, QLatin1Char('x'));
    settings.scroll = 30;
    return chromola::SettingsStore::Write(settings, QLocale::c()) ? 0 : 1;
}
