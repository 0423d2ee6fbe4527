// The colour of one spectrum is computed 59 times a second on the GUI
// thread; this measures one computation on music-like spectra.
#include "display/colour_levels.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

// Magnitudes falling off like music (about 1/f), with noise and a few tonal
// peaks, as a Hann-windowed transform of a mixed track gives them.
std::vector<chromola::Spectrum> MusicLikeSpectra(int count) {
    std::mt19937 random(12345);
    std::uniform_real_distribution<float> noise(0.5f, 1.5f);
    std::uniform_int_distribution<int> peakBin(2, 900);
    std::vector<chromola::Spectrum> spectra(static_cast<std::size_t>(count));
    for (auto& spectrum : spectra) {
        spectrum[0] = 0.01f;
        for (int k = 1; k < 1024; ++k) {
            spectrum[static_cast<std::size_t>(k)] = 0.05f / static_cast<float>(k) * noise(random);
        }
        for (int p = 0; p < 6; ++p) {
            const auto k = static_cast<std::size_t>(peakBin(random));
            spectrum[k] += 0.2f;
            spectrum[k - 1] += 0.1f;
            spectrum[k + 1] += 0.1f;
        }
        spectrum[1024] = 0.0f;
    }
    return spectra;
}

void BM_ComputeColourLevels(benchmark::State& state) {
    const auto spectra = MusicLikeSpectra(64);
    const chromola::ColourParams params{0.425f, 0.4f, 0.4f, 0.4f, 0};
    std::size_t i = 0;
    for (auto _ : state) {
        const auto levels = chromola::ComputeColourLevels(spectra[i], params);
        benchmark::DoNotOptimize(levels);
        i = (i + 1) % spectra.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComputeColourLevels);

}  // namespace
