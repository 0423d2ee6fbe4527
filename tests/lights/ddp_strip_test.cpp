// The DDP module end to end on loopback, inside the private network
// namespace ddp_namespace.sh makes: frames reach a receiver on
// 127.0.0.1:4048 and are read by the independent decoder; a host where
// nothing listens, or a name nobody knows, is reported and never blocks;
// closing leaves the strip on the idle colour.
// Usage: ddp_strip_test MODULE_DIR
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "display/band_levels.h"
#include "flash_fixtures.h"
#include "lights/ddp_decoder.h"
#include "lights/strip_output.h"
#include "player_view.h"

namespace chromola::testing {
namespace {

std::string gModuleDir;
using Pixels = std::vector<std::uint8_t>;

class Receiver {
  public:
    Receiver() : socket_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(kDdpDefaultPort);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound_ = bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Receiver() { close(socket_); }
    bool Bound() const { return bound_; }

    // The next frame a display of `bytes` bytes shows, or empty after five
    // quiet seconds.
    Pixels NextFrame(std::size_t bytes, std::vector<DdpHeader>* headers = nullptr) {
        DdpDisplay display(bytes);
        std::vector<std::uint8_t> packet(2000);
        pollfd wait{socket_, POLLIN, 0};
        while (display.shown.empty() && poll(&wait, 1, 5000) == 1) {
            const ssize_t n = recv(socket_, packet.data(), packet.size(), 0);
            std::string why;
            EXPECT_TRUE(n > 0 && display.Take({packet.data(), static_cast<std::size_t>(n)}, &why))
                << why;
        }
        if (headers != nullptr) {
            *headers = display.headers;
        }
        return display.shown.empty() ? Pixels{} : display.shown.front();
    }

  private:
    int socket_;
    bool bound_ = false;
};

int Lit(const Pixels& frame, int first, int last) {
    int lit = 0;
    for (int i = first; i < last; ++i) {
        lit += frame[3 * i] + frame[3 * i + 1] + frame[3 * i + 2] > 0;
    }
    return lit;
}

StripStatus AwaitStatus(const StripOutput& output, StripStatus wanted) {
    for (int i = 0; i < 100 && output.Status() != wanted; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return output.Status();
}

TEST(DdpStrip, FramesReachAReceiverAndOutagesAreReported) {
    Receiver receiver;
    ASSERT_TRUE(receiver.Bound());
    DdpOptions options;
    options.enabled = true;
    options.host = "localhost";  // looked up, not taken as an address
    options.pixels = 600;
    options.effect = kEffectSpectrum;
    options.idleLights = 1;
    auto output = LoadDdpOutput(gModuleDir, options);
    ASSERT_NE(output, nullptr);

    // A low tone lights the low end of the strip only.
    const Spectrum low = SpectraOf(Sine(60, -6, 0.5)).back();
    const ColourParams neutral{kNeutralBrightness, 0.4f, 0.4f, 0.4f, 0};
    StripInput input{ComputeBandLevels(low, neutral), ComputeColourLevels(low, neutral), true, 0};
    output->ShowStrip(input);
    std::vector<DdpHeader> headers;
    const Pixels spectrum = receiver.NextFrame(3 * 600, &headers);
    ASSERT_EQ(spectrum.size(), 3u * 600);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[1].offset, 1440u);
    EXPECT_GT(Lit(spectrum, 0, 30), 0);
    EXPECT_EQ(Lit(spectrum, 600 / 3, 600), 0);
    EXPECT_EQ(output->Status(), StripStatus::kSending);

    // The strip's length follows the options (the effects themselves are
    // the core test's).
    options.pixels = 50;
    output->SetOptions(options);
    output->ShowStrip(input);
    EXPECT_EQ(receiver.NextFrame(3 * 50).size(), 3u * 50);

    // Nothing listens on the port: ICMP errors, reported, the tick unhurt.
    options.port = 4049;
    output->SetOptions(options);
    for (int t = 0; t < 20 && output->Status() != StripStatus::kUnreachable; ++t) {
        output->ShowStrip(input);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(output->Status(), StripStatus::kUnreachable);
    options.host = "no-such-controller.invalid";
    output->SetOptions(options);
    output->ShowStrip(input);
    EXPECT_EQ(AwaitStatus(*output, StripStatus::kUnresolved), StripStatus::kUnresolved);

    // Back to the receiver. (Closing sends the idle colour: the player's
    // run in lights_test.sh.)
    options.host = "127.0.0.1";
    options.port = kDdpDefaultPort;
    output->SetOptions(options);
    output->ShowStrip(input);
    EXPECT_EQ(receiver.NextFrame(3 * 50).size(), 3u * 50);
}

}  // namespace
}  // namespace chromola::testing

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 2) {
        return 2;
    }
    chromola::testing::gModuleDir = argv[1];
    return RUN_ALL_TESTS();
}
