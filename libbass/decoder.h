// What a channel needs from a file format: float frames at the file's rate
// and channel count, a length, and seeking. Used from one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace chromola::audio {

// Where a tracker module's song is and how fast it goes, as of the last frame
// decoded.
struct MusicState {
    int order = 0;
    int row = 0;
    int speed = 0;  // ticks per row
    int tempo = 0;  // the tracker's tempo (in the usual mode a tick lasts 2.5 / tempo seconds)
};

class Decoder {
  public:
    virtual ~Decoder() = default;

    virtual int channels() const = 0;
    virtual int sampleRate() const = 0;
    // One pass through the file, in frames; -1 when the format cannot tell.
    virtual int64_t lengthFrames() const = 0;
    // Decodes up to frames interleaved frames into out; 0 at the end or when
    // the data stops making sense (a truncated or damaged file just ends).
    virtual std::size_t read(float* out, std::size_t frames) = 0;
    // Moves to frame; false when the format cannot go there.
    virtual bool seek(int64_t frame) = 0;
    // A module's; none for every other format.
    virtual std::optional<MusicState> musicState() const { return std::nullopt; }
};

}  // namespace chromola::audio
