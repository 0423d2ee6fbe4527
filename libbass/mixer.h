// Sums the playing channels into the output buffer. render() runs on the
// output's own thread (the sound server's callback, the ALSA writer, the
// no-sound timer) and never blocks, allocates or touches a file: it only reads
// channel rings through a fixed table of slots.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "channel.h"

namespace chromola::audio {

class Mixer {
  public:
    static constexpr std::size_t kMaxChannels = 512;
    static constexpr uint32_t kFullVolume = 10000;

    // API side. attach throws Error(NOCHAN) when every slot is taken; detach
    // returns once the output thread can no longer be inside the channel.
    void attach(Channel* channel);
    void detach(Channel* channel);
    // Returns once any render() that was running when called has finished.
    void waitUntilOutside() const;

    void setVolume(ChannelKind kind, uint32_t volume);
    uint32_t volume(ChannelKind kind) const;

    // Output thread: fills out with frames stereo frames in [-1, 1]. Returns
    // whether any channel was playing and not yet drained when the block
    // began; once it returns false, everything still to be heard is silence
    // and the output may go idle until OutputDevice::wake().
    bool render(float* out, std::size_t frames) noexcept;
    // Output frames rendered since the mixer was made: the output timeline.
    uint64_t renderedFrames() const { return rendered_.load(std::memory_order_acquire); }

  private:
    std::array<std::atomic<Channel*>, kMaxChannels> slots_{};
    std::atomic<uint64_t> epoch_{0};  // odd while render() runs
    std::atomic<uint64_t> rendered_{0};
    std::atomic<uint32_t> streamVolume_{kFullVolume};
    std::atomic<uint32_t> musicVolume_{kFullVolume};
};

}  // namespace chromola::audio
