// Prints what the flash limiter and the automatic level do to generated
// music: for drum loops at 90, 120 and 174 BPM at the top of the brightness
// bar, the most transitions in any second without and with the limiter, the
// mean luminance error it causes and the share of ticks it alters; for a
// 1 kHz tone at -30 and -6 dBFS, how long the automatic level takes to bring
// the colour within 10 % of where it settles.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "display/auto_level.h"
#include "display/flash_limiter.h"
#include "flash_fixtures.h"

using namespace chromola;
using namespace chromola::testing;

int main() {
    std::printf("%-8s %14s %14s %12s %10s\n", "BPM", "flashes off", "flashes on", "mean |dL|",
                "altered");
    for (const double bpm : {90.0, 120.0, 174.0}) {
        const std::vector<ColourLevels> wanted =
            ColoursOf(SpectraOf(DrumLoop(bpm, 20)), kBrightest);
        FlashLimiter limiter;
        std::vector<ColourLevels> shown;
        double error = 0;
        int altered = 0;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            shown.push_back(limiter.Limit(wanted[i], static_cast<long long>(i) * kFlashTickMs));
            error += std::abs(RelativeLuminance(shown.back()) - RelativeLuminance(wanted[i]));
            altered += shown.back() == wanted[i] ? 0 : 1;
        }
        const FlashCount off = MostTransitionsInASecond(wanted);
        const FlashCount on = MostTransitionsInASecond(shown);
        std::printf("%-8.0f %7d/%-6d %7d/%-6d %12.4f %9.1f%%\n", bpm, off.general, off.red,
                    on.general, on.red, error / wanted.size(), 100.0 * altered / wanted.size());
    }
    std::printf("(flashes: most general/red transitions in any second; 6 is the limit)\n\n");

    for (const double dbfs : {-30.0, -6.0}) {
        const std::vector<Spectrum> spectra = SpectraOf(Sine(1000, dbfs, 12));
        AutoLevel level;
        std::vector<int> levels;
        for (const Spectrum& spectrum : spectra) {
            const ColourLevels c = ComputeColourLevels(
                spectrum, {kNeutralBrightness * level.Factor(), 0.4f, 0.4f, 0.4f, 0});
            levels.push_back(std::max({c.red, c.green, c.blue}));
            level.Update(levels.back(), kFlashTickMs);
        }
        const int settled = levels.at(levels.size() - 60);
        std::size_t within = levels.size() - 60;
        while (within > 0 && std::abs(levels[within - 1] - settled) <= settled / 10) {
            --within;
        }
        std::printf(
            "tone at %3.0f dBFS: level %3d at the start, %3d settled, within 10%% after %.2f s\n",
            dbfs, levels.at(10), settled, within * kFlashTickMs / 1000.0);
    }
    return 0;
}
