#include "mixer.h"

#include <algorithm>
#include <thread>

#include "error.h"

namespace chromola::audio {

void Mixer::attach(Channel* channel) {
    for (auto& slot : slots_) {
        Channel* expected = nullptr;
        if (slot.compare_exchange_strong(expected, channel))
            return;
    }
    throw Error(BASS_ERROR_NOCHAN);
}

void Mixer::detach(Channel* channel) {
    for (auto& slot : slots_) {
        Channel* expected = channel;
        if (slot.compare_exchange_strong(expected, nullptr))
            break;
    }
    waitUntilOutside();
}

void Mixer::waitUntilOutside() const {
    // Pairs with the sequentially consistent epoch increments in render(): a
    // render that starts after this load sees every store made before it
    // (a cleared slot, a held channel).
    const uint64_t e = epoch_.load(std::memory_order_seq_cst);
    if ((e & 1) == 0)
        return;
    while (epoch_.load(std::memory_order_seq_cst) == e)
        std::this_thread::yield();
}

void Mixer::setVolume(ChannelKind kind, uint32_t volume) {
    (kind == ChannelKind::Stream ? streamVolume_ : musicVolume_).store(volume);
}

uint32_t Mixer::volume(ChannelKind kind) const {
    return (kind == ChannelKind::Stream ? streamVolume_ : musicVolume_).load();
}

bool Mixer::render(float* out, std::size_t frames) noexcept {
    epoch_.fetch_add(1, std::memory_order_seq_cst);
    std::fill_n(out, frames * 2, 0.0f);
    const float streamGain = static_cast<float>(streamVolume_.load(std::memory_order_relaxed)) /
                             static_cast<float>(kFullVolume);
    const float musicGain = static_cast<float>(musicVolume_.load(std::memory_order_relaxed)) /
                            static_cast<float>(kFullVolume);
    const uint64_t start = rendered_.load(std::memory_order_relaxed);
    bool active = false;
    for (auto& slot : slots_) {
        Channel* c = slot.load(std::memory_order_seq_cst);
        if (!c || !c->playing())
            continue;
        // A channel that drains in this block still sounds in it.
        active = active || !c->drained();
        if (!c->held())
            c->mix(out, frames, start, c->kind() == ChannelKind::Stream ? streamGain : musicGain);
    }
    for (std::size_t i = 0; i < frames * 2; ++i)
        out[i] = std::clamp(out[i], -1.0f, 1.0f);
    rendered_.store(start + frames, std::memory_order_release);
    epoch_.fetch_add(1, std::memory_order_seq_cst);
    return active;
}

}  // namespace chromola::audio
