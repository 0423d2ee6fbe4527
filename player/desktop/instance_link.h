// One player per user: the start that holds the instance lock listens on a
// local socket beside it, and a later start with files hands them over
// there instead of opening a second window. File managers start one process
// per file, so arrivals are gathered for a moment and opened as one list,
// together with the listening start's own files.
#pragma once

#include <QByteArray>
#include <QLocalServer>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <vector>

namespace chromola {

// Sends absolute paths to the player listening at `socketPath`. The lock
// holder may still be starting: connecting is retried until `timeoutMs`.
// False when nobody took them.
bool HandOverPaths(const QString& socketPath, const QStringList& paths, int timeoutMs = 5000);

class InstanceServer : public QObject {
  public:
    // `open` gets each gathered list once no more has come for `gatherMs`.
    InstanceServer(QString socketPath, std::function<void(const QStringList&)> open,
                   int gatherMs = 300);
    ~InstanceServer() override;

    // Only the holder of the instance lock may listen: an earlier socket at
    // the path is then a leftover and is replaced. False when it cannot
    // listen; the player runs on, reachable by no second start.
    bool Listen();
    // Paths that arrived otherwise, gathered with the handed-over ones.
    void Add(const QStringList& paths);

  private:
    void Accept();

    QString socketPath_;
    std::function<void(const QStringList&)> open_;
    QLocalServer server_;
    QTimer gather_;
    std::vector<QStringList> arrived_;
};

}  // namespace chromola
