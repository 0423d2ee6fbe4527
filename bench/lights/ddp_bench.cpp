// What a strip over DDP costs (run it through ddp_bench.sh, which gives it
// a network namespace of its own): 59 ticks a second for a while in each
// of these set-ups, a receiver on 127.0.0.1:4048 in a thread of its own
// reading every packet:
//   - no strip: the tick's own colour and band arithmetic alone;
//   - one colour, 1 pixel: today's single colour, as a DDP frame;
//   - one colour, 4096 pixels;
//   - spectrum, 4096 pixels, flash limiter on;
//   - flow, 4096 pixels.
// For each: the process's CPU as a share of one core (less the receiver's
// own thread; the tick's thread and the rest, the sender, apart), packets per frame, tick-to-packet
// delay (from ShowStrip to the arrival of the frame's last packet; median, p95, max), ticks whose
// frame did not arrive before the next tick, and ShowStrip's own time.
// Usage: ddp_bench MODULE_DIR [SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "display/band_levels.h"
#include "lights/strip_output.h"

namespace {

using namespace chromola;
using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::nanoseconds(1000000000 / 59);

double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double ThreadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double At(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(share * values.size()))];
}

struct Receiver {
    int socket = -1;
    std::atomic<bool> stop{false};
    std::vector<Clock::time_point> pushes;  // arrival of each frame's last packet
    long long skipped = 0;                  // sequence numbers that never came
    int lastSequence = 0;
    long long packets = 0;
    double cpu = 0;

    void Run() {
        const double start = ThreadCpu();
        std::vector<std::uint8_t> packet(2000);
        pollfd wait{socket, POLLIN, 0};
        while (!stop.load()) {
            if (poll(&wait, 1, 50) != 1) {
                continue;
            }
            const ssize_t n = recv(socket, packet.data(), packet.size(), 0);
            if (n >= 10) {
                ++packets;
                if ((packet[0] & 1) != 0) {
                    pushes.push_back(Clock::now());
                    const int sequence = packet[1] & 0x0f;
                    if (lastSequence != 0) {
                        skipped += (sequence - lastSequence + 14) % 15;
                    }
                    lastSequence = sequence;
                }
            }
        }
        cpu = ThreadCpu() - start;
    }
};

struct Setup {
    const char* name;
    bool strip;
    int pixels;
    int effect;
};

void Measure(const std::string& moduleDir, const Setup& setup, double seconds) {
    Receiver receiver;
    receiver.socket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int buffer = 4 << 20;
    setsockopt(receiver.socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(kDdpDefaultPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(receiver.socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        std::perror("bind");
        std::exit(1);
    }
    std::thread receiving([&] { receiver.Run(); });

    std::unique_ptr<StripOutput> output;
    if (setup.strip) {
        DdpOptions options;
        options.enabled = true;
        options.host = "127.0.0.1";
        options.pixels = setup.pixels;
        options.effect = setup.effect;
        output = LoadDdpOutput(moduleDir, options);
        if (!output) {
            std::exit(1);
        }
    }
    // A spectrum that changes every tick, as music does.
    Spectrum spectrum{};
    const ColourParams params{0.425f, 0.4f, 0.4f, 0.4f, 0};
    std::vector<Clock::time_point> ticks;
    std::vector<double> calls;
    long long lateTicks = 0;  // the bench's own tick more than 2 ms behind its time
    const int count = static_cast<int>(seconds * 59);
    ticks.reserve(static_cast<std::size_t>(count));
    calls.reserve(static_cast<std::size_t>(count));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const double cpuStart = ProcessCpu();
    const double tickStart = ThreadCpu();
    Clock::time_point next = Clock::now();
    for (int t = 0; t < count; ++t) {
        for (std::size_t k = 1; k < spectrum.size(); ++k) {
            spectrum[k] = static_cast<float>((k * 7 + static_cast<std::size_t>(t) * 13) % 101) /
                          (10.0f * static_cast<float>(k));
        }
        StripInput input{ComputeBandLevels(spectrum, params), ComputeColourLevels(spectrum, params),
                         true, 0};
        const Clock::time_point before = Clock::now();
        lateTicks += before - next > std::chrono::milliseconds(2);
        if (output) {
            output->ShowStrip(input);
        }
        const Clock::time_point after = Clock::now();
        ticks.push_back(before);
        calls.push_back(Ms(after - before));
        next += kTick;
        std::this_thread::sleep_until(next);
    }
    const double tickThread = ThreadCpu() - tickStart;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const double cpu = ProcessCpu() - cpuStart;
    receiver.stop = true;
    receiving.join();
    const double tickCpu = cpu - receiver.cpu;
    output.reset();
    close(receiver.socket);

    // A tick's frame is the first one whose last packet arrives after the
    // tick and before the next; a tick without one lost its frame (or got
    // it later than a whole tick).
    std::vector<double> delays;
    long long lost = 0;
    std::size_t push = 0;
    for (std::size_t t = 0; t < ticks.size(); ++t) {
        while (push < receiver.pushes.size() && receiver.pushes[push] < ticks[t]) {
            ++push;
        }
        const bool next = t + 1 < ticks.size();
        if (push < receiver.pushes.size() && (!next || receiver.pushes[push] < ticks[t + 1])) {
            delays.push_back(Ms(receiver.pushes[push] - ticks[t]));
        } else {
            ++lost;
        }
    }
    std::printf("%-24s cpu %.3f %% of a core (tick thread %.3f, sender %.3f; receiver %.3f apart)",
                setup.name, 100 * tickCpu / seconds, 100 * tickThread / seconds,
                100 * (tickCpu - tickThread) / seconds, 100 * receiver.cpu / seconds);
    if (setup.strip) {
        std::printf(
            "; %.2f packets/frame; delay median %.3f ms p95 %.3f max %.3f; frames %zu for %d "
            "ticks, "
            "%lld without their own frame (%lld ticks late; %lld lost in transit); ShowStrip "
            "median %.3f ms max %.3f",
            receiver.pushes.empty()
                ? 0.0
                : static_cast<double>(receiver.packets) / receiver.pushes.size(),
            At(delays, 0.5), At(delays, 0.95), At(delays, 1.0), receiver.pushes.size(), count, lost,
            lateTicks, receiver.skipped, At(calls, 0.5), At(calls, 1.0));
    }
    std::printf("\n");
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: ddp_bench MODULE_DIR [SECONDS]\n");
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 20;
    const Setup setups[] = {
        {"no strip", false, 0, 0},
        {"one colour, 1 pixel", true, 1, kEffectOneColour},
        {"one colour, 4096 pixels", true, 4096, kEffectOneColour},
        {"spectrum, 4096 pixels", true, 4096, kEffectSpectrum},
        {"flow, 4096 pixels", true, 4096, kEffectFlow},
    };
    for (const Setup& setup : setups) {
        Measure(argv[1], setup, seconds);
    }
}
