#include "error.h"

namespace chromola::audio {

namespace {
// The code belongs to the thread that made the call, so two threads never see
// each other's failures.
// Initial-exec: one int in the static TLS surplus instead of a dynamic TLS
// block (the library is dlopen'ed), which is cheaper to reach and which
// LeakSanitizer's thread scan on this toolchain handles.
thread_local int tLastError __attribute__((tls_model("initial-exec"))) = BASS_OK;
}  // namespace

void setLastError(int code) noexcept {
    tLastError = code;
}

int lastError() noexcept {
    return tLastError;
}

}  // namespace chromola::audio
