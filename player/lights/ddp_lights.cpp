#include "lights/ddp_lights.h"

#include <linux/futex.h>
#include <netdb.h>
#include <pthread.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

#include "lights/futex_word.h"
#include "shown_colour.h"

namespace chromola {

namespace {

using Clock = std::chrono::steady_clock;

// While nothing new comes, the last frame goes out again this often:
// controllers give a source up after a few seconds without data (WLED
// after 2.5 s by default) and return to their own effect.
constexpr auto kRepeatInterval = std::chrono::seconds(1);
// A host that could not be looked up or reached is tried again this often.
constexpr auto kRetryInterval = std::chrono::seconds(2);
// While a host stays unreachable its name is looked up again this often:
// a controller that took a new address is found again.
constexpr auto kLookupAgainInterval = std::chrono::seconds(10);
// An outage, reported once, ends only after this long without an error:
// towards a port where nothing listens every other send fails.
constexpr auto kSettleTime = std::chrono::seconds(3);
// How long closing waits for the last frame: a name lookup may hang.
constexpr auto kExitWait = std::chrono::seconds(1);

// The ready buffer's index, with this bit while the display's thread has
// put a frame there that the sender has not taken.
constexpr std::uint32_t kFresh = 4;

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch())
        .count();
}

// What the display's thread needs of the options, in one word.
std::uint64_t PackTickOptions(const DdpOptions& o) {
    return std::uint64_t{o.enabled && !o.host.empty()} | std::uint64_t(o.idleLights) << 1 |
           std::uint64_t(o.effect) << 2 | std::uint64_t(o.pixels) << 8;
}

struct TickOptions {
    bool sending;
    bool idleColour;
    StripOptions strip;
};

TickOptions UnpackTickOptions(std::uint64_t word) {
    return {(word & 1) != 0,
            (word >> 1 & 1) != 0,
            {static_cast<int>(word >> 8 & 0xffff), static_cast<int>(word >> 2 & 0x3f)}};
}

}  // namespace

struct DdpSenderState {
    // Three frames: the display's thread fills one, the sender sends
    // another, and the third is the newest finished one.
    std::array<StripBuffer, 3> buffers{};
    std::array<std::size_t, 3> sizes{};
    std::atomic<std::uint32_t> ready{1};  // the display fills 0 first, the sender holds 2
    std::atomic<std::uint64_t> tickOptions{0};
    std::mutex optionsMutex;
    DdpOptions options;  // under optionsMutex
    std::atomic<std::uint32_t> optionsVersion{0};
    // Bumped after every change above; the sender sleeps on it.
    std::atomic<std::uint32_t> changes{0};
    std::atomic<bool> stopping{false};
    std::atomic<int> status{static_cast<int>(StripStatus::kOff)};
    // Set once the sender has sent its last frame; the destructor sleeps on it.
    std::atomic<std::uint32_t> finished{0};
};

namespace {

// The sender thread: the lookup, the socket and every send happen here.
class Sender {
  public:
    explicit Sender(DdpSenderState& state) : state_(state) {}
    void Run();

  private:
    bool Sending() const { return options_.enabled && !options_.host.empty(); }
    void Open();
    void Close();
    void Send(std::span<const std::uint8_t> frame);
    // The idle frame or dark, as the options say.
    std::span<const std::uint8_t> LastFrame(const DdpOptions& options);
    void Outage(StripStatus status, const char* why);
    void Succeeded();

    DdpSenderState& state_;
    DdpOptions options_;
    int socket_ = -1;
    DdpSequence sequence_;
    DdpPackets<3 * kMaxStripPixels> packets_;
    std::array<mmsghdr, DdpPackets<3 * kMaxStripPixels>::kMaxPackets> messages_{};
    std::array<iovec, DdpPackets<3 * kMaxStripPixels>::kMaxPackets> pieces_{};
    std::array<std::uint8_t, 3 * kMaxStripPixels> lastFrame_{};
    std::optional<Clock::time_point> lastLookup_;
    std::optional<Clock::time_point> clearSince_;
    bool outage_ = false;
};

void Sender::Run() {
    // Woken by the display's futex call, a sender of normal policy may take
    // that thread's core at once, and the call returns only after the frame
    // went out. As a batch thread it waits for a free core instead.
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
    std::uint32_t reading = 2;
    std::uint32_t versionSeen = ~0u;
    std::span<const std::uint8_t> frame;
    std::optional<Clock::time_point> lastSent;
    for (;;) {
        const std::uint32_t changes = state_.changes.load(std::memory_order_acquire);
        const bool stopping = state_.stopping.load(std::memory_order_acquire);
        bool send = false;

        if (const std::uint32_t version = state_.optionsVersion.load(std::memory_order_acquire);
            version != versionSeen) {
            versionSeen = version;
            DdpOptions options;
            {
                const std::lock_guard lock(state_.optionsMutex);
                options = state_.options;
            }
            const bool moved = options.host != options_.host || options.port != options_.port;
            if (socket_ >= 0 && (moved || !options.enabled)) {
                // The controller left behind goes dark or idle rather
                // than keep the last colour until its own timeout.
                Send(LastFrame(options_));
                Close();
            }
            if (moved || options.enabled != options_.enabled) {
                outage_ = false;
                lastLookup_.reset();
                state_.status.store(static_cast<int>(options.enabled && !options.host.empty()
                                                         ? StripStatus::kConnecting
                                                         : StripStatus::kOff),
                                    std::memory_order_release);
            }
            options_ = std::move(options);
            if (!Sending()) {
                frame = {};
            }
        }
        if ((state_.ready.load(std::memory_order_acquire) & kFresh) != 0) {
            reading = state_.ready.exchange(reading, std::memory_order_acq_rel) & ~kFresh;
            frame = {state_.buffers[reading].data(), state_.sizes[reading]};
            send = Sending();
        }
        if (stopping && Sending()) {
            frame = LastFrame(options_);
            send = true;
        }

        const Clock::time_point now = Clock::now();
        if (Sending() && socket_ < 0 && (!lastLookup_ || now - *lastLookup_ >= kRetryInterval)) {
            Open();
        }
        if (socket_ >= 0 && !frame.empty() &&
            (send || !lastSent || now - *lastSent >= kRepeatInterval)) {
            Send(frame);
            lastSent = now;
        }
        if (stopping) {
            break;
        }
        // A host that stays unreachable is looked up again from time to time.
        if (socket_ >= 0 && outage_ && lastLookup_ && now - *lastLookup_ >= kLookupAgainInterval) {
            Close();
        }

        std::optional<Clock::duration> sleep;
        if (Sending()) {
            if (socket_ < 0) {
                sleep = kRetryInterval - (now - lastLookup_.value_or(now));
            } else if (!frame.empty()) {
                sleep = kRepeatInterval - (now - lastSent.value_or(now));
            }
        }
        WaitWhile(state_.changes, changes, sleep);
    }
    Close();
    state_.finished.store(1, std::memory_order_release);
    WakeAll(state_.finished);
}

void Sender::Open() {
    lastLookup_ = Clock::now();
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(options_.port);
    if (const int error = getaddrinfo(options_.host.c_str(), port.c_str(), &hints, &found);
        error != 0) {
        Outage(StripStatus::kUnresolved, gai_strerror(error));
        return;
    }
    int why = 0;
    for (const addrinfo* a = found; a != nullptr && socket_ < 0; a = a->ai_next) {
        const int s = socket(a->ai_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        // Connected, so that the host's ICMP errors come back to this
        // socket as errors of its next send.
        if (s >= 0 && connect(s, a->ai_addr, a->ai_addrlen) == 0) {
            socket_ = s;
        } else {
            why = errno;
            if (s >= 0) {
                close(s);
            }
        }
    }
    freeaddrinfo(found);
    if (socket_ < 0) {
        Outage(StripStatus::kUnreachable, std::strerror(why));
    } else if (!outage_) {
        state_.status.store(static_cast<int>(StripStatus::kSending), std::memory_order_release);
    }
}

void Sender::Close() {
    if (socket_ >= 0) {
        close(socket_);
        socket_ = -1;
    }
}

void Sender::Send(std::span<const std::uint8_t> frame) {
    PacketizeDdp(frame, sequence_.Next(), packets_);
    const auto count = static_cast<unsigned>(packets_.count);
    for (unsigned i = 0; i < count; ++i) {
        pieces_[i] = {packets_.packets[i].data(), packets_.sizes[i]};
        messages_[i] = {};
        messages_[i].msg_hdr.msg_iov = &pieces_[i];
        messages_[i].msg_hdr.msg_iovlen = 1;
    }
    unsigned sent = 0;
    while (sent < count) {
        const int n = sendmmsg(socket_, messages_.data() + sent, count - sent, MSG_DONTWAIT);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            const int error = errno;
            // The rest of the frame is dropped; the next frame is whole.
            Outage(error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS
                       ? StripStatus::kBlocked
                       : StripStatus::kUnreachable,
                   std::strerror(error));
            return;
        }
        sent += static_cast<unsigned>(n);
    }
    Succeeded();
}

std::span<const std::uint8_t> Sender::LastFrame(const DdpOptions& options) {
    const ColourLevels colour = options.idleLights == 1 ? kIdleColour : ColourLevels{};
    const auto pixels = static_cast<std::size_t>(options.pixels);
    for (std::size_t i = 0; i < pixels; ++i) {
        lastFrame_[3 * i] = static_cast<std::uint8_t>(colour.red);
        lastFrame_[3 * i + 1] = static_cast<std::uint8_t>(colour.green);
        lastFrame_[3 * i + 2] = static_cast<std::uint8_t>(colour.blue);
    }
    return {lastFrame_.data(), 3 * pixels};
}

void Sender::Outage(StripStatus status, const char* why) {
    state_.status.store(static_cast<int>(status), std::memory_order_release);
    clearSince_.reset();
    if (outage_) {
        return;
    }
    outage_ = true;
    std::fprintf(stderr, "chromola: lights: DDP to %s port %d: %s; trying on\n",
                 options_.host.c_str(), options_.port, why);
}

void Sender::Succeeded() {
    if (!outage_) {
        return;
    }
    const Clock::time_point now = Clock::now();
    if (!clearSince_) {
        clearSince_ = now;
    } else if (now - *clearSince_ >= kSettleTime) {
        outage_ = false;
        state_.status.store(static_cast<int>(StripStatus::kSending), std::memory_order_release);
    }
}

}  // namespace

DdpLights::DdpLights(const DdpOptions& options)
    : state_(std::make_shared<DdpSenderState>()), painter_(std::make_unique<StripPainter>()) {
    SetOptions(options);
    sender_ = std::thread([state = state_] { std::make_unique<Sender>(*state)->Run(); });
}

DdpLights::~DdpLights() {
    state_->stopping.store(true, std::memory_order_release);
    state_->changes.fetch_add(1, std::memory_order_acq_rel);
    WakeAll(state_->changes);
    const Clock::time_point deadline = Clock::now() + kExitWait;
    while (state_->finished.load(std::memory_order_acquire) == 0) {
        const Clock::duration left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) {
            std::fprintf(stderr, "chromola: lights: the DDP sender does not finish; leaving\n");
            sender_.detach();  // it holds its own share of the state
            return;
        }
        WaitWhile(state_->finished, 0, left);
    }
    sender_.join();
}

void DdpLights::ShowStrip(const StripInput& input) {
    const TickOptions o = UnpackTickOptions(state_->tickOptions.load(std::memory_order_acquire));
    if (!o.sending) {
        return;
    }
    // The room sees real time, whichever clock the display keeps.
    StripInput now = input;
    now.nowMs = NowMs();
    Publish(painter_->Paint(now, o.strip, state_->buffers[writing_]));
}

void DdpLights::ShowColour(const ColourLevels& levels) {
    ShowStrip(StripInputFor(levels));
}

void DdpLights::ShowIdle() {
    const TickOptions o = UnpackTickOptions(state_->tickOptions.load(std::memory_order_acquire));
    if (!o.sending) {
        return;
    }
    Publish(painter_->Fill(o.idleColour ? kIdleColour : ColourLevels{}, o.strip.pixels, NowMs(),
                           state_->buffers[writing_]));
}

void DdpLights::Publish(std::size_t bytes) {
    DdpSenderState& s = *state_;
    preview_.Store({s.buffers[writing_].data(), bytes});
    s.sizes[writing_] = bytes;
    writing_ = s.ready.exchange(writing_ | kFresh, std::memory_order_acq_rel) & ~kFresh;
    s.changes.fetch_add(1, std::memory_order_acq_rel);
    WakeAll(s.changes);
}

void DdpLights::SetOptions(const DdpOptions& options) {
    const DdpOptions clamped = options.Clamped();
    {
        const std::lock_guard lock(state_->optionsMutex);
        state_->options = clamped;
    }
    state_->tickOptions.store(PackTickOptions(clamped), std::memory_order_release);
    state_->optionsVersion.fetch_add(1, std::memory_order_acq_rel);
    state_->changes.fetch_add(1, std::memory_order_acq_rel);
    WakeAll(state_->changes);
}

StripStatus DdpLights::Status() const {
    return static_cast<StripStatus>(state_->status.load(std::memory_order_acquire));
}

}  // namespace chromola
