// Latency and processor time of live capture, in one run, on the sound
// server's default sink (PULSE_SERVER or the session's; a null sink will do:
//   bash tests/support/sound_server.sh start /tmp/snd
//   PULSE_SERVER=unix:/tmp/snd/pulse/native build/bin/libbass_capture_latency
//   bash tests/support/sound_server.sh stop /tmp/snd).
//
// Latency: the library's own output starts a short tone on the sink while
// the default output's monitor is captured, and polls every 17 ms, as the
// display does, until the captured spectrum changes (silence reads exactly
// 0); then again polling every millisecond, which shows the path itself. The
// sink starts playing the tone when the channel's heard position (from the
// server's own report) leaves 0: that moment is the position's reading taken
// back from the time it was read. Printed: from the play call to that moment
// (the output's latency), from the play call to the change, and from that
// moment to the change (the capture path's latency).
// Processor time: this process while it plays a file and polls its spectrum
// every 17 ms, then while it captures alone and polls the same way.
// And first, how soon a capture fails where no sound server answers.
// Usage: libbass_capture_latency [onsets=20] [seconds=10]
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "bass.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
constexpr auto kTick = 17ms;
// Digital silence reads exactly 0; the tone, 0.25 at its bin.
constexpr float kChanged = 1e-4f;

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

float loudest(DWORD h) {
    std::vector<float> s(1024);
    if (BASS_ChannelGetData(h, s.data(), BASS_DATA_FFT2048) == static_cast<DWORD>(-1))
        return -1;
    return *std::max_element(s.begin(), s.end());
}

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void summary(const char* what, std::vector<double> v) {
    if (v.empty()) {
        std::printf("  %-32s no onset seen\n", what);
        return;
    }
    std::sort(v.begin(), v.end());
    const auto rank = [&](double q) {
        return v[std::min(v.size() - 1,
                          static_cast<std::size_t>(q * static_cast<double>(v.size())))];
    };
    std::printf("  %-32s median %6.1f ms   p95 %6.1f ms   (min %.1f, max %.1f, n=%zu)\n", what,
                rank(0.5), rank(0.95), v.front(), v.back(), v.size());
}

// Polls every tick for `seconds`, as the display does; returns this
// process's processor time as a share of the wall clock, in per cent.
double pollingCpu(DWORD h, double seconds) {
    const double cpu0 = cpuSeconds();
    const auto t0 = Clock::now();
    auto next = t0;
    while (Clock::now() - t0 < std::chrono::duration<double>(seconds)) {
        loudest(h);
        next += kTick;
        std::this_thread::sleep_until(next);
    }
    return (cpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - t0).count() * 100;
}

// Plays the blip `onsets` times, at random moments between the polling
// ticks (the display's timer knows nothing of the music), and prints how
// long the captured spectrum took to change.
void onsetLatency(DWORD h, DWORD live, int onsets, Clock::duration tick) {
    std::mt19937 random(7);
    const auto grid = Clock::now();
    std::vector<double> played, captured, difference;
    // A null sink that has been idle may hand its first frames over in one
    // late block: one onset first, not counted.
    for (int i = -1; i < onsets; ++i) {
        const auto quiet = Clock::now() + 10s;
        while ((BASS_ChannelIsActive(h) != BASS_ACTIVE_STOPPED || loudest(live) > 0) &&
               Clock::now() < quiet) {
            std::this_thread::sleep_for(kTick);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100000 + random() % 200000));
        const auto t0 = Clock::now();
        BASS_ChannelPlay(h, TRUE);
        Clock::time_point heard{}, caught{};
        auto next = grid + ((Clock::now() - grid) / tick + 1) * tick;
        std::this_thread::sleep_until(next);
        while ((heard == Clock::time_point{} || caught == Clock::time_point{}) &&
               Clock::now() - t0 < 3s) {
            const auto now = Clock::now();
            const double position = BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h, 0));
            if (heard == Clock::time_point{} && position > 0) {
                heard = now - std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(position));
            }
            if (caught == Clock::time_point{} && loudest(live) > kChanged)
                caught = now;
            next += tick;
            std::this_thread::sleep_until(next);
        }
        if (i < 0 || heard == Clock::time_point{} || caught == Clock::time_point{})
            continue;
        played.push_back(ms(heard - t0));
        captured.push_back(ms(caught - t0));
        difference.push_back(ms(caught - heard));
    }
    std::printf("onset of a tone played on the default sink, polled every %.0f ms:\n", ms(tick));
    summary("play call -> sink plays it", played);
    summary("play call -> captured spectrum", captured);
    summary("sink plays it -> captured spectrum", difference);
}

// How soon starting a capture fails where no sound server answers: the
// client pointed at a socket that is not there.
void noServer(const std::string& socket) {
    const char* old = std::getenv("PULSE_SERVER");
    const std::string saved = old ? old : "";
    setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1);
    std::vector<double> failed;
    int code = 0;
    for (int i = 0; i < 10; ++i) {
        const auto t0 = Clock::now();
        const DWORD h = CHROMOLA_CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT);
        failed.push_back(ms(Clock::now() - t0));
        code = BASS_ErrorGetCode();
        if (h)
            BASS_StreamFree(h);
    }
    if (old)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
    std::printf("without a sound server (error %d):\n", code);
    summary("capture start -> failure", failed);
}

}  // namespace

int main(int argc, char** argv) {
    const int onsets = argc > 1 ? std::atoi(argv[1]) : 20;
    const double seconds = argc > 2 ? std::atof(argv[2]) : 10.0;
    chromola::testing::TempDir dir;
    const auto blip = dir / "blip.wav";
    const auto track = dir / "track.wav";
    using chromola::testing::AudioFormat;
    if (!chromola::testing::writeTone(blip, AudioFormat::Wav, {1000.0, 0.5, 44100, 2, 0.3}) ||
        !chromola::testing::writeTone(track, AudioFormat::Wav,
                                      {1000.0, 0.5, 44100, 2, seconds + 5})) {
        std::fprintf(stderr, "cannot write the tones in %s\n", dir.path().c_str());
        return 2;
    }
    noServer((dir / "no-server").string());
    if (!BASS_Init(-1, 44100, 0, nullptr, nullptr)) {
        std::fprintf(stderr, "BASS_Init(-1) failed: %d (no sound server?)\n", BASS_ErrorGetCode());
        return 2;
    }
    const auto startAsked = Clock::now();
    const DWORD live = CHROMOLA_CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT);
    const double startMs = ms(Clock::now() - startAsked);
    if (!live) {
        std::fprintf(stderr, "capture failed: %d\n", BASS_ErrorGetCode());
        return 2;
    }
    std::printf("capture started in %.1f ms\n", startMs);

    const DWORD h = BASS_StreamCreateFile(FALSE, blip.c_str(), 0, 0, 0);
    onsetLatency(h, live, onsets, kTick);
    // Finer polling shows what the display's tick hides.
    onsetLatency(h, live, onsets, 1ms);
    BASS_StreamFree(h);

    // Processor time: playing a file, then capturing alone.
    const DWORD file = BASS_StreamCreateFile(FALSE, track.c_str(), 0, 0, 0);
    BASS_StreamFree(live);
    BASS_ChannelPlay(file, FALSE);
    std::this_thread::sleep_for(500ms);
    const double playing = pollingCpu(file, seconds);
    BASS_Free();
    const DWORD alone = CHROMOLA_CaptureStart(nullptr, CHROMOLA_CAPTURE_OUTPUT);
    std::this_thread::sleep_for(500ms);
    const double capturing = pollingCpu(alone, seconds);
    BASS_StreamFree(alone);
    std::printf("processor time, polling the spectrum every %lld ms for %.0f s:\n",
                static_cast<long long>(kTick.count()), seconds);
    std::printf("  playing a file:   %.2f %% of one core\n", playing);
    std::printf("  capturing alone:  %.2f %% of one core\n", capturing);
    return 0;
}
