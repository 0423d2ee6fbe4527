// The first pixels of the frame a light output sent last, for the set-up
// window to show: the display's thread stores them after painting each
// frame, the window's thread reads them whenever it likes. Each pixel is
// one atomic word, so neither waits; a read that meets a store may mix two
// frames, which a preview redrawn 15 times a second never shows.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

#include "lights/packed_colour.h"

namespace chromola {

inline constexpr int kPreviewPixels = 60;

class StripPreview {
  public:
    using Pixels = std::array<ColourLevels, kPreviewPixels>;

    // `rgb`: three bytes a pixel from pixel 0.
    void Store(std::span<const std::uint8_t> rgb) {
        const int count = static_cast<int>(std::min<std::size_t>(rgb.size() / 3, kPreviewPixels));
        for (int i = 0; i < count; ++i) {
            const std::uint8_t* p = rgb.data() + 3 * i;
            pixels_[static_cast<std::size_t>(i)].store(PackLevels({p[0], p[1], p[2]}),
                                                       std::memory_order_relaxed);
        }
        count_.store(count, std::memory_order_release);
    }
    // A frame of one colour.
    void Store(const ColourLevels& colour) {
        pixels_[0].store(PackLevels(colour), std::memory_order_relaxed);
        count_.store(1, std::memory_order_release);
    }
    // How many pixels there are (0: nothing sent yet), into `out`.
    int Load(Pixels& out) const {
        const int count = count_.load(std::memory_order_acquire);
        for (int i = 0; i < count; ++i) {
            out[static_cast<std::size_t>(i)] =
                UnpackLevels(pixels_[static_cast<std::size_t>(i)].load(std::memory_order_relaxed));
        }
        return count;
    }

  private:
    std::array<std::atomic<std::uint32_t>, kPreviewPixels> pixels_{};
    std::atomic<int> count_{0};
};

}  // namespace chromola
