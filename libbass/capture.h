// Live capture through the sound server: a record stream on one source (an
// output's monitor or an input) whose newest frames, mixed to mono, the
// display reads as a spectrum, as it reads a playing channel's.
//
// Each capture has its own connection to the server and so its own libpulse
// main loop thread. That thread alone writes the capture's history (lock-free:
// a seqlock, see SampleHistory) and follows the default output; API threads
// read the history without waiting on the server, and take the main loop's
// lock only while the capture starts and while it is freed.
#pragma once

#include <memory>

#include "bass.h"

namespace chromola::audio {

class Capture {
  public:
    // Connects and starts recording `source` (a source's name on the server),
    // or with a null source the default output's monitor (CHROMOLA_CAPTURE_OUTPUT,
    // then following the default output) or the default input
    // (CHROMOLA_CAPTURE_INPUT). Throws Error(DEVICE) when no server answers,
    // Error(ILLPARAM) for an unknown source or `which`.
    Capture(const char* source, DWORD which);
    ~Capture();
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // True while the source is there; once it has gone for good, false, and
    // the spectrum is that of silence.
    bool present() const;
    // The spectrum of the newest 2048 frames (1024 values). Never waits on
    // the server.
    void spectrum(float* out);
    // The frames captured since the last read, mono, as many as fit in
    // `bytes` (floats, else 16-bit); the bytes written. Frames older than
    // the history are lost. Callers take turns.
    DWORD read(void* out, DWORD bytes, bool asFloat);
    // Frames a second of the source being recorded; 0 before it records.
    int rate() const;

  private:
    class Recorder;
    std::unique_ptr<Recorder> recorder_;
};

// Fills up to max entries and returns how many sources the server has.
// Throws Error(DEVICE) when no server answers.
int listCaptureSources(CHROMOLA_CAPTURE_SOURCE* out, int max);

}  // namespace chromola::audio
