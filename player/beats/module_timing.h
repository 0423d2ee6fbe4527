// The beats of a tracker module from its own timing, read from the decoding
// channel while the analysis decodes it: where every row of the song lasts
// as long as the others, the rows are the beat grid, exact to within a read.
//
// Contract
// - In: after every read, the frames decoded so far and the song's place as
//   of the last of them (order and row, as BASS_POS_MUSIC_ORDER gives it);
//   Read says when a row began within the read, and the caller then gives
//   that row's speed and tempo (RowPace; a failed call gives 0). A row is
//   placed between the read's first and last frame: reads of a few
//   milliseconds place every row to within their length. The song's first
//   place again ends it (libopenmpt goes back there after the last row).
// - Out (Finish): a grid when the speed and tempo never changed and the rows
//   were of one length (no pattern delay, no tempo slide): a beat at the
//   song's start, then one every RowsPerBeat rows, at the row starts of the
//   line that best fits the rows after the first (least squares), and the
//   tempo 60 / (RowsPerBeat * row length). Else none (and with fewer than two
//   beats of rows): the caller then keeps to the audio analysis for the whole
//   song.
// - Rows per beat: 4, the trackers' custom (libopenmpt 0.6 does not tell a
//   module's own), doubled while the tempo would be above kMaxBpm and halved
//   while below kMinBpm, the range of the audio analysis.
// - In the usual tempo mode a row lasts speed * 2.5 / tempo seconds, so at 4
//   rows a beat 6 * tempo / speed BPM. The grid measures the rows rather than
//   compute them: libopenmpt renders a tick in whole frames (at 44.1 kHz a
//   tempo of 137 goes at 137.13) and the song's first tick at the tempo
//   before the first row's (125 for a ProTracker module), and the formula
//   would drift from the sound by a few milliseconds a minute.
// - Memory: 16 bytes per row (~40 KB for 5 minutes at speed 6, tempo 125).
#pragma once

#include "beats/beat_grid.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace chromola::beats {

class ModuleTiming {
  public:
    explicit ModuleTiming(double sampleRate) : sampleRate_(sampleRate) {}
    // True when a row began in the read that brought the frames to `frames`.
    bool Read(std::int64_t frames, std::uint32_t place);
    void RowPace(float speed, float tempo);
    std::optional<BeatGrid> Finish() const;

  private:
    struct Row {
        std::int64_t first = 0;  // the row began at or after this frame
        std::int64_t last = 0;   // and at or before this one
    };
    double sampleRate_;
    std::vector<Row> rows_;
    std::int64_t frames_ = 0;
    std::optional<std::uint32_t> start_;  // the song's first place
    std::uint32_t place_ = 0;
    bool ended_ = false;
    float speed_ = 0.0f, tempo_ = 0.0f;
    bool steady_ = true;
};

}  // namespace chromola::beats
