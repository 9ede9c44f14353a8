#pragma once

#include <functional>
#include <string>
#include <utility>

#include "forms/design.h"

namespace quorvale {

struct Session;

// What ProgressForm asks of the progress window of a window program.
class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void SetLabelText(int label_number, const std::string& text) = 0;
};

// The progress window shown while a file loads: a fixed text and a counter that shows the
// session's EntriesLoaded at every tick of its timer. It only reads the count. The view
// shows it borderless in the centre of the screen, calls Start once, and Tick
// every kTickMs from then on until it is destroyed. Its close box (Alt+F4) never closes it:
// the window stays as long as the work it shows, and the close goes to `close`, which asks
// the program to end once that work is done.
class ProgressForm {
 public:
  static constexpr int kTickMs = 100;
  // The window: 4695 x 1005 twips; its caption's font size; the labels' places in pixels at
  // 96 dpi.
  static constexpr int kWidthTwips = 4695;
  static constexpr int kHeightTwips = 1005;
  static constexpr double kHeadingFontPoints = 13.5;
  static constexpr Rect kHeadingPixels = {0, 8, 305, 33};
  static constexpr Rect kCountPixels = {32, 40, 233, 17};

  explicit ProgressForm(const Session& session, std::function<void()> close = {})
      : session_(session), close_(std::move(close)) {}

  void Start(ProgressView* view);
  void Tick();
  // The close box.
  void CloseRequested();

 private:
  const Session& session_;
  std::function<void()> close_;
  ProgressView* view_ = nullptr;
};

}  // namespace quorvale
