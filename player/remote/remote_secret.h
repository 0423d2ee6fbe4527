// The remote's secret: 128 random bits as 32 lowercase hexadecimal digits,
// kept in a file readable by the user alone. The page carries it in every
// request; without it the server answers nothing of the player.
#pragma once

#include <QByteArray>
#include <QString>

namespace chromola {

inline constexpr int kRemoteSecretLength = 32;

// $XDG_CONFIG_HOME/chromola/remote-secret, else ~/.config/chromola/remote-secret.
QString RemoteSecretPath();

// The secret in `path`, or a new one written there when the file is
// missing, is not a regular file of the user's, can be read or written by
// anyone else, or does not hold a well-formed secret. Empty when no secret
// could be kept (the remote then stays shut).
QByteArray LoadRemoteSecret(const QString& path);
// A new secret, written in place of the old one.
QByteArray RenewRemoteSecret(const QString& path);

// Well formed: kRemoteSecretLength lowercase hexadecimal digits.
bool IsRemoteSecret(const QByteArray& text);
// Equal, in a time that depends on the length of `expected` alone.
bool SecretsMatch(const QByteArray& given, const QByteArray& expected);

}  // namespace chromola
