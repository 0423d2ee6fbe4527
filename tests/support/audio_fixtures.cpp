#include "audio_fixtures.h"

#include <sndfile.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <random>
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

std::vector<float> toneFrames(const Tone& tone) {
    const auto frames = static_cast<std::size_t>(std::llround(tone.seconds * tone.rate));
    const auto ch = static_cast<std::size_t>(tone.channels);
    std::vector<float> data(frames * ch, 0.0f);
    for (std::size_t f = 0; f < frames; ++f) {
        const double v = tone.amplitude * std::sin(2.0 * std::numbers::pi * tone.frequency *
                                                   static_cast<double>(f) / tone.rate);
        for (std::size_t c = 0; c < ch; ++c) {
            if (!tone.leftOnly || c == 0)
                data[f * ch + c] = static_cast<float>(v);
        }
    }
    return data;
}

bool writeFrames(const fs::path& path, int format, int rate, int channels,
                 const std::vector<float>& data) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    // Full-scale floats would wrap when converted to 16-bit integers.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames =
        static_cast<sf_count_t>(data.size() / static_cast<std::size_t>(channels));
    const sf_count_t written = sf_writef_float(file, data.data(), frames);
    return sf_close(file) == 0 && written == frames;
}

void putBigEndian16(std::vector<unsigned char>& out, std::size_t at, unsigned value) {
    out[at] = static_cast<unsigned char>(value >> 8);
    out[at + 1] = static_cast<unsigned char>(value & 0xFF);
}

void putText(std::vector<unsigned char>& out, std::size_t at, std::string_view text) {
    std::copy(text.begin(), text.end(), out.begin() + static_cast<long>(at));
}

// One cycle of a sine over kSampleBytes 8-bit samples, peak 100.
constexpr std::size_t kSampleBytes = 64;
int sineSample(std::size_t i) {
    return static_cast<int>(std::lround(
        100 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / kSampleBytes)));
}

bool validSong(const ModuleSpec& song) {
    return song.speed >= 1 && song.speed <= 31 && song.patterns >= 1 && song.patterns <= 64;
}

}  // namespace

std::string extensionOf(AudioFormat format) {
    return kFormats[static_cast<int>(format)].extension;
}

bool writeTone(const fs::path& path, AudioFormat format, const Tone& tone) {
    if (tone.channels < 1 || tone.rate < 1 || tone.seconds < 0)
        return false;
    const std::vector<float> data = toneFrames(tone);
    if (format != AudioFormat::Mp2) {
        return writeFrames(path, kFormats[static_cast<int>(format)].sndfile, tone.rate,
                           tone.channels, data);
    }
    // MPEG layer II: libsndfile writes layer III only, so encode a WAV with
    // twolame.
    fs::path wav = path;
    wav += ".source.wav";
    if (!writeFrames(wav, SF_FORMAT_WAV | SF_FORMAT_PCM_16, tone.rate, tone.channels, data)) {
        return false;
    }
    // The paths are the tests' own, in a temporary folder: no quote in them.
    const bool ok = std::system(("twolame --quiet -b 192 '" + wav.string() + "' '" + path.string() +
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
    if (!validSong(song))
        return false;
    constexpr std::size_t kHeader = 1084;  // title, 31 sample headers, order list, "M.K."
    constexpr std::size_t kPattern = 64 * 4 * 4;
    const std::size_t patternCount = static_cast<std::size_t>(song.patterns);
    std::vector<unsigned char> m(kHeader + patternCount * kPattern + kSampleBytes, 0);

    putText(m, 0, "chromola test");
    // Sample 1 header at offset 20: name (22), length in words, finetune,
    // volume, loop start and loop length in words (finetune and loop start 0).
    const std::size_t s1 = 20;
    putText(m, s1, "sine");
    putBigEndian16(m, s1 + 22, kSampleBytes / 2);
    m[s1 + 25] = 64;
    putBigEndian16(m, s1 + 28, kSampleBytes / 2);
    // The other 30 samples are empty with the customary loop length of 1.
    for (std::size_t i = 1; i < 31; ++i)
        putBigEndian16(m, 20 + i * 30 + 28, 1);

    m[950] = static_cast<unsigned char>(patternCount);  // song length in orders
    m[951] = 127;
    for (std::size_t i = 0; i < patternCount; ++i)
        m[952 + i] = static_cast<unsigned char>(i);
    putText(m, 1080, "M.K.");

    // Notes: C, E, G, C' on channel 1 every 16 rows; the first row of the
    // first pattern also sets the speed (effect F).
    const unsigned periods[] = {428, 340, 285, 214};
    for (std::size_t p = 0; p < patternCount; ++p) {
        for (std::size_t n = 0; n < 4; ++n) {
            const std::size_t cell = kHeader + p * kPattern + (n * 16) * 16;
            const unsigned period = periods[n];
            const unsigned sample = 1;
            m[cell] = static_cast<unsigned char>((sample & 0xF0) | ((period >> 8) & 0x0F));
            m[cell + 1] = static_cast<unsigned char>(period & 0xFF);
            m[cell + 2] = static_cast<unsigned char>((sample & 0x0F) << 4);
            if (p == 0 && n == 0) {
                m[cell + 2] |= 0x0F;
                m[cell + 3] = static_cast<unsigned char>(song.speed);
            }
        }
    }
    const std::size_t data = kHeader + patternCount * kPattern;
    for (std::size_t i = 0; i < kSampleBytes; ++i)
        m[data + i] = static_cast<unsigned char>(static_cast<signed char>(sineSample(i)));
    return writeBytes(path, m);
}

bool writeScreamTrackerModule(const fs::path& path, const ModuleSpec& song) {
    if (!validSong(song))
        return false;
    // Layout, every block on a 16-byte boundary (the format addresses them in
    // paragraphs): header 96, order list (even length), one instrument
    // pointer and the pattern pointers, then the instrument (80), the
    // patterns and the sample.
    const std::size_t patterns = static_cast<std::size_t>(song.patterns);
    const std::size_t orders = patterns % 2 == 0 ? patterns : patterns + 1;
    auto align = [](std::size_t n) { return (n + 15) / 16 * 16; };
    const std::size_t instrumentAt = align(96 + orders + 2 + 2 * patterns);
    const std::size_t firstPatternAt = instrumentAt + 80;

    std::vector<std::vector<unsigned char>> packed(patterns);
    for (std::size_t p = 0; p < patterns; ++p) {
        std::vector<unsigned char>& rows = packed[p];
        const unsigned char notes[] = {0x40, 0x44, 0x47, 0x50};  // C-4 E-4 G-4 C-5
        for (int row = 0; row < 64; ++row) {
            if (row % 16 == 0) {
                // Channel 0 with note and instrument (bit 5), on the first row
                // of the first pattern also command A (set speed, bit 7).
                const bool setSpeed = p == 0 && row == 0;
                rows.push_back(static_cast<unsigned char>(0x20 | (setSpeed ? 0x80 : 0)));
                rows.push_back(notes[row / 16]);
                rows.push_back(1);
                if (setSpeed) {
                    rows.push_back(1);  // 'A'
                    rows.push_back(static_cast<unsigned char>(song.speed));
                }
            }
            rows.push_back(0);  // end of row
        }
    }
    std::vector<std::size_t> patternAt(patterns);
    std::size_t at = firstPatternAt;
    for (std::size_t p = 0; p < patterns; ++p) {
        at = align(at);
        patternAt[p] = at;
        at += 2 + packed[p].size();
    }
    const std::size_t sampleAt = align(at);
    std::vector<unsigned char> m(sampleAt + kSampleBytes, 0);
    auto put16 = [&](std::size_t i, std::size_t v) {
        m[i] = static_cast<unsigned char>(v & 0xFF);
        m[i + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    };
    auto put32 = [&](std::size_t i, std::size_t v) {
        put16(i, v & 0xFFFF);
        put16(i + 2, v >> 16);
    };

    putText(m, 0, "chromola test");
    m[28] = 0x1A;
    m[29] = 16;  // module type: ST3
    put16(32, orders);
    put16(34, 1);  // instruments
    put16(36, patterns);
    put16(40, 0x1320);  // made by ST 3.20
    put16(42, 2);       // samples are unsigned
    putText(m, 44, "SCRM");
    m[48] = 64;    // global volume
    m[49] = 6;     // initial speed (the first row sets the real one)
    m[50] = 125;   // tempo
    m[51] = 0xB0;  // stereo, master volume 48
    for (std::size_t c = 0; c < 32; ++c)
        m[64 + c] = c < 4 ? static_cast<unsigned char>(c) : 255;
    for (std::size_t o = 0; o < orders; ++o) {
        m[96 + o] = o < patterns ? static_cast<unsigned char>(o) : 255;  // 255: end marker
    }
    put16(96 + orders, instrumentAt / 16);
    for (std::size_t p = 0; p < patterns; ++p)
        put16(96 + orders + 2 + 2 * p, patternAt[p] / 16);

    // Instrument: a sample, its data pointer, length, loop over all of it,
    // volume 64, loop flag, middle C at 8363 Hz.
    const std::size_t ins = instrumentAt;
    m[ins] = 1;
    m[ins + 13] = static_cast<unsigned char>((sampleAt / 16) >> 16);
    put16(ins + 14, (sampleAt / 16) & 0xFFFF);
    put32(ins + 16, kSampleBytes);
    put32(ins + 24, kSampleBytes);
    m[ins + 28] = 64;
    m[ins + 31] = 1;
    put32(ins + 32, 8363);
    putText(m, ins + 48, "sine");
    putText(m, ins + 76, "SCRS");

    for (std::size_t p = 0; p < patterns; ++p) {
        put16(patternAt[p], packed[p].size() + 2);
        std::copy(packed[p].begin(), packed[p].end(),
                  m.begin() + static_cast<long>(patternAt[p] + 2));
    }
    for (std::size_t i = 0; i < kSampleBytes; ++i)
        m[sampleAt + i] = static_cast<unsigned char>(128 + sineSample(i));
    return writeBytes(path, m);
}

bool writeTruncatedCopy(const fs::path& source, const fs::path& path, std::uintmax_t keepBytes) {
    std::vector<unsigned char> bytes = readBytes(source);
    if (bytes.empty())
        return false;
    bytes.resize(std::min<std::uintmax_t>(keepBytes, bytes.size()));
    return writeBytes(path, bytes);
}

bool writeGarbage(const fs::path& path, std::size_t bytes, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<unsigned char> data(bytes);
    for (auto& b : data)
        b = static_cast<unsigned char>(random() & 0xFF);
    return writeBytes(path, data);
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
