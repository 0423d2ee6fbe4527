#include "stream_decoder.h"

#include <algorithm>

#include "error.h"
#include "mpeg_decoder.h"
#include "mpeg_probe.h"

namespace chromola::audio {

namespace {

// libsndfile reads through these, so the same code serves files and memory.
sf_count_t vioLength(void* user) {
    return static_cast<SourceCursor*>(user)->source->size();
}

sf_count_t vioSeek(sf_count_t offset, int whence, void* user) {
    auto* c = static_cast<SourceCursor*>(user);
    int64_t base = whence == SEEK_CUR ? c->pos : whence == SEEK_END ? c->source->size() : 0;
    int64_t to = base + offset;
    if (to < 0)
        return -1;
    c->pos = to;
    return to;
}

sf_count_t vioRead(void* ptr, sf_count_t count, void* user) {
    auto* c = static_cast<SourceCursor*>(user);
    if (count <= 0)
        return 0;
    std::size_t n = c->source->readAt(c->pos, ptr, static_cast<std::size_t>(count));
    c->pos += static_cast<int64_t>(n);
    return static_cast<sf_count_t>(n);
}

sf_count_t vioWrite(const void*, sf_count_t, void*) {
    return 0;
}

sf_count_t vioTell(void* user) {
    return static_cast<SourceCursor*>(user)->pos;
}

SF_VIRTUAL_IO kVirtualIo = {vioLength, vioSeek, vioRead, vioWrite, vioTell};

}  // namespace

StreamDecoder::StreamDecoder(std::unique_ptr<ByteSource> source)
    : source_(std::move(source)), cursor_{source_.get()} {
    if (source_->size() <= 0)
        throw Error(BASS_ERROR_FILEFORM);
    file_ = sf_open_virtual(&kVirtualIo, SFM_READ, &info_, &cursor_);
    if (!file_)
        throw Error(BASS_ERROR_FILEFORM);
    // MPEG that the probe turned away is not decoded here either: libsndfile
    // would hand it to libmpg123 in its noisy default mode.
    if ((info_.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG || info_.channels < 1 ||
        info_.channels > kMaxChannels || info_.samplerate < kMinRate ||
        info_.samplerate > kMaxRate) {
        sf_close(file_);
        file_ = nullptr;
        throw Error(BASS_ERROR_FILEFORM);
    }
}

StreamDecoder::~StreamDecoder() {
    if (file_)
        sf_close(file_);
}

int64_t StreamDecoder::lengthFrames() const {
    // libsndfile reports SF_COUNT_MAX-like values when a format has no length.
    if (info_.frames < 0 || info_.frames >= (int64_t{1} << 48))
        return -1;
    return info_.frames;
}

std::size_t StreamDecoder::read(float* out, std::size_t frames) {
    sf_count_t got = sf_readf_float(file_, out, static_cast<sf_count_t>(frames));
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

bool StreamDecoder::seek(int64_t frame) {
    return sf_seek(file_, static_cast<sf_count_t>(frame), SEEK_SET) == frame;
}

std::unique_ptr<Decoder> openStreamDecoder(std::unique_ptr<ByteSource> source) {
    if (source->size() <= 0) {
        throw Error(BASS_ERROR_FILEFORM);
    }
    if (looksLikeMpegAudio(*source)) {
        return std::make_unique<MpegDecoder>(std::move(source));
    }
    // Damaged or odd MPEG data that the probe turned away is not worth the
    // noise libsndfile's own MPEG path would make on stderr.
    if (startsLikeMpegAudio(*source)) {
        throw Error(BASS_ERROR_FILEFORM);
    }
    return std::make_unique<StreamDecoder>(std::move(source));
}

}  // namespace chromola::audio
