// The remote's server (libchromola_remote.so): the page, its files and the
// player's state for phones, over Qt HTTP Server and Qt WebSockets, on the
// event loop of the thread that made it. What QHttpServer 6.4 cannot bound
// on its own is bounded in front of it: a QTcpServer of our own takes every
// connection, reads each request's head (peeking, so that Qt's parser still
// sees every byte) and refuses, before any of Qt's code parses it, what is
// too large, too slow, too many, of another host or origin, or without the
// secret. WebSockets that pass are handed to a QWebSocketServer of our own;
// ordinary requests to the QHttpServer.
//
// The limits, each enforced here:
// - a request's head at most kMaxHead bytes (8 KB), else 431 and closed;
// - a request's body, and a WebSocket message or frame, at most kMaxMessage
//   (4 KB), else 413 or the WebSocket closed (QWebSocket's own limits);
// - a client that has not sent a whole request kDeadlineMs (10 s) after the
//   connection opened or its previous request ended is dropped, and so is a
//   WebSocket handshake that takes as long;
// - a client that sends requests faster than it reads their answers: at
//   most kMaxUnread bytes read ahead of Qt's parser (the kernel holds the
//   rest back), and at most kMaxUnanswered bytes of answers waiting for it,
//   else dropped;
// - at most kMaxPhones (8) WebSockets at once, else 503; at most
//   kMaxConnections (32) other connections, kMaxPerAddress (8) from one
//   address, else 503 and closed;
// - at most kCommandsPerSecond (20) commands a second from a phone: more are
//   dropped, and a phone that sends three times as many is closed;
// - at most kMaxFailures (10) wrong or missing secrets a minute from one
//   address (an IPv6 /64, and all of loopback, count as one): later attempts
//   get 429 until the minute has passed, unchecked;
// - only GET, only the page's few paths (no path names a file: the page's
//   files are resources inside the module), only hosts that are an address,
//   localhost or this computer's name (against DNS rebinding), and in the
//   mode "this computer only" only loopback hosts; WebSockets only from the
//   page's own origin; in the mode "local network", peers only from
//   loopback, private, link-local or unique local addresses.
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QHttpServer>
#include <QJsonObject>
#include <QSet>
#include <QTcpServer>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <deque>
#include <map>
#include <memory>
#include <unordered_map>

#include "remote/remote_api.h"

namespace chromola {

class RemoteHttpServer final : public QObject, public RemoteServer {
    Q_OBJECT
  public:
    explicit RemoteHttpServer(RemoteHost& host);
    ~RemoteHttpServer() override;

    QString Listen(int mode, int port, const QByteArray& secret) override;
    void SetSecret(const QByteArray& secret) override;
    QStringList Addresses() const override;
    std::vector<bool> QrCode(const QByteArray& text, int& width) const override;

    static constexpr qsizetype kMaxHead = 8192;
    static constexpr qsizetype kMaxMessage = 4096;
    static constexpr int kDeadlineMs = 10000;
    static constexpr qint64 kMaxUnread = kMaxHead + kMaxMessage;
    static constexpr qint64 kMaxUnanswered = 256 * 1024;
    static constexpr int kMaxPhones = 8;
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxPerAddress = 8;
    static constexpr int kCommandsPerSecond = 20;
    static constexpr int kMaxFailures = 10;
    static constexpr int kFailureWindowMs = 60000;
    // How often the phones are told the colour and the state, when changed.
    static constexpr int kPushIntervalMs = 40;

  private:
    class Gate;
    struct Connection;
    struct Phone;

    void Admit(QTcpSocket* socket);
    void Readable(Connection& connection);
    // Returns false once the connection is refused or handed over.
    bool HeadReceived(Connection& connection, const QByteArray& head);
    // `linger`: what the client still sends is read and dropped until it
    // closes, so that it reads the answer rather than a reset.
    void Refuse(Connection& connection, int status, const QByteArray& reason,
                const QByteArray& extra = {}, bool linger = true);
    void HandOverToHttp(Connection& connection);
    void HandOverToWebSocket(Connection& connection);
    void Forget(QTcpSocket* socket);
    bool HostAllowed(const QByteArray& host) const;
    QString AddressKey(const QHostAddress& address) const;
    // Missing or wrong secret: counts against the address.
    bool Throttled(const QString& key, int& retryAfter);
    void Failed(const QString& key);
    void PhoneConnected();
    void PhoneMessage(Phone& phone, const QString& message);
    void Push();
    void SendAll(const QByteArray& message);
    void SendTo(QWebSocket* socket, const QByteArray& message, bool binary = false);
    QByteArray StateMessage(bool& listChanged);
    QByteArray ListMessage() const;

    RemoteHost& host_;
    int mode_ = kRemoteOff;
    int port_ = 0;
    QByteArray secret_;
    QHttpServer http_;
    QWebSocketServer sockets_;
    std::vector<Gate*> gates_;
    std::unordered_map<QTcpSocket*, std::unique_ptr<Connection>> connections_;
    std::map<QString, int> perAddress_;
    QSet<QTcpSocket*> handshakes_;  // handed to the WebSocket server, not yet phones
    std::vector<std::unique_ptr<Phone>> phones_;
    std::map<QString, std::deque<qint64>> failures_;
    QTimer push_;
    std::uint32_t lastColour_ = 0xffffffffu;
    QByteArray lastState_;
    QStringList entries_;
};

}  // namespace chromola
