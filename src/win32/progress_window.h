#pragma once

#include <windows.h>

#include <string>

#include "forms/progress_form.h"
#include "win32/window.h"

namespace quorvale {

// The progress window on Win32: borderless, centred, its timer ticking ProgressForm every 100 ms
// from Open() until the window is destroyed; its close box goes to ProgressForm.
class ProgressWindow : public Window, public ProgressView {
 public:
  // Builds the window, hidden, over `owner` and at its resolution, and runs ProgressForm's first
  // step.
  ProgressWindow(ProgressForm& form, HWND owner);
  ~ProgressWindow() override;

  // Shows the window, lets it paint, and starts the timer.
  void Open();

  // ProgressView.
  void SetLabelText(int label_number, const std::string& text) override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  ProgressForm& form_;
  HWND owner_;
  HWND heading_ = nullptr;
  HWND count_ = nullptr;
  Font font_;
  Font heading_font_;
};

}  // namespace quorvale
