#include "lights/ola_lights.h"

#include <linux/futex.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <optional>

#include <ola/Callback.h>
#include <ola/Clock.h>
#include <ola/DmxBuffer.h>
#include <ola/client/ClientArgs.h>
#include <ola/client/OlaClient.h>
#include <ola/client/Result.h>
#include <ola/client/StreamingClient.h>
#include <ola/io/SelectServer.h>
#include <ola/network/IPV4Address.h>
#include <ola/network/SocketAddress.h>
#include <ola/network/TCPSocket.h>

#include "lights/dmx_frame.h"
#include "lights/packed_colour.h"

namespace chromola {

namespace {

using Clock = std::chrono::steady_clock;

// However many frames come while olad is away, it is asked for a connection
// at most this often.
constexpr auto kReconnectInterval = std::chrono::seconds(1);
// While nothing new comes (nothing plays, the window is minimised) the last
// frame goes out again this often: sACN receivers let a universe go after
// 2.5 s without data, and a repeated frame is how a restarted olad is found
// and given the current colour.
constexpr auto kRepeatInterval = std::chrono::seconds(1);
// An outage, reported once, ends only when a connection has taken frames
// for this long. A frozen olad still accepts connections and lets each take
// frames until its socket is full (seconds at 59 frames a second); libola
// then drops the connection, and the next one is the same outage.
constexpr auto kSettleTime = std::chrono::seconds(10);
// How long closing waits for the idle frame to go out. A frozen olad keeps
// the sender waiting for its answer (or in connect(), once its backlog of
// connections is full); the player then leaves without it rather than hang
// on exit.
constexpr auto kExitWait = std::chrono::seconds(1);

// All options in one word, so that they change for the sender at once and
// without a lock. Clamped first, so every field fits its bits.
std::uint64_t PackOptions(const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    return std::uint64_t{o.enabled} | std::uint64_t(o.idleLights) << 1 |
           std::uint64_t(o.layout) << 2 | std::uint64_t(o.universe) << 4 |
           std::uint64_t(o.address) << 20 | std::uint64_t(o.fixtures) << 32;
}

LightsOptions UnpackOptions(std::uint64_t word) {
    LightsOptions o;
    o.enabled = (word & 1) != 0;
    o.idleLights = static_cast<int>(word >> 1 & 1);
    o.layout = static_cast<int>(word >> 2 & 3);
    o.universe = static_cast<int>(word >> 4 & 0xffff);
    o.address = static_cast<int>(word >> 20 & 0xfff);
    o.fixtures = static_cast<int>(word >> 32 & 0xff);
    return o;
}

constexpr bool Enabled(std::uint64_t options) {
    return (options & 1) != 0;
}

// A futex on a 32-bit atomic: the waker's side is one system call that never
// waits, which is what the display's tick may afford.
static_assert(sizeof(std::atomic<std::uint32_t>) == sizeof(std::uint32_t) &&
              std::atomic<std::uint32_t>::is_always_lock_free);

std::uint32_t* FutexWord(std::atomic<std::uint32_t>& word) {
    return reinterpret_cast<std::uint32_t*>(&word);
}

// Sleeps while `word` still holds `seen`, at most `timeout` when given.
// Returns early on any wake-up or signal; callers look again.
void WaitWhile(std::atomic<std::uint32_t>& word, std::uint32_t seen,
               std::optional<Clock::duration> timeout) {
    timespec relative{};
    timespec* limit = nullptr;
    if (timeout) {
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::max(*timeout, Clock::duration::zero()))
                            .count();
        relative.tv_sec = static_cast<time_t>(ns / 1000000000);
        relative.tv_nsec = static_cast<long>(ns % 1000000000);
        limit = &relative;
    }
    syscall(SYS_futex, FutexWord(word), FUTEX_WAIT_PRIVATE, seen, limit, nullptr, 0);
}

void WakeAll(std::atomic<std::uint32_t>& word) {
    syscall(SYS_futex, FutexWord(word), FUTEX_WAKE_PRIVATE, INT_MAX, nullptr, nullptr, 0);
}

}  // namespace

struct LightsSenderState {
    LightsSenderState(std::uint64_t packedOptions, std::uint16_t olaPort)
        : options(packedOptions), port(olaPort) {}

    std::atomic<std::uint32_t> shown{kNothingShown};
    std::atomic<std::uint64_t> options;
    // Bumped after every change above; the sender sleeps on it.
    std::atomic<std::uint32_t> changes{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> connected{false};
    // Set once the sender has sent its last frame; the destructor sleeps on it.
    std::atomic<std::uint32_t> finished{0};
    const std::uint16_t port;
};

namespace {

// The sender thread: everything that talks to olad happens here.
class Sender {
  public:
    explicit Sender(LightsSenderState& state) : state_(state) {}
    void Run();

  private:
    // Streams a frame to olad, connecting first if need be.
    void Send(unsigned universe, const DmxFrame& frame);
    // The frame olad is to keep when the player stops sending (exit, output
    // switched off). olad drops whatever it has not read yet from a
    // connection the moment it sees that connection close, so a streamed
    // frame right before closing is often lost. The stream is closed first,
    // and this frame goes on a connection of its own as a request that olad
    // answers once the frame is applied. The sender waits for the answer or
    // for olad to close: libola would leak a request given up on.
    void SendLast(unsigned universe, const DmxFrame& frame);
    bool Connect();
    void Disconnect();
    void ReportOutage(const char* what);

    LightsSenderState& state_;
    std::unique_ptr<ola::client::StreamingClient> client_;
    ola::DmxBuffer buffer_;
    std::optional<Clock::time_point> lastAttempt_;
    Clock::time_point connectedAt_{};
    bool outageReported_ = false;
};

DmxFrame FrameFor(std::uint32_t shown, const LightsOptions& options) {
    return shown == kIdleSlot ? BuildIdleFrame(options)
                              : BuildDmxFrame(UnpackLevels(shown), options);
}

void Sender::Run() {
    // libola sends with MSG_NOSIGNAL; should a build lack it, a vanished
    // olad must still not end the player.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    // Woken by the display's futex call, a sender of normal policy takes
    // that thread's core at once and the call returns only after the frame
    // went out (0.1 ms a tick, milliseconds on a busy machine). As a batch
    // thread it waits for a free core instead; the frame is no later for it.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);

    std::uint32_t handled = 0;
    LightsOptions applied = UnpackOptions(state_.options.load(std::memory_order_acquire));
    bool sentOnApplied = false;
    Clock::time_point lastActivity{};
    for (;;) {
        const std::uint32_t changes = state_.changes.load(std::memory_order_acquire);
        const bool stopping = state_.stopping.load(std::memory_order_acquire);
        const LightsOptions options = UnpackOptions(state_.options.load(std::memory_order_acquire));
        if (changes == handled && !stopping) {
            if (!options.enabled) {
                WaitWhile(state_.changes, changes, std::nullopt);
                continue;
            }
            const Clock::duration quiet = Clock::now() - lastActivity;
            if (quiet < kRepeatInterval) {
                WaitWhile(state_.changes, changes, kRepeatInterval - quiet);
                continue;
            }
        }
        handled = changes;

        // Lights on a universe that is left, or when output is switched off,
        // go to the idle frame rather than keep the last colour.
        const LightsOptions left = applied;
        const bool leaving =
            sentOnApplied && (!options.enabled || options.universe != left.universe);
        applied = options;
        if (!options.enabled) {
            if (leaving) {
                SendLast(static_cast<unsigned>(left.universe), BuildIdleFrame(left));
            }
            Disconnect();
            sentOnApplied = false;
        } else {
            if (leaving) {
                Send(static_cast<unsigned>(left.universe), BuildIdleFrame(left));
            }
            const std::uint32_t shown = state_.shown.load(std::memory_order_acquire);
            const auto universe = static_cast<unsigned>(options.universe);
            if (shown != kNothingShown) {
                if (stopping) {
                    SendLast(universe, FrameFor(shown, options));
                } else {
                    Send(universe, FrameFor(shown, options));
                }
                sentOnApplied = true;
            } else if (!client_) {
                // Nothing to show yet; connecting anyway lets Connected()
                // tell the truth from the start.
                Connect();
            }
        }
        lastActivity = Clock::now();
        if (stopping) {
            break;
        }
    }
    Disconnect();
    state_.finished.store(1, std::memory_order_release);
    WakeAll(state_.finished);
}

void Sender::Send(unsigned universe, const DmxFrame& frame) {
    if (!client_ && !Connect()) {
        return;
    }
    buffer_.Set(frame.data(), static_cast<unsigned>(frame.size()));
    if (client_->SendDmx(universe, buffer_)) {
        state_.connected.store(true, std::memory_order_release);
        if (outageReported_ && Clock::now() - connectedAt_ >= kSettleTime) {
            outageReported_ = false;
        }
        return;
    }
    // olad closed the connection, or libola dropped it when olad stopped
    // reading and the socket filled up.
    Disconnect();
    ReportOutage("olad does not take frames");
}

namespace {

struct Confirmation {
    void Answered(const ola::client::Result& result) {
        answered = true;
        confirmed = result.Success();
    }
    bool answered = false;
    bool confirmed = false;
};

bool PeerClosed(int fd) {
    pollfd connection{fd, POLLRDHUP, 0};
    return poll(&connection, 1, 0) > 0 &&
           (connection.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

void Sender::SendLast(unsigned universe, const DmxFrame& frame) {
    Disconnect();
    const std::unique_ptr<ola::network::TCPSocket> socket(ola::network::TCPSocket::Connect(
        ola::network::IPV4SocketAddress(ola::network::IPV4Address::Loopback(), state_.port)));
    if (!socket) {
        ReportOutage("cannot reach olad");
        return;
    }
    ola::io::SelectServer loop;
    ola::client::OlaClient client(socket.get());
    if (!client.Setup() || !loop.AddReadDescriptor(socket.get())) {
        return;
    }
    Confirmation confirmation;
    buffer_.Set(frame.data(), static_cast<unsigned>(frame.size()));
    client.SendDMX(
        universe, buffer_,
        ola::client::SendDMXArgs(ola::NewSingleCallback(&confirmation, &Confirmation::Answered)));
    // libola's own close handler would leak when olad stays, so closing is
    // looked for here.
    while (!confirmation.answered && !PeerClosed(socket->ReadDescriptor())) {
        loop.RunOnce(ola::TimeInterval(0, 100000));
    }
    loop.RemoveReadDescriptor(socket.get());
    client.Stop();
    if (!confirmation.confirmed) {
        ReportOutage("olad did not take the last frame");
    }
}

bool Sender::Connect() {
    const Clock::time_point time = Clock::now();
    if (lastAttempt_ && time - *lastAttempt_ < kReconnectInterval) {
        return false;
    }
    lastAttempt_ = time;
    ola::client::StreamingClient::Options options;
    options.auto_start = false;  // olad is the system's to run, not the player's
    options.server_port = state_.port;
    auto client = std::make_unique<ola::client::StreamingClient>(options);
    if (!client->Setup()) {
        ReportOutage("cannot reach olad");
        return false;
    }
    client_ = std::move(client);
    connectedAt_ = time;
    state_.connected.store(true, std::memory_order_release);
    return true;
}

void Sender::Disconnect() {
    client_.reset();
    state_.connected.store(false, std::memory_order_release);
}

void Sender::ReportOutage(const char* what) {
    if (outageReported_) {
        return;
    }
    outageReported_ = true;
    std::fprintf(stderr, "chromola: lights: %s at 127.0.0.1:%u; trying again every second\n", what,
                 static_cast<unsigned>(state_.port));
}

}  // namespace

OlaLights::OlaLights(const LightsOptions& options, std::uint16_t olaPort)
    : state_(std::make_shared<LightsSenderState>(PackOptions(options), olaPort)),
      sender_([state = state_] { Sender(*state).Run(); }) {}

OlaLights::~OlaLights() {
    Publish(kIdleSlot);
    state_->stopping.store(true, std::memory_order_release);
    WakeSender();
    const Clock::time_point deadline = Clock::now() + kExitWait;
    while (state_->finished.load(std::memory_order_acquire) == 0) {
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            std::fprintf(stderr, "chromola: lights: olad does not take the last frame; leaving\n");
            sender_.detach();  // it holds its own share of the state
            return;
        }
        WaitWhile(state_->finished, 0, left);
    }
    sender_.join();
}

void OlaLights::ShowColour(const ColourLevels& levels) {
    Publish(PackLevels(levels));
}

void OlaLights::ShowIdle() {
    Publish(kIdleSlot);
}

void OlaLights::Publish(std::uint32_t shown) {
    state_->shown.store(shown, std::memory_order_release);
    // Switched off, the sender sleeps until the options change.
    if (Enabled(state_->options.load(std::memory_order_relaxed))) {
        WakeSender();
    }
}

void OlaLights::WakeSender() {
    state_->changes.fetch_add(1, std::memory_order_acq_rel);
    WakeAll(state_->changes);
}

void OlaLights::SetOptions(const LightsOptions& options) {
    state_->options.store(PackOptions(options), std::memory_order_release);
    WakeSender();
}

bool OlaLights::Connected() const {
    return state_->connected.load(std::memory_order_acquire);
}

}  // namespace chromola
