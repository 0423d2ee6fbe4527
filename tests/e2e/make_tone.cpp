// make_tone PATH FREQUENCY SECONDS: writes a stereo 44.1 kHz WAV sine tone
// for the end-to-end tests.
#include <cstdlib>
#include <iostream>

#include "audio_fixtures.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: make_tone PATH FREQUENCY SECONDS\n";
        return 2;
    }
    chromola::testing::Tone tone;
    tone.frequency = std::atof(argv[2]);
    tone.seconds = std::atof(argv[3]);
    tone.amplitude = 0.8;
    return chromola::testing::writeTone(argv[1], chromola::testing::AudioFormat::Wav, tone) ? 0 : 1;
}
