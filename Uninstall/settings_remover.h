// Removes the player's stored settings: first the [Form] group, then the
// application's entry, the file $XDG_CONFIG_HOME/vbChromola.conf itself.
// Removing the file fails when there is none or when it still holds another
// group; that second step alone decides the outcome. The remote's secret
// goes with the group: a key left behind would still open the player to a
// phone that once had it.
#pragma once

#include <QString>

namespace uninstall {

inline constexpr char kAllRemovedMessage[] = "Все успешно удалено";
inline constexpr char kAlreadyRemovedMessage[] = "Удаление уже произведено";

// Removes the [Form] group; false when there was nothing to remove or the
// file could not be rewritten. A link is never followed: the file it points
// to may lie outside the settings folder.
bool RemoveSection();
// Removes the file (or a link in its place, never the link's target) unless
// it still holds a group; false when nothing was removed.
bool RemoveApplicationEntry();
// Removes the remote's secret file (a link in its place, never its target)
// and its folder when nothing else is left in it.
void RemoveRemoteSecret();
// The steps; the message to show.
QString RemoveSettings();

}  // namespace uninstall
