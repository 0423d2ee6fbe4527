// Plays the display's part for OlaLights: one colour every 17 ms for a given
// time, then the idle look, then exit. Prints what it fed, with the time
// (wall-clock seconds, as the test's shell and receiver take them), so that
// the test can hold it against what reached the network:
//   colour T I R G B    tick I fed R G B
//   idle T              ShowIdle
//   connected T 0|1     Connected() changed (looked at once per tick)
//   closing T           OlaLights about to be destroyed
//   done T              OlaLights destroyed
// With `close` at the end it skips ShowIdle and is destroyed mid-track, as
// the player is when its window closes while a track plays.
// Usage: lights_probe UNIVERSE ADDRESS LAYOUT FIXTURES IDLE_LIGHTS SECONDS [close]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <thread>

#include "lights/ola_lights.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kTick = std::chrono::milliseconds(17);

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// A colour for every tick, each channel moving at its own pace so that
// neighbouring ticks always differ.
chromola::ColourLevels ColourOfTick(int i) {
    return {(i * 7 + 1) % 256, (i * 13 + 50) % 256, 255 - (i * 3) % 256};
}

}  // namespace

int main(int argc, char** argv) {
    const bool closeMidTrack = argc == 8 && std::string_view(argv[7]) == "close";
    if (argc != 7 && !closeMidTrack) {
        std::fprintf(stderr,
                     "usage: lights_probe UNIVERSE ADDRESS LAYOUT FIXTURES IDLE_LIGHTS SECONDS "
                     "[close]\n");
        return 2;
    }
    chromola::LightsOptions options;
    options.enabled = true;
    options.universe = std::atoi(argv[1]);
    options.address = std::atoi(argv[2]);
    options.layout = std::atoi(argv[3]);
    options.fixtures = std::atoi(argv[4]);
    options.idleLights = std::atoi(argv[5]);
    const int ticks = static_cast<int>(std::atof(argv[6]) * 1000 / kTick.count());

    {
        chromola::OlaLights lights(options);
        int connected = -1;
        const auto noteConnection = [&] {
            const int now = lights.Connected() ? 1 : 0;
            if (now != connected) {
                connected = now;
                std::printf("connected %.6f %d\n", Now(), now);
            }
        };
        Clock::time_point next = Clock::now();
        for (int i = 0; i < ticks; ++i) {
            const chromola::ColourLevels c = ColourOfTick(i);
            lights.ShowColour(c);
            std::printf("colour %.6f %d %d %d %d\n", Now(), i, c.red, c.green, c.blue);
            noteConnection();
            std::fflush(stdout);
            next += kTick;
            std::this_thread::sleep_until(next);
        }
        if (!closeMidTrack) {
            lights.ShowIdle();
            std::printf("idle %.6f\n", Now());
            std::fflush(stdout);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            noteConnection();
        }
        std::printf("closing %.6f\n", Now());
        std::fflush(stdout);
    }
    std::printf("done %.6f\n", Now());
    return 0;
}
