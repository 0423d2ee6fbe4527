#include "audio_fixtures.h"

#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numbers>
#include <utility>

namespace chromola::testing {

namespace fs = std::filesystem;

namespace {

// Per format, in the order of the enumeration: extension and libsndfile
// format (0: not through libsndfile).
constexpr std::pair<const char*, int> kFormats[] = {
    {"wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    {"aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16},
    {"flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
    {"ogg", SF_FORMAT_OGG | SF_FORMAT_OPUS},
    {"mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    {"mp2", 0}};
static_assert(std::size(kFormats) == static_cast<std::size_t>(AudioFormat::Mp2) + 1);

}  // namespace

std::string extensionOf(AudioFormat format) {
    return kFormats[static_cast<int>(format)].first;
}

std::vector<float> samplesOf(const Tone& tone) {
    const auto frames = static_cast<std::size_t>(std::llround(tone.seconds * tone.rate));
    std::vector<float> data(frames * static_cast<std::size_t>(tone.channels), 0.0f);
    for (std::size_t f = 0; f < frames; ++f) {
        const double v = tone.amplitude * std::sin(2.0 * std::numbers::pi * tone.frequency *
                                                   static_cast<double>(f) / tone.rate);
        for (int c = 0; c < (tone.leftOnly ? 1 : tone.channels); ++c)
            data[f * static_cast<std::size_t>(tone.channels) + c] = static_cast<float>(v);
    }
    return data;
}

bool writeSamples(const fs::path& path, AudioFormat format, const std::vector<float>& samples,
                  int rate, int channels) {
    if (format == AudioFormat::Mp2) {
        // MPEG layer II: libsndfile writes layer III only, so twolame encodes
        // a WAV. The paths are the tests' own, in a temporary folder: no quote
        // in them.
        fs::path wav = path;
        wav += ".source.wav";
        const bool ok = writeSamples(wav, AudioFormat::Wav, samples, rate, channels) &&
                        std::system(("twolame --quiet -b 192 '" + wav.string() + "' '" +
                                     path.string() + "' >/dev/null 2>&1")
                                        .c_str()) == 0;
        std::remove(wav.c_str());
        return ok && fs::exists(path);
    }
    SF_INFO info{0, rate, channels, kFormats[static_cast<int>(format)].second, 0, 0};
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file)
        return false;
    // Full-scale floats would wrap when converted to 16-bit integers.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const auto frames = static_cast<sf_count_t>(samples.size()) / channels;
    const sf_count_t written = sf_writef_float(file, samples.data(), frames);
    return sf_close(file) == 0 && written == frames;
}

bool writeTone(const fs::path& path, AudioFormat format, const Tone& tone) {
    return tone.seconds >= 0 &&
           writeSamples(path, format, samplesOf(tone), tone.rate, tone.channels);
}

double moduleSeconds(const ModuleSpec& song) {
    // 64 rows x speed ticks x 2.5 / tempo seconds per tick.
    const int ticks = song.laterSpeed != 0 ? 32 * (song.speed + song.laterSpeed) : 64 * song.speed;
    return song.patterns * ticks * 2.5 / song.tempo;
}

bool writeProTrackerModule(const fs::path& path, const ModuleSpec& song) {
    // Title (20 bytes), 31 sample headers, song length, restart position,
    // order list (all pattern 0) and "M.K.", then the one pattern of 64 rows
    // of 4 channels, then the samples.
    constexpr std::size_t kHeader = 1084, kPattern = 64 * 4 * 4, kSampleBytes = 64,
                          kClickBytes = 128;
    std::vector<unsigned char> m(kHeader + kPattern + kSampleBytes + kClickBytes, 0);
    const auto put = [&](std::size_t at, std::size_t word) {  // big-endian
        m[at] = static_cast<unsigned char>(word >> 8);
        m[at + 1] = static_cast<unsigned char>(word);
    };
    // Sample headers from offset 20, 30 bytes each: name (22), length in
    // words, finetune, volume, loop start and loop length in words. Sample 1
    // loops over all of it; sample 2, the click, plays once; the other 29 are
    // empty. A loop length of 1 is the customary "no loop".
    put(42, kSampleBytes / 2);
    m[45] = 64;
    put(72, kClickBytes / 2);
    m[75] = 64;
    for (std::size_t i = 0; i < 31; ++i)
        put(48 + i * 30, i == 0 ? kSampleBytes / 2 : 1);
    m[950] = static_cast<unsigned char>(song.patterns);
    m[951] = 127;
    std::copy_n("M.K.", 4, m.begin() + 1080);
    // A cell: the sample number's high bits and the period (C, 428), then the
    // sample's low bits with the effect, and the effect's parameter. Effect F
    // sets the speed below 32, the tempo from 32 on.
    const auto cell = [&](int row, int channel, int sample, int effect, int parameter) {
        const auto at = kHeader + static_cast<std::size_t>(row * 16 + channel * 4);
        if (sample != 0)
            put(at, 428);
        m[at + 2] = static_cast<unsigned char>(sample << 4 | effect);
        m[at + 3] = static_cast<unsigned char>(parameter);
    };
    // The looped sample sounds on to the song's end; clicks come on their rows.
    cell(0, 0, song.clickRows != 0 ? 2 : 1, 0xF, song.speed);
    if (song.tempo != 125)
        cell(0, 1, 0, 0xF, song.tempo);
    if (song.laterSpeed != 0)
        cell(32, 1, 0, 0xF, song.laterSpeed);
    for (int row = song.clickRows; song.clickRows != 0 && row < 64;) {
        cell(row, 0, 2, 0, 0);
        row += row < 32 || song.laterSpeed == 0 ? song.clickRows
                                                : song.clickRows * song.speed / song.laterSpeed;
    }
    // One cycle of a sine in signed 8-bit samples, peak 100; the click, a
    // square wave of 8-byte cycles fading out.
    for (std::size_t i = 0; i < kSampleBytes; ++i)
        m[kHeader + kPattern + i] = static_cast<unsigned char>(std::lround(
            100 * std::sin(2.0 * std::numbers::pi * static_cast<double>(i) / kSampleBytes)));
    for (std::size_t i = 0; i < kClickBytes; ++i)
        m[kHeader + kPattern + kSampleBytes + i] = static_cast<unsigned char>(
            (i % 8 < 4 ? 1 : -1) * static_cast<int>(100 - i * 100 / kClickBytes));
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
