// Sound files for the end-to-end tests and the benchmarks, 44.1 kHz:
//   make_tone PATH FREQUENCY SECONDS   a stereo sine tone in the format PATH's
//                                      extension names (mp3, mp2, ogg, opus at
//                                      48 kHz, flac, aif or aiff), else as WAV;
//                                      a .mod is a looped note of about that
//                                      length
//   make_tone PATH drums BPM SECONDS    a mono drum loop
//   make_tone PATH module PATTERNS      a ProTracker module, PATTERNS x 7.68 s
//   make_tone PATH clicks BPM SECONDS   a mono click track, the first click
//                                       at 0.5 s
// and the flash counter over a log of shown colours:
//   make_tone --count-flashes LOG      prints "general red", the most
//                                      transitions in any second
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "audio_fixtures.h"
#include "flash_fixtures.h"

namespace {

int CountFlashes(const char* log) {
    std::ifstream in(log);
    std::vector<chromola::ColourLevels> colours;
    std::vector<long long> times;
    long long ms = 0;
    chromola::ColourLevels c;
    while (in >> ms >> c.red >> c.green >> c.blue) {
        times.push_back(ms);
        colours.push_back(c);
    }
    const auto count = chromola::testing::MostTransitionsInASecond(colours, times);
    std::cout << count.general << " " << count.red << " " << colours.size() << "\n";
    return colours.empty() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace chromola::testing;
    if (argc == 3 && std::strcmp(argv[1], "--count-flashes") == 0) {
        return CountFlashes(argv[2]);
    }
    if (argc == 5 && std::strcmp(argv[2], "drums") == 0) {
        const auto drums = DrumLoop(std::atof(argv[3]), std::atof(argv[4]));
        return writeSamples(argv[1], AudioFormat::Wav, drums, 44100, 1) ? 0 : 1;
    }
    if (argc == 4 && std::strcmp(argv[2], "module") == 0) {
        return writeProTrackerModule(argv[1], {.patterns = std::atoi(argv[3])}) ? 0 : 1;
    }
    if (argc == 5 && std::strcmp(argv[2], "clicks") == 0) {
        const int rate = 44100;
        std::vector<float> clicks(static_cast<std::size_t>(std::atof(argv[4]) * rate), 0.0f);
        for (double t = 0.5; (t + 0.05) * rate < clicks.size(); t += 60.0 / std::atof(argv[3])) {
            const auto start = static_cast<std::size_t>(std::lround(t * rate));
            for (std::size_t i = 0; i < rate / 20; ++i) {
                const double s = static_cast<double>(i) / rate;
                clicks[start + i] =
                    static_cast<float>(0.8 * std::sin(2 * M_PI * 1500 * s) * std::exp(-s / 0.01));
            }
        }
        return writeSamples(argv[1], AudioFormat::Wav, clicks, rate, 1) ? 0 : 1;
    }
    if (argc != 4) {
        std::cerr << "usage: make_tone PATH FREQUENCY SECONDS | PATH drums BPM SECONDS | "
                     "PATH module PATTERNS | PATH clicks BPM SECONDS | --count-flashes LOG\n";
        return 2;
    }
    Tone tone;
    tone.frequency = std::atof(argv[2]);
    tone.seconds = std::atof(argv[3]);
    tone.amplitude = 0.8;
    const std::filesystem::path path = argv[1];
    const std::string extension = path.extension().string();
    if (extension == ".mod") {
        // 64 rows at speed 31 last 39.68 s a pattern.
        const int patterns = std::clamp(static_cast<int>(tone.seconds / 39.68) + 1, 1, 127);
        return writeProTrackerModule(path, {.speed = 31, .patterns = patterns}) ? 0 : 1;
    }
    AudioFormat format = AudioFormat::Wav;
    for (const AudioFormat f : {AudioFormat::Mp3, AudioFormat::Mp2, AudioFormat::OggVorbis,
                                AudioFormat::Flac, AudioFormat::Aiff}) {
        if (extension == "." + extensionOf(f) || (f == AudioFormat::Aiff && extension == ".aif")) {
            format = f;
        }
    }
    if (extension == ".opus") {
        format = AudioFormat::OggOpus;
        tone.rate = 48000;
    }
    return writeTone(path, format, tone) ? 0 : 1;
}
