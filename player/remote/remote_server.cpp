#include "remote/remote_server.h"

#include <QDateTime>
#include <QFile>
#include <QHostInfo>
#include <QHttpServerRequest>
#include <QHttpServerResponse>
#include <QJsonArray>
#include <QJsonDocument>
#include <QNetworkInterface>
#include <QUrlQuery>
#include <QWebSocketCorsAuthenticator>

#include <qrencode.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "remote/remote_secret.h"

namespace chromola {

namespace {

// Said on every answer, the gate's refusals included.
const QByteArray kSecurityHeaders[][2] = {
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
     "connect-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'"},
    {"X-Content-Type-Options", "nosniff"},
    {"Referrer-Policy", "no-referrer"},
    {"Cache-Control", "no-store"},
    {"X-Frame-Options", "DENY"},
    {"Cross-Origin-Opener-Policy", "same-origin"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
};

// The page's files: path, resource, type. Nothing else is served.
struct PageFile {
    const char* path;
    const char* resource;
    const char* type;
};
constexpr PageFile kPageFiles[] = {
    {"/", ":/remote/index.html", "text/html; charset=utf-8"},
    {"/app.js", ":/remote/app.js", "text/javascript; charset=utf-8"},
    {"/app.css", ":/remote/app.css", "text/css; charset=utf-8"},
};
constexpr char kStatePath[] = "/state";
constexpr char kSocketPath[] = "/ws";

// WebSocket close codes of the page's own.
constexpr auto kLoggedOut = static_cast<QWebSocketProtocol::CloseCode>(4001);

qint64 NowMs() {
    return QDateTime::currentMSecsSinceEpoch();
}

// The end of a request's head, past its blank line (CRLF or a bare LF, as
// Qt's parser also takes), searched from `from`; -1 while incomplete.
qsizetype HeadEnd(const QByteArray& data, qsizetype from) {
    const qsizetype crlf = data.indexOf("\n\r\n", from);
    const qsizetype lf = data.indexOf("\n\n", from);
    if (lf >= 0 && (crlf < 0 || lf < crlf)) {
        return lf + 2;
    }
    return crlf >= 0 ? crlf + 3 : -1;
}

bool PeerAllowedOnNetwork(QHostAddress peer) {
    bool mapped = false;
    const quint32 v4 = peer.toIPv4Address(&mapped);
    if (mapped) {
        peer = QHostAddress(v4);
    }
    if (peer.isLoopback() || peer.isLinkLocal()) {
        return true;
    }
    if (peer.protocol() == QAbstractSocket::IPv4Protocol) {
        for (const auto& [net, bits] :
             {std::pair{"10.0.0.0", 8}, {"172.16.0.0", 12}, {"192.168.0.0", 16}}) {
            if (peer.isInSubnet(QHostAddress(QString::fromLatin1(net)), bits)) {
                return true;
            }
        }
        return false;
    }
    return peer.isUniqueLocalUnicast() || peer.isSiteLocal();
}

}  // namespace

class RemoteHttpServer::Gate final : public QTcpServer {
  public:
    explicit Gate(RemoteHttpServer& owner) : owner_(owner) {}
    // Hands a socket whose first head has passed to the QHttpServer bound to
    // this gate.
    void Offer(QTcpSocket* socket) {
        addPendingConnection(socket);
        emit newConnection();
    }

  protected:
    void incomingConnection(qintptr descriptor) override {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            ::close(static_cast<int>(descriptor));
            delete socket;
            return;
        }
        owner_.Admit(socket);
    }

  private:
    RemoteHttpServer& owner_;
};

struct RemoteHttpServer::Connection {
    QTcpSocket* socket = nullptr;
    QString key;
    QTimer deadline;
    QByteArray head;       // of the request under way
    qint64 bodyLeft = 0;   // bytes of its body still to come
    qsizetype seen = 0;    // bytes available that have been scanned
    bool http = false;     // handed to the QHttpServer
    bool closing = false;  // refused
};

struct RemoteHttpServer::Phone {
    QWebSocket* socket = nullptr;
    qint64 windowStart = 0;
    int commands = 0;  // in the second from windowStart
};

RemoteHttpServer::RemoteHttpServer(RemoteHost& host)
    : host_(host), sockets_(QStringLiteral("Chromola"), QWebSocketServer::NonSecureMode) {
    sockets_.setHandshakeTimeout(kDeadlineMs);
    sockets_.setMaxPendingConnections(kMaxPhones);
    connect(&sockets_, &QWebSocketServer::newConnection, this, &RemoteHttpServer::PhoneConnected);
    // The gate has checked the origin already; this is the second lock.
    connect(&sockets_, &QWebSocketServer::originAuthenticationRequired, this,
            [](QWebSocketCorsAuthenticator* authenticator) {
                authenticator->setAllowed(!authenticator->origin().isEmpty());
            });

    for (const PageFile& file : kPageFiles) {
        http_.route(QString::fromLatin1(file.path), [file] {
            QFile resource(QString::fromLatin1(file.resource));
            if (!resource.open(QIODevice::ReadOnly)) {
                return QHttpServerResponse(QHttpServerResponse::StatusCode::NotFound);
            }
            return QHttpServerResponse(QByteArray(file.type), resource.readAll());
        });
    }
    http_.route(QString::fromLatin1(kStatePath), [this](const QHttpServerRequest& request) {
        // The gate let only requests with the secret through; asked again in
        // case one slipped in behind a refused one on the same connection.
        QByteArray given = request.value("authorization");
        if (!given.startsWith("Bearer ") || !SecretsMatch(given.mid(7), secret_)) {
            return QHttpServerResponse(QHttpServerResponse::StatusCode::Unauthorized);
        }
        bool changed = false;
        QStringList entries = host_.Entries(changed);
        if (changed) {
            entries_ = entries;
            SendAll(ListMessage());  // the phones learn it here, not at the next push
        }
        QJsonObject state = host_.State();
        state.insert(QStringLiteral("entries"), QJsonArray::fromStringList(entries_));
        return QHttpServerResponse(state);
    });
    http_.afterRequest([](QHttpServerResponse&& response) {
        for (const auto& [name, value] : kSecurityHeaders) {
            response.setHeader(name, value);
        }
        return std::move(response);
    });
    http_.setMissingHandler([](const QHttpServerRequest&, QHttpServerResponder&& responder) {
        QHttpServerResponse response(QHttpServerResponse::StatusCode::NotFound);
        for (const auto& [name, value] : kSecurityHeaders) {
            response.setHeader(name, value);
        }
        response.write(std::move(responder));
    });
    push_.setInterval(kPushIntervalMs);
    push_.setTimerType(Qt::PreciseTimer);
    connect(&push_, &QTimer::timeout, this, &RemoteHttpServer::Push);
}

RemoteHttpServer::~RemoteHttpServer() {
    push_.stop();
    for (const auto& phone : phones_) {
        QObject::disconnect(phone->socket, nullptr, this, nullptr);
        phone->socket->abort();
        delete phone->socket;
    }
    phones_.clear();
    for (auto& [socket, connection] : connections_) {
        QObject::disconnect(socket, nullptr, this, nullptr);
    }
    connections_.clear();
    for (Gate* gate : gates_) {
        for (QObject* child : gate->children()) {
            QObject::disconnect(child, nullptr, this, nullptr);
        }
    }
}

QString RemoteHttpServer::Listen(int mode, int port, const QByteArray& secret) {
    mode_ = mode;
    port_ = port;
    secret_ = secret;
    // Loopback unless the user chose the local network; even then every
    // answer but the page's own files wants the secret.
    const QList<QHostAddress> addresses =
        mode == kRemoteNetwork ? QList<QHostAddress>{QHostAddress(QHostAddress::Any)}
                               : QList<QHostAddress>{QHostAddress(QHostAddress::LocalHost),
                                                     QHostAddress(QHostAddress::LocalHostIPv6)};
    QString error;
    for (const QHostAddress& address : addresses) {
        auto* gate = new Gate(*this);
        if (gate->listen(address, static_cast<quint16>(port))) {
            http_.bind(gate);
            gates_.push_back(gate);
            continue;
        }
        // A computer without IPv6 still serves on 127.0.0.1.
        if (address == QHostAddress(QHostAddress::LocalHostIPv6) && !gates_.empty()) {
            delete gate;
            continue;
        }
        switch (gate->serverError()) {
            case QAbstractSocket::AddressInUseError:
                error = QStringLiteral("Порт %1 занят другой программой.").arg(port);
                break;
            case QAbstractSocket::SocketAccessError:
                error = QStringLiteral("Нет прав открыть порт %1.").arg(port);
                break;
            default:
                error = QStringLiteral("Порт %1 не открыт: %2").arg(port).arg(gate->errorString());
                break;
        }
        delete gate;
        break;
    }
    return error;
}

void RemoteHttpServer::SetSecret(const QByteArray& secret) {
    secret_ = secret;
    failures_.clear();
    for (const auto& phone : phones_) {
        phone->socket->close(kLoggedOut, QStringLiteral("new key"));
    }
}

QStringList RemoteHttpServer::Addresses() const {
    const QString port = QString::number(port_);
    QStringList out;
    if (mode_ == kRemoteNetwork) {
        for (const QHostAddress& address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback() &&
                !address.isLinkLocal() && PeerAllowedOnNetwork(address)) {
                out.append(QStringLiteral("http://%1:%2").arg(address.toString(), port));
            }
        }
    }
    out.append(QStringLiteral("http://127.0.0.1:%1").arg(port));
    return out;
}

std::vector<bool> RemoteHttpServer::QrCode(const QByteArray& text, int& width) const {
    width = 0;
    std::vector<bool> modules;
    QRcode* code = QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M);
    if (code == nullptr) {
        return modules;
    }
    width = code->width;
    modules.reserve(static_cast<std::size_t>(width) * width);
    for (int i = 0; i < width * width; ++i) {
        modules.push_back((code->data[i] & 1) != 0);
    }
    QRcode_free(code);
    return modules;
}

QString RemoteHttpServer::AddressKey(const QHostAddress& address) const {
    bool mapped = false;
    const quint32 v4 = address.toIPv4Address(&mapped);
    // This computer has a whole /8 of loopback addresses and ::1: all of
    // them are one sender, as an IPv6 /64 is.
    if (address.isLoopback() || (mapped && QHostAddress(v4).isLoopback())) {
        return QStringLiteral("loopback");
    }
    if (mapped) {
        return QHostAddress(v4).toString();
    }
    Q_IPV6ADDR bytes = address.toIPv6Address();
    std::fill(std::begin(bytes.c) + 8, std::end(bytes.c), 0);
    return QHostAddress(bytes).toString();
}

void RemoteHttpServer::Admit(QTcpSocket* socket) {
    const QHostAddress peer = socket->peerAddress();
    if (mode_ == kRemoteNetwork && !PeerAllowedOnNetwork(peer)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    const QString key = AddressKey(peer);
    auto connection = std::make_unique<Connection>();
    connection->socket = socket;
    connection->key = key;
    Connection& c = *connection;
    connections_.emplace(socket, std::move(connection));
    ++perAddress_[key];
    connect(socket, &QObject::destroyed, this, [this, socket] { Forget(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    if (connections_.size() > static_cast<std::size_t>(kMaxConnections) ||
        perAddress_[key] > kMaxPerAddress) {
        Refuse(c, 503, "Service Unavailable", {}, false);  // many: none kept open
        return;
    }
    // Requests sent ahead wait in the kernel, not in this process: a
    // client that never reads its answers cannot make it copy and scan
    // megabytes on every read.
    socket->setReadBufferSize(kMaxUnread);
    c.deadline.setSingleShot(true);
    connect(&c.deadline, &QTimer::timeout, socket, &QTcpSocket::abort);
    c.deadline.start(kDeadlineMs);
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (const auto found = connections_.find(socket); found != connections_.end()) {
            Readable(*found->second);
        }
    });
}

void RemoteHttpServer::Forget(QTcpSocket* socket) {
    const auto found = connections_.find(socket);
    if (found == connections_.end()) {
        return;
    }
    if (--perAddress_[found->second->key] <= 0) {
        perAddress_.erase(found->second->key);
    }
    connections_.erase(found);
}

void RemoteHttpServer::Readable(Connection& c) {
    QTcpSocket* socket = c.socket;
    if (!socket->isOpen()) {
        return;  // aborted by a deadline while this read was queued
    }
    if (c.closing) {
        if (!c.http) {
            socket->skip(socket->bytesAvailable());
        }
        return;
    }
    if (socket->bytesToWrite() > kMaxUnanswered) {
        socket->abort();  // asks and does not read the answers
        return;
    }
    const QByteArray all = socket->peek(socket->bytesAvailable());
    qsizetype at = c.seen;
    c.seen = all.size();
    while (at < all.size()) {
        if (c.bodyLeft > 0) {
            const qint64 n = std::min<qint64>(c.bodyLeft, all.size() - at);
            c.bodyLeft -= n;
            at += n;
            if (c.bodyLeft == 0) {
                c.deadline.start(kDeadlineMs);
            }
            continue;
        }
        // No more is taken than a head may hold: each request costs the
        // same however much follows it.
        const qsizetype kept = c.head.size();
        const qsizetype from = std::max<qsizetype>(0, kept - 2);
        c.head += all.mid(at, kMaxHead + 1 - kept);
        const qsizetype end = HeadEnd(c.head, from);
        if (end < 0 ? c.head.size() > kMaxHead : end > kMaxHead) {
            Refuse(c, 431, "Request Header Fields Too Large");
            return;
        }
        if (end < 0) {
            return;
        }
        at += end - kept;
        const QByteArray head = c.head.left(end);
        c.head.clear();
        if (!HeadReceived(c, head)) {
            return;
        }
    }
}

bool RemoteHttpServer::HeadReceived(Connection& c, const QByteArray& head) {
    QList<QByteArray> lines = head.split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r')) {
            line.chop(1);
        }
        if (line.contains('\r') || line.contains('\0')) {
            Refuse(c, 400, "Bad Request");
            return false;
        }
    }
    const QList<QByteArray> request = lines.value(0).split(' ');
    if (request.size() != 3 || (request[2] != "HTTP/1.1" && request[2] != "HTTP/1.0")) {
        Refuse(c, 400, "Bad Request");
        return false;
    }
    std::map<QByteArray, QByteArray> headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        if (line.isEmpty()) {
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).toLower();
        if (colon <= 0 || line.startsWith(' ') || line.startsWith('\t') || name.contains(' ') ||
            name.contains('\t')) {
            Refuse(c, 400, "Bad Request");
            return false;
        }
        // A second value of what decides where and whether a request goes is
        // an attempt to be read two ways.
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!headers.emplace(name, value).second &&
            (name == "host" || name == "content-length" || name == "transfer-encoding" ||
             name == "origin" || name == "authorization" || name == "upgrade")) {
            Refuse(c, 400, "Bad Request");
            return false;
        }
    }
    const auto header = [&headers](const char* name) -> QByteArray {
        const auto found = headers.find(name);
        return found != headers.end() ? found->second : QByteArray();
    };
    const QByteArray& method = request[0];
    const QByteArray& target = request[1];
    const QByteArray host = header("host");
    if (host.isEmpty() || !HostAllowed(host)) {
        Refuse(c, 421, "Misdirected Request");
        return false;
    }
    if (headers.count("transfer-encoding") != 0) {
        Refuse(c, 501, "Not Implemented");
        return false;
    }
    qint64 length = 0;
    if (const QByteArray text = header("content-length"); !text.isEmpty()) {
        bool ok = text.size() <= 10 && std::all_of(text.begin(), text.end(),
                                                   [](char ch) { return ch >= '0' && ch <= '9'; });
        length = ok ? text.toLongLong(&ok) : 0;
        if (!ok) {
            Refuse(c, 400, "Bad Request");
            return false;
        }
        if (length > kMaxMessage) {
            Refuse(c, 413, "Content Too Large");
            return false;
        }
    }
    if (method != "GET") {
        Refuse(c, 405, "Method Not Allowed", "Allow: GET\r\n");
        return false;
    }
    // Only plain paths of the page's own: no escapes, no dots, no
    // backslashes, nothing that a file system or a decoder could read
    // another way.
    const qsizetype question = target.indexOf('?');
    const QByteArray path = question < 0 ? target : target.left(question);
    const QByteArray query = question < 0 ? QByteArray() : target.mid(question + 1);
    if (!path.startsWith('/') || path.contains("..") || path.contains('%') || path.contains('\\') ||
        path.contains("//") || std::any_of(target.begin(), target.end(), [](char ch) {
            return static_cast<unsigned char>(ch) <= 0x20 ||
                   static_cast<unsigned char>(ch) >= 0x7f || ch == '#';
        })) {
        Refuse(c, 400, "Bad Request");
        return false;
    }
    const bool upgrade = headers.count("upgrade") != 0 || headers.count("sec-websocket-key") != 0;
    if (upgrade) {
        if (path != kSocketPath || header("upgrade").toLower() != "websocket" || c.http ||
            length != 0) {
            Refuse(c, 400, "Bad Request");
            return false;
        }
        // The page's own origin: the address it was loaded from, which is
        // the address it connects to.
        if (header("origin").toLower() != "http://" + host.toLower()) {
            Refuse(c, 403, "Forbidden");
            return false;
        }
    } else if (path == kSocketPath) {
        Refuse(c, 400, "Bad Request");
        return false;
    } else if (path != kStatePath &&
               std::none_of(std::begin(kPageFiles), std::end(kPageFiles),
                            [&path](const PageFile& file) { return path == file.path; })) {
        Refuse(c, 404, "Not Found");
        return false;
    }
    if (upgrade || path == kStatePath) {
        int retryAfter = 0;
        if (Throttled(c.key, retryAfter)) {
            Refuse(c, 429, "Too Many Requests",
                   "Retry-After: " + QByteArray::number(retryAfter) + "\r\n");
            return false;
        }
        QByteArray given;
        if (upgrade) {
            given = QUrlQuery(QString::fromLatin1(query))
                        .queryItemValue(QStringLiteral("k"), QUrl::FullyDecoded)
                        .toLatin1();
        } else if (const QByteArray authorization = header("authorization");
                   authorization.startsWith("Bearer ")) {
            given = authorization.mid(7);
        }
        if (!SecretsMatch(given, secret_)) {
            Failed(c.key);
            Refuse(c, 401, "Unauthorized");
            return false;
        }
    }
    if (upgrade) {
        if (static_cast<int>(phones_.size() + handshakes_.size()) >= kMaxPhones) {
            Refuse(c, 503, "Service Unavailable");
            return false;
        }
        HandOverToWebSocket(c);
        return false;
    }
    c.bodyLeft = length;
    if (length == 0) {
        c.deadline.start(kDeadlineMs);
    }
    if (!c.http) {
        HandOverToHttp(c);
    }
    return true;
}

bool RemoteHttpServer::HostAllowed(const QByteArray& host) const {
    QByteArray name = host.toLower();
    QByteArray port;
    if (name.startsWith('[')) {
        const qsizetype close = name.indexOf(']');
        if (close < 0) {
            return false;
        }
        port = name.mid(close + 1);
        name = name.mid(1, close - 1);
        if (!port.isEmpty() && !port.startsWith(':')) {
            return false;
        }
        port = port.mid(1);
    } else if (const qsizetype colon = name.lastIndexOf(':'); colon >= 0) {
        port = name.mid(colon + 1);
        name = name.left(colon);
    }
    if (port != QByteArray::number(port_)) {
        return false;
    }
    const QHostAddress literal(QString::fromLatin1(name));
    if (!literal.isNull()) {
        return mode_ == kRemoteNetwork || literal.isLoopback();
    }
    if (name == "localhost") {
        return true;
    }
    if (mode_ != kRemoteNetwork) {
        return false;
    }
    const QByteArray self = QHostInfo::localHostName().toLower().toLatin1();
    return !self.isEmpty() && (name == self || name == self + ".local");
}

bool RemoteHttpServer::Throttled(const QString& key, int& retryAfter) {
    const auto found = failures_.find(key);
    if (found == failures_.end()) {
        return false;
    }
    const qint64 now = NowMs();
    std::deque<qint64>& times = found->second;
    while (!times.empty() && now - times.front() >= kFailureWindowMs) {
        times.pop_front();
    }
    if (times.empty()) {
        failures_.erase(found);
        return false;
    }
    if (static_cast<int>(times.size()) < kMaxFailures) {
        return false;
    }
    retryAfter = static_cast<int>((times.front() + kFailureWindowMs - now + 999) / 1000);
    return true;
}

void RemoteHttpServer::Failed(const QString& key) {
    // Many addresses (an IPv6 network holds plenty) must not grow this
    // without bound: the addresses whose minute has passed go first.
    if (failures_.size() >= 4096) {
        const qint64 now = NowMs();
        std::erase_if(failures_, [now](const auto& item) {
            return item.second.empty() || now - item.second.back() >= kFailureWindowMs;
        });
        if (failures_.size() >= 4096) {
            failures_.erase(failures_.begin());
        }
    }
    failures_[key].push_back(NowMs());
}

void RemoteHttpServer::Refuse(Connection& c, int status, const QByteArray& reason,
                              const QByteArray& extra, bool linger) {
    QByteArray answer = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reason + "\r\n";
    for (const auto& [name, value] : kSecurityHeaders) {
        answer += name + ": " + value + "\r\n";
    }
    answer += extra + "Content-Length: 0\r\nConnection: close\r\n\r\n";
    c.closing = true;
    c.deadline.stop();
    QTcpSocket* socket = c.socket;
    socket->write(answer);
    if (linger && !c.http) {
        // Closing with unread bytes (the rest of a head too large) would
        // reset the connection and lose the answer: the sending half is
        // shut once the answer is out, and Readable drops what follows.
        const auto shut = [socket] {
            if (socket->bytesToWrite() == 0 && socket->state() == QAbstractSocket::ConnectedState) {
                ::shutdown(static_cast<int>(socket->socketDescriptor()), SHUT_WR);
            }
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, shut);
        socket->flush();
        shut();
        socket->skip(socket->bytesAvailable());
    } else {
        socket->disconnectFromHost();
    }
    // A client that does not take the answer is not waited for.
    QTimer::singleShot(2000, socket, &QTcpSocket::abort);
}

void RemoteHttpServer::HandOverToHttp(Connection& c) {
    c.http = true;
    QTcpSocket* socket = c.socket;
    static_cast<Gate*>(socket->parent())->Offer(socket);
    // After Qt's parser has read what it was given, all that is left
    // available is new to the gate as well.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
        if (const auto found = connections_.find(socket); found != connections_.end()) {
            found->second->seen = socket->bytesAvailable();
        }
    });
    // What arrived before the hand-over waits in the socket's buffer.
    emit socket->readyRead();
}

void RemoteHttpServer::HandOverToWebSocket(Connection& c) {
    QTcpSocket* socket = c.socket;
    QObject::disconnect(socket, nullptr, this, nullptr);
    QObject::disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    Forget(socket);  // `c` is gone
    handshakes_.insert(socket);
    connect(socket, &QObject::destroyed, this, [this, socket] { handshakes_.remove(socket); });
    sockets_.handleConnection(socket);
    emit socket->readyRead();
}

void RemoteHttpServer::PhoneConnected() {
    while (QWebSocket* socket = sockets_.nextPendingConnection()) {
        // The handshake that made this phone is over.
        for (QTcpSocket* handshake : std::as_const(handshakes_)) {
            if (handshake->peerPort() == socket->peerPort() &&
                handshake->peerAddress() == socket->peerAddress()) {
                handshakes_.remove(handshake);
                break;
            }
        }
        socket->setMaxAllowedIncomingFrameSize(kMaxMessage);
        socket->setMaxAllowedIncomingMessageSize(kMaxMessage);
        auto phone = std::make_unique<Phone>();
        phone->socket = socket;
        Phone* raw = phone.get();
        phones_.push_back(std::move(phone));
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, raw](const QString& message) { PhoneMessage(*raw, message); });
        connect(socket, &QWebSocket::binaryMessageReceived, socket,
                [socket] { socket->close(QWebSocketProtocol::CloseCodeDatatypeNotSupported); });
        // Forgotten on the next pass of the event loop: a phone may go while
        // the list of phones is being walked (a send, a new secret).
        connect(
            socket, &QWebSocket::disconnected, this,
            [this, raw] {
                const auto found = std::find_if(phones_.begin(), phones_.end(),
                                                [raw](const auto& p) { return p.get() == raw; });
                if (found != phones_.end()) {
                    (*found)->socket->deleteLater();
                    phones_.erase(found);
                }
            },
            Qt::QueuedConnection);
        bool changed = false;
        const QByteArray state = StateMessage(changed);
        // A list that changed just now goes to every phone.
        const QByteArray list = ListMessage();
        if (changed) {
            SendAll(list);
        } else {
            SendTo(socket, list);
        }
        SendTo(socket, state);
        lastColour_ = 0xffffffffu;  // every phone gets the colour now
        if (!push_.isActive()) {
            push_.start();
        }
    }
}

void RemoteHttpServer::PhoneMessage(Phone& phone, const QString& message) {
    const qint64 now = NowMs();
    if (now - phone.windowStart >= 1000) {
        phone.windowStart = now;
        phone.commands = 0;
    }
    ++phone.commands;
    if (phone.commands > 3 * kCommandsPerSecond) {
        phone.socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("flood"));
        return;
    }
    if (phone.commands > kCommandsPerSecond) {
        return;
    }
    const QJsonDocument document = QJsonDocument::fromJson(message.toUtf8());
    if (!document.isObject()) {
        return;
    }
    host_.Command(document.object());
    Push();
}

QByteArray RemoteHttpServer::StateMessage(bool& listChanged) {
    const QStringList entries = host_.Entries(listChanged);
    if (listChanged) {
        entries_ = entries;
    }
    return QJsonDocument(host_.State()).toJson(QJsonDocument::Compact);
}

QByteArray RemoteHttpServer::ListMessage() const {
    return QJsonDocument(
               QJsonObject{{QStringLiteral("t"), QStringLiteral("list")},
                           {QStringLiteral("entries"), QJsonArray::fromStringList(entries_)}})
        .toJson(QJsonDocument::Compact);
}

void RemoteHttpServer::Push() {
    if (phones_.empty()) {
        push_.stop();
        return;
    }
    const std::uint32_t colour = host_.ShownColour();
    if (colour != lastColour_) {
        lastColour_ = colour;
        // Three bytes, red, green, blue, in a binary message: the one
        // message sent many times a second costs the least to make and send.
        const char rgb[3] = {static_cast<char>(colour >> 16 & 0xff),
                             static_cast<char>(colour >> 8 & 0xff),
                             static_cast<char>(colour & 0xff)};
        const QByteArray message(rgb, 3);
        for (const auto& phone : phones_) {
            SendTo(phone->socket, message, true);
        }
    }
    bool listChanged = false;
    const QByteArray state = StateMessage(listChanged);
    if (listChanged) {
        SendAll(ListMessage());
    }
    if (state != lastState_ || listChanged) {
        lastState_ = state;
        SendAll(state);
    }
}

void RemoteHttpServer::SendAll(const QByteArray& message) {
    for (const auto& phone : phones_) {
        SendTo(phone->socket, message);
    }
}

void RemoteHttpServer::SendTo(QWebSocket* socket, const QByteArray& message, bool binary) {
    // A phone that does not read is not written to without bound: its
    // frames are dropped, and past a larger bound it is let go.
    const qint64 queued = socket->bytesToWrite();
    if (queued > 1024 * 1024) {
        socket->abort();
        return;
    }
    if (queued > 64 * 1024) {
        return;
    }
    if (binary) {
        socket->sendBinaryMessage(message);
    } else {
        socket->sendTextMessage(QString::fromUtf8(message));
    }
    // Written now rather than on the socket's write notification: one
    // system call, and no second pass of the event loop for each phone.
    socket->flush();
}

}  // namespace chromola
