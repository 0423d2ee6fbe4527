// libFuzzer target: arbitrary bytes opened the two ways the player opens a
// file, as a stream and as a module, then read, seeked and read again.
// Whatever the bytes, the decoders must refuse them with an Error or decode
// them without crashing, hanging or reading out of bounds.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_source.h"
#include "error.h"
#include "module_decoder.h"
#include "stream_decoder.h"

namespace {

using namespace chromola::audio;

// Bounded work per input: a second or so of audio, in blocks.
constexpr std::size_t kBlockFrames = 1024;
constexpr int kMaxBlocks = 48;

void exercise(Decoder& decoder) {
    std::vector<float> buffer(kBlockFrames * static_cast<std::size_t>(decoder.channels()));
    for (int i = 0; i < kMaxBlocks && decoder.read(buffer.data(), kBlockFrames) > 0; ++i) {
    }
    const int64_t length = decoder.lengthFrames();
    if (length > 0 && decoder.seek(length / 2)) {
        for (int i = 0; i < 4 && decoder.read(buffer.data(), kBlockFrames) > 0; ++i) {
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    try {
        auto stream = openStreamDecoder(copyMemorySource(data, size));
        exercise(*stream);
    } catch (const Error&) {
    }
    try {
        ModuleOptions options;
        options.rate = 22050;
        ModuleDecoder module(copyMemorySource(data, size), options);
        exercise(module);
    } catch (const Error&) {
    }
    return 0;
}
