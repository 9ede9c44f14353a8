#pragma once

#include <windows.h>

#include "forms/frm_about.h"
#include "win32/window.h"

namespace quorvale {

// The about window on Win32, modal: the program's identity, the credits with their links,
// "OK" (also Enter and Escape) and "System Info".
class AboutWindow : public Window, public AboutView {
 public:
  static constexpr int kOkId = IDOK;
  static constexpr int kSysInfoId = 401;
  // The links, in the order of frmAbout::kLinks.
  static constexpr int kFirstLinkId = 410;

  // Builds the window, hidden, and runs frmAbout's first step.
  AboutWindow(frmAbout& form, HWND owner);
  ~AboutWindow() override;

  // Shows the window in the centre of its owner's screen and returns when it has closed.
  void RunModal();
  // Whether the window has been closed (by a button, a key or its close box).
  bool closed() const { return closed_; }

  // AboutView.
  void Close() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Places the controls at `dpi` and sizes the window to hold them.
  void Layout(int dpi);

  frmAbout& form_;
  HWND owner_;
  bool closed_ = false;
  HICON icon_ = nullptr;
  Font font_;
  Font title_font_;
};

}  // namespace quorvale
