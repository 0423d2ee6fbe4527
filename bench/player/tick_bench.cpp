// The display tick's work without the widgets: the spectrum of what is heard
// from the audio library, the colour, the position and the end-of-track
// check, on a playing channel of the "no sound" device. Also counts the heap
// allocations made per tick (the goal is none).
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "audio_fixtures.h"
#include "display/colour_levels.h"
#include "engine/bass_library.h"

namespace {
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

void BM_Tick(benchmark::State& state) {
    chromola::BassLibrary bass(QStringLiteral(CHROMOLA_BIN_DIR "/libbass.so"));
    if (bass.BASS_Init(0, 44100, 0, nullptr, nullptr) == 0) {
        state.SkipWithError("no audio library");
        return;
    }
    chromola::testing::TempDir dir;
    chromola::testing::Tone tone;
    tone.seconds = 120;
    chromola::testing::writeTone(dir / "tone.wav", chromola::testing::AudioFormat::Wav, tone);
    const std::string path = (dir / "tone.wav").string();
    const DWORD channel = bass.BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    bass.BASS_ChannelPlay(channel, FALSE);
    chromola::Spectrum spectrum{};
    const chromola::ColourParams params{0.425f, 0.4f, 0.4f, 0.4f, 0};
    // Let the first buffers be heard.
    for (int i = 0; i < 20 && bass.BASS_ChannelGetPosition(channel, 0) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const long before = allocations.load();
    for (auto _ : state) {
        bass.BASS_ChannelGetData(channel, spectrum.data(), BASS_DATA_FFT2048);
        const chromola::ColourLevels levels = chromola::ComputeColourLevels(spectrum, params);
        const double seconds =
            bass.BASS_ChannelBytes2Seconds(channel, bass.BASS_ChannelGetPosition(channel, 0));
        benchmark::DoNotOptimize(levels);
        benchmark::DoNotOptimize(seconds);
        benchmark::DoNotOptimize(bass.BASS_ChannelIsActive(channel));
    }
    state.counters["allocs_per_tick"] = benchmark::Counter(
        static_cast<double>(allocations.load() - before) / static_cast<double>(state.iterations()));
    bass.BASS_StreamFree(channel);
    bass.BASS_Free();
}
BENCHMARK(BM_Tick)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
