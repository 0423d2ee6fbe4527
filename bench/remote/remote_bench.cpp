// What the remote's server costs and how late phones see the colour.
//
//   remote_bench server SECONDS
//     The server module's code on this thread's event loop, as in the
//     player, fed by a tick thread that stores a new colour every 17 ms the
//     way the display does (one atomic store); the colour carries the tick's
//     number. Five phones on a thread of their own read it over loopback.
//     Prints the CPU time of the server's thread a second, with no phone and
//     with five, and the time from a tick's store to a phone's receipt of
//     that colour (median, 90th percentile, worst).
//   remote_bench phones URL_WITH_KEY SECONDS
//     Five phones against a running player; prints how many messages came.
#include <QCoreApplication>
#include <QJsonObject>
#include <QThread>
#include <QTimer>
#include <QWebSocket>

#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "remote/remote_server.h"

namespace chromola {
namespace {

constexpr int kPhones = 5;
constexpr int kTickMs = 17;
constexpr int kTicksKept = 1 << 16;

long long NowUs() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double ThreadCpuSeconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The player as far as the server sees it: a colour a tick, and a state
// whose position moves every second.
class BenchHost final : public RemoteHost {
  public:
    QJsonObject State() override {
        return {{QStringLiteral("t"), QStringLiteral("state")},
                {QStringLiteral("name"), QStringLiteral("track.mp3")},
                {QStringLiteral("pos"), static_cast<int>(NowUs() / 1000000 % 600)},
                {QStringLiteral("len"), 600},
                {QStringLiteral("bright"), 17}};
    }
    QStringList Entries(bool& changed) override {
        changed = !sent_;
        sent_ = true;
        return {QStringLiteral("track.mp3")};
    }
    void Command(const QJsonObject&) override {}
    std::uint32_t ShownColour() const override { return shown.load(std::memory_order_relaxed); }

    std::atomic<std::uint32_t> shown{0};
    std::array<std::atomic<long long>, kTicksKept> tickUs{};

  private:
    bool sent_ = false;
};

struct Phones {
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    std::mutex mutex;
    std::vector<long long> latenciesUs;
    long long messages = 0;
};

int RunServer(int seconds) {
    BenchHost host;
    RemoteHttpServer server(host);
    const QByteArray secret = "0123456789abcdef0123456789abcdef";
    const QString error = server.Listen(kRemoteLocal, 0 + 18765, secret);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "%s\n", error.toUtf8().constData());
        return 1;
    }
    std::atomic<bool> ticking{true};
    std::thread tick([&host, &ticking] {
        auto next = std::chrono::steady_clock::now();
        for (std::uint32_t n = 1; ticking; ++n) {
            next += std::chrono::milliseconds(kTickMs);
            std::this_thread::sleep_until(next);
            host.tickUs[n % kTicksKept].store(NowUs());
            host.shown.store(n & 0xffffff, std::memory_order_relaxed);
        }
    });
    clockid_t serverClock{};
    pthread_getcpuclockid(pthread_self(), &serverClock);

    Phones phones;
    QThread phoneThread;
    QObject phoneContext;  // lives on the phones' thread
    phoneContext.moveToThread(&phoneThread);
    phoneThread.start();
    const auto measure = [&](const char* what) {
        const double cpu = ThreadCpuSeconds(serverClock);
        const long long start = NowUs();
        QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
        QCoreApplication::exec();
        const double used = ThreadCpuSeconds(serverClock) - cpu;
        const double wall = static_cast<double>(NowUs() - start) * 1e-6;
        std::printf("%-26s server thread CPU %.3f %% of one core\n", what, 100.0 * used / wall);
    };
    measure("no phone:");
    QMetaObject::invokeMethod(
        &phoneContext,
        [&phones, &host] {
            for (int i = 0; i < kPhones; ++i) {
                auto socket = std::make_unique<QWebSocket>();
                QObject::connect(socket.get(), &QWebSocket::textMessageReceived,
                                 [&phones](const QString&) {
                                     std::lock_guard lock(phones.mutex);
                                     ++phones.messages;
                                 });
                QObject::connect(socket.get(), &QWebSocket::binaryMessageReceived,
                                 [&phones, &host](const QByteArray& message) {
                                     const long long now = NowUs();
                                     std::lock_guard lock(phones.mutex);
                                     ++phones.messages;
                                     if (message.size() != 3) {
                                         return;
                                     }
                                     const auto byte = [&message](int i) {
                                         return static_cast<std::uint32_t>(
                                             static_cast<unsigned char>(message[i]));
                                     };
                                     const std::uint32_t n = byte(0) << 16 | byte(1) << 8 | byte(2);
                                     const long long at = host.tickUs[n % kTicksKept].load();
                                     if (n != 0 && at != 0) {
                                         phones.latenciesUs.push_back(now - at);
                                     }
                                 });
                QNetworkRequest request(
                    QUrl(QStringLiteral("ws://127.0.0.1:18765/ws?k="
                                        "0123456789abcdef0123456789abcdef")));
                request.setRawHeader("Origin", "http://127.0.0.1:18765");
                socket->open(request);
                phones.sockets.push_back(std::move(socket));
            }
        },
        Qt::BlockingQueuedConnection);
    measure("five phones:");
    ticking = false;
    tick.join();
    QMetaObject::invokeMethod(
        &phoneContext, [&phones] { phones.sockets.clear(); }, Qt::BlockingQueuedConnection);
    phoneThread.quit();
    phoneThread.wait();
    std::vector<long long>& l = phones.latenciesUs;
    if (l.empty()) {
        std::fprintf(stderr, "no colour reached a phone\n");
        return 1;
    }
    std::sort(l.begin(), l.end());
    std::printf("colours received %zu (%lld messages, %.1f a second a phone)\n", l.size(),
                phones.messages, static_cast<double>(l.size()) / seconds / kPhones);
    std::printf("tick to phone: median %.1f ms, 90th percentile %.1f ms, worst %.1f ms\n",
                l[l.size() / 2] / 1000.0, l[l.size() * 9 / 10] / 1000.0, l.back() / 1000.0);
    return 0;
}

int RunPhones(const QString& url, int seconds) {
    std::vector<std::unique_ptr<QWebSocket>> sockets;
    long long messages = 0;
    long long lists = 0;
    long long states = 0;
    const QUrl address(url);
    for (int i = 0; i < kPhones; ++i) {
        auto socket = std::make_unique<QWebSocket>();
        QObject::connect(socket.get(), &QWebSocket::textMessageReceived,
                         [&](const QString& message) {
                             ++messages;
                             ++(message.contains(QLatin1String("\"t\":\"list\"")) ? lists : states);
                         });
        QObject::connect(socket.get(), &QWebSocket::binaryMessageReceived,
                         [&messages](const QByteArray&) { ++messages; });
        QNetworkRequest request(QUrl(QStringLiteral("ws://%1:%2/ws?%3")
                                         .arg(address.host())
                                         .arg(address.port())
                                         .arg(address.fragment())));
        request.setRawHeader(
            "Origin",
            QStringLiteral("http://%1:%2").arg(address.host()).arg(address.port()).toLatin1());
        socket->open(request);
        sockets.push_back(std::move(socket));
    }
    QTimer::singleShot(seconds * 1000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    std::printf("phones received %lld messages (%.1f a second a phone; %lld states, %lld lists)\n",
                messages, static_cast<double>(messages) / seconds / kPhones, states, lists);
    return messages > 0 ? 0 : 1;
}

}  // namespace
}  // namespace chromola

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == QLatin1String("server")) {
        return chromola::RunServer(args[2].toInt());
    }
    if (args.size() == 4 && args[1] == QLatin1String("phones")) {
        return chromola::RunPhones(args[2], args[3].toInt());
    }
    std::fprintf(stderr, "usage: remote_bench server SECONDS | phones URL SECONDS\n");
    return 2;
}
