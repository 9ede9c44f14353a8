#pragma once

#include <functional>

namespace quorvale {

// Lets the window system handle pending events in the middle of a long loop. The GUI decides
// how often it really runs its event loop (time-sliced); the core only offers the chance.
using YieldFn = std::function<void()>;

// Offers a yield every `interval` ticks, so that a loop over a million lines costs a few
// thousand calls, not a million.
class YieldTicker {
 public:
  explicit YieldTicker(const YieldFn& yield, unsigned interval = 256)
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
