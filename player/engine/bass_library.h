// The audio library, bound by name: libbass.so is looked for in the program's
// folder and every BASS_* function is resolved once, when it loads, so a
// library that lacks a function fails that call alone (it returns the call's
// failure value) instead of stopping the program. It loads on StartAhead's
// thread or else on the first call; once loaded, calls from any thread only
// read what it resolved.
#pragma once

#include <QLibrary>
#include <QString>

#include <optional>
#include <thread>

#include "engine/audio_engine.h"

namespace chromola {

inline constexpr char kBassLibraryFileName[] = "libbass.so";

class BassLibrary final : public AudioEngine {
  public:
    // `path` is the full path of the library file.
    explicit BassLibrary(const QString& path);
    ~BassLibrary() override;
    BassLibrary(const BassLibrary&) = delete;
    BassLibrary& operator=(const BassLibrary&) = delete;

    QString path() const { return library_.fileName(); }

    // Loads the library and, if its version is `version`, starts its output
    // (BASS_Init with this device and rate, no window) on a thread of its
    // own, so that both go on while Qt starts and the window is built. The
    // calls that follow take what that thread got: BASS_GetVersion waits for
    // it; the first BASS_Init with the same device, rate and no flags returns
    // its outcome, and BASS_ErrorGetCode right after a failed one its error.
    // An output started but never taken is freed with the object.
    void StartAhead(int device, DWORD freq, DWORD version);

    DWORD BASS_GetVersion() override;
    BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid) override;
    BOOL BASS_SetConfig(DWORD option, DWORD value) override;
    int BASS_ErrorGetCode() override;
    BOOL BASS_Free() override;
    DWORD BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                DWORD flags) override;
    DWORD BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags,
                         DWORD freq) override;
    BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) override;
    BOOL BASS_StreamFree(DWORD handle) override;
    BOOL BASS_MusicFree(DWORD handle) override;
    QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) override;
    QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) override;
    BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) override;
    double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) override;
    QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) override;
    BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) override;
    DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) override;
    DWORD BASS_ChannelIsActive(DWORD handle) override;
    DWORD CHROMOLA_CaptureStart(const char* source, DWORD which) override;

  private:
    // Loads the library and fills every slot below, each null if the library
    // or its symbol is missing; the first time only.
    void LoadSymbols();
    // LoadSymbols() after StartAhead's thread, if any, has finished. The first
    // call of the library's users, on the owner's thread before any other
    // thread calls in, does the work; those after it only read.
    void Load();
    // A slot for the calls of the library's users: after Load().
    template <typename Fn>
    Fn* bind(Fn* const& slot);
    // Waits for the thread StartAhead started, if any.
    void JoinAhead();

    QLibrary library_;
    bool loaded_ = false;  // the library was loaded (or failed to) and the slots filled

    struct AheadInit {
        int device;
        DWORD freq;
        BOOL result;
        int error;  // of a failed BASS_Init, read on its thread
    };
    std::thread ahead_;
    std::optional<AheadInit> aheadInit_;  // set by the thread, taken by BASS_Init
    std::optional<int> aheadError_;       // for the BASS_ErrorGetCode that follows

    decltype(&::BASS_GetVersion) getVersion_ = nullptr;
    decltype(&::BASS_Init) init_ = nullptr;
    decltype(&::BASS_SetConfig) setConfig_ = nullptr;
    decltype(&::BASS_ErrorGetCode) errorGetCode_ = nullptr;
    decltype(&::BASS_Free) free_ = nullptr;
    decltype(&::BASS_StreamCreateFile) streamCreateFile_ = nullptr;
    decltype(&::BASS_MusicLoad) musicLoad_ = nullptr;
    decltype(&::BASS_ChannelPlay) channelPlay_ = nullptr;
    decltype(&::BASS_StreamFree) streamFree_ = nullptr;
    decltype(&::BASS_MusicFree) musicFree_ = nullptr;
    decltype(&::BASS_ChannelGetLength) channelGetLength_ = nullptr;
    decltype(&::BASS_ChannelGetPosition) channelGetPosition_ = nullptr;
    decltype(&::BASS_ChannelGetAttribute) channelGetAttribute_ = nullptr;
    decltype(&::BASS_ChannelBytes2Seconds) channelBytes2Seconds_ = nullptr;
    decltype(&::BASS_ChannelSeconds2Bytes) channelSeconds2Bytes_ = nullptr;
    decltype(&::BASS_ChannelSetPosition) channelSetPosition_ = nullptr;
    decltype(&::BASS_ChannelGetData) channelGetData_ = nullptr;
    decltype(&::BASS_ChannelIsActive) channelIsActive_ = nullptr;
    decltype(&::CHROMOLA_CaptureStart) captureStart_ = nullptr;
};

}  // namespace chromola
