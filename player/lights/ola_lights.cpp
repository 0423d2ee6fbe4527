#include "lights/ola_lights.h"

#include <linux/futex.h>
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
#include <span>

#include <ola/Callback.h>
#include <ola/Clock.h>
#include <ola/DmxBuffer.h>
#include <ola/client/ClientArgs.h>
#include <ola/client/OlaClient.h>
#include <ola/client/Result.h>
#include <ola/io/SelectServer.h>
#include <ola/network/IPV4Address.h>
#include <ola/network/SocketAddress.h>
#include <ola/network/TCPConnector.h>
#include <ola/network/TCPSocket.h>

#include "lights/dmx_frame.h"
#include "lights/futex_word.h"
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
// Every wait on olad has a deadline, so that a frozen olad (SIGSTOP, a
// debugger) never parks the sender: connecting (olad's kernel queue of
// connections may be full), the answer to the last frame when output is
// switched off, and that answer at exit. Past a deadline the sender goes on
// without olad; at exit it ends, and the player with it.
constexpr auto kConnectWait = std::chrono::milliseconds(500);
constexpr auto kAnswerWait = std::chrono::seconds(2);
constexpr auto kExitWait = std::chrono::seconds(1);
// While an answer is owed, the sender looks for it this often, and for
// changes in between.
constexpr auto kAnswerPoll = std::chrono::milliseconds(20);

// All options in one word, so that they change for the sender at once and
// without a lock. Clamped first, so every field fits its bits.
std::uint64_t PackOptions(const LightsOptions& options) {
    const LightsOptions o = options.Clamped();
    return std::uint64_t{o.enabled} | std::uint64_t(o.idleLights) << 1 |
           std::uint64_t(o.layout) << 2 | std::uint64_t(o.universe) << 4 |
           std::uint64_t(o.address) << 20 | std::uint64_t(o.fixtures) << 32 |
           std::uint64_t(o.pixels) << 40 | std::uint64_t(o.stripEffect) << 53;
}

LightsOptions UnpackOptions(std::uint64_t word) {
    LightsOptions o;
    o.enabled = (word & 1) != 0;
    o.idleLights = static_cast<int>(word >> 1 & 1);
    o.layout = static_cast<int>(word >> 2 & 3);
    o.universe = static_cast<int>(word >> 4 & 0xffff);
    o.address = static_cast<int>(word >> 20 & 0xfff);
    o.fixtures = static_cast<int>(word >> 32 & 0xff);
    o.pixels = static_cast<int>(word >> 40 & 0x1fff);
    o.stripEffect = static_cast<int>(word >> 53 & 7);
    return o;
}

constexpr bool Enabled(std::uint64_t options) {
    return (options & 1) != 0;
}

// The ready strip buffer's index, with this bit while the display's thread
// has put a frame there that the sender has not taken.
constexpr std::uint32_t kFresh = 4;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

}  // namespace

struct LightsSenderState {
    LightsSenderState(std::uint64_t packedOptions, std::uint16_t olaPort)
        : options(packedOptions), port(olaPort) {}

    std::atomic<std::uint32_t> shown{kNothingShown};
    // A strip's frames: the display's thread fills one, the sender sends
    // another, and the third is the newest finished one.
    std::array<StripBuffer, 3> strips{};
    std::array<std::size_t, 3> stripSizes{};
    std::atomic<std::uint32_t> ready{1};  // the display fills 0 first, the sender holds 2
    std::atomic<std::uint64_t> options;
    // Bumped after every change above; the sender sleeps on it.
    std::atomic<std::uint32_t> changes{0};
    std::atomic<bool> stopping{false};
    std::atomic<bool> connected{false};
    const std::uint16_t port;
};

namespace {

ola::TimeInterval Interval(Clock::duration wait) {
    return ola::TimeInterval(
        static_cast<int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::max(wait, Clock::duration::zero()))
                                 .count()));
}

// The sender thread: everything that talks to olad happens here, over one
// connection made with libola's client on a select loop of the sender's own.
// Frames stream without an answer. The frame olad is to keep when the player
// stops sending (exit, output switched off) goes as a request that olad
// answers once it has applied it and every frame before it: olad drops what
// it has not read yet from a connection the moment it sees that connection
// close, so the connection stays open until the answer comes or its
// deadline passes. libola cannot cancel a request: one given up on at its
// deadline is left to libola with its connection (a few hundred bytes).
class Sender {
  public:
    explicit Sender(LightsSenderState& state) : state_(state) {}
    ~Sender() { Disconnect(); }
    Sender(const Sender&) = delete;
    Sender& operator=(const Sender&) = delete;
    void Run();

  private:
    // Every universe of what is shown (`strip`: a strip's pixels); with
    // `lastDeadline`, the last of them as the frame olad is to keep.
    void SendShown(std::uint32_t shown, const LightsOptions& options,
                   std::span<const std::uint8_t> strip,
                   std::optional<Clock::time_point> lastDeadline);
    // Streams a frame to olad, connecting first if need be.
    void Send(unsigned universe, const DmxFrame& frame);
    // Sends the frame olad is to keep; its answer is owed until `deadline`.
    void SendLast(unsigned universe, const DmxFrame& frame, Clock::time_point deadline);
    // Handles what olad sent (answers, a closed connection), waiting for it
    // at most `wait`.
    void Service(Clock::duration wait);
    // Once the answer came or its deadline passed: closes the connection
    // unless output goes on (`keepOpen`).
    void SettleLast(bool keepOpen);
    // A connection, open or newly made within `deadline`.
    bool Ready(Clock::time_point deadline);
    bool Connect(Clock::time_point deadline);
    void Disconnect();
    void ReportOutage(const char* what);
    void Answered(const ola::client::Result& result);
    void Closed() { closed_ = true; }

    LightsSenderState& state_;
    ola::io::SelectServer loop_;
    ola::network::TCPConnector connector_{&loop_};
    std::unique_ptr<ola::network::TCPSocket> socket_;
    std::unique_ptr<ola::client::OlaClient> client_;
    bool closed_ = false;  // olad closed the connection, or libola gave it up
    ola::SingleUseCallback0<void>* closeHandler_ = nullptr;  // the client's, until it runs
    int answersOwed_ = 0;
    bool lastRefused_ = false;
    Clock::time_point answerDeadline_{};
    ola::DmxBuffer buffer_;
    std::optional<Clock::time_point> lastAttempt_;
    Clock::time_point connectedAt_{};
    bool outageReported_ = false;
};

// Universe `index` of the lights' frame.
DmxFrame FrameFor(std::uint32_t shown, const LightsOptions& options,
                  std::span<const std::uint8_t> strip, int index) {
    if (options.pixels == 1) {
        return shown == kIdleSlot ? BuildIdleFrame(options)
                                  : BuildDmxFrame(UnpackLevels(shown), options);
    }
    return shown == kIdleSlot ? BuildIdleStripUniverse(options, index)
                              : BuildStripUniverse(strip, options, index);
}

void Sender::SendShown(std::uint32_t shown, const LightsOptions& options,
                       std::span<const std::uint8_t> strip,
                       std::optional<Clock::time_point> lastDeadline) {
    const int count = UniverseCount(options);
    for (int i = 0; i < count; ++i) {
        const auto universe = static_cast<unsigned>(options.universe + i);
        const DmxFrame frame = FrameFor(shown, options, strip, i);
        if (lastDeadline && i == count - 1) {
            SendLast(universe, frame, *lastDeadline);
        } else {
            Send(universe, frame);
        }
    }
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
    std::uint32_t reading = 2;
    Clock::time_point lastActivity{};
    Clock::time_point exitDeadline{};
    for (;;) {
        const std::uint32_t changes = state_.changes.load(std::memory_order_acquire);
        const bool stopping = state_.stopping.load(std::memory_order_acquire);
        const LightsOptions options = UnpackOptions(state_.options.load(std::memory_order_acquire));
        if (changes == handled && !stopping) {
            const Clock::duration quiet = Clock::now() - lastActivity;
            if (!options.enabled || quiet < kRepeatInterval) {
                if (answersOwed_ > 0) {
                    // Changes are looked for between short waits for the
                    // answer, so that they take effect while olad is away.
                    Service(kAnswerPoll);
                    SettleLast(options.enabled);
                } else {
                    // Switched off, only a change (or closing) wakes the
                    // sender: nothing of olad's is waited for.
                    WaitWhile(
                        state_.changes, changes,
                        options.enabled ? std::optional(kRepeatInterval - quiet) : std::nullopt);
                }
                continue;
            }
        }
        handled = changes;
        if (stopping) {
            exitDeadline = Clock::now() + kExitWait;
        }

        // Lights on a universe that is left, or when output is switched off,
        // go to the idle frame rather than keep the last colour.
        const LightsOptions left = applied;
        const bool leaving =
            sentOnApplied && (!options.enabled || options.universe != left.universe ||
                              UniverseCount(options) != UniverseCount(left));
        applied = options;
        // The colour before the strip: a strip frame said to be shown has
        // been handed over before it was said.
        const std::uint32_t shown = state_.shown.load(std::memory_order_acquire);
        if ((state_.ready.load(std::memory_order_acquire) & kFresh) != 0) {
            reading = state_.ready.exchange(reading, std::memory_order_acq_rel) & ~kFresh;
        }
        const std::span<const std::uint8_t> strip{state_.strips[reading].data(),
                                                  state_.stripSizes[reading]};
        if (!options.enabled) {
            if (leaving) {
                SendShown(kIdleSlot, left, {},
                          stopping ? exitDeadline : Clock::now() + kAnswerWait);
            }
            SettleLast(false);
            sentOnApplied = false;
        } else {
            if (leaving) {
                SendShown(kIdleSlot, left, {}, std::nullopt);
            }
            if (shown != kNothingShown) {
                SendShown(shown, options, strip,
                          stopping ? std::optional(exitDeadline) : std::nullopt);
                sentOnApplied = true;
            } else if (!client_) {
                // Nothing to show yet; connecting anyway lets Connected()
                // tell the truth from the start.
                Connect(Clock::now() + kConnectWait);
            }
        }
        lastActivity = Clock::now();
        if (stopping) {
            break;
        }
    }
    while (answersOwed_ > 0 && !closed_ && Clock::now() < exitDeadline) {
        Service(std::min<Clock::duration>(exitDeadline - Clock::now(), kAnswerPoll));
    }
    if (answersOwed_ > 0 || lastRefused_) {
        std::fprintf(stderr, "chromola: lights: olad did not take the last frame; leaving\n");
    }
    Disconnect();
}

void Sender::Send(unsigned universe, const DmxFrame& frame) {
    if (!Ready(Clock::now() + kConnectWait)) {
        return;
    }
    buffer_.Set(frame.data(), static_cast<unsigned>(frame.size()));
    client_->SendDMX(universe, buffer_, ola::client::SendDMXArgs());
    if (!closed_) {
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

void Sender::SendLast(unsigned universe, const DmxFrame& frame, Clock::time_point deadline) {
    if (!Ready(std::min(deadline, Clock::now() + kConnectWait))) {
        return;
    }
    buffer_.Set(frame.data(), static_cast<unsigned>(frame.size()));
    ++answersOwed_;
    answerDeadline_ = deadline;
    client_->SendDMX(universe, buffer_,
                     ola::client::SendDMXArgs(ola::NewSingleCallback(this, &Sender::Answered)));
}

void Sender::Answered(const ola::client::Result& result) {
    --answersOwed_;
    if (!result.Success()) {
        lastRefused_ = true;
    }
}

void Sender::Service(Clock::duration wait) {
    if (client_) {
        loop_.RunOnce(Interval(wait));
    }
}

void Sender::SettleLast(bool keepOpen) {
    if (answersOwed_ > 0 && !closed_) {
        if (Clock::now() < answerDeadline_) {
            return;
        }
        ReportOutage("olad does not answer");
        Disconnect();
        return;
    }
    if (answersOwed_ > 0 || lastRefused_) {
        ReportOutage("olad did not take the last frame");
    }
    answersOwed_ = 0;
    lastRefused_ = false;
    if (!keepOpen || closed_) {
        Disconnect();
    }
}

bool Sender::Ready(Clock::time_point deadline) {
    if (client_) {
        Service(Clock::duration::zero());  // a close olad made is seen here
        if (closed_ && answersOwed_ == 0) {
            Disconnect();
        }
    }
    return client_ != nullptr || Connect(deadline);
}

namespace {

struct Connection {
    void Done(int descriptor, int /*error*/) {
        fd = descriptor;
        done = true;
    }
    int fd = -1;
    bool done = false;
};

}  // namespace

bool Sender::Connect(Clock::time_point deadline) {
    const Clock::time_point time = Clock::now();
    if (lastAttempt_ && time - *lastAttempt_ < kReconnectInterval) {
        return false;
    }
    lastAttempt_ = time;
    // A non-blocking connect with libola's own time-out.
    Connection connection;
    connector_.Connect(
        ola::network::IPV4SocketAddress(ola::network::IPV4Address::Loopback(), state_.port),
        Interval(deadline - time), ola::NewSingleCallback(&connection, &Connection::Done));
    while (!connection.done && Clock::now() < deadline) {
        loop_.RunOnce(Interval(std::min<Clock::duration>(deadline - Clock::now(), kAnswerPoll)));
    }
    connector_.CancelAll();  // runs the callback of one still pending
    if (connection.fd < 0) {
        ReportOutage("cannot reach olad");
        return false;
    }
    socket_ = std::make_unique<ola::network::TCPSocket>(connection.fd);
    socket_->SetNoDelay();
    client_ = std::make_unique<ola::client::OlaClient>(socket_.get());
    if (!client_->Setup() || !loop_.AddReadDescriptor(socket_.get())) {
        Disconnect();
        ReportOutage("cannot reach olad");
        return false;
    }
    // A single-use callback frees itself when it runs; one that never ran
    // is the sender's to free (the client does not), once the client is gone.
    closeHandler_ = ola::NewSingleCallback(this, &Sender::Closed);
    client_->SetCloseHandler(closeHandler_);
    closed_ = false;
    connectedAt_ = time;
    state_.connected.store(true, std::memory_order_release);
    return true;
}

void Sender::Disconnect() {
    if (socket_) {
        loop_.RemoveReadDescriptor(socket_.get());
    }
    client_.reset();
    socket_.reset();
    if (!closed_) {
        delete closeHandler_;
    }
    closeHandler_ = nullptr;
    closed_ = false;
    answersOwed_ = 0;
    lastRefused_ = false;
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
      painter_(std::make_unique<StripPainter>()),
      sender_([state = state_] { Sender(*state).Run(); }) {}

OlaLights::~OlaLights() {
    Publish(kIdleSlot);
    state_->stopping.store(true, std::memory_order_release);
    WakeSender();
    // Bounded: the sender gives olad at most kExitWait once it sees the stop,
    // after at most one connection attempt (kConnectWait) under way.
    sender_.join();
}

void OlaLights::ShowColour(const ColourLevels& levels) {
    if (UnpackOptions(state_->options.load(std::memory_order_relaxed)).pixels == 1) {
        preview_.Store(levels);
        Publish(PackLevels(levels));
    } else {
        ShowStrip(StripInputFor(levels));
    }
}

void OlaLights::ShowStrip(const StripInput& input) {
    const LightsOptions o = UnpackOptions(state_->options.load(std::memory_order_relaxed));
    if (o.pixels == 1) {
        preview_.Store(input.shown);
        Publish(PackLevels(input.shown));
        return;
    }
    if (!o.enabled) {
        return;  // the painter is left alone while nothing is sent
    }
    // The room sees real time, whichever clock the display keeps.
    StripInput now = input;
    now.nowMs = NowMs();
    PublishStrip(painter_->Paint(now, {o.pixels, o.stripEffect}, state_->strips[writing_]));
    Publish(kStripShown);
}

void OlaLights::ShowIdle() {
    const LightsOptions o = UnpackOptions(state_->options.load(std::memory_order_relaxed));
    const ColourLevels idle = o.idleLights == 1 ? kIdleColour : kBlack;
    if (o.pixels == 1) {
        preview_.Store(idle);
    } else {
        // Counted by the strip's limiter as shown; the sender makes the
        // idle frames itself, for the options of the moment.
        PublishStrip(painter_->Fill(idle, o.pixels, NowMs(), state_->strips[writing_]));
    }
    Publish(kIdleSlot);
}

void OlaLights::PublishStrip(std::size_t bytes) {
    LightsSenderState& s = *state_;
    preview_.Store({s.strips[writing_].data(), bytes});
    s.stripSizes[writing_] = bytes;
    writing_ = s.ready.exchange(writing_ | kFresh, std::memory_order_acq_rel) & ~kFresh;
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
