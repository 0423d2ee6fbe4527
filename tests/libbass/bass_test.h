// A test fixture that initialises the library on the "no sound" device and
// frees it afterwards, with helpers that open files the way the player does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "audio_fixtures.h"
#include "bass_client.h"

namespace chromola::testing {

constexpr DWORD kStreamFlags = BASS_SAMPLE_SOFTWARE | BASS_UNICODE;
constexpr DWORD kMusicFlags = BASS_MUSIC_RAMP | BASS_SAMPLE_LOOP | BASS_UNICODE;

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
    std::filesystem::path file(const std::string& name) const { return dir_ / name; }

    // As the player: UTF-16 path, software flag.
    DWORD openStream(const std::filesystem::path& path, DWORD extraFlags = 0) const {
        std::u16string text = utf16(path.string());
        return api().StreamCreateFile(FALSE, text.c_str(), 0, 0, kStreamFlags | extraFlags);
    }
    DWORD openMusic(const std::filesystem::path& path, DWORD flags = kMusicFlags) const {
        std::u16string text = utf16(path.string());
        return api().MusicLoad(FALSE, text.c_str(), 0, 0, flags | BASS_UNICODE, 1);
    }

    double seconds(DWORD handle, QWORD bytes) const {
        return api().ChannelBytes2Seconds(handle, bytes);
    }
    double positionSeconds(DWORD handle) const {
        return seconds(handle, api().ChannelGetPosition(handle, BASS_POS_BYTE));
    }
    void seekSeconds(DWORD handle, double s) const {
        ASSERT_TRUE(
            api().ChannelSetPosition(handle, api().ChannelSeconds2Bytes(handle, s), BASS_POS_BYTE))
            << "error " << api().ErrorGetCode();
    }
    std::vector<float> spectrum(DWORD handle) const {
        std::vector<float> out(1025, -1.0f);
        EXPECT_EQ(api().ChannelGetData(handle, out.data(), BASS_DATA_FFT2048), 4096u);
        return out;
    }

    // Polls condition every 5 ms; false if it did not hold within limit.
    static bool waitFor(const std::function<bool()>& condition,
                        std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > until)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }

    TempDir dir_;

  private:
    DWORD outputRate_;
};

}  // namespace chromola::testing
