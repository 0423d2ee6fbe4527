#include "desktop/instance_link.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "desktop/instance_lock.h"
#include "playlist/opened_paths.h"

namespace chromola {

namespace {

// Paths travel as UTF-8, each ended by a NUL; the sender's closing the
// connection ends the list.
constexpr char kSeparator = '\0';
// More than any list of paths a start could be given.
constexpr qint64 kMaxMessageBytes = 64 * 1024 * 1024;

class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        reset(std::exchange(other.fd_, -1));
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

// The address of the socket file `path`; false when the name is too long
// for one.
bool AddressOf(const QByteArray& path, sockaddr_un& address) {
    address = {};
    address.sun_family = AF_UNIX;
    if (path.isEmpty() || static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return true;
}

const sockaddr* AsAddress(const sockaddr_un& address) {
    return reinterpret_cast<const sockaddr*>(&address);
}

UniqueFd StreamSocket() {
    return UniqueFd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
}

}  // namespace

InstanceClaim ClaimInstance(const QString& lockPath, const QString& socketPath,
                            const QStringList& paths) {
    InstanceClaim claim;
    claim.lock = std::make_shared<InstanceLock>(lockPath);
    switch (claim.lock->TryLock()) {
        case InstanceLock::Result::kLocked:
            break;
        case InstanceLock::Result::kHeld:
            // Another instance runs: it takes the files, if any.
            claim.lock.reset();
            claim.exitStatus = 0;
            if (!paths.isEmpty() && !HandOverPaths(socketPath, paths)) {
                std::fputs("Chromola: запущенный проигрыватель не принял файлы\n", stderr);
                claim.exitStatus = 1;
            }
            break;
        case InstanceLock::Result::kUnavailable:
            claim.lock.reset();
            break;
    }
    return claim;
}

QString DefaultInstanceLockPath() {
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) +
           QStringLiteral("/chromola.lock");
}

QString InstanceSocketBeside(const QString& lockPath) {
    return QFileInfo(lockPath).dir().filePath(QStringLiteral("chromola.socket"));
}

bool HandOverPaths(const QString& socketPath, const QStringList& paths, int timeoutMs) {
    QByteArray message;
    for (const QString& path : paths) {
        message += path.toUtf8();
        message += kSeparator;
    }
    sockaddr_un address;
    if (!AddressOf(QFile::encodeName(socketPath), address)) {
        return false;
    }
    // Not there yet, or its queue of connections full: tried again.
    const QDeadlineTimer deadline(timeoutMs);
    UniqueFd socket;
    for (;;) {
        socket = StreamSocket();
        if (!socket) {
            return false;
        }
        if (connect(socket.get(), AsAddress(address), sizeof address) == 0) {
            break;
        }
        if (deadline.hasExpired()) {
            return false;
        }
        QThread::msleep(50);
    }
    const char* data = message.constData();
    std::size_t left = static_cast<std::size_t>(message.size());
    while (left > 0) {
        const ssize_t sent = send(socket.get(), data, left, MSG_NOSIGNAL);
        if (sent > 0) {
            data += sent;
            left -= static_cast<std::size_t>(sent);
        } else if (sent < 0 && errno == EAGAIN) {
            pollfd writable{socket.get(), POLLOUT, 0};
            const auto wait = static_cast<int>(std::max<qint64>(deadline.remainingTime(), 1));
            if (poll(&writable, 1, wait) == 0) {
                return false;
            }
        } else if (sent < 0 && errno != EINTR) {
            return false;
        }
    }
    // Closing ends the list; the player reads what is queued before that.
    return true;
}

struct InstanceServer::Connection {
    UniqueFd fd;
    std::unique_ptr<QSocketNotifier> readable;  // goes before the socket closes
    QByteArray data;
};

InstanceServer::InstanceServer(QString socketPath, std::function<void(const QStringList&)> open,
                               int gatherMs, int joinMs)
    : socketPath_(std::move(socketPath)), open_(std::move(open)), joinMs_(joinMs) {
    gather_.setSingleShot(true);
    gather_.setInterval(gatherMs);
    connect(&gather_, &QTimer::timeout, this, &InstanceServer::Open);
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

InstanceServer::~InstanceServer() {
    connections_.clear();
    if (listener_ >= 0) {
        accepting_.reset();
        close(listener_);
        // The socket file goes with the listener, unless another player's
        // socket has taken its place meanwhile.
        struct stat file {};
        if (stat(QFile::encodeName(socketPath_).constData(), &file) == 0 &&
            file.st_ino == listenerInode_) {
            unlink(QFile::encodeName(socketPath_).constData());
        }
    }
}

bool InstanceServer::Listen() {
    const QByteArray path = QFile::encodeName(socketPath_);
    sockaddr_un address;
    if (listener_ >= 0 || !AddressOf(path, address)) {
        return false;
    }
    // Only this user's processes may hand files over: the socket is made in
    // a folder of the user's own, closed to others, and given owner-only
    // permissions before it moves to its place (replacing a leftover there).
    QByteArray folder = QFile::encodeName(QFileInfo(socketPath_).path()) + "/.chromola-XXXXXX";
    if (mkdtemp(folder.data()) == nullptr) {
        return false;
    }
    const QByteArray made = folder + "/socket";
    sockaddr_un madeAddress;
    UniqueFd socket = StreamSocket();
    struct stat file {};
    const bool listening =
        AddressOf(made, madeAddress) && socket &&
        bind(socket.get(), AsAddress(madeAddress), sizeof madeAddress) == 0 &&
        chmod(made.constData(), S_IRUSR | S_IWUSR) == 0 && listen(socket.get(), SOMAXCONN) == 0 &&
        stat(made.constData(), &file) == 0 && rename(made.constData(), path.constData()) == 0;
    unlink(made.constData());
    rmdir(folder.constData());
    if (!listening) {
        return false;
    }
    listener_ = socket.release();
    listenerInode_ = file.st_ino;
    accepting_ = std::make_unique<QSocketNotifier>(listener_, QSocketNotifier::Read);
    connect(accepting_.get(), &QSocketNotifier::activated, this, &InstanceServer::Accept);
    return true;
}

void InstanceServer::Add(const QStringList& paths) {
    arrived_.push_back(paths);
    gather_.start();  // each arrival waits for the next one a moment longer
}

void InstanceServer::Accept() {
    for (;;) {
        UniqueFd fd(accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (!fd) {
            if (errno == EINTR || errno == ECONNABORTED) {
                continue;
            }
            return;  // none left (or none to be had now: tried at the next wake-up)
        }
        auto connection = std::make_unique<Connection>();
        Connection* accepted = connection.get();
        accepted->fd = std::move(fd);
        accepted->readable =
            std::make_unique<QSocketNotifier>(accepted->fd.get(), QSocketNotifier::Read);
        connect(accepted->readable.get(), &QSocketNotifier::activated, this,
                [this, accepted] { Read(accepted); });
        connections_.push_back(std::move(connection));
    }
}

void InstanceServer::Read(Connection* connection) {
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t got = recv(connection->fd.get(), chunk, sizeof chunk, 0);
        if (got > 0) {
            if (connection->data.size() + got > kMaxMessageBytes) {
                Close(connection);  // not a list of paths
                return;
            }
            connection->data.append(chunk, got);
        } else if (got < 0 && errno == EAGAIN) {
            return;  // more to come
        } else if (got == 0 || errno != EINTR) {
            break;  // the sender closed, which ends the list, or went away
        }
    }
    QList<QByteArray> parts = connection->data.split(kSeparator);
    Close(connection);
    parts.removeLast();  // empty after the last NUL, or cut short
    QStringList paths;
    for (const QByteArray& part : parts) {
        const QString path = QString::fromUtf8(part);
        if (QDir::isAbsolutePath(path)) {
            paths << path;
        }
    }
    if (!paths.isEmpty()) {
        Add(paths);
    }
}

void InstanceServer::Close(Connection* connection) {
    // Its notifier is emitting now: it goes once that is over.
    connection->readable->setEnabled(false);
    connection->readable.release()->deleteLater();
    std::erase_if(connections_, [connection](const std::unique_ptr<Connection>& c) {
        return c.get() == connection;
    });
}

}  // namespace chromola
