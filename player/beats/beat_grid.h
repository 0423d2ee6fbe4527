// The beats of a whole recording, found after it has all been heard: the
// analysis that a background thread runs on a decoded file.
//
// Contract
// - In: mono float samples (full scale 1.0) at `sampleRate`, pushed in blocks
//   of any size, in order, from the start of the recording.
// - Out (Finish): the beat times in seconds from the first sample, ascending,
//   and the tempo in beats per minute (the median beat interval). No beats and
//   a tempo of 0 for silence and for sound under the floor
//   (OnsetCurve::kFloorDbfs); no beats in a silent stretch inside a recording
//   (between onsets more than 4.5 beats apart). Steady noise above the floor
//   is not told from music and may give beats (a known limit).
// - How: an onset curve (OnsetCurve, hop ~5.8 ms), its autocorrelation under a
//   broad tempo prior (ChooseTempo), a local tempo every 2 s so that a tempo
//   may drift, the beats by dynamic programming over the curve (Ellis,
//   "Beat tracking by dynamic programming", 2007) for each candidate tempo
//   (the autocorrelation's peaks, their halves, doubles, 2/3 and 3/2), the
//   chain that best explains the onsets when each beat pays a toll
//   (kBeatToll, tempo.h), each beat then moved onto the peak of the onset
//   under it.
// - Memory: the samples are not kept; 8 bytes per onset frame while pushing
//   (~1.4 KB a second), about 40 bytes per frame during Finish (~2 MB for a
//   5-minute track). Cost: about 40 ms of one core per minute of 44.1 kHz
//   sound.
#pragma once

#include "beats/onset_curve.h"

#include <cstddef>
#include <span>
#include <vector>

namespace chromola::beats {

struct BeatGrid {
    double bpm = 0.0;
    std::vector<double> beats;  // seconds
};

class FileBeatAnalysis {
  public:
    explicit FileBeatAnalysis(double sampleRate);
    void Push(const float* mono, std::size_t count);
    // The beats of everything pushed so far; the object is left empty.
    BeatGrid Finish();

  private:
    OnsetCurve curve_;
    std::vector<OnsetFrame> frames_;
};

BeatGrid AnalyseBeats(std::span<const float> mono, double sampleRate);

}  // namespace chromola::beats
