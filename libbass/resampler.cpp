#include "resampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "error.h"
#include "lazy_library.h"

namespace chromola::audio {

namespace {

constexpr unsigned kChannels = 2;

struct Soxr {
    decltype(&soxr_io_spec) ioSpec;
    decltype(&soxr_quality_spec) qualitySpec;
    decltype(&soxr_runtime_spec) runtimeSpec;
    decltype(&soxr_create) create;
    decltype(&soxr_process) process;
    decltype(&soxr_clear) clear;
    decltype(&soxr_delete) destroy;
};

// Loaded with the first track that needs resampling (lazy_library.h).
const Soxr* soxr() {
    static const Soxr* const api =
        LoadLibraryApi<Soxr>("libsoxr.so.0", "playing of tracks whose rate is not the output's",
                             [](Soxr& f, auto& bind) {
                                 bind(f.ioSpec, "soxr_io_spec");
                                 bind(f.qualitySpec, "soxr_quality_spec");
                                 bind(f.runtimeSpec, "soxr_runtime_spec");
                                 bind(f.create, "soxr_create");
                                 bind(f.process, "soxr_process");
                                 bind(f.clear, "soxr_clear");
                                 bind(f.destroy, "soxr_delete");
                             });
    return api;
}

}  // namespace

void Resampler::Deleter::operator()(soxr_t s) const {
    soxr()->destroy(s);  // made only once the library was loaded
}

Resampler::Resampler(int inRate, int outRate)
    : ratio_(static_cast<double>(outRate) / static_cast<double>(inRate)) {
    if (inRate == outRate)
        return;
    const Soxr* api = soxr();
    if (api == nullptr)
        throw Error(BASS_ERROR_FORMAT);  // no track of another rate can be played
    soxr_io_spec_t io = api->ioSpec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    // High quality, and one thread: the decoder thread is ours already.
    soxr_quality_spec_t quality = api->qualitySpec(SOXR_HQ, 0);
    soxr_runtime_spec_t runtime = api->runtimeSpec(1);
    soxr_error_t err = nullptr;
    soxr_.reset(api->create(inRate, outRate, kChannels, &err, &io, &quality, &runtime));
    if (err || !soxr_)
        throw Error(BASS_ERROR_FORMAT);
}

std::size_t Resampler::maxOutput(std::size_t inFrames) const {
    return static_cast<std::size_t>(std::ceil(static_cast<double>(inFrames) * ratio_)) + 64;
}

std::size_t Resampler::process(const float* in, std::size_t inFrames, float* out,
                               std::size_t outCap) {
    if (!soxr_) {
        std::size_t n = std::min(inFrames, outCap);
        std::memcpy(out, in, n * kChannels * sizeof(float));
        return n;
    }
    std::size_t produced = 0;
    while (inFrames > 0 && produced < outCap) {
        std::size_t used = 0;
        std::size_t made = 0;
        soxr_error_t err = soxr()->process(soxr_.get(), in, inFrames, &used,
                                           out + produced * kChannels, outCap - produced, &made);
        if (err)
            break;
        in += used * kChannels;
        inFrames -= used;
        produced += made;
        if (used == 0 && made == 0)
            break;
    }
    return produced;
}

std::size_t Resampler::drain(float* out, std::size_t outCap) {
    if (!soxr_)
        return 0;
    std::size_t made = 0;
    if (soxr()->process(soxr_.get(), nullptr, 0, nullptr, out, outCap, &made))
        return 0;
    return made;
}

void Resampler::clear() {
    if (soxr_)
        soxr()->clear(soxr_.get());
}

}  // namespace chromola::audio
