// What light output costs, against a real olad (run it through
// lights_bench.sh, which gives olad a network namespace of its own):
//   - the CPU the player's process adds with OlaLights sending every 17 ms
//     tick, against the same tick loop without it, and olad's own CPU;
//   - tick-to-packet latency: from ShowColour to the ArtDmx packet carrying
//     that colour arriving on 127.0.0.1:6454 (median, p95);
//   - the longest ShowColour call, the light output's share of the tick,
//     with lights off, while olad runs and while it is frozen (SIGSTOP) for
//     5 s, and how long closing takes.
// Usage: bench_lights OLAD_PID [SECONDS]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lights/ola_lights.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(17);

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

// CPU seconds of this whole process.
double ProcessCpu() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// CPU seconds of another process, from the scheduler's accounting of each
// of its threads.
double OtherProcessCpu(pid_t pid) {
    double total = 0;
    std::error_code error;
    for (const auto& task :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream stat(task.path() / "schedstat");
        long long ns = 0;
        if (stat >> ns) {
            total += static_cast<double>(ns) / 1e9;
        }
    }
    return total;
}

// Tick i's colour names the tick: red and green carry its number.
chromola::ColourLevels ColourOfTick(int i) {
    return {i & 0xff, (i >> 8) & 0xff, 77};
}

// Runs `ticks` ticks 17 ms apart; `tick(i)` is the display's part.
void RunTicks(int ticks, const std::function<void(int)>& tick) {
    Clock::time_point next = Clock::now();
    for (int i = 0; i < ticks; ++i) {
        tick(i);
        next += kTick;
        std::this_thread::sleep_until(next);
    }
}

class Socket {
  public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

  private:
    int fd_;
};

// Notes the arrival time of the first ArtDmx packet of each tick's colour.
class ArtNetReceiver {
  public:
    explicit ArtNetReceiver(int ticks) : arrivals_(ticks), socket_(socket(AF_INET, SOCK_DGRAM, 0)) {
        const int yes = 1;
        setsockopt(socket_.fd(), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(6454);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(socket_.fd(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("bind 127.0.0.1:6454");
            std::exit(1);
        }
        thread_ = std::thread([this] { Receive(); });
    }
    ~ArtNetReceiver() { Finish(); }
    ArtNetReceiver(const ArtNetReceiver&) = delete;
    ArtNetReceiver& operator=(const ArtNetReceiver&) = delete;

    // Stops receiving; each tick's arrival time, if its packet came.
    const std::vector<std::optional<Clock::time_point>>& Finish() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        return arrivals_;
    }

  private:
    void Receive() {
        std::vector<unsigned char> packet(1024);
        while (!stop_) {
            pollfd waiting{socket_.fd(), POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0) {
                continue;
            }
            const ssize_t size = recv(socket_.fd(), packet.data(), packet.size(), 0);
            const Clock::time_point now = Clock::now();
            // ArtDmx: "Art-Net\0", OpCode 0x5000 little-endian, data from 18.
            static const std::string kId("Art-Net\0", 8);
            if (size < 21 || !std::equal(kId.begin(), kId.end(), packet.begin()) ||
                packet[8] != 0x00 || packet[9] != 0x50 || packet[20] != 77) {
                continue;
            }
            const int tick = packet[18] | packet[19] << 8;
            if (tick < static_cast<int>(arrivals_.size()) && !arrivals_[tick]) {
                arrivals_[tick] = now;
            }
        }
    }

    std::vector<std::optional<Clock::time_point>> arrivals_;
    Socket socket_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

double Percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, static_cast<std::size_t>(p * values.size()))];
}

// Durations of one call per tick, in ms.
class CallTimes {
  public:
    template <typename Call>
    void Time(Call&& call) {
        const Clock::time_point before = Clock::now();
        call();
        ms_.push_back(Ms(Clock::now() - before));
    }
    void Print(const char* what) const {
        std::printf("  %-34s median %.4f ms, p99 %.4f ms, longest %.3f ms (%zu calls)\n", what,
                    Percentile(ms_, 0.5), Percentile(ms_, 0.99), Percentile(ms_, 1.0), ms_.size());
    }

  private:
    std::vector<double> ms_;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_lights OLAD_PID [SECONDS]\n");
        return 2;
    }
    const pid_t olad = static_cast<pid_t>(std::atoi(argv[1]));
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    const int ticks = static_cast<int>(seconds * 1000 / kTick.count());
    const int freezeTicks = static_cast<int>(5000 / kTick.count());

    chromola::LightsOptions options;
    options.enabled = true;

    // CPU: the same tick loop without and with light output. Without, the
    // call times of an empty stand-in show how long the scheduler alone
    // keeps a call from returning on this machine.
    volatile int sink = 0;
    CallTimes noSink;
    double cpu0 = ProcessCpu();
    double olad0 = OtherProcessCpu(olad);
    RunTicks(ticks, [&](int i) { noSink.Time([&] { sink = ColourOfTick(i).red; }); });
    const double without = ProcessCpu() - cpu0;
    const double oladIdle = OtherProcessCpu(olad) - olad0;

    std::optional<chromola::OlaLights> lights(std::in_place, options);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // connected
    cpu0 = ProcessCpu();
    olad0 = OtherProcessCpu(olad);
    RunTicks(ticks, [&](int i) { lights->ShowColour(ColourOfTick(i)); });
    const double with = ProcessCpu() - cpu0;
    const double oladBusy = OtherProcessCpu(olad) - olad0;
    std::printf(
        "CPU over %.0f s, %% of one core: tick loop alone %.3f, with OlaLights %.3f, "
        "added %.3f; olad %.3f idle, %.3f while sending\n",
        seconds, 100 * without / seconds, 100 * with / seconds, 100 * (with - without) / seconds,
        100 * oladIdle / seconds, 100 * oladBusy / seconds);

    // Latency, and call times with olad running.
    std::vector<Clock::time_point> shown(ticks);
    CallTimes running;
    {
        ArtNetReceiver receiver(ticks);
        RunTicks(ticks, [&](int i) {
            shown[i] = Clock::now();
            running.Time([&] { lights->ShowColour(ColourOfTick(i)); });
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const auto& arrivals = receiver.Finish();
        std::vector<double> latencies;
        for (int i = 0; i < ticks; ++i) {
            if (arrivals[i]) {
                latencies.push_back(Ms(*arrivals[i] - shown[i]));
            }
        }
        if (latencies.empty()) {
            std::printf("tick to ArtDmx packet: no packet arrived\n");
            return 1;
        }
        std::printf(
            "tick to ArtDmx packet: median %.3f ms, p95 %.3f ms, max %.3f ms "
            "(%zu of %d ticks seen)\n",
            Percentile(latencies, 0.5), Percentile(latencies, 0.95), Percentile(latencies, 1.0),
            latencies.size(), ticks);
    }

    // Call times with output switched off in the settings, as most players
    // run.
    CallTimes off;
    {
        chromola::LightsOptions switchedOff = options;
        switchedOff.enabled = false;
        chromola::OlaLights idle(switchedOff);
        RunTicks(freezeTicks, [&](int i) { off.Time([&] { idle.ShowColour(ColourOfTick(i)); }); });
    }

    // Call times with olad frozen.
    CallTimes frozen;
    kill(olad, SIGSTOP);
    RunTicks(freezeTicks,
             [&](int i) { frozen.Time([&] { lights->ShowColour(ColourOfTick(i)); }); });
    kill(olad, SIGCONT);
    std::printf("call times:\n");
    noSink.Print("empty stand-in, no OlaLights");
    off.Print("ShowColour, lights off");
    running.Print("ShowColour, olad running");
    frozen.Print("ShowColour, olad stopped for 5 s");

    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const Clock::time_point closing = Clock::now();
    lights.reset();
    std::printf("closing (idle frame sent, sender joined): %.3f ms\n", Ms(Clock::now() - closing));
    return 0;
}
