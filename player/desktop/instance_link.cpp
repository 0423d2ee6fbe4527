#include "desktop/instance_link.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QThread>

#include "playlist/opened_paths.h"

namespace chromola {

namespace {

// Paths travel as UTF-8, each ended by a NUL; the sender's closing the
// connection ends the list.
constexpr char kSeparator = '\0';
// More than any list of paths a start could be given.
constexpr qint64 kMaxMessageBytes = 64 * 1024 * 1024;

}  // namespace

bool HandOverPaths(const QString& socketPath, const QStringList& paths, int timeoutMs) {
    QByteArray message;
    for (const QString& path : paths) {
        message += path.toUtf8();
        message += kSeparator;
    }
    const QDeadlineTimer deadline(timeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(socketPath);
        if (socket.waitForConnected(
                static_cast<int>(std::min<qint64>(deadline.remainingTime(), 500)))) {
            break;
        }
        socket.abort();
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    socket.write(message);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(
                static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1)))) {
            return false;
        }
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(1000);
    }
    return true;
}

InstanceServer::InstanceServer(QString socketPath, std::function<void(const QStringList&)> open,
                               int gatherMs, int joinMs)
    : socketPath_(std::move(socketPath)), open_(std::move(open)), joinMs_(joinMs) {
    gather_.setSingleShot(true);
    gather_.setInterval(gatherMs);
    connect(&gather_, &QTimer::timeout, this, &InstanceServer::Open);
    connect(&server_, &QLocalServer::newConnection, this, &InstanceServer::Accept);
}

void InstanceServer::Open() {
    if (!sinceOpened_.isValid() || sinceOpened_.hasExpired(joinMs_)) {
        opened_.clear();
    }
    for (QStringList& list : std::exchange(arrived_, {})) {
        opened_.push_back(std::move(list));
    }
    sinceOpened_.start();
    const QStringList paths = MergeHandedOver(opened_);
    if (!paths.isEmpty()) {
        open_(paths);
    }
}

InstanceServer::~InstanceServer() = default;

bool InstanceServer::Listen() {
    // Only this user's processes may hand files over.
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(socketPath_);
    return server_.listen(socketPath_);
}

void InstanceServer::Add(const QStringList& paths) {
    arrived_.push_back(paths);
    gather_.start();  // each arrival waits for the next one a moment longer
}

void InstanceServer::Accept() {
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        // The server owns the socket; it goes once the sender has closed.
        connect(socket, &QLocalSocket::readyRead, socket, [socket] {
            if (socket->bytesAvailable() > kMaxMessageBytes) {
                socket->abort();
            }
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            QList<QByteArray> parts = socket->readAll().split(kSeparator);
            parts.removeLast();  // empty after the last NUL, or cut short
            QStringList paths;
            for (const QByteArray& part : parts) {
                const QString path = QString::fromUtf8(part);
                if (QDir::isAbsolutePath(path)) {
                    paths << path;
                }
            }
            socket->deleteLater();
            if (!paths.isEmpty()) {
                Add(paths);
            }
        });
    }
}

}  // namespace chromola
