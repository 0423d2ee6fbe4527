#include "error.h"

namespace chromola::audio {

namespace {
// The code belongs to the thread that made the call, so two threads never see
// each other's failures.
thread_local int tLastError = BASS_OK;
}  // namespace

void setLastError(int code) noexcept {
    tLastError = code;
}

int lastError() noexcept {
    return tLastError;
}

}  // namespace chromola::audio
