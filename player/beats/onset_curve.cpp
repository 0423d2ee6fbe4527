#include "beats/onset_curve.h"

#include <kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace chromola::beats {

namespace {

constexpr double kTargetRate = 11025.0;
constexpr int kBins = OnsetCurve::kWindow / 2 + 1;
// Three bands an octave from the lowest bin up: the kick's fundamental keeps a
// band of its own, the hats share a few wide ones.
constexpr double kBandsPerOctave = 3.0;
// Besides the absolute floor, each bin's power gets 7 % of the
// running mean power per bin: a band that rises from near silence weighs by
// how loud it gets against the whole sound, not by its own ratio alone, so a
// faint hat counts less than a kick or a snare.
constexpr float kRelativeFloor = 0.07f;

kiss_fftr_cfg Config(std::vector<unsigned char>& state) {
    return reinterpret_cast<kiss_fftr_cfg>(state.data());
}

}  // namespace

double OnsetCurve::FloorLevel() {
    return std::pow(10.0, kFloorDbfs / 10.0);
}

OnsetCurve::OnsetCurve(double sampleRate, int hop)
    : decimation_(std::max(1, static_cast<int>(std::lround(sampleRate / kTargetRate)))),
      hop_(std::clamp(hop, 1, kWindow)),
      analysisRate_(sampleRate / decimation_),
      hopSeconds_(hop_ / analysisRate_),
      samples_(kWindow, 0.0f),
      window_(kWindow),
      work_(kWindow),
      bins_(2 * kBins),
      meanStep_(static_cast<float>(1.0 - std::exp(-hopSeconds_ / 1.0))) {
    double windowPower = 0.0;
    for (int n = 0; n < kWindow; ++n) {
        window_[n] =
            static_cast<float>(0.5 * (1.0 - std::cos(2.0 * std::numbers::pi * n / kWindow)));
        windowPower += window_[n] * window_[n];
    }
    int edge = 1;  // the DC bin holds no onset
    bandEdges_.push_back(edge);
    for (double upper = 1.0; edge < kBins;) {
        upper *= std::pow(2.0, 1.0 / kBandsPerOctave);
        const int next = std::min(kBins, std::max(edge + 1, static_cast<int>(std::lround(upper))));
        edge = next;
        bandEdges_.push_back(edge);
    }
    // A white noise of the floor's power in every bin, before the logarithm:
    // quieter sound barely moves the bands' logarithms.
    const double floorPerBin = FloorLevel() * windowPower;
    for (std::size_t b = 0; b + 1 < bandEdges_.size(); ++b) {
        bandFloor_.push_back(static_cast<float>(floorPerBin * (bandEdges_[b + 1] - bandEdges_[b])));
        previous_.push_back(std::log(bandFloor_.back()));
    }
    std::size_t size = 0;
    kiss_fftr_alloc(kWindow, 0, nullptr, &size);
    fft_.resize(size);
    if (kiss_fftr_alloc(kWindow, 0, fft_.data(), &size) == nullptr)
        fft_.clear();
}

OnsetCurve::~OnsetCurve() = default;

void OnsetCurve::Push(const float* samples, std::size_t count, std::vector<OnsetFrame>& out) {
    const float scale = 1.0f / static_cast<float>(decimation_);
    for (std::size_t i = 0; i < count; ++i) {
        // A box average before taking every decimation_-th sample: what folds
        // down from above the analysis band still marks the attack.
        sum_ += samples[i];
        if (++summed_ < decimation_)
            continue;
        const float value = static_cast<float>(sum_) * scale;
        sum_ = 0.0;
        summed_ = 0;
        samples_[kWindow - hop_ + filled_] = value;
        if (++filled_ == hop_) {
            Frame(out);
            std::memmove(samples_.data(), samples_.data() + hop_, (kWindow - hop_) * sizeof(float));
            filled_ = 0;
        }
    }
}

void OnsetCurve::Frame(std::vector<OnsetFrame>& out) {
    OnsetFrame frame;
    double energy = 0.0;
    for (int n = 0; n < kWindow; ++n) {
        energy += samples_[n] * samples_[n];
        work_[n] = samples_[n] * window_[n];
    }
    frame.level = static_cast<float>(energy / kWindow);
    if (fft_.empty()) {
        out.push_back(frame);
        return;
    }
    kiss_fftr(Config(fft_), work_.data(), reinterpret_cast<kiss_fft_cpx*>(bins_.data()));
    float flux = 0.0f;
    const float shared = kRelativeFloor * meanPower_;
    double total = 0.0;
    for (std::size_t b = 0; b + 1 < bandEdges_.size(); ++b) {
        float power = 0.0f;
        for (int k = bandEdges_[b]; k < bandEdges_[b + 1]; ++k)
            power += bins_[2 * k] * bins_[2 * k] + bins_[2 * k + 1] * bins_[2 * k + 1];
        total += power;
        power += bandFloor_[b] + shared * static_cast<float>(bandEdges_[b + 1] - bandEdges_[b]);
        const float logPower = std::log(power);
        flux += std::max(0.0f, logPower - previous_[b]);
        previous_[b] = logPower;
    }
    meanPower_ += meanStep_ * (static_cast<float>(total / (kBins - 1)) - meanPower_);
    frame.flux = flux;
    out.push_back(frame);
}

}  // namespace chromola::beats
