// The bytes a decoder reads: a range of a file, read with pread on a
// descriptor opened once (so deleting the file while it plays changes nothing,
// and truncating it merely ends the data), or a private copy of a memory block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace chromola::audio {

class ByteSource {
  public:
    virtual ~ByteSource() = default;
    virtual int64_t size() const = 0;
    // Reads up to n bytes at pos; fewer (or 0) at the end or on a read error.
    virtual std::size_t readAt(int64_t pos, void* dst, std::size_t n) = 0;

    // Reads everything, refusing sources larger than maxBytes (FILEFORM).
    std::vector<unsigned char> readAll(int64_t maxBytes);
};

// Throws Error(FILEOPEN) for a missing, unreadable or non-regular file.
// length 0 means "to the end of the file".
std::unique_ptr<ByteSource> openFileSource(const std::string& utf8Path, uint64_t offset,
                                           uint64_t length);
std::unique_ptr<ByteSource> copyMemorySource(const void* data, uint64_t length);

}  // namespace chromola::audio
