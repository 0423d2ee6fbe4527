// Onset strength of a mono signal: how much sound starts in each short frame.
// Shared by the analysis of whole files and the live tracker, so both hear a
// beat the same way.
//
// Contract
// - In: mono float samples (full scale = 1.0) at the rate given to the
//   constructor, in blocks of any size (Push may be called with 0 samples).
// - Out: one OnsetFrame per hop of the analysis rate. The signal is first
//   reduced to about 11-12 kHz (a whole-number decimation of the input rate:
//   an onset lives in its attack, which that band keeps), then a 256-point
//   Hann frame is taken every hop, its power summed over log-spaced bands,
//   and the flux is the sum over bands of the half-wave rectified rise of the
//   bands' log power since the previous frame.
// - Frame k (0-based) ends at input time (k + 1) * HopSeconds(): its newest
//   sample. A click's flux peaks kPeakDelaySeconds after the click itself.
// - Sound below the floor (kFloorDbfs RMS) adds almost nothing to the flux:
//   the floor is added to every band's power before the logarithm.
// Not thread-safe; one object per stream.
#pragma once

#include <cstddef>
#include <vector>

namespace chromola::beats {

struct OnsetFrame {
    float flux = 0.0f;   // >= 0, in natural-log units summed over bands
    float level = 0.0f;  // mean square of the frame's samples (full scale sine: 0.5)
};

class OnsetCurve {
  public:
    static constexpr int kWindow = 256;
    // Signals quieter than this RMS count as silence: no onsets, no beats.
    static constexpr double kFloorDbfs = -60.0;
    // From a click to the peak of its flux (measured on click tracks).
    static constexpr double kPeakDelaySeconds = 0.005;

    // hop: frames of the analysis rate between two onset frames (64 gives
    // ~5.8 ms at 44.1 kHz input, 128 ~10.7 ms at 48 kHz).
    OnsetCurve(double sampleRate, int hop);
    ~OnsetCurve();
    OnsetCurve(const OnsetCurve&) = delete;
    OnsetCurve& operator=(const OnsetCurve&) = delete;

    // Appends the frames that the new samples complete to `out`.
    void Push(const float* samples, std::size_t count, std::vector<OnsetFrame>& out);

    double AnalysisRate() const { return analysisRate_; }
    double HopSeconds() const { return hopSeconds_; }
    // The mean square matching kFloorDbfs, for comparing with OnsetFrame::level.
    static double FloorLevel();

  private:
    void Frame(std::vector<OnsetFrame>& out);

    int decimation_;
    int hop_;
    double analysisRate_;
    double hopSeconds_;
    double sum_ = 0.0;
    int summed_ = 0;
    int filled_ = 0;                  // new analysis samples since the last frame
    std::vector<float> samples_;      // the last kWindow analysis samples
    std::vector<float> window_;       // Hann
    std::vector<float> work_;         // windowed frame
    std::vector<float> bins_;         // FFT output, re/im pairs
    std::vector<int> bandEdges_;      // first bin of each band, then one past the last
    std::vector<float> bandFloor_;    // power added to each band before the logarithm
    std::vector<float> previous_;     // each band's log power in the last frame
    std::vector<unsigned char> fft_;  // KissFFT configuration
    float meanStep_;
    float meanPower_ = 0.0f;  // running mean of the power per bin
};

}  // namespace chromola::beats
