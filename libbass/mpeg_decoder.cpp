#include "mpeg_decoder.h"

#include <mpg123.h>

#include <cstdio>

#include "error.h"
#include "mpeg_probe.h"

namespace chromola::audio {

namespace {

constexpr long kSeekPreFrames = 16;

mpg123_ssize_t readCallback(void* user, void* buffer, size_t bytes) {
    auto* c = static_cast<MpegDecoder::Cursor*>(user);
    std::size_t n = c->source->readAt(c->pos, buffer, bytes);
    c->pos += static_cast<int64_t>(n);
    return static_cast<mpg123_ssize_t>(n);
}

off_t seekCallback(void* user, off_t offset, int whence) {
    auto* c = static_cast<MpegDecoder::Cursor*>(user);
    int64_t base = whence == SEEK_CUR ? c->pos : whence == SEEK_END ? c->source->size() : 0;
    int64_t to = base + offset;
    if (to < 0)
        return -1;
    c->pos = to;
    return static_cast<off_t>(to);
}

}  // namespace

MpegDecoder::MpegDecoder(std::unique_ptr<ByteSource> source)
    : source_(std::move(source)), cursor_{source_.get()} {
    int error = MPG123_OK;
    // Owned from the first moment: a constructor that throws below must not
    // leak it.
    handle_.reset(mpg123_new(nullptr, &error));
    if (!handle_)
        throw Error(BASS_ERROR_MEM);
    // Quiet: a damaged file is reported through return codes, not stderr.
    // Gapless: lengths and positions exclude the encoder's padding.
    mpg123_param(handle_.get(), MPG123_ADD_FLAGS,
                 MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_FLOAT | MPG123_NO_FRANKENSTEIN, 0);
    mpg123_param(handle_.get(), MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0);
    // After a seek, layer III needs the frames before the target to refill
    // its bit reservoir; low-bitrate VBR files borrow across many frames, and
    // with too few the first seconds after a seek decode as silence or noise.
    mpg123_param(handle_.get(), MPG123_PREFRAMES, kSeekPreFrames, 0);
    if (mpg123_replace_reader_handle(handle_.get(), readCallback, seekCallback, nullptr) !=
            MPG123_OK ||
        mpg123_open_handle(handle_.get(), &cursor_) != MPG123_OK) {
        throw Error(BASS_ERROR_FILEFORM);
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_getformat(handle_.get(), &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        channels < 1 || channels > 2) {
        throw Error(BASS_ERROR_FILEFORM);
    }
    // Keep the first format for the whole file: positions are counted in it.
    mpg123_format_none(handle_.get());
    if (mpg123_format(handle_.get(), rate, channels, MPG123_ENC_FLOAT_32) != MPG123_OK) {
        throw Error(BASS_ERROR_FILEFORM);
    }
    rate_ = static_cast<int>(rate);
    channels_ = channels;
    // A header that states the length gives it at once; without one, a pass
    // over the frame headers (no decoding) gives an exact length. Either way
    // seeks are sample-accurate: libmpg123 indexes the frames as it reads
    // them, and reads frame headers forward to a place it has not indexed
    // yet.
    if (!statesItsLength(*source_))
        mpg123_scan(handle_.get());
    const off_t length = mpg123_length(handle_.get());
    length_ = length >= 0 ? static_cast<int64_t>(length) : -1;
}

void MpegDecoder::HandleDeleter::operator()(mpg123_handle_struct* h) const {
    mpg123_close(h);
    mpg123_delete(h);
}

MpegDecoder::~MpegDecoder() = default;

std::size_t MpegDecoder::read(float* out, std::size_t frames) {
    if (ended_)
        return 0;
    const std::size_t frameBytes = static_cast<std::size_t>(channels_) * sizeof(float);
    std::size_t done = 0;
    while (done < frames) {
        std::size_t got = 0;
        int r = mpg123_read(handle_.get(), reinterpret_cast<unsigned char*>(out + done * channels_),
                            (frames - done) * frameBytes, &got);
        done += got / frameBytes;
        if (r == MPG123_NEW_FORMAT)
            continue;  // same format, enforced above
        if (r != MPG123_OK) {
            // MPG123_DONE at the end; anything else is damage: the data ends.
            if (got == 0)
                ended_ = true;
            break;
        }
        if (got == 0)
            break;
    }
    return done;
}

bool MpegDecoder::seek(int64_t frame) {
    ended_ = false;
    return mpg123_seek(handle_.get(), static_cast<off_t>(frame), SEEK_SET) ==
           static_cast<off_t>(frame);
}

}  // namespace chromola::audio
