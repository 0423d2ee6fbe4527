#include "audio_fixtures.h"

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <string_view>

namespace chromola::testing {

namespace fs = std::filesystem;

namespace {

// Per format, in the order of the enumeration: extension and libsndfile
// format (0: not through libsndfile).
struct FormatInfo {
    const char* extension;
    int sndfile;
};
constexpr FormatInfo kFormats[] = {{"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
                                   {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
                                   {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
                                   {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
                                   {"ogg", SF_FORMAT_OGG | SF_FORMAT_OPUS},
                                   {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
                                   {"mp2", 0}};
static_assert(std::size(kFormats) == static_cast<std::size_t>(AudioFormat::Mp2) + 1);

bool writeFrames(const fs::path& path, int format, const Tone& tone) {
    const auto frames = static_cast<sf_count_t>(std::llround(tone.seconds * tone.rate));
    std::vector<float> data(static_cast<std::size_t>(frames * tone.channels), 0.0f);
    for (sf_count_t f = 0; f < frames; ++f) {
        const double v = tone.amplitude * std::sin(2.0 * std::numbers::pi * tone.frequency *
                                                   static_cast<double>(f) / tone.rate);
        for (int c = 0; c < (tone.leftOnly ? 1 : tone.channels); ++c)
            data[static_cast<std::size_t>(f * tone.channels + c)] = static_cast<float>(v);
    }
    SF_INFO info{0, tone.rate, tone.channels, format, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    // Full-scale floats would wrap when converted to 16-bit integers.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t written = sf_writef_float(file, data.data(), frames);
    return sf_close(file) == 0 && written == frames;
}

// `value` in `bytes` bytes at `at`, the least significant first unless
// `bigEndian`.
void put(std::vector<unsigned char>& m, std::size_t at, std::size_t value, int bytes = 2,
         bool bigEndian = false) {
    for (int i = 0; i < bytes; ++i)
        m[at + static_cast<std::size_t>(bigEndian ? bytes - 1 - i : i)] =
            static_cast<unsigned char>(value >> (8 * i));
}

void putText(std::vector<unsigned char>& m, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), m.begin() + static_cast<long>(at));
}

// One cycle of a sine over kSampleBytes 8-bit samples, peak 100 around
// `zero` (0 for signed samples, 128 for unsigned ones).
constexpr std::size_t kSampleBytes = 64;
void putSine(std::vector<unsigned char>& m, std::size_t at, int zero) {
    for (std::size_t i = 0; i < kSampleBytes; ++i) {
        m[at + i] = static_cast<unsigned char>(
            zero + std::lround(100 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) /
                                              kSampleBytes)));
    }
}

}  // namespace

std::string extensionOf(AudioFormat format) {
    return kFormats[static_cast<int>(format)].extension;
}

bool writeTone(const fs::path& path, AudioFormat format, const Tone& tone) {
    if (tone.seconds < 0)
        return false;
    if (format != AudioFormat::Mp2)
        return writeFrames(path, kFormats[static_cast<int>(format)].sndfile, tone);
    // MPEG layer II: libsndfile writes layer III only, so twolame encodes a
    // WAV. The paths are the tests' own, in a temporary folder: no quote in
    // them.
    fs::path wav = path;
    wav += ".source.wav";
    const bool ok = writeFrames(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone) &&
                    std::system(("twolame --quiet -b 192 '" + wav.string() + "' '" + path.string() +
                                 "' >/dev/null 2>&1")
                                    .c_str()) == 0;
    std::error_code ignored;
    fs::remove(wav, ignored);
    return ok && fs::exists(path);
}

double moduleSeconds(const ModuleSpec& song) {
    // 64 rows x speed ticks x 2.5 / 125 BPM seconds per tick.
    return song.patterns * 64.0 * song.speed * 0.02;
}

bool writeProTrackerModule(const fs::path& path, const ModuleSpec& song) {
    constexpr std::size_t kHeader = 1084;  // title, 31 sample headers, order list, "M.K."
    constexpr std::size_t kPattern = 64 * 4 * 4;
    const auto patterns = static_cast<std::size_t>(song.patterns);
    std::vector<unsigned char> m(kHeader + patterns * kPattern + kSampleBytes, 0);
    putText(m, 0, "chromola test");
    // Sample headers from offset 20, 30 bytes each: name (22), length in
    // words, finetune, volume, loop start and loop length in words. Sample 1
    // loops over all of it; the other 30 are empty with the customary loop
    // length of 1.
    putText(m, 20, "sine");
    put(m, 42, kSampleBytes / 2, 2, true);
    m[45] = 64;
    for (std::size_t i = 0; i < 31; ++i)
        put(m, 48 + i * 30, i == 0 ? kSampleBytes / 2 : 1, 2, true);
    m[950] = static_cast<unsigned char>(patterns);  // song length in orders
    m[951] = 127;
    for (std::size_t i = 0; i < patterns; ++i)
        m[952 + i] = static_cast<unsigned char>(i);
    putText(m, 1080, "M.K.");
    // Notes: C, E, G, C' (their periods) with sample 1 on channel 1 every 16
    // rows; the first row of the first pattern also sets the speed (effect F).
    const unsigned periods[] = {428, 340, 285, 214};
    for (std::size_t p = 0; p < patterns; ++p) {
        for (std::size_t n = 0; n < 4; ++n) {
            const std::size_t cell = kHeader + p * kPattern + n * 16 * 16;
            put(m, cell, periods[n], 2, true);  // the sample number's high bits are 0
            m[cell + 2] = p == 0 && n == 0 ? 0x1F : 0x10;
            m[cell + 3] = p == 0 && n == 0 ? static_cast<unsigned char>(song.speed) : 0;
        }
    }
    putSine(m, kHeader + patterns * kPattern, 0);
    return writeBytes(path, m);
}

bool writeScreamTrackerModule(const fs::path& path, const ModuleSpec& song) {
    // Every block on a 16-byte boundary (the format addresses them in
    // paragraphs): header 96, order list (even length), the instrument's and
    // the patterns' pointers; the instrument (80); each pattern in a slot of
    // 80 bytes, which holds the longest; the sample.
    const auto patterns = static_cast<std::size_t>(song.patterns);
    const std::size_t orders = patterns + patterns % 2;
    const std::size_t instrumentAt = (96 + orders + 2 + 2 * patterns + 15) / 16 * 16;
    const std::size_t sampleAt = instrumentAt + 80 + 80 * patterns;
    std::vector<unsigned char> m(sampleAt + kSampleBytes, 0);
    putText(m, 0, "chromola test");
    m[28] = 0x1A;
    m[29] = 16;  // module type: ST3
    put(m, 32, orders);
    put(m, 34, 1);  // instruments
    put(m, 36, patterns);
    put(m, 40, 0x1320);  // made by ST 3.20
    put(m, 42, 2);       // samples are unsigned
    putText(m, 44, "SCRM");
    m[48] = 64;    // global volume
    m[49] = 6;     // initial speed (the first row sets the real one)
    m[50] = 125;   // tempo
    m[51] = 0xB0;  // stereo, master volume 48
    for (std::size_t c = 0; c < 32; ++c)
        m[64 + c] = c < 4 ? static_cast<unsigned char>(c) : 255;  // 255: channel unused
    for (std::size_t o = 0; o < orders; ++o)
        m[96 + o] = o < patterns ? static_cast<unsigned char>(o) : 255;  // 255: end marker
    put(m, 96 + orders, instrumentAt / 16);

    // Instrument: a sample, its data pointer (whose high byte at 13 stays 0),
    // length, loop over all of it, volume 64, loop flag, middle C at 8363 Hz.
    const std::size_t ins = instrumentAt;
    m[ins] = 1;
    put(m, ins + 14, sampleAt / 16);
    put(m, ins + 16, kSampleBytes, 4);
    put(m, ins + 24, kSampleBytes, 4);
    m[ins + 28] = 64;
    m[ins + 31] = 1;
    put(m, ins + 32, 8363, 4);
    putText(m, ins + 48, "sine");
    putText(m, ins + 76, "SCRS");

    // Packed patterns: every 16 rows channel 0 with note and instrument (bit
    // 5), on the first row of the first pattern also command A (set speed,
    // bit 7); a 0 ends each row.
    const unsigned char notes[] = {0x40, 0x44, 0x47, 0x50};  // C-4 E-4 G-4 C-5
    for (std::size_t p = 0; p < patterns; ++p) {
        const std::size_t slot = instrumentAt + 80 + 80 * p;
        put(m, 96 + orders + 2 + 2 * p, slot / 16);
        std::size_t at = slot + 2;
        for (int row = 0; row < 64; ++row, ++at) {
            if (row % 16 != 0)
                continue;
            const bool setSpeed = p == 0 && row == 0;
            for (int b : {setSpeed ? 0xA0 : 0x20, int{notes[row / 16]}, 1})
                m[at++] = static_cast<unsigned char>(b);
            if (setSpeed) {
                m[at++] = 1;  // 'A'
                m[at++] = static_cast<unsigned char>(song.speed);
            }
        }
        put(m, slot, at - slot);  // the length counts itself
    }
    putSine(m, sampleAt, 128);
    return writeBytes(path, m);
}

bool writeBytes(const fs::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<unsigned char> readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "chromola-test-XXXXXX").string();
    if (char* made = mkdtemp(pattern.data()))
        path_ = made;
}

TempDir::~TempDir() {
    std::error_code ignored;
    if (!path_.empty())
        fs::remove_all(path_, ignored);
}

}  // namespace chromola::testing
