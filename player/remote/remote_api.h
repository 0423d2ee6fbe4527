// The remote as the player sees it: a page served to phones' browsers on the
// home network. The server, with Qt HTTP Server, Qt WebSockets and
// libqrencode, lives in a module of its own, libchromola_remote.so beside the
// program, that RemoteLink (remote_link.h) loads only once the remote is
// switched on; a player with the remote off never loads them.
//
// Everything here runs on the thread that made the server (the UI thread),
// except RemoteHost::ShownColour, which reads one atomic.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace chromola {

// Who may connect: 1 this computer only (127.0.0.1 and ::1), 2 the local
// network; 0 is off and makes no server.
enum RemoteMode { kRemoteOff = 0, kRemoteLocal = 1, kRemoteNetwork = 2 };
inline constexpr int kDefaultRemotePort = 8765;

// What the server needs of the player.
class RemoteHost {
  public:
    virtual ~RemoteHost() = default;
    // What a phone shows of the player, without the list.
    virtual QJsonObject State() = 0;
    // The list's names (no folders) when it differs from the one handed out
    // at the previous call (`changed`); else nothing.
    virtual QStringList Entries(bool& changed) = 0;
    // A phone's command, a JSON object that the host checks in full.
    virtual void Command(const QJsonObject& command) = 0;
    // The colour shown now, packed (lights/packed_colour.h); any thread.
    virtual std::uint32_t ShownColour() const = 0;
};

class RemoteServer {
  public:
    virtual ~RemoteServer() = default;
    // Listens on the mode's addresses and port with this secret. Returns an
    // empty text, or the reason (in Russian) when nothing could be bound.
    virtual QString Listen(int mode, int port, const QByteArray& secret) = 0;
    // A new secret: every phone connected is logged out.
    virtual void SetSecret(const QByteArray& secret) = 0;
    // The addresses a phone opens (without the secret), best first.
    virtual QStringList Addresses() const = 0;
    // The QR code of `text`: `width` rows of `width` modules, true dark.
    virtual std::vector<bool> QrCode(const QByteArray& text, int& width) const = 0;
};

// The module's one exported function: a new server, owned by the caller,
// that calls `host` until it is deleted. Null when it cannot be made.
using CreateRemoteServerFn = RemoteServer* (*)(RemoteHost& host);
inline constexpr char kRemoteModuleFileName[] = "libchromola_remote.so";
inline constexpr char kCreateRemoteServerSymbol[] = "chromola_create_remote_server";

}  // namespace chromola
