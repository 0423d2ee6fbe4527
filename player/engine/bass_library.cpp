#include "engine/bass_library.h"

#include <type_traits>
#include <utility>

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

BassLibrary::~BassLibrary() {
    JoinAhead();
    if (aheadInit_ && aheadInit_->result != FALSE && free_ != nullptr) {
        free_();
    }
}

void BassLibrary::StartAhead(int device, DWORD freq, DWORD version) {
    JoinAhead();
    ahead_ = std::thread([this, device, freq, version] {
        LoadSymbols();
        if (getVersion_ == nullptr || (getVersion_() >> 16) != version || init_ == nullptr ||
            errorGetCode_ == nullptr) {
            return;
        }
        const BOOL result = init_(device, freq, 0, nullptr, nullptr);
        aheadInit_ = AheadInit{device, freq, result, result != FALSE ? 0 : errorGetCode_()};
    });
}

void BassLibrary::JoinAhead() {
    if (ahead_.joinable()) {
        ahead_.join();
    }
}

void BassLibrary::LoadSymbols() {
    if (loaded_) {
        return;
    }
    loaded_ = true;
    if (!library_.load()) {
        return;
    }
    auto resolve = [this](const char* name, auto*& slot) {
        slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(library_.resolve(name));
    };
    resolve("BASS_GetVersion", getVersion_);
    resolve("BASS_Init", init_);
    resolve("BASS_SetConfig", setConfig_);
    resolve("BASS_ErrorGetCode", errorGetCode_);
    resolve("BASS_Free", free_);
    resolve("BASS_StreamCreateFile", streamCreateFile_);
    resolve("BASS_MusicLoad", musicLoad_);
    resolve("BASS_ChannelPlay", channelPlay_);
    resolve("BASS_StreamFree", streamFree_);
    resolve("BASS_MusicFree", musicFree_);
    resolve("BASS_ChannelGetLength", channelGetLength_);
    resolve("BASS_ChannelGetPosition", channelGetPosition_);
    resolve("BASS_ChannelGetAttribute", channelGetAttribute_);
    resolve("BASS_ChannelBytes2Seconds", channelBytes2Seconds_);
    resolve("BASS_ChannelSeconds2Bytes", channelSeconds2Bytes_);
    resolve("BASS_ChannelSetPosition", channelSetPosition_);
    resolve("BASS_ChannelGetData", channelGetData_);
    resolve("BASS_ChannelIsActive", channelIsActive_);
    resolve("CHROMOLA_CaptureStart", captureStart_);
}

void BassLibrary::Load() {
    JoinAhead();
    LoadSymbols();
}

template <typename Fn>
Fn* BassLibrary::bind(Fn* const& slot) {
    // All three are written only during the start, before any other thread
    // calls in (Load); once the start is over, calls from several threads only
    // read them.
    Load();
    if (aheadError_) {
        aheadError_.reset();
    }
    return slot;
}

DWORD BassLibrary::BASS_GetVersion() {
    auto* fn = bind(getVersion_);
    return fn ? fn() : 0;
}

BOOL BassLibrary::BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid) {
    JoinAhead();
    if (const std::optional<AheadInit> done = std::exchange(aheadInit_, std::nullopt)) {
        if (done->device == device && done->freq == freq && flags == 0) {
            // The output started ahead; the window does not matter to it.
            aheadError_.reset();
            if (done->result == FALSE) {
                aheadError_ = done->error;
            }
            return done->result;
        }
        // Asked for another output: the one started ahead makes way.
        if (done->result != FALSE) {
            BASS_Free();
        }
    }
    auto* fn = bind(init_);
    return fn ? fn(device, freq, flags, win, clsid) : FALSE;
}

BOOL BassLibrary::BASS_SetConfig(DWORD option, DWORD value) {
    auto* fn = bind(setConfig_);
    return fn ? fn(option, value) : FALSE;
}

int BassLibrary::BASS_ErrorGetCode() {
    if (const std::optional<int> ahead = aheadError_) {
        aheadError_.reset();
        return *ahead;
    }
    auto* fn = bind(errorGetCode_);
    return fn ? fn() : BASS_ERROR_UNKNOWN;
}

BOOL BassLibrary::BASS_Free() {
    auto* fn = bind(free_);
    return fn ? fn() : FALSE;
}

DWORD BassLibrary::BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                         DWORD flags) {
    auto* fn = bind(streamCreateFile_);
    return fn ? fn(mem, file, offset, length, flags) : 0;
}

DWORD BassLibrary::BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length,
                                  DWORD flags, DWORD freq) {
    auto* fn = bind(musicLoad_);
    return fn ? fn(mem, file, offset, length, flags, freq) : 0;
}

BOOL BassLibrary::BASS_ChannelPlay(DWORD handle, BOOL restart) {
    auto* fn = bind(channelPlay_);
    return fn ? fn(handle, restart) : FALSE;
}

BOOL BassLibrary::BASS_StreamFree(DWORD handle) {
    auto* fn = bind(streamFree_);
    return fn ? fn(handle) : FALSE;
}

BOOL BassLibrary::BASS_MusicFree(DWORD handle) {
    auto* fn = bind(musicFree_);
    return fn ? fn(handle) : FALSE;
}

QWORD BassLibrary::BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    auto* fn = bind(channelGetLength_);
    return fn ? fn(handle, mode) : kQwordFailure;
}

QWORD BassLibrary::BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    auto* fn = bind(channelGetPosition_);
    return fn ? fn(handle, mode) : kQwordFailure;
}

BOOL BassLibrary::BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    auto* fn = bind(channelGetAttribute_);
    return fn ? fn(handle, attrib, value) : FALSE;
}

double BassLibrary::BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    auto* fn = bind(channelBytes2Seconds_);
    return fn ? fn(handle, pos) : -1.0;
}

QWORD BassLibrary::BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    auto* fn = bind(channelSeconds2Bytes_);
    return fn ? fn(handle, pos) : kQwordFailure;
}

BOOL BassLibrary::BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    auto* fn = bind(channelSetPosition_);
    return fn ? fn(handle, pos, mode) : FALSE;
}

DWORD BassLibrary::BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    auto* fn = bind(channelGetData_);
    return fn ? fn(handle, buffer, length) : kDwordFailure;
}

DWORD BassLibrary::BASS_ChannelIsActive(DWORD handle) {
    auto* fn = bind(channelIsActive_);
    return fn ? fn(handle) : 0;
}

DWORD BassLibrary::CHROMOLA_CaptureStart(const char* source, DWORD which) {
    auto* fn = bind(captureStart_);
    return fn ? fn(source, which) : 0;
}

}  // namespace chromola
