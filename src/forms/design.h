#pragma once

namespace quorvale {

// The windows' design places and sizes are in twips: 1440 to the inch, so 15 to a pixel at
// 96 dots per inch. Each window program converts them at its screen's resolution.
inline constexpr int kTwipsPerInch = 1440;
inline constexpr int kDesignDpi = 96;

// A place and size, in twips or in pixels as its name says.
struct Rect {
  int left;
  int top;
  int width;
  int height;
};

// Twips to pixels at `dpi`, rounded to the nearest pixel (halves away from zero).
constexpr int TwipsToPixels(int twips, int dpi = kDesignDpi) {
  const long scaled = static_cast<long>(twips) * dpi;
  return static_cast<int>((scaled + (scaled >= 0 ? kTwipsPerInch / 2 : -kTwipsPerInch / 2)) / kTwipsPerInch);
}

}  // namespace quorvale
