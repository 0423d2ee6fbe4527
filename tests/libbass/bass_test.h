// libbass.so as a client sees it: loaded once with dlopen (the library keeps
// process-wide state, and the player never closes it either), every function
// found by name. BassTest runs each test on an initialised "no sound" device.
#pragma once

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "bass.h"

namespace chromola::testing {

// clang-format off
#define CHROMOLA_BASS_FUNCTIONS(X)                                                              \
    X(GetVersion) X(Init) X(SetConfig) X(ErrorGetCode) X(Free) X(StreamCreateFile) X(MusicLoad) \
    X(ChannelPlay) X(StreamFree) X(MusicFree) X(ChannelGetLength) X(ChannelGetPosition)         \
    X(ChannelBytes2Seconds) X(ChannelSeconds2Bytes) X(ChannelSetPosition) X(ChannelGetData)    \
    X(ChannelIsActive)
// clang-format on

struct BassApi {
#define CHROMOLA_SLOT(name) decltype(&::BASS_##name) name = nullptr;
    CHROMOLA_BASS_FUNCTIONS(CHROMOLA_SLOT)
#undef CHROMOLA_SLOT
    std::string error;  // why loading failed; empty when every function was found
};

inline const BassApi& bass() {
    static const BassApi api = [] {
        BassApi a;
        void* lib = dlopen(CHROMOLA_LIBBASS_PATH, RTLD_NOW | RTLD_LOCAL);
        a.error = lib ? "" : dlerror();
#define CHROMOLA_RESOLVE(name)                                                            \
    if (lib && !(a.name = reinterpret_cast<decltype(a.name)>(dlsym(lib, "BASS_" #name)))) \
        a.error += "no BASS_" #name " ";
        CHROMOLA_BASS_FUNCTIONS(CHROMOLA_RESOLVE)
#undef CHROMOLA_RESOLVE
        return a;
    }();
    return api;
}

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
constexpr DWORD kStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_UNICODE;
constexpr DWORD kMusicFlags = BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP | BASS_UNICODE;
constexpr DWORD kStopped = BASS_ACTIVE_STOPPED, kPlaying = BASS_ACTIVE_PLAYING;
constexpr QWORD kFailed = static_cast<QWORD>(-1);

// Polls every 5 ms; false if the condition did not hold within the limit.
inline bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    return condition();
}

// Points PULSE_SERVER elsewhere for one test.
class ServerAddress {
  public:
    explicit ServerAddress(const std::string& address) {
        if (const char* old = std::getenv("PULSE_SERVER"))
            old_ = old;
        setenv("PULSE_SERVER", address.c_str(), 1);
    }
    ~ServerAddress() {
        if (old_.empty())
            unsetenv("PULSE_SERVER");
        else
            setenv("PULSE_SERVER", old_.c_str(), 1);
    }

  private:
    std::string old_;
};

class BassTest : public ::testing::Test {
  protected:
    explicit BassTest(DWORD outputRate = 44100) : outputRate_(outputRate) {}
    void SetUp() override {
        ASSERT_TRUE(bass().error.empty()) << bass().error;
        ASSERT_TRUE(bass().Init(0, outputRate_, 0, nullptr, nullptr))
            << "error " << bass().ErrorGetCode();
    }
    void TearDown() override { bass().Free(); }

    const BassApi& api() const { return bass(); }
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
        return api().StreamCreateFile(FALSE, path.u16string().c_str(), 0, 0, kStreamFlags);
    }
    DWORD openMusic(const fs::path& path, DWORD flags = kMusicFlags) const {
        return api().MusicLoad(FALSE, path.u16string().c_str(), 0, 0, flags | BASS_UNICODE, 1);
    }
    double positionSeconds(DWORD h) const {
        return api().ChannelBytes2Seconds(h, api().ChannelGetPosition(h, BASS_POS_BYTE));
    }
    void seekSeconds(DWORD h, double s) const {
        ASSERT_TRUE(api().ChannelSetPosition(h, api().ChannelSeconds2Bytes(h, s), BASS_POS_BYTE))
            << "error " << api().ErrorGetCode();
    }
    bool ends(DWORD h, std::chrono::milliseconds limit = 5s) const {
        return waitFor([&] { return api().ChannelIsActive(h) == kStopped; }, limit);
    }
    // 1024 magnitudes; a 1025th value of -1 shows whether more were written.
    std::vector<float> spectrum(DWORD h) const {
        std::vector<float> out(1025, -1.0f);
        EXPECT_EQ(api().ChannelGetData(h, out.data(), BASS_DATA_FFT2048), 4096u);
        return out;
    }

    const DWORD outputRate_;
    TempDir dir_;
};

}  // namespace chromola::testing
