// How far the colour lags or leads the sound: plays a second of silence and
// then a 1 kHz tone on the default output (a PulseAudio null sink in the
// script that runs this), ticks every 17 ms like the display, and compares
// the time at which the tone's onset is heard (the library's heard position
// crossing it) with the first tick whose colour shows the tone at half its
// steady level.
#include <sndfile.h>

#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "display/colour_levels.h"
#include "engine/bass_library.h"

namespace {

using Clock = std::chrono::steady_clock;

bool WriteOnsetFile(const char* path, int rate, double silence, double tone) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path, SFM_WRITE, &info);
    if (file == nullptr) {
        return false;
    }
    const auto frames = static_cast<sf_count_t>((silence + tone) * rate);
    const auto onset = static_cast<sf_count_t>(silence * rate);
    std::vector<float> data(static_cast<std::size_t>(frames) * 2, 0.0f);
    for (sf_count_t i = onset; i < frames; ++i) {
        const float v = 0.8f * static_cast<float>(std::sin(2 * M_PI * 1000.0 * i / rate));
        data[static_cast<std::size_t>(i) * 2] = data[static_cast<std::size_t>(i) * 2 + 1] = v;
    }
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
    return true;
}

struct Sample {
    double time;   // seconds since play
    double heard;  // heard position, seconds
    int green;
};

}  // namespace

int main(int argc, char** argv) {
    const char* bin = argc > 1 ? argv[1] : ".";
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const double onset = 1.0;
    const char* path = "/tmp/chromola_onset.wav";
    if (!WriteOnsetFile(path, 44100, onset, 4.0)) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return 1;
    }
    chromola::BassLibrary bass(QString::fromUtf8(bin) + QStringLiteral("/libbass.so"));
    if (bass.BASS_Init(-1, 192000, 0, nullptr, nullptr) == 0) {
        std::fprintf(stderr, "no sound output (error %d)\n", bass.BASS_ErrorGetCode());
        return 1;
    }
    const chromola::ColourParams params{0.425f, 0.4f, 0.4f, 0.4f, 0};
    chromola::Spectrum spectrum{};
    std::vector<double> offsets;
    for (int run = 0; run < runs; ++run) {
        const DWORD channel = bass.BASS_StreamCreateFile(FALSE, path, 0, 0, 0);
        bass.BASS_ChannelPlay(channel, FALSE);
        const auto start = Clock::now();
        std::vector<Sample> samples;
        for (auto next = start; Clock::now() - start < std::chrono::milliseconds(5000);) {
            next += std::chrono::milliseconds(17);
            std::this_thread::sleep_until(next);
            bass.BASS_ChannelGetData(channel, spectrum.data(), BASS_DATA_FFT2048);
            const auto levels = chromola::ComputeColourLevels(spectrum, params);
            const double heard = bass.BASS_ChannelBytes2Seconds(
                channel, bass.BASS_ChannelGetPosition(channel, BASS_POS_BYTE));
            samples.push_back(
                {std::chrono::duration<double>(Clock::now() - start).count(), heard, levels.green});
        }
        bass.BASS_StreamFree(channel);
        const int steady = samples.back().green;
        double heardAt = -1;
        double shownAt = -1;
        for (std::size_t i = 1; i < samples.size(); ++i) {
            const Sample& a = samples[i - 1];
            const Sample& b = samples[i];
            if (heardAt < 0 && a.heard < onset && b.heard >= onset && b.heard > a.heard) {
                heardAt = a.time + (onset - a.heard) / (b.heard - a.heard) * (b.time - a.time);
            }
            if (shownAt < 0 && steady > 0 && b.green * 2 >= steady) {
                shownAt = b.time;
            }
        }
        if (heardAt < 0 || shownAt < 0) {
            std::fprintf(stderr, "run %d: onset not found\n", run);
            continue;
        }
        offsets.push_back((shownAt - heardAt) * 1000);
        std::printf("run %d: tone heard at %.1f ms, first tick showing it at %.1f ms: %+.1f ms\n",
                    run, heardAt * 1000, shownAt * 1000, offsets.back());
    }
    bass.BASS_Free();
    if (offsets.empty()) {
        return 1;
    }
    std::sort(offsets.begin(), offsets.end());
    std::printf("colour minus sound, median %+.1f ms (a tick is 17 ms; positive: colour later)\n",
                offsets[offsets.size() / 2]);
    return 0;
}
