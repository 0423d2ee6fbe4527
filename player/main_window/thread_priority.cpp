#include "main_window/thread_priority.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace chromola {

namespace {

// The nice value sound servers ask for their own threads: well ahead of the
// programs at the usual 0, within what RealtimeKit hands out (down to -15
// unless configured otherwise).
constexpr int kNice = -11;
// The bus is asked on the thread itself, before its work starts: the
// window never waits for it, and exit, which joins the tick thread, waits
// for the answer this long at most.
constexpr int kBusTimeoutMs = 500;

// A nice value as low as `wanted`, or as low as the user's limit
// (RLIMIT_NICE) allows; true once `wanted` is reached.
bool LowerNice(pid_t tid, int wanted) {
    errno = 0;
    const int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (errno != 0 || current <= wanted) {
        return errno == 0;
    }
    if (setpriority(PRIO_PROCESS, static_cast<id_t>(tid), wanted) == 0) {
        return true;
    }
    // The limit is the lowest nice value allowed, counted as 20 - nice.
    rlimit limit{};
    if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const int lowest = 20 - static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 40));
        if (lowest < current) {
            setpriority(PRIO_PROCESS, static_cast<id_t>(tid), std::max(lowest, wanted));
        }
    }
    return false;
}

// RealtimeKit sets the nice value of a thread of the calling process;
// unlike a real-time class, this asks for no limit on CPU time
// (RLIMIT_RTTIME) and cannot starve the machine.
void AskRealtimeKit(pid_t tid, int nice) {
    if (QCoreApplication::instance() == nullptr) {
        return;  // Qt's bus connections need the application
    }
    const QString name = QStringLiteral("chromola-realtimekit");
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QDBusConnection::SystemBus, name);
        if (bus.isConnected()) {
            QDBusMessage call =
                QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.RealtimeKit1"),
                                               QStringLiteral("/org/freedesktop/RealtimeKit1"),
                                               QStringLiteral("org.freedesktop.RealtimeKit1"),
                                               QStringLiteral("MakeThreadHighPriority"));
            call << static_cast<quint64>(tid) << static_cast<qint32>(nice);
            // A refusal changes nothing: the thread keeps its priority.
            bus.call(call, QDBus::Block, kBusTimeoutMs);
        }
    }
    QDBusConnection::disconnectFromBus(name);
}

}  // namespace

void RaiseThisThreadPriority() {
    const pid_t tid = gettid();
    if (!LowerNice(tid, kNice)) {
        AskRealtimeKit(tid, kNice);
    }
}

}  // namespace chromola
