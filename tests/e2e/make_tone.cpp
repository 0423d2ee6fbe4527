// Sound files for the end-to-end tests and the benchmarks, 44.1 kHz:
//   make_tone PATH FREQUENCY SECONDS   a stereo sine tone, as MP3 when PATH
//                                      ends in .mp3, else as WAV
//   make_tone PATH drums BPM SECONDS    a mono drum loop
// and the flash counter over a log of shown colours:
//   make_tone --count-flashes LOG      prints "general red", the most
//                                      transitions in any second
#include <sndfile.h>

#include <cstdlib>
#include <cstring>
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

bool WriteDrums(const char* path, double bpm, double seconds) {
    const std::vector<float> samples = chromola::testing::DrumLoop(bpm, seconds);
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const bool written =
        sf_writef_float(file, samples.data(), static_cast<sf_count_t>(samples.size())) ==
        static_cast<sf_count_t>(samples.size());
    return sf_close(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--count-flashes") == 0) {
        return CountFlashes(argv[2]);
    }
    if (argc == 5 && std::strcmp(argv[2], "drums") == 0) {
        return WriteDrums(argv[1], std::atof(argv[3]), std::atof(argv[4])) ? 0 : 1;
    }
    if (argc != 4) {
        std::cerr << "usage: make_tone PATH FREQUENCY SECONDS | PATH drums BPM SECONDS | "
                     "--count-flashes LOG\n";
        return 2;
    }
    chromola::testing::Tone tone;
    tone.frequency = std::atof(argv[2]);
    tone.seconds = std::atof(argv[3]);
    tone.amplitude = 0.8;
    const std::string path = argv[1];
    const bool mp3 = path.size() > 4 && path.compare(path.size() - 4, 4, ".mp3") == 0;
    using chromola::testing::AudioFormat;
    return chromola::testing::writeTone(path, mp3 ? AudioFormat::Mp3 : AudioFormat::Wav, tone) ? 0
                                                                                               : 1;
}
