// Decodes a file to the end as fast as possible through the library's own
// stream or module decoders (the code a channel's decoder thread runs), or
// writes the test signal the decode benchmark encodes.
//   libbass_decode <file>                 prints frames decoded and seconds taken
//   libbass_decode --signal <out.wav> <s> writes s seconds of a busy stereo signal
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

#include "byte_source.h"
#include "error.h"
#include "module_decoder.h"
#include "stream_decoder.h"

namespace {

// Chords that change every half second over a little noise, so that encoders
// spend bits the way they do on music.
int writeSignal(const char* path, double seconds) {
    const int rate = 44100;
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* f = sf_open(path, SFM_WRITE, &info);
    if (!f)
        return 2;
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 0.02f);
    const double roots[] = {220.0, 246.9, 261.6, 293.7, 329.6, 349.2, 392.0};
    const long total = std::lround(seconds * rate);
    std::vector<float> block(4096 * 2);
    for (long done = 0; done < total;) {
        const long n = std::min<long>(4096, total - done);
        for (long i = 0; i < n; ++i) {
            const long f0 = done + i;
            const double t = static_cast<double>(f0) / rate;
            const double root = roots[(f0 / (rate / 2)) % 7];
            double v = 0;
            for (double ratio : {1.0, 1.25, 1.5, 2.0}) {
                v += 0.12 * std::sin(2 * std::numbers::pi * root * ratio * t);
            }
            block[2 * i] = static_cast<float>(v) + noise(random);
            block[2 * i + 1] = static_cast<float>(v * 0.8) + noise(random);
        }
        sf_writef_float(f, block.data(), n);
        done += n;
    }
    sf_close(f);
    return 0;
}

int decode(const char* path) {
    using namespace chromola::audio;
    const auto start = std::chrono::steady_clock::now();
    try {
        const char* dot = std::strrchr(path, '.');
        bool module = false;
        for (const char* ext : {".mod", ".xm", ".s3m", ".it", ".mtm", ".umx"}) {
            module = module || (dot != nullptr && std::strcmp(dot, ext) == 0);
        }
        std::unique_ptr<Decoder> decoder =
            module ? std::make_unique<ModuleDecoder>(openFileSource(path, 0, 0), ModuleOptions{})
                   : openStreamDecoder(openFileSource(path, 0, 0));
        std::vector<float> buffer(4096 * static_cast<std::size_t>(decoder->channels()));
        long long frames = 0;
        while (std::size_t n = decoder->read(buffer.data(), 4096))
            frames += static_cast<long long>(n);
        const double s =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        std::printf("%lld frames at %d Hz in %.4f s\n", frames, decoder->sampleRate(), s);
        return 0;
    } catch (const Error& e) {
        std::fprintf(stderr, "%s: error %d\n", path, e.code());
        return 1;
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::strcmp(argv[1], "--signal") == 0) {
        return writeSignal(argv[2], std::atof(argv[3]));
    }
    if (argc == 2)
        return decode(argv[1]);
    std::fprintf(stderr, "usage: %s <file> | --signal <out.wav> <seconds>\n", argv[0]);
    return 2;
}
