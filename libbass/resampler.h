// Stereo float resampling from a channel's rate to the output's rate
// (libsoxr). Output is delay-compensated: the first output frame lines up with
// the first input frame, so positions map by the plain rate ratio. libsoxr is
// loaded with the first resampler that has work to do (lazy_library.h).
#pragma once

#include <cstddef>
#include <memory>

#include <soxr.h>

namespace chromola::audio {

class Resampler {
  public:
    Resampler(int inRate, int outRate);

    bool passthrough() const { return !soxr_; }
    double ratio() const { return ratio_; }
    // Output frames that inFrames of input can produce at most.
    std::size_t maxOutput(std::size_t inFrames) const;

    // Consumes all inFrames (stereo interleaved) and returns frames written to
    // out, which must hold maxOutput(inFrames).
    std::size_t process(const float* in, std::size_t inFrames, float* out, std::size_t outCap);
    // After the last input: returns the next part of the filter's tail, 0 once
    // it is drained.
    std::size_t drain(float* out, std::size_t outCap);
    // Forgets all state (after a seek).
    void clear();

  private:
    struct Deleter {
        void operator()(soxr_t s) const;
    };
    std::unique_ptr<soxr, Deleter> soxr_;
    double ratio_;
};

}  // namespace chromola::audio
