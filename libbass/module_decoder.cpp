#include "module_decoder.h"

#include <cmath>

#include <libopenmpt/libopenmpt.h>

#include "error.h"

namespace chromola::audio {

ModuleDecoder::ModuleDecoder(std::unique_ptr<ByteSource> source, const ModuleOptions& options)
    : rate_(options.rate) {
    std::vector<unsigned char> bytes = source->readAll(kMaxFileBytes);
    if (bytes.empty())
        throw Error(BASS_ERROR_FILEFORM);
    int error = 0;
    // libopenmpt logs to stderr by default; a player has no console to talk to.
    module_ = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore,
        nullptr, &error, nullptr, nullptr);
    if (!module_) {
        throw Error(error == OPENMPT_ERROR_OUT_OF_MEMORY ? BASS_ERROR_MEM : BASS_ERROR_FILEFORM);
    }
    openmpt_module_set_repeat_count(module_, options.loop ? -1 : 0);
    openmpt_module_set_render_param(module_, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                                    options.volumeRamping ? -1 : 0);
    double seconds = openmpt_module_get_duration_seconds(module_);
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    length_ = std::llround(seconds * rate_);
}

ModuleDecoder::~ModuleDecoder() {
    if (module_)
        openmpt_module_destroy(module_);
}

std::size_t ModuleDecoder::read(float* out, std::size_t frames) {
    return openmpt_module_read_interleaved_float_stereo(module_, rate_, frames, out);
}

bool ModuleDecoder::seek(int64_t frame) {
    openmpt_module_set_position_seconds(module_, static_cast<double>(frame) / rate_);
    return true;
}

}  // namespace chromola::audio
