// The remote as an attacker on the same network meets it: the real player
// with its real server on 127.0.0.1, spoken to byte by byte. Whatever comes
// without the secret, from another origin, too large, too slow or too often
// is refused, and the player plays on.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>

#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

#include "audio_fixtures.h"
#include "player_harness.h"
#include "remote/remote_secret.h"
#include "setup_window/setup_window.h"

namespace chromola {
namespace {

using testing::PlayerHarness;
using testing::Spin;

int FreePort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    return probe.serverPort();
}

// Sends `request` as is and returns all that comes back until the server
// closes the connection or `waitMs` pass.
QByteArray Exchange(int port, const QByteArray& request, int waitMs = 3000,
                    const QHostAddress& from = QHostAddress(QHostAddress::LocalHost)) {
    QTcpSocket socket;
    socket.bind(from);
    socket.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    if (!socket.waitForConnected(3000)) {
        return "no connection";
    }
    socket.write(request);
    QByteArray answer;
    QElapsedTimer timer;
    timer.start();
    while (socket.state() == QAbstractSocket::ConnectedState && timer.elapsed() < waitMs) {
        Spin(10);
        answer += socket.readAll();
        // One whole answer without a body is enough.
        if (answer.contains("\r\n\r\n") && !answer.contains("Content-Length: ")) {
            break;
        }
        if (const qsizetype end = answer.indexOf("\r\n\r\n"); end >= 0) {
            const qsizetype at = answer.indexOf("Content-Length: ");
            const int length = answer.mid(at + 16, answer.indexOf("\r\n", at) - at - 16).toInt();
            if (answer.size() >= end + 4 + length) {
                break;
            }
        }
    }
    return answer + socket.readAll();
}

// A plain socket connected to the server: it writes without waiting for the
// event loop, as a client elsewhere does.
int RawConnection(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<quint16>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

QByteArray Get(int port, const QByteArray& target, const QByteArray& headers = {}) {
    return Exchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                              QByteArray::number(port) + "\r\n" + headers + "\r\n");
}

int StatusOf(const QByteArray& answer) {
    return answer.startsWith("HTTP/1.1 ") ? answer.mid(9, 3).toInt() : 0;
}

// A WebSocket from `origin`; true once open, with the first messages in
// `messages`.
bool OpenPhone(QWebSocket& phone, int port, const QByteArray& secret, const QString& origin,
               QStringList* messages = nullptr) {
    QNetworkRequest request(QUrl(
        QStringLiteral("ws://127.0.0.1:%1/ws?k=%2").arg(port).arg(QString::fromLatin1(secret))));
    request.setRawHeader("Origin", origin.toLatin1());
    if (messages != nullptr) {
        QObject::connect(&phone, &QWebSocket::textMessageReceived,
                         [messages](const QString& m) { messages->append(m); });
    }
    phone.open(request);
    for (int i = 0; i < 300 && phone.state() != QAbstractSocket::ConnectedState &&
                    phone.state() != QAbstractSocket::UnconnectedState;
         ++i) {
        Spin(10);
    }
    Spin(50);
    return phone.state() == QAbstractSocket::ConnectedState;
}

class RemoteTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // The clients talk to loopback directly: no system proxy is asked
        // (libproxy's own thread would answer it, outside the sanitizer's view).
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        QNetworkProxyFactory::setUseSystemConfiguration(false);
        files_ = {WriteTone(dir_, "first.wav", {.seconds = 60}),
                  WriteTone(dir_, "second.wav", {.seconds = 60}),
                  WriteTone(dir_, "third.wav", {.seconds = 60})};
        ASSERT_FALSE(harness_.Start().has_value());
        harness_.ChooseFiles(files_);
        ASSERT_TRUE(harness_.IsPlaying());
        SwitchOn(FreePort());
    }
    // As a user does on the set-up window's Пульт page.
    void SwitchOn(int port) {
        port_ = port;
        harness_.player().ShowSetup();
        SetupWindow& setup = *harness_.player().setupWindow();
        setup.remotePort->setValue(port);
        setup.remoteMode->setCurrentIndex(1);
        emit setup.remoteMode->activated(1);
        const QString address = setup.remoteAddress->text();
        ASSERT_TRUE(address.startsWith(QStringLiteral("http://127.0.0.1:%1/#k=").arg(port)))
            << address.toStdString();
        secret_ = address.section(QStringLiteral("#k="), 1).toLatin1();
        ASSERT_TRUE(IsRemoteSecret(secret_));
        ASSERT_FALSE(setup.remoteCode->pixmap().isNull());
    }
    QString Origin() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    QByteArray Bearer(const QByteArray& secret) const {
        return "Authorization: Bearer " + secret + "\r\n";
    }

    testing::TempDir dir_;
    QStringList files_;
    PlayerHarness harness_;
    int port_ = 0;
    QByteArray secret_;
};

TEST_F(RemoteTest, NothingOfThePlayerWithoutTheSecretOrFromAnotherOrigin) {
    // The page itself holds nothing of the player; every answer carries the
    // protective headers and no CORS.
    const QByteArray page = Get(port_, "/");
    EXPECT_EQ(StatusOf(page), 200);
    for (const char* header :
         {"Content-Security-Policy: default-src 'none'", "X-Content-Type-Options: nosniff",
          "Referrer-Policy: no-referrer", "Cache-Control: no-store"}) {
        EXPECT_TRUE(page.contains(header)) << header;
    }
    EXPECT_FALSE(page.toLower().contains("access-control-allow"));
    EXPECT_FALSE(page.contains("first.wav"));

    QByteArray oneBit = secret_;
    oneBit[5] = static_cast<char>(oneBit[5] ^ 1);  // a digit still, one bit away
    QByteArray wrong = secret_;
    std::reverse(wrong.begin(), wrong.end());
    for (const QByteArray& headers :
         {QByteArray(), Bearer(""), Bearer(wrong), Bearer(oneBit), Bearer(secret_ + "0"),
          Bearer(secret_.left(31)), "Authorization: Basic " + secret_ + "\r\n"}) {
        const QByteArray answer = Get(port_, "/state", headers);
        EXPECT_EQ(StatusOf(answer), 401) << headers.toStdString();
        EXPECT_TRUE(answer.endsWith("\r\n\r\n")) << "a body: " << answer.toStdString();
        EXPECT_TRUE(answer.contains("Cache-Control: no-store"));
    }
    const QByteArray state = Get(port_, "/state", Bearer(secret_));
    EXPECT_EQ(StatusOf(state), 200);
    EXPECT_TRUE(state.contains("first.wav"));

    // A WebSocket from a page of another origin, or another host, even with
    // the secret; then the page's own.
    for (const QString& origin :
         {QStringLiteral("http://evil.example"), QStringLiteral("null"), QString(),
          QStringLiteral("http://127.0.0.1:%1.evil.example").arg(port_)}) {
        QWebSocket phone;
        EXPECT_FALSE(OpenPhone(phone, port_, secret_, origin)) << origin.toStdString();
    }
    {
        QWebSocket phone;
        EXPECT_FALSE(OpenPhone(phone, port_, oneBit, Origin()));
    }
    const QByteArray rebound =
        Exchange(port_, "GET /state HTTP/1.1\r\nHost: evil.example:" + QByteArray::number(port_) +
                            "\r\n" + Bearer(secret_) + "\r\n");
    EXPECT_EQ(StatusOf(rebound), 421);
    QWebSocket phone;
    QStringList messages;
    ASSERT_TRUE(OpenPhone(phone, port_, secret_, Origin(), &messages));
    EXPECT_TRUE(messages.join(' ').contains("second.wav"));

    // No path reaches a file: dots, escapes and slashes of every spelling.
    for (const char* target :
         {"/../../../../etc/passwd", "/%2e%2e/%2e%2e/etc/passwd", "/..%2f..%2fetc%2fpasswd",
          "/app.js%2F..%2F..%2Fetc%2Fpasswd", "/.%2e/state", "//etc/passwd", "/state/..",
          "/app.js/../state", "/%2Fetc%2Fpasswd", "/..\\..\\etc\\passwd", "/index.html",
          "/remote/app.js", "/:/remote/app.js"}) {
        const QByteArray answer = Get(port_, target, Bearer(secret_));
        const int status = StatusOf(answer);
        EXPECT_TRUE(status == 400 || status == 404) << target << ": " << status;
        EXPECT_FALSE(answer.contains("root:")) << target;
        EXPECT_FALSE(answer.contains("first.wav")) << target;
    }

    // Ten failures a minute from an address; the eleventh attempt, even
    // with the secret, waits.
    for (int i = 0; i < 10; ++i) {
        Get(port_, "/state", Bearer(wrong));
    }
    const QByteArray held = Get(port_, "/state", Bearer(secret_));
    EXPECT_EQ(StatusOf(held), 429);
    EXPECT_TRUE(held.contains("Retry-After: "));

    // A port that another program holds is said on the page; the player
    // plays on.
    QTcpServer other;
    ASSERT_TRUE(other.listen(QHostAddress::LocalHost, 0));
    SetupWindow& setup = *harness_.player().setupWindow();
    setup.remotePort->setValue(other.serverPort());
    emit setup.remotePort->editingFinished();
    EXPECT_TRUE(setup.remoteAddress->text().contains(QStringLiteral("занят")))
        << setup.remoteAddress->text().toStdString();
    EXPECT_TRUE(setup.remoteCode->pixmap().isNull());
    EXPECT_TRUE(harness_.IsPlaying());
}

TEST_F(RemoteTest, WhatIsTooLargeTooSlowOrTooFrequentIsCutOff) {
    // Headers past 8 KB, in one line or many; a body past 4 KB.
    const QByteArray port = QByteArray::number(port_);
    {
        // Far past, and sent whole before anything is read, as many clients
        // do: the answer still reaches it, not a reset.
        const QByteArray huge =
            "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\nX-Long: " + QByteArray(1 << 20, 'a');
        const int fd = RawConnection(port_);
        ASSERT_GE(fd, 0);
        const timeval patience{.tv_sec = 10, .tv_usec = 0};
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        const int small = 4096;  // the head cannot wait whole in the kernel
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
        QByteArray answer;
        std::atomic<bool> done = false;
        std::thread client([&] {
            qsizetype at = 0;
            for (ssize_t n = 1; n > 0 && at < huge.size(); at += std::max<ssize_t>(n, 0)) {
                n = ::send(fd, huge.constData() + at, huge.size() - at, MSG_NOSIGNAL);
            }
            char buffer[4096];
            for (ssize_t n = 1; at == huge.size() && n > 0;) {
                n = ::recv(fd, buffer, sizeof buffer, 0);
                answer.append(buffer, std::max<ssize_t>(n, 0));
            }
            done = true;
        });
        while (!done) {
            Spin(10);
        }
        client.join();
        ::close(fd);
        EXPECT_EQ(StatusOf(answer), 431);
    }
    QByteArray many = "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port + "\r\n";
    for (int i = 0; i < 400; ++i) {
        many += "X-" + QByteArray::number(i) + ": 12345678901234567890\r\n";
    }
    EXPECT_EQ(StatusOf(Exchange(port_, many + "\r\n")), 431);
    // A second request on a connection already handed on is measured too.
    const QByteArray second =
        Exchange(port_, "GET /app.css HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                            "\r\n\r\nGET / HTTP/1.1\r\nX: " + QByteArray(9000, 'b') + "\r\n\r\n");
    EXPECT_TRUE(second.contains("431")) << second.left(200).toStdString();
    EXPECT_EQ(StatusOf(Exchange(port_, "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                           "\r\nContent-Length: 5000\r\n\r\n")),
              413);
    EXPECT_EQ(StatusOf(Exchange(port_, "POST /state HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                                           "\r\nContent-Length: 2\r\n\r\n{}")),
              405);

    // A client that stops half way through its head is dropped after 10 s.
    QTcpSocket slow;
    slow.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port_));
    ASSERT_TRUE(slow.waitForConnected(3000));
    slow.write("GET / HTTP/1.1\r\nHost: 127.0");
    QElapsedTimer held;
    held.start();
    while (slow.state() == QAbstractSocket::ConnectedState && held.elapsed() < 20000) {
        Spin(50);
    }
    EXPECT_NE(slow.state(), QAbstractSocket::ConnectedState);
    EXPECT_GE(held.elapsed(), 9000);

    // Eight phones at once, not nine.
    std::vector<std::unique_ptr<QWebSocket>> phones;
    for (int i = 0; i < 8; ++i) {
        phones.push_back(std::make_unique<QWebSocket>());
        ASSERT_TRUE(OpenPhone(*phones.back(), port_, secret_, Origin())) << i;
    }
    QWebSocket ninth;
    EXPECT_FALSE(OpenPhone(ninth, port_, secret_, Origin()));
    // A phone that leaves makes room for another.
    phones.back()->close();
    Spin(200);
    phones.back() = std::make_unique<QWebSocket>();
    ASSERT_TRUE(OpenPhone(*phones.back(), port_, secret_, Origin()));

    // A message past 4 KB closes the phone.
    QWebSocket& big = *phones.back();
    big.sendTextMessage(QString(5000, u'x'));
    for (int i = 0; i < 200 && big.state() == QAbstractSocket::ConnectedState; ++i) {
        Spin(10);
    }
    EXPECT_NE(big.state(), QAbstractSocket::ConnectedState);

    // A flood of commands: at most 20 a second act, and the phone is let go.
    QWebSocket& flood = *phones.front();
    const int before = harness_.state().TrackIndex;
    ASSERT_EQ(harness_.form().VScroll1->value(), harness_.form().VScroll1->value());
    for (int i = 0; i < 300; ++i) {
        flood.sendTextMessage(QStringLiteral("{\"cmd\":\"bright\",\"value\":%1}").arg(2 + i % 30));
    }
    flood.flush();
    for (int i = 0; i < 200 && flood.state() == QAbstractSocket::ConnectedState; ++i) {
        Spin(10);
    }
    EXPECT_NE(flood.state(), QAbstractSocket::ConnectedState);
    EXPECT_EQ(harness_.state().TrackIndex, before);
    EXPECT_TRUE(harness_.IsPlaying());

    // A well-behaved phone still steers the player.
    QWebSocket& good = *phones[1];
    QStringList told;
    QObject::connect(&good, &QWebSocket::textMessageReceived,
                     [&told](const QString& m) { told.append(m); });
    good.sendTextMessage(QStringLiteral("{\"cmd\":\"next\"}"));
    good.sendTextMessage(QStringLiteral("{\"cmd\":\"bright\",\"value\":9}"));
    good.sendTextMessage(QStringLiteral("{\"cmd\":\"red\",\"value\":30}"));
    Spin(200);
    EXPECT_EQ(harness_.state().TrackIndex, before + 1);
    EXPECT_EQ(harness_.form().VScroll1->value(), 9);
    EXPECT_EQ(harness_.state().RedGain, 30 * 0.025f);
    // Every phone is told at once.
    EXPECT_TRUE(told.join(' ').contains("\"bright\":9")) << told.join(' ').toStdString();
    EXPECT_TRUE(told.join(' ').contains("\"red\":30"));
    EXPECT_TRUE(harness_.IsPlaying());
}

TEST_F(RemoteTest, AskingAheadOfReadingOrFromManyLoopbackAddressesGainsNothing) {
    // Requests sent far ahead of reading their answers: the client is let
    // go, and the others are answered as before.
    const int fd = RawConnection(port_);
    ASSERT_GE(fd, 0);
    const int small = 4096;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    QByteArray requests;
    for (int i = 0; i < 100; ++i) {
        requests +=
            "GET /app.js HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port_) + "\r\n\r\n";
    }
    const auto ask = [&fd, &requests] {
        return ::send(fd, requests.constData(), requests.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    };
    bool cut = false;
    qint64 sent = 0;
    for (int waits = 0; !cut && waits < 100 && sent < (64 << 20);) {
        if (const ssize_t n = ask(); n >= 0) {
            sent += n;
            waits = 0;
        } else {
            cut = errno != EAGAIN;
            ++waits;
            Spin(2);
        }
    }
    // Answered while the flood is under way or just after it.
    EXPECT_EQ(StatusOf(Get(port_, "/app.css")), 200);
    for (int waits = 0; !cut && waits < 3000; ++waits) {
        cut = ask() < 0 && errno != EAGAIN;
        Spin(2);
    }
    ::close(fd);
    EXPECT_TRUE(cut);
    EXPECT_TRUE(harness_.IsPlaying());

    // Ten wrong secrets from ten loopback addresses are ten from this
    // computer: the eleventh attempt, from yet another, waits.
    for (int i = 2; i < 12; ++i) {
        const QHostAddress from(QStringLiteral("127.0.0.%1").arg(i));
        EXPECT_EQ(StatusOf(Exchange(
                      port_,
                      "GET /state HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port_) +
                          "\r\n" + Bearer(QByteArray(32, 'f')) + "\r\n",
                      3000, from)),
                  401);
    }
    const QByteArray held =
        Exchange(port_,
                 "GET /state HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port_) + "\r\n" +
                     Bearer(secret_) + "\r\n",
                 3000, QHostAddress(QStringLiteral("127.0.0.12")));
    EXPECT_EQ(StatusOf(held), 429);
    EXPECT_TRUE(harness_.IsPlaying());
}

// A secret file that others may read, that is damaged or that is a link is
// replaced by a new secret in a file of the user's alone.
TEST(RemoteSecret, WiderRightsDamageOrALinkBringANewSecret) {
    testing::TempDir dir;
    const QString path =
        QString::fromStdString(dir.path().string()) + QStringLiteral("/chromola/remote-secret");
    const QByteArray first = LoadRemoteSecret(path);
    ASSERT_TRUE(IsRemoteSecret(first));
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_EQ(LoadRemoteSecret(path), first);

    chmod(QFile::encodeName(path).constData(), 0640);
    const QByteArray second = LoadRemoteSecret(path);
    EXPECT_NE(second, first);
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    for (const QByteArray& damaged : {QByteArray("short"), second.toUpper(), second + "00"}) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();
        const QByteArray next = LoadRemoteSecret(path);
        EXPECT_TRUE(IsRemoteSecret(next));
        EXPECT_NE(next.toLower(), damaged.toLower());
    }

    const QString elsewhere =
        QString::fromStdString(dir.path().string()) + QStringLiteral("/elsewhere");
    QFile::remove(path);
    ASSERT_TRUE(QFile::link(elsewhere, path));
    EXPECT_TRUE(IsRemoteSecret(LoadRemoteSecret(path)));
    EXPECT_FALSE(QFile::exists(elsewhere));
    EXPECT_FALSE(QFileInfo(path).isSymLink());

    EXPECT_TRUE(SecretsMatch(first, first));
    EXPECT_FALSE(SecretsMatch(first.left(31), first));
    EXPECT_FALSE(SecretsMatch({}, {}));
}

}  // namespace
}  // namespace chromola
