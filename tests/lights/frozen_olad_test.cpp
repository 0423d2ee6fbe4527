// The light output against an olad frozen with SIGSTOP, as a debugger or a
// suspended session leaves it: run through frozen_olad.sh, which starts olad
// in a private network namespace (its pid in CHROMOLA_OLAD_PID, universe 1
// patched to Art-Net on 127.0.0.1). Switching the lights off while olad is
// frozen must not park the sender: the options changed meanwhile reach the
// lights once olad runs again, and closing with olad frozen ends the sender
// thread instead of leaving it behind.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "lights/ola_lights.h"

namespace chromola {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

template <typename Condition>
bool Eventually(Condition condition, Clock::duration limit = 10s) {
    const Clock::time_point end = Clock::now() + limit;
    while (!condition()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

int ThreadCount() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stoi(line.substr(8));
        }
    }
    return -1;
}

// Keeps the slots of every ArtDmx packet olad sends for Art-Net universe 1.
class ArtNetReceiver {
  public:
    ArtNetReceiver() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
        const int yes = 1;
        setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(6454);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        thread_ = std::thread([this] { Receive(); });
    }
    ~ArtNetReceiver() {
        stop_ = true;
        thread_.join();
        close(fd_);
    }
    ArtNetReceiver(const ArtNetReceiver&) = delete;
    ArtNetReceiver& operator=(const ArtNetReceiver&) = delete;

    bool Bound() const { return bound_; }
    // A packet came with `rgb` from slot `first` (0-based).
    bool Saw(int first, std::array<int, 3> rgb) {
        const std::lock_guard lock(mutex_);
        for (const auto& slots : packets_) {
            if (static_cast<int>(slots.size()) >= first + 3 && slots[first] == rgb[0] &&
                slots[first + 1] == rgb[1] && slots[first + 2] == rgb[2]) {
                return true;
            }
        }
        return false;
    }

  private:
    void Receive() {
        std::vector<unsigned char> packet(1024);
        while (!stop_) {
            pollfd waiting{fd_, POLLIN, 0};
            if (poll(&waiting, 1, 50) <= 0) {
                continue;
            }
            const ssize_t size = recv(fd_, packet.data(), packet.size(), 0);
            // ArtDmx: "Art-Net\0", OpCode 0x5000 little-endian, universe at
            // 14 (little-endian), length at 16 (big-endian), slots from 18.
            if (size < 18 || std::string(packet.begin(), packet.begin() + 10) !=
                                 std::string("Art-Net\0\0\x50", 10)) {
                continue;
            }
            const int length = std::min<int>(packet[16] << 8 | packet[17], size - 18);
            if ((packet[14] | packet[15] << 8) == 1) {
                const std::lock_guard lock(mutex_);
                packets_.emplace_back(packet.begin() + 18, packet.begin() + 18 + length);
            }
        }
    }

    int fd_;
    bool bound_ = false;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<std::vector<unsigned char>> packets_;
    std::thread thread_;
};

TEST(FrozenOlad, OptionsChangedWhileFrozenArriveAndClosingEndsTheSender) {
    const char* pid = std::getenv("CHROMOLA_OLAD_PID");
    ASSERT_NE(pid, nullptr) << "run through frozen_olad.sh";
    const pid_t olad = std::atoi(pid);
    ArtNetReceiver receiver;
    ASSERT_TRUE(receiver.Bound());
    const int threads = ThreadCount();
    {
        LightsOptions options{true, 1, 1, 0, 1, 1};
        OlaLights lights(options);
        lights.ShowColour({200, 100, 50});
        ASSERT_TRUE(Eventually([&] { return receiver.Saw(0, {200, 100, 50}); }));

        ASSERT_EQ(kill(olad, SIGSTOP), 0);
        options.enabled = false;
        lights.SetOptions(options);
        // Time for the sender to act on the switch-off on its own (the next
        // change would replace it unseen); slower, the test only checks less.
        std::this_thread::sleep_for(300ms);
        options.enabled = true;
        options.address = 10;
        lights.SetOptions(options);
        lights.ShowColour({30, 60, 90});
        // Longer than the sender waits for olad's answer to the idle frame.
        std::this_thread::sleep_for(2500ms);
        ASSERT_EQ(kill(olad, SIGCONT), 0);
        EXPECT_TRUE(Eventually([&] { return receiver.Saw(9, {30, 60, 90}); }));

        ASSERT_EQ(kill(olad, SIGSTOP), 0);
        lights.ShowColour({1, 2, 3});
    }
    // The sender is joined, not left waiting on olad.
    EXPECT_TRUE(Eventually([&] { return ThreadCount() == threads; }))
        << ThreadCount() << " threads, " << threads << " before";
    kill(olad, SIGCONT);
}

}  // namespace
}  // namespace chromola
