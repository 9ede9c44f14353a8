#pragma once

#include <string>

#include "forms/design.h"

namespace quorvale {

struct Session;

// What Form3 asks of the progress window of a window program.
class Form3View {
 public:
  virtual ~Form3View() = default;
  virtual void SetLabelText(int label_number, const std::string& text) = 0;
};

// The progress window shown while a file loads: a fixed text and a counter that shows the
// session's EntriesLoaded at every tick of its timer. It only reads the count. The view
// shows it borderless in the centre of the screen, calls Form_Load once, and Timer1_Timer
// every kTickMs from then on until it is destroyed.
class Form3 {
 public:
  static constexpr int kTickMs = 100;
  // The window: 4695 x 1005 twips; its caption's font size; the labels' places in pixels at
  // 96 dpi.
  static constexpr int kWidthTwips = 4695;
  static constexpr int kHeightTwips = 1005;
  static constexpr double kLabel1FontPoints = 13.5;
  static constexpr Rect kLabel1Pixels = {0, 8, 305, 33};
  static constexpr Rect kLabel2Pixels = {32, 40, 233, 17};

  explicit Form3(const Session& session) : session_(session) {}

  void Form_Load(Form3View* view);
  void Timer1_Timer();

 private:
  const Session& session_;
  Form3View* view_ = nullptr;
};

}  // namespace quorvale
