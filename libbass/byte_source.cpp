#include "byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "error.h"

namespace chromola::audio {

namespace {

// Reads ahead: decoders ask for a few bytes at a time (mpg123 a frame header,
// then the frame), so small reads are served from a block read at once, and
// a file plays with a read call every second or so instead of several per
// frame. Reads of a block or more go straight to the file.
class FileSource final : public ByteSource {
  public:
    static constexpr std::size_t kBlockBytes = 64 * 1024;

    FileSource(int fd, int64_t base, int64_t size) : fd_(fd), base_(base), size_(size) {}
    ~FileSource() override { ::close(fd_); }
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    int64_t size() const override { return size_; }

    std::size_t readAt(int64_t pos, void* dst, std::size_t n) override {
        if (pos < 0 || pos >= size_)
            return 0;
        n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - pos));
        auto* out = static_cast<char*>(dst);
        std::size_t done = 0;
        while (done < n) {
            const int64_t at = pos + static_cast<int64_t>(done);
            if (at >= blockPos_ && at < blockPos_ + static_cast<int64_t>(blockLength_)) {
                const auto from = static_cast<std::size_t>(at - blockPos_);
                const std::size_t take = std::min(n - done, blockLength_ - from);
                std::memcpy(out + done, block_.data() + from, take);
                done += take;
                continue;
            }
            if (n - done >= kBlockBytes) {
                done += readFile(at, out + done, n - done);
                break;
            }
            block_.resize(kBlockBytes);
            blockPos_ = at;
            blockLength_ = readFile(at, block_.data(), kBlockBytes);
            if (blockLength_ == 0)
                break;  // truncated under us, or an I/O error: the data ends here
        }
        return done;
    }

  private:
    // Up to n bytes at pos, fewer where the file ends early.
    std::size_t readFile(int64_t pos, char* dst, std::size_t n) {
        n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), size_ - pos));
        std::size_t done = 0;
        while (done < n) {
            ssize_t r =
                ::pread(fd_, dst + done, n - done, base_ + pos + static_cast<int64_t>(done));
            if (r < 0 && errno == EINTR)
                continue;
            if (r <= 0)
                break;  // truncated under us, or an I/O error: the data ends here
            done += static_cast<std::size_t>(r);
        }
        return done;
    }

    int fd_;
    int64_t base_;
    int64_t size_;
    std::vector<char> block_;  // the file's bytes from blockPos_, blockLength_ of them
    int64_t blockPos_ = 0;
    std::size_t blockLength_ = 0;
};

class MemorySource final : public ByteSource {
  public:
    MemorySource(const void* data, uint64_t length)
        : bytes_(static_cast<const unsigned char*>(data),
                 static_cast<const unsigned char*>(data) + length) {}

    int64_t size() const override { return static_cast<int64_t>(bytes_.size()); }

    std::size_t readAt(int64_t pos, void* dst, std::size_t n) override {
        if (pos < 0 || pos >= size())
            return 0;
        n = std::min(n, bytes_.size() - static_cast<std::size_t>(pos));
        std::memcpy(dst, bytes_.data() + pos, n);
        return n;
    }

  private:
    std::vector<unsigned char> bytes_;
};

}  // namespace

std::vector<unsigned char> ByteSource::readAll(int64_t maxBytes) {
    if (size() > maxBytes)
        throw Error(BASS_ERROR_FILEFORM);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size()));
    bytes.resize(readAt(0, bytes.data(), bytes.size()));
    return bytes;
}

std::unique_ptr<ByteSource> openFileSource(const std::string& utf8Path, uint64_t offset,
                                           uint64_t length) {
    if (utf8Path.empty())
        throw Error(BASS_ERROR_FILEOPEN);
    int fd = ::open(utf8Path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        throw Error(BASS_ERROR_FILEOPEN);
    struct stat st {};
    // Folders, FIFOs and devices are not files to play (a FIFO would also block).
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw Error(BASS_ERROR_FILEOPEN);
    }
    int64_t size = st.st_size;
    if (offset > static_cast<uint64_t>(size)) {
        ::close(fd);
        throw Error(BASS_ERROR_FILEOPEN);
    }
    size -= static_cast<int64_t>(offset);
    if (length != 0)
        size = std::min<int64_t>(size, static_cast<int64_t>(length));
    // A read that fails at once (EACCES is already caught by open; EIO, a
    // file on a broken mount) counts as unreadable, not as a bad format.
    if (size > 0) {
        char probe = 0;
        ssize_t r;
        do {
            r = ::pread(fd, &probe, 1, static_cast<off_t>(offset));
        } while (r < 0 && errno == EINTR);
        if (r < 0) {
            ::close(fd);
            throw Error(BASS_ERROR_FILEOPEN);
        }
    }
    try {
        return std::make_unique<FileSource>(fd, static_cast<int64_t>(offset), size);
    } catch (...) {
        ::close(fd);
        throw;
    }
}

std::unique_ptr<ByteSource> copyMemorySource(const void* data, uint64_t length) {
    if (!data || length == 0)
        throw Error(BASS_ERROR_ILLPARAM);
    return std::make_unique<MemorySource>(data, length);
}

}  // namespace chromola::audio
