#include "module_decoder.h"

#include <cmath>

#include <libopenmpt/libopenmpt.h>

#include "error.h"
#include "lazy_library.h"

namespace chromola::audio {

namespace {

// libopenmpt, loaded with the first module: most playlists hold none, and
// loading it and the libraries it needs takes a third of the library's own
// loading time. Null when it cannot be loaded.
struct Openmpt {
    decltype(&openmpt_module_create_from_memory2) createFromMemory2;
    decltype(&openmpt_log_func_silent) logFuncSilent;
    decltype(&openmpt_error_func_ignore) errorFuncIgnore;
    decltype(&openmpt_module_set_repeat_count) setRepeatCount;
    decltype(&openmpt_module_set_render_param) setRenderParam;
    decltype(&openmpt_module_get_duration_seconds) getDurationSeconds;
    decltype(&openmpt_module_destroy) destroy;
    decltype(&openmpt_module_read_interleaved_float_stereo) readInterleavedFloatStereo;
    decltype(&openmpt_module_set_position_seconds) setPositionSeconds;
    decltype(&openmpt_module_get_current_order) getCurrentOrder;
    decltype(&openmpt_module_get_current_row) getCurrentRow;
    decltype(&openmpt_module_get_current_speed) getCurrentSpeed;
    decltype(&openmpt_module_get_current_tempo) getCurrentTempo;
};

const Openmpt* openmpt() {
    static const Openmpt* const api =
        LoadLibraryApi<Openmpt>("libopenmpt.so.0", "tracker modules", [](Openmpt& f, auto& bind) {
            bind(f.createFromMemory2, "openmpt_module_create_from_memory2");
            bind(f.logFuncSilent, "openmpt_log_func_silent");
            bind(f.errorFuncIgnore, "openmpt_error_func_ignore");
            bind(f.setRepeatCount, "openmpt_module_set_repeat_count");
            bind(f.setRenderParam, "openmpt_module_set_render_param");
            bind(f.getDurationSeconds, "openmpt_module_get_duration_seconds");
            bind(f.destroy, "openmpt_module_destroy");
            bind(f.readInterleavedFloatStereo, "openmpt_module_read_interleaved_float_stereo");
            bind(f.setPositionSeconds, "openmpt_module_set_position_seconds");
            bind(f.getCurrentOrder, "openmpt_module_get_current_order");
            bind(f.getCurrentRow, "openmpt_module_get_current_row");
            bind(f.getCurrentSpeed, "openmpt_module_get_current_speed");
            bind(f.getCurrentTempo, "openmpt_module_get_current_tempo");
        });
    return api;
}

}  // namespace

ModuleDecoder::ModuleDecoder(std::unique_ptr<ByteSource> source, const ModuleOptions& options)
    : rate_(options.rate) {
    std::vector<unsigned char> bytes = source->readAll(kMaxFileBytes);
    if (bytes.empty())
        throw Error(BASS_ERROR_FILEFORM);
    const Openmpt* mpt = openmpt();
    if (mpt == nullptr)
        throw Error(BASS_ERROR_FILEFORM);  // no module can be played at all
    int error = 0;
    // libopenmpt logs to stderr by default; a player has no console to talk to.
    module_ = mpt->createFromMemory2(bytes.data(), bytes.size(), mpt->logFuncSilent, nullptr,
                                     mpt->errorFuncIgnore, nullptr, &error, nullptr, nullptr);
    if (!module_) {
        throw Error(error == OPENMPT_ERROR_OUT_OF_MEMORY ? BASS_ERROR_MEM : BASS_ERROR_FILEFORM);
    }
    mpt->setRepeatCount(module_, options.loop ? -1 : 0);
    mpt->setRenderParam(module_, OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH,
                        options.volumeRamping ? -1 : 0);
    double seconds = mpt->getDurationSeconds(module_);
    if (!std::isfinite(seconds) || seconds < 0)
        seconds = 0;
    length_ = std::llround(seconds * rate_);
}

ModuleDecoder::~ModuleDecoder() {
    if (module_)
        openmpt()->destroy(module_);
}

std::size_t ModuleDecoder::read(float* out, std::size_t frames) {
    return openmpt()->readInterleavedFloatStereo(module_, rate_, frames, out);
}

bool ModuleDecoder::seek(int64_t frame) {
    openmpt()->setPositionSeconds(module_, static_cast<double>(frame) / rate_);
    return true;
}

std::optional<MusicState> ModuleDecoder::musicState() const {
    const Openmpt* mpt = openmpt();
    return MusicState{mpt->getCurrentOrder(module_), mpt->getCurrentRow(module_),
                      mpt->getCurrentSpeed(module_), mpt->getCurrentTempo(module_)};
}

}  // namespace chromola::audio
