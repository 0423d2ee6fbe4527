#include "display/colour_log.h"

#include "player_view.h"

namespace chromola {

ColourLog::ColourLog(const std::string& path, const Clock& clock)
    : file_(std::fopen(path.c_str(), "ae")), clock_(clock) {
    if (file_ != nullptr) {
        // Whole lines reach the file as they are shown, for a reader that
        // follows it while the player runs.
        std::setvbuf(file_.get(), nullptr, _IOLBF, 64);
    }
}

void ColourLog::ShowColour(const ColourLevels& c) {
    if (file_ != nullptr) {
        std::fprintf(file_.get(), "%lld %d %d %d\n", clock_.NowMs(), c.red, c.green, c.blue);
    }
}

void ColourLog::ShowIdle() {
    ShowColour(kIdleColour);
}

BeatLog::BeatLog(const std::string& path) : file_(std::fopen(path.c_str(), "ae")) {
    if (file_ != nullptr) {
        std::setvbuf(file_.get(), nullptr, _IOLBF, 64);
    }
}

void BeatLog::Beat(long long ms, double bpm) {
    if (file_ != nullptr) {
        std::fprintf(file_.get(), "%lld %.1f\n", ms, bpm);
    }
}

}  // namespace chromola
