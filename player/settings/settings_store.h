// The settings in their file (common/settings_location.h), group [Form], one
// text value per setting. The remover deletes the same file.
#pragma once

#include <QLocale>

#include "common/settings_location.h"
#include "settings/settings_codec.h"

namespace chromola {

class SettingsStore {
  public:
    // Reads every value with its checks and defaults; a missing or damaged
    // file gives the defaults.
    static StoredSettings Read(const QLocale& locale);
    // Writes every value. The file is replaced atomically: a failed write
    // (a full disk, say) leaves the previous file as it was and returns false.
    // A link in the file's place stays, and the file it leads to is replaced;
    // anything else that is not a file is left alone (false).
    static bool Write(const StoredSettings& settings, const QLocale& locale);
};

}  // namespace chromola
