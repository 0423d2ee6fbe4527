#pragma once

#include <string>

namespace chromola::audio {

// Converts a NUL-terminated UTF-16 (host order, little-endian here) path to
// UTF-8. Throws Error(FILEOPEN) for an unpaired surrogate: no file can have
// that name on a UTF-8 file system.
std::string utf16PathToUtf8(const void* text);

}  // namespace chromola::audio
