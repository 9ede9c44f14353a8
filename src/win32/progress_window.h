#pragma once

#include <windows.h>

#include <string>

#include "forms/progress_form.h"
#include "win32/window.h"

namespace quorvale {

// The progress window on Win32: borderless, centred, its timer ticking ProgressForm every 100 ms
// from Open() until the window is destroyed.
class Form3Window : public Window, public ProgressView {
 public:
  // Builds the window, hidden, over `owner` and at its resolution, and runs ProgressForm's first
  // step.
  Form3Window(ProgressForm& form, HWND owner);
  ~Form3Window() override;

  // Shows the window, lets it paint, and starts the timer.
  void Open();

  // ProgressView.
  void SetLabelText(int label_number, const std::string& text) override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  ProgressForm& form_;
  HWND owner_;
  HWND label1_ = nullptr;
  HWND label2_ = nullptr;
  Font font_;
  Font label1_font_;
};

}  // namespace quorvale
