// Writers of the audio files that tests play: sine tones and silence in the
// streamed formats (through libsndfile) and a small tracker module built byte
// by byte. Every writer returns false (never throws) when the file could not
// be made, so a test can skip with a reason.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace chromola::testing {

enum class AudioFormat { Wav, Aiff, Flac, OggVorbis, OggOpus, Mp3, Mp2 };

// File name extension for a format, without the dot ("wav", "ogg", ...).
std::string extensionOf(AudioFormat format);

struct Tone {
    double frequency = 440.0;  // Hz
    double amplitude = 0.5;    // peak, 1.0 = full scale
    int rate = 44100;          // frames per second
    int channels = 2;
    double seconds = 1.0;
    bool leftOnly = false;  // the tone in channel 0 only, the others silent
};

// The tone's frames, channels interleaved.
std::vector<float> samplesOf(const Tone& tone);

// Writes interleaved frames. Mp2 goes through the `twolame` encoder (false
// when it is not installed); everything else through libsndfile. Opus accepts
// 48000 Hz (and 8/12/16/24 kHz) only.
bool writeSamples(const std::filesystem::path& path, AudioFormat format,
                  const std::vector<float>& samples, int rate, int channels);
bool writeTone(const std::filesystem::path& path, AudioFormat format, const Tone& tone);

struct ModuleSpec {
    int speed = 6;  // 1..31 ticks per row at 125 BPM: one pattern of 64 rows lasts speed * 1.28 s
    int patterns = 1;   // 1..127: the song's length in patterns, every one the same
    int tempo = 125;    // 32..255: a tick lasts 2.5 / tempo seconds
    int clickRows = 0;  // 0: one long note; else a short click every that many rows
    // 0: none; else the speed from row 32 of each pattern on, where the
    // clicks come every clickRows * speed / laterSpeed rows, keeping their pace.
    int laterSpeed = 0;
};

// A 4-channel ProTracker module ("M.K."): one looped sample and one note, or
// clicks of a short sample. The first row sets the speed and tempo.
bool writeProTrackerModule(const std::filesystem::path& path, const ModuleSpec& song = {});
// About (libopenmpt rounds a tick to whole frames): for the one long note,
// patterns * speed * 1.28 seconds.
double moduleSeconds(const ModuleSpec& song);

bool writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);
std::vector<unsigned char> readBytes(const std::filesystem::path& path);

// A fresh empty folder under the system's temporary folder, removed with the
// object.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

}  // namespace chromola::testing
