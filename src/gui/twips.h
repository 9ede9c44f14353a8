#pragma once

#include <QRect>
#include <QSize>

namespace quorvale {

// The windows' design places and sizes are in twips; at 96 dpi 15 twips make one pixel.
inline constexpr double kTwipsPerPixel = 15.0;

inline int TwipsToPixels(int twips) { return qRound(twips / kTwipsPerPixel); }

inline QRect Twips(int left, int top, int width, int height) {
  return QRect(TwipsToPixels(left), TwipsToPixels(top), TwipsToPixels(width), TwipsToPixels(height));
}

inline QSize TwipsSize(int width, int height) { return QSize(TwipsToPixels(width), TwipsToPixels(height)); }

}  // namespace quorvale
