// Design-time geometry is given in twips; the screen has 15 twips a pixel.
#pragma once

#include <QRect>

#include "common/rounding.h"

namespace chromola {

inline constexpr int kTwipsPerPixel = 15;

inline int TwipsToPixels(double twips) {
    return RoundHalfEven(twips / kTwipsPerPixel);
}
inline int PixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}
inline QRect TwipsRect(int left, int top, int width, int height) {
    return {TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height)};
}

}  // namespace chromola
