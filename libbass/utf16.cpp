#include "utf16.h"

#include <cstring>

#include "error.h"

namespace chromola::audio {

namespace {

// Longer than any path the kernel accepts (PATH_MAX 4096 bytes); stops a
// caller that forgot the terminator from walking through memory for ever.
constexpr std::size_t kMaxUnits = 32768;

char16_t unitAt(const unsigned char* p, std::size_t i) {
    char16_t u;
    std::memcpy(&u, p + 2 * i, sizeof u);  // the caller's text need not be aligned
    return u;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

}  // namespace

std::string utf16PathToUtf8(const void* text) {
    const auto* p = static_cast<const unsigned char*>(text);
    std::string out;
    for (std::size_t i = 0;; ++i) {
        if (i >= kMaxUnits)
            throw Error(BASS_ERROR_FILEOPEN);
        char16_t u = unitAt(p, i);
        if (u == 0)
            break;
        char32_t c = u;
        if (u >= 0xD800 && u <= 0xDBFF) {
            char16_t low = unitAt(p, i + 1);
            if (low < 0xDC00 || low > 0xDFFF)
                throw Error(BASS_ERROR_FILEOPEN);
            c = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (low - 0xDC00);
            ++i;
        } else if (u >= 0xDC00 && u <= 0xDFFF) {
            throw Error(BASS_ERROR_FILEOPEN);
        }
        appendUtf8(out, c);
    }
    return out;
}

}  // namespace chromola::audio
