// One player per user: the start that holds the instance lock listens on a
// local socket beside it, and a later start with files hands them over
// there instead of opening a second window. File managers may start one
// process per file, all at once, and a busy machine starts them unevenly:
// arrivals are gathered for a moment and opened as one list, together with
// the listening start's own files, and what arrives shortly after an opening
// joins the list just opened instead of replacing it.
//
// The socket is a plain Unix-domain stream socket watched by a
// QSocketNotifier: Qt Network, with the Kerberos and proxy libraries it
// brings, would cost the start ~1.3 MB and its loading time for this alone.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>

#include <sys/types.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace chromola {

class InstanceLock;

// Sends absolute paths to the player listening at `socketPath`. The lock
// holder may still be starting: connecting is retried until `timeoutMs`.
// False when nobody took them.
bool HandOverPaths(const QString& socketPath, const QStringList& paths, int timeoutMs = 5000);

// The first step of a start, before any window, X connection or sound
// stream: take the instance lock, or hand `paths` to the player that holds
// it. A start that hands over (or has nothing to hand) ends with
// `exitStatus`; otherwise it runs with `lock`, which is null where no lock
// can be made at all (a full or read-only runtime folder): the player then
// runs unguarded rather than vanish unseen.
struct InstanceClaim {
    std::shared_ptr<InstanceLock> lock;
    std::optional<int> exitStatus;
};
InstanceClaim ClaimInstance(const QString& lockPath, const QString& socketPath,
                            const QStringList& paths);

// Where the lock and the socket are by default: chromola.lock and
// chromola.socket in the user's runtime folder.
QString DefaultInstanceLockPath();
QString InstanceSocketBeside(const QString& lockPath);

class InstanceServer : public QObject {
  public:
    // `open` gets each gathered list once no more has come for `gatherMs`;
    // lists arriving within `joinMs` of an opening are opened with it again.
    InstanceServer(QString socketPath, std::function<void(const QStringList&)> open,
                   int gatherMs = 300, int joinMs = 2000);
    ~InstanceServer() override;

    // Only the holder of the instance lock may listen: an earlier socket at
    // the path is then a leftover and is replaced. False when it cannot
    // listen; the player runs on, reachable by no second start.
    bool Listen();
    // Paths that arrived otherwise, gathered with the handed-over ones.
    void Add(const QStringList& paths);

  private:
    struct Connection;

    void Accept();
    void Read(Connection* connection);
    void Close(Connection* connection);
    void Open();

    QString socketPath_;
    std::function<void(const QStringList&)> open_;
    int joinMs_;
    int listener_ = -1;
    ino_t listenerInode_ = 0;
    std::unique_ptr<QSocketNotifier> accepting_;
    std::vector<std::unique_ptr<Connection>> connections_;
    QTimer gather_;
    std::vector<QStringList> arrived_;
    // The lists of the last opening and when it was.
    std::vector<QStringList> opened_;
    QElapsedTimer sinceOpened_;
};

}  // namespace chromola
