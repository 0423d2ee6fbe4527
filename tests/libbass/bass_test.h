// libbass.so as a client sees it: its C API alone, linked in (the library
// keeps process-wide state, and the player never unloads it either).
// BassTest runs each test on an initialised "no sound" device.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "audio_fixtures.h"
#include "bass.h"

namespace chromola::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr DWORD kStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_UNICODE;
constexpr DWORD kMusicFlags = BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP | BASS_UNICODE;
constexpr DWORD kStopped = BASS_ACTIVE_STOPPED, kPlaying = BASS_ACTIVE_PLAYING;
constexpr QWORD kFailed = static_cast<QWORD>(-1);

// The code a call left when it returned `failure`; -2 (no code of the
// library's) when it returned anything else.
template <class T, class F>
int errorOf(T result, F failure) {
    return result == static_cast<T>(failure) ? BASS_ErrorGetCode() : -2;
}

// Polls every 5 ms; false if the condition did not hold within the limit.
template <class Condition>
bool waitFor(const Condition& condition, std::chrono::milliseconds limit = 5s) {
    const auto until = Clock::now() + limit;
    while (!condition() && Clock::now() < until)
        std::this_thread::sleep_for(5ms);
    return condition();
}

// The library never writes on stderr (fd 2): the player has no console, and
// a library that talks there is a defect. Tests catch it with googletest's
// redirection of fd 2.
using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

class BassTest : public ::testing::Test {
  protected:
    explicit BassTest(DWORD outputRate = 44100) : outputRate_(outputRate) {}
    void SetUp() override {
        ASSERT_TRUE(BASS_Init(0, outputRate_, 0, nullptr, nullptr))
            << "error " << BASS_ErrorGetCode();
    }
    void TearDown() override { BASS_Free(); }

    fs::path file(const std::string& name) const { return dir_ / name; }
    // A 440 Hz tone in the test's folder; a path that does not exist when it
    // could not be written (no encoder).
    fs::path tone(const std::string& name, double seconds = 1,
                  AudioFormat format = AudioFormat::Wav, int rate = 44100) const {
        const bool written = writeTone(file(name), format, {.rate = rate, .seconds = seconds});
        return written ? file(name) : file("not-written");
    }
    // As the player opens files: UTF-16 path, software mixing.
    DWORD openStream(const fs::path& path) const {
        return BASS_StreamCreateFile(FALSE, path.u16string().c_str(), 0, 0, kStreamFlags);
    }
    DWORD openMusic(const fs::path& path, DWORD flags = kMusicFlags) const {
        return BASS_MusicLoad(FALSE, path.u16string().c_str(), 0, 0, flags | BASS_UNICODE, 1);
    }
    double positionSeconds(DWORD h) const {
        return BASS_ChannelBytes2Seconds(h, BASS_ChannelGetPosition(h, BASS_POS_BYTE));
    }
    void seekSeconds(DWORD h, double s) const {
        ASSERT_TRUE(BASS_ChannelSetPosition(h, BASS_ChannelSeconds2Bytes(h, s), BASS_POS_BYTE))
            << "error " << BASS_ErrorGetCode();
    }
    bool ends(DWORD h, std::chrono::milliseconds limit = 5s) const {
        return waitFor([&] { return BASS_ChannelIsActive(h) == kStopped; }, limit);
    }
    // 1024 magnitudes; a 1025th value of -1 shows whether more were written.
    std::vector<float> spectrum(DWORD h) const {
        std::vector<float> out(1025, -1.0f);
        EXPECT_EQ(BASS_ChannelGetData(h, out.data(), BASS_DATA_FFT2048), 4096u);
        return out;
    }

    const DWORD outputRate_;
    TempDir dir_;
};

}  // namespace chromola::testing

// The tests' own files use these names as their own.
using namespace chromola::testing;
