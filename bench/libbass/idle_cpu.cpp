// The library's processor time while initialised with nothing playing, as the
// player sits between tracks: the process's user and system time over a
// stretch of wall clock.
// Usage: libbass_idle [seconds=10] [device=-1]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "bass.h"

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    const int device = argc > 2 ? std::atoi(argv[2]) : -1;
    if (!BASS_Init(device, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init(%d) failed: %d\n", device, BASS_ErrorGetCode());
        return 2;
    }
    // Let start-up settle before measuring.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds() - cpu0;
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    BASS_Free();
    std::printf("device %d, nothing playing: %.3f s of processor time in %.1f s (%.3f %%)\n",
                device, cpu, wall, cpu / wall * 100.0);
    return 0;
}
