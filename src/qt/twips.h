#pragma once

#include <QRect>
#include <QSize>

#include "forms/design.h"

namespace quorvale {

// A design place in twips as a widget's geometry, in Qt's device-independent pixels.
inline QRect Twips(const Rect& place) {
  return QRect(TwipsToPixels(place.left), TwipsToPixels(place.top), TwipsToPixels(place.width),
               TwipsToPixels(place.height));
}

inline QSize TwipsSize(int width, int height) { return QSize(TwipsToPixels(width), TwipsToPixels(height)); }

}  // namespace quorvale
