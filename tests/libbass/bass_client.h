// Loads the built libbass.so the way the player does: dlopen, then every
// function by name with dlsym. The library keeps process-wide state, so all
// tests share one loaded copy.
#pragma once

#include <dlfcn.h>

#include <string>

#include "bass.h"

namespace chromola::testing {

struct BassApi {
    decltype(&::BASS_GetVersion) GetVersion = nullptr;
    decltype(&::BASS_Init) Init = nullptr;
    decltype(&::BASS_SetConfig) SetConfig = nullptr;
    decltype(&::BASS_ErrorGetCode) ErrorGetCode = nullptr;
    decltype(&::BASS_Free) Free = nullptr;
    decltype(&::BASS_StreamCreateFile) StreamCreateFile = nullptr;
    decltype(&::BASS_MusicLoad) MusicLoad = nullptr;
    decltype(&::BASS_ChannelPlay) ChannelPlay = nullptr;
    decltype(&::BASS_StreamFree) StreamFree = nullptr;
    decltype(&::BASS_MusicFree) MusicFree = nullptr;
    decltype(&::BASS_ChannelGetLength) ChannelGetLength = nullptr;
    decltype(&::BASS_ChannelGetPosition) ChannelGetPosition = nullptr;
    decltype(&::BASS_ChannelBytes2Seconds) ChannelBytes2Seconds = nullptr;
    decltype(&::BASS_ChannelSeconds2Bytes) ChannelSeconds2Bytes = nullptr;
    decltype(&::BASS_ChannelSetPosition) ChannelSetPosition = nullptr;
    decltype(&::BASS_ChannelGetData) ChannelGetData = nullptr;
    decltype(&::BASS_ChannelIsActive) ChannelIsActive = nullptr;

    std::string error;  // why loading failed, empty when every symbol resolved
};

// The one loaded copy; check error before use.
const BassApi& bass();

// UTF-16 text of a path, NUL-terminated, as the player passes it.
std::u16string utf16(const std::string& utf8);

}  // namespace chromola::testing
