// A log of the colours the window shows: one line a tick, "milliseconds red
// green blue", appended to a file. The player keeps one when the variable
// CHROMOLA_COLOUR_LOG names a file, so that what a viewer saw can be checked
// afterwards (the flash rules, the automatic level).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "clock.h"
#include "display/colour_sink.h"

namespace chromola {

class ColourLog final : public ColourSink {
  public:
    // Nothing is logged when the file cannot be opened.
    ColourLog(const std::string& path, const Clock& clock);

    void ShowColour(const ColourLevels& levels) override;
    void ShowIdle() override;

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    const Clock& clock_;
};

// A log of the beats the display shows: one line a beat, "milliseconds bpm",
// on the colour log's clock. The player keeps one when CHROMOLA_BEAT_LOG
// names a file. Written from the tick.
class BeatLog {
  public:
    explicit BeatLog(const std::string& path);
    void Beat(long long ms, double bpm);

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
};

}  // namespace chromola
