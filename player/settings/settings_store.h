// Where the settings live: the INI file $XDG_CONFIG_HOME/vbChromola.conf
// (by default ~/.config/vbChromola.conf), group [Form], one text value per
// setting. The remover deletes the same file.
#pragma once

#include <QLocale>
#include <QString>

#include "settings/settings_codec.h"

namespace chromola {

inline constexpr char kSettingsApplication[] = "vbChromola";
inline constexpr char kSettingsSection[] = "Form";

class SettingsStore {
  public:
    // Reads every value with its checks and defaults; a missing or damaged
    // file gives the defaults.
    static StoredSettings Read(const QLocale& locale);
    // Writes every value. The file is replaced atomically: a failed write
    // (a full disk, say) leaves the previous file as it was and returns false.
    static bool Write(const StoredSettings& settings, const QLocale& locale);
    // The file's full path, for messages and tests.
    static QString FilePath();
};

}  // namespace chromola
