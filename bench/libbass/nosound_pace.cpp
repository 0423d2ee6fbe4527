// Measures how well the "no sound" device keeps real time: plays a silent
// file and compares the channel's heard position with the wall clock.
// Usage: libbass_pace [seconds=10]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio_fixtures.h"
#include "bass.h"

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    chromola::testing::TempDir dir;
    const auto path = dir / "silence.wav";
    if (!chromola::testing::writeTone(path, chromola::testing::AudioFormat::Wav,
                                      {.amplitude = 0, .seconds = seconds + 5})) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 2;
    }
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
        return 2;
    }
    DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    BASS_ChannelPlay(h, FALSE);
    using Clock = std::chrono::steady_clock;
    auto position = [&] { return BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h, 0)); };
    // Start measuring once the channel is under way.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double p0 = position();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double p1 = position();
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    const double played = p1 - p0;
    std::printf(
        "no-sound device: %.4f s played in %.4f s wall clock, ratio %.5f (error %+.3f %%)\n",
        played, wall, played / wall, (played / wall - 1.0) * 100.0);
    BASS_Free();
    return std::abs(played / wall - 1.0) < 0.01 ? 0 : 1;
}
