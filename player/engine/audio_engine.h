// The calls the player makes into the audio library, as an interface: the
// real library bound by name (bass_library.h) in the program, a scripted
// engine in the tests of the player's logic.
#pragma once

#include "bass.h"

namespace chromola {

class AudioEngine {
  public:
    virtual ~AudioEngine() = default;

    virtual DWORD BASS_GetVersion() = 0;
    virtual BOOL BASS_Init(int device, DWORD freq, DWORD flags, void* win, const void* clsid) = 0;
    virtual BOOL BASS_SetConfig(DWORD option, DWORD value) = 0;
    virtual int BASS_ErrorGetCode() = 0;
    virtual BOOL BASS_Free() = 0;
    virtual DWORD BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length,
                                        DWORD flags) = 0;
    virtual DWORD BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length,
                                 DWORD flags, DWORD freq) = 0;
    virtual BOOL BASS_ChannelPlay(DWORD handle, BOOL restart) = 0;
    virtual BOOL BASS_StreamFree(DWORD handle) = 0;
    virtual BOOL BASS_MusicFree(DWORD handle) = 0;
    virtual QWORD BASS_ChannelGetLength(DWORD handle, DWORD mode) = 0;
    virtual QWORD BASS_ChannelGetPosition(DWORD handle, DWORD mode) = 0;
    virtual BOOL BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) = 0;
    virtual double BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) = 0;
    virtual QWORD BASS_ChannelSeconds2Bytes(DWORD handle, double pos) = 0;
    virtual BOOL BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) = 0;
    virtual DWORD BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) = 0;
    virtual DWORD BASS_ChannelIsActive(DWORD handle) = 0;
    // The library's own live capture (bass.h).
    virtual DWORD CHROMOLA_CaptureStart(const char* source, DWORD which) = 0;
};

}  // namespace chromola
