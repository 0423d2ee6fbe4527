// Where the player keeps its settings, shared with the remover that deletes
// them: the INI file $XDG_CONFIG_HOME/vbChromola.conf (by default
// ~/.config/vbChromola.conf), the values in its group [Form]; and the
// remote's secret, in a file of its own that only the user may read.
#pragma once

#include <QString>

namespace chromola {

// The name QSettings is given (as the organisation; there is no application
// part), which names the file.
inline constexpr char kSettingsApplication[] = "vbChromola";
inline constexpr char kSettingsSection[] = "Form";

// The file's absolute path, as QSettings(NativeFormat, UserScope,
// "vbChromola").fileName() gives it. Asking QSettings itself would read the
// file, and a FIFO in its place would block the caller for good.
QString SettingsFilePath();
// $XDG_CONFIG_HOME/chromola/remote-secret, absolute.
QString RemoteSecretFilePath();

}  // namespace chromola
