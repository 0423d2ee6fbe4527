// The exported C functions. Each one turns its arguments into a call on the
// one Library of the process and every exception into an error code: nothing
// thrown below ever reaches the caller.
#include <string>

#include "bass.h"
#include "capture.h"
#include "error.h"
#include "fft.h"
#include "library.h"
#include "utf16.h"

using namespace chromola::audio;

namespace {

// The process's audio state, made on first use. Destroyed when the library
// is unloaded or the process exits, which stops output and joins threads.
Library& library() {
    static Library instance;
    return instance;
}

std::unique_ptr<ByteSource> sourceFor(BOOL mem, const void* file, QWORD offset, QWORD length,
                                      DWORD flags) {
    if (!file)
        throw Error(mem ? BASS_ERROR_ILLPARAM : BASS_ERROR_FILEOPEN);
    // From memory the block is copied, so the caller may release it at once.
    if (mem)
        return copyMemorySource(file, length);
    std::string path = (flags & BASS_UNICODE) ? utf16PathToUtf8(file)
                                              : std::string(static_cast<const char*>(file));
    return openFileSource(path, offset, length);
}

}  // namespace

extern "C" {

BASSDEF(DWORD) BASS_GetVersion(void) {
    setLastError(BASS_OK);
    return BASS_VERSION_NUMBER;
}

BASSDEF(BOOL) BASS_Init(int device, DWORD freq, DWORD, void*, const void*) {
    return guarded<BOOL>(FALSE, [&] {
        library().init(device, freq);
        return TRUE;
    });
}

BASSDEF(BOOL) BASS_SetConfig(DWORD option, DWORD value) {
    return guarded<BOOL>(FALSE, [&] {
        library().setConfig(option, value);
        return TRUE;
    });
}

BASSDEF(int) BASS_ErrorGetCode(void) {
    return lastError();
}

BASSDEF(BOOL) BASS_Free(void) {
    return guarded<BOOL>(FALSE, [&] {
        library().free();
        return TRUE;
    });
}

BASSDEF(DWORD)
BASS_StreamCreateFile(BOOL mem, const void* file, QWORD offset, QWORD length, DWORD flags) {
    return guarded<DWORD>(0, [&] {
        library().requireInit();
        return library().createStream(sourceFor(mem, file, offset, length, flags), flags);
    });
}

BASSDEF(DWORD)
BASS_MusicLoad(BOOL mem, const void* file, QWORD offset, DWORD length, DWORD flags, DWORD freq) {
    return guarded<DWORD>(0, [&] {
        library().requireInit();
        return library().loadMusic(sourceFor(mem, file, offset, length, flags), flags, freq);
    });
}

BASSDEF(BOOL) BASS_ChannelPlay(DWORD handle, BOOL restart) {
    return guarded<BOOL>(FALSE, [&] {
        library().play(handle, restart != FALSE);
        return TRUE;
    });
}

BASSDEF(BOOL) BASS_StreamFree(DWORD handle) {
    return guarded<BOOL>(FALSE, [&] {
        library().freeChannel(handle, ChannelKind::Stream);
        return TRUE;
    });
}

BASSDEF(BOOL) BASS_MusicFree(DWORD handle) {
    return guarded<BOOL>(FALSE, [&] {
        library().freeChannel(handle, ChannelKind::Music);
        return TRUE;
    });
}

BASSDEF(QWORD) BASS_ChannelGetLength(DWORD handle, DWORD mode) {
    return guarded<QWORD>(static_cast<QWORD>(-1), [&] { return library().length(handle, mode); });
}

BASSDEF(QWORD) BASS_ChannelGetPosition(DWORD handle, DWORD mode) {
    return guarded<QWORD>(static_cast<QWORD>(-1), [&] { return library().position(handle, mode); });
}

BASSDEF(BOOL) BASS_ChannelGetAttribute(DWORD handle, DWORD attrib, float* value) {
    return guarded<BOOL>(FALSE, [&] {
        if (!value)
            throw Error(BASS_ERROR_ILLPARAM);
        *value = library().attribute(handle, attrib);
        return TRUE;
    });
}

BASSDEF(double) BASS_ChannelBytes2Seconds(DWORD handle, QWORD pos) {
    return guarded<double>(-1.0, [&] { return library().bytesToSeconds(handle, pos); });
}

BASSDEF(QWORD) BASS_ChannelSeconds2Bytes(DWORD handle, double pos) {
    return guarded<QWORD>(static_cast<QWORD>(-1),
                          [&] { return library().secondsToBytes(handle, pos); });
}

BASSDEF(BOOL) BASS_ChannelSetPosition(DWORD handle, QWORD pos, DWORD mode) {
    return guarded<BOOL>(FALSE, [&] {
        library().setPosition(handle, pos, mode);
        return TRUE;
    });
}

BASSDEF(DWORD) BASS_ChannelGetData(DWORD handle, void* buffer, DWORD length) {
    return guarded<DWORD>(static_cast<DWORD>(-1), [&] {
        if (!buffer && length != 0)
            throw Error(BASS_ERROR_ILLPARAM);
        if (length != BASS_DATA_FFT2048 && (length & 0x80000000u) == 0)
            return library().decodedData(handle, buffer, length & ~BASS_DATA_FLOAT,
                                         (length & BASS_DATA_FLOAT) != 0);
        if (length != BASS_DATA_FFT2048)
            throw Error(BASS_ERROR_NOTAVAIL);
        if (!buffer)
            throw Error(BASS_ERROR_ILLPARAM);
        library().spectrum(handle, static_cast<float*>(buffer));
        return static_cast<DWORD>(Spectrum::kBins * sizeof(float));
    });
}

BASSDEF(DWORD) BASS_ChannelIsActive(DWORD handle) {
    return guarded<DWORD>(BASS_ACTIVE_STOPPED, [&] { return library().isActive(handle); });
}

BASSDEF(int) CHROMOLA_CaptureSources(CHROMOLA_CAPTURE_SOURCE* sources, int max) {
    return guarded<int>(-1, [&] { return listCaptureSources(sources, max); });
}

BASSDEF(DWORD) CHROMOLA_CaptureStart(const char* source, DWORD which) {
    return guarded<DWORD>(0, [&] { return library().startCapture(source, which); });
}

}  // extern "C"
