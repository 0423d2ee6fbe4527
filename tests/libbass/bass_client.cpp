#include "bass_client.h"

namespace chromola::testing {

namespace {

template <class F>
void resolve(void* lib, const char* name, F& slot, std::string& error) {
    slot = reinterpret_cast<F>(dlsym(lib, name));
    if (!slot && error.empty())
        error = std::string("missing symbol ") + name;
}

BassApi load() {
    BassApi api;
    void* lib = dlopen(CHROMOLA_LIBBASS_PATH, RTLD_NOW | RTLD_LOCAL);
    if (!lib) {
        const char* why = dlerror();
        api.error = why ? why : "dlopen failed";
        return api;
    }
    // Never closed: the process keeps the library to the end, like the player.
#define CHROMOLA_RESOLVE(name) resolve(lib, "BASS_" #name, api.name, api.error)
    CHROMOLA_RESOLVE(GetVersion);
    CHROMOLA_RESOLVE(Init);
    CHROMOLA_RESOLVE(SetConfig);
    CHROMOLA_RESOLVE(ErrorGetCode);
    CHROMOLA_RESOLVE(Free);
    CHROMOLA_RESOLVE(StreamCreateFile);
    CHROMOLA_RESOLVE(MusicLoad);
    CHROMOLA_RESOLVE(ChannelPlay);
    CHROMOLA_RESOLVE(StreamFree);
    CHROMOLA_RESOLVE(MusicFree);
    CHROMOLA_RESOLVE(ChannelGetLength);
    CHROMOLA_RESOLVE(ChannelGetPosition);
    CHROMOLA_RESOLVE(ChannelBytes2Seconds);
    CHROMOLA_RESOLVE(ChannelSeconds2Bytes);
    CHROMOLA_RESOLVE(ChannelSetPosition);
    CHROMOLA_RESOLVE(ChannelGetData);
    CHROMOLA_RESOLVE(ChannelIsActive);
#undef CHROMOLA_RESOLVE
    return api;
}

}  // namespace

const BassApi& bass() {
    static const BassApi api = load();
    return api;
}

std::u16string utf16(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            cp = c & 0x07;
            extra = 3;
        }
        for (int k = 1; k <= extra && i + static_cast<std::size_t>(k) < utf8.size(); ++k) {
            cp = (cp << 6) |
                 (static_cast<unsigned char>(utf8[i + static_cast<std::size_t>(k)]) & 0x3F);
        }
        i += static_cast<std::size_t>(extra) + 1;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

}  // namespace chromola::testing
