// Error codes at the C boundary: inner code throws Error, the exported
// functions catch everything and leave a per-thread code behind.
#pragma once

#include <exception>
#include <new>

#include "bass.h"

namespace chromola::audio {

class Error : public std::exception {
  public:
    explicit Error(int code) : code_(code) {}
    int code() const { return code_; }
    const char* what() const noexcept override { return "audio library error"; }

  private:
    int code_;
};

void setLastError(int code) noexcept;
int lastError() noexcept;

// Runs body; on success the thread's code becomes BASS_OK and its result is
// returned, on any exception the code is set and failValue returned. No
// exception ever crosses into the C caller.
template <class R, class Body>
R guarded(R failValue, Body&& body) noexcept {
    try {
        R result = body();
        setLastError(BASS_OK);
        return result;
    } catch (const Error& e) {
        setLastError(e.code());
    } catch (const std::bad_alloc&) {
        setLastError(BASS_ERROR_MEM);
    } catch (...) {
        setLastError(BASS_ERROR_UNKNOWN);
    }
    return failValue;
}

}  // namespace chromola::audio
