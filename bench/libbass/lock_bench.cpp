// How long the library-wide lock is held while threads seek a playing
// channel on the "no sound" device and another thread polls its position,
// spectrum and state, as the player's display does. Built with the lock
// timed (CHROMOLA_TIME_LIBRARY_LOCK).
// Usage: libbass_lock_bench [seconds=5] [wav|ogg|mp3|flac]
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "bass.h"
#include "lock_timing.h"

namespace {

using namespace chromola::testing;
using Clock = std::chrono::steady_clock;

AudioFormat formatNamed(const std::string& name) {
    for (AudioFormat f :
         {AudioFormat::Wav, AudioFormat::OggVorbis, AudioFormat::Mp3, AudioFormat::Flac}) {
        if (extensionOf(f) == name)
            return f;
    }
    std::fprintf(stderr, "unknown format %s\n", name.c_str());
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    const AudioFormat format = formatNamed(argc > 2 ? argv[2] : "ogg");
    TempDir dir;
    const auto path = dir / ("tone." + extensionOf(format));
    if (!writeTone(path, format, {.seconds = 20})) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 2;
    }
    if (!BASS_Init(0, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init failed: %d\n", BASS_ErrorGetCode());
        return 2;
    }
    const DWORD h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    if (!h || !BASS_ChannelPlay(h, FALSE)) {
        std::fprintf(stderr, "cannot play %s: %d\n", path.c_str(), BASS_ErrorGetCode());
        return 2;
    }
    const QWORD length = BASS_ChannelGetLength(h, BASS_POS_BYTE);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    namespace lock = chromola::audio;
    lock::longestLibraryLockHoldNs.store(0);
    lock::libraryLockHolds.store(0);
    lock::libraryLockHoldsOverMs.store(0);

    std::atomic<bool> stop{false};
    std::atomic<long> seeks{0}, polls{0};
    std::atomic<int64_t> longestPollNs{0};
    std::vector<std::thread> threads;
    for (int s = 0; s < 2; ++s) {
        threads.emplace_back([&, s] {
            std::mt19937_64 random(static_cast<uint64_t>(s) + 1);
            while (!stop.load()) {
                const QWORD to = random() % (length / 4) * 4;
                BASS_ChannelSetPosition(h, to, BASS_POS_BYTE);
                ++seeks;
            }
        });
    }
    threads.emplace_back([&] {
        std::vector<float> fft(1024);
        while (!stop.load()) {
            const auto t0 = Clock::now();
            BASS_ChannelGetPosition(h, BASS_POS_BYTE);
            BASS_ChannelGetData(h, fft.data(), BASS_DATA_FFT2048);
            BASS_ChannelIsActive(h);
            const int64_t took = std::chrono::nanoseconds(Clock::now() - t0).count();
            longestPollNs.store(std::max(longestPollNs.load(), took));
            ++polls;
        }
    });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop.store(true);
    for (auto& t : threads)
        t.join();
    // Taken before BASS_Free, which may hold the lock while its device closes.
    const double longestMs = static_cast<double>(lock::longestLibraryLockHoldNs.load()) / 1e6;
    const long holds = lock::libraryLockHolds.load();
    const long over = lock::libraryLockHoldsOverMs.load();
    BASS_Free();
    std::printf(
        "%s: %ld seeks, %ld polls in %.1f s; library lock held at most %.3f ms, "
        "%ld of %ld holds over 1 ms; longest poll %.3f ms\n",
        extensionOf(format).c_str(), seeks.load(), polls.load(), seconds, longestMs, over, holds,
        static_cast<double>(longestPollNs.load()) / 1e6);
    return 0;
}
