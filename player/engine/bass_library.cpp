#include "engine/bass_library.h"

namespace chromola {

namespace {
constexpr QWORD kQwordFailure = static_cast<QWORD>(-1);
constexpr DWORD kDwordFailure = static_cast<DWORD>(-1);
}  // namespace

BassLibrary::BassLibrary(const QString& path) : library_(path) {
    // Resolve lazily but bind all symbols of the library at once when it loads
    // so that a broken library fails at load time, not in the middle of a tick.
    library_.setLoadHints(QLibrary::ResolveAllSymbolsHint);
}

template <typename Fn>
Fn* BassLibrary::resolve(const char* name, Fn*& slot) {
    if (slot == nullptr && !loadFailed_) {
        if (!library_.isLoaded() && !library_.load()) {
            loadFailed_ = true;
            return nullptr;
        }
        slot = reinterpret_cast<Fn*>(library_.resolve(name));
    }
    return slot;
}

DWORD BassLibrary::BASS_GetVersion() {
    auto* fn = resolve("BASS_GetVersion", getVersion_);
    return fn ? fn() : 0;
}

BOOL BassLibrary::BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid) {
    auto* fn = resolve("BASS_Init", init_);
    return fn ? fn(device, freq, flags, win, clsid) : FALSE;
}

BOOL BassLibrary::BASS_SetConfig(DWORD option, DWORD value) {
    auto* fn = resolve("BASS_SetConfig", setConfig_);
    return fn ? fn(option, value) : FALSE;
}

int BassLibrary::BASS_ErrorGetCode() {
    auto* fn = resolve("BASS_ErrorGetCode", errorGetCode_);
    return fn ? fn() : BASS_ERROR_UNKNOWN;
}

BOOL BassLibrary::BASS_Free() {
    auto* fn = resolve("BASS_Free", free_);
    return fn ? fn() : FALSE;
}

DWORD BassLibrary::BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                         DWORD flags) {
    auto* fn = resolve("BASS_StreamCreateFile", streamCreateFile_);
    return fn ? fn(mem, file, offset, length, flags) : 0;
}

DWORD BassLibrary::BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length,
                                  DWORD flags, DWORD freq) {
    auto* fn = resolve("BASS_MusicLoad", musicLoad_);
    return fn ? fn(mem, file, offset, length, flags, freq) : 0;
}

BOOL BassLibrary::BASS_ChannelPlay(DWORD handle, BOOL restart) {
    auto* fn = resolve("BASS_ChannelPlay", channelPlay_);
    return fn ? fn(handle, restart) : FALSE;
}

BOOL BassLibrary::BASS_StreamFree(DWORD handle) {
    auto* fn = resolve("BASS_StreamFree", streamFree_);
    return fn ? fn(handle) : FALSE;
}

BOOL BassLibrary::BASS_MusicFree(DWORD handle) {
    auto* fn = resolve("BASS_MusicFree", musicFree_);
    return fn ? fn(handle) : FALSE;
}

QWORD BassLibrary::BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    auto* fn = resolve("BASS_ChannelGetLength", channelGetLength_);
    return fn ? fn(handle, mode) : kQwordFailure;
}

QWORD BassLibrary::BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    auto* fn = resolve("BASS_ChannelGetPosition", channelGetPosition_);
    return fn ? fn(handle, mode) : kQwordFailure;
}

double BassLibrary::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    auto* fn = resolve("BASS_ChannelBytes2Seconds", channelBytes2Seconds_);
    return fn ? fn(handle, pos) : -1.0;
}

QWORD BassLibrary::BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    auto* fn = resolve("BASS_ChannelSeconds2Bytes", channelSeconds2Bytes_);
    return fn ? fn(handle, pos) : kQwordFailure;
}

BOOL BassLibrary::BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    auto* fn = resolve("BASS_ChannelSetPosition", channelSetPosition_);
    return fn ? fn(handle, pos, mode) : FALSE;
}

DWORD BassLibrary::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    auto* fn = resolve("BASS_ChannelGetData", channelGetData_);
    return fn ? fn(handle, buffer, length) : kDwordFailure;
}

DWORD BassLibrary::BASS_ChannelIsActive(DWORD handle) {
    auto* fn = resolve("BASS_ChannelIsActive", channelIsActive_);
    return fn ? fn(handle) : 0;
}

DWORD BassLibrary::CHROMOLA_CaptureStart(const char* source, DWORD which) {
    auto* fn = resolve("CHROMOLA_CaptureStart", captureStart_);
    return fn ? fn(source, which) : 0;
}

}  // namespace chromola
