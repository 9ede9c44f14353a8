#pragma once

#include <functional>

namespace quorvale {

// Lets the window system handle pending events in the middle of a long loop. The GUI decides
// how often it really runs its event loop (time-sliced); the core only offers the chance.
using YieldFn = std::function<void()>;

// How many steps of a long loop go between two offers of a yield, by the cost of a step:
// reading a line, writing or comparing a row, a step of the sort.
inline constexpr unsigned kYieldEveryLines = 256;
inline constexpr unsigned kYieldEveryRows = 4096;
inline constexpr unsigned kYieldEverySortSteps = 1024;

// Offers a yield every `interval` ticks, so that a loop over a million lines costs a few
// thousand calls, not a million.
class YieldTicker {
 public:
  explicit YieldTicker(const YieldFn& yield, unsigned interval = kYieldEveryLines)
      : yield_(yield), interval_(interval) {}

  void Tick() {
    if (++count_ >= interval_) Now();
  }
  void Now() {
    count_ = 0;
    if (yield_) yield_();
  }

 private:
  const YieldFn& yield_;
  unsigned interval_;
  unsigned count_ = 0;
};

}  // namespace quorvale
