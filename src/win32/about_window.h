#pragma once

#include <windows.h>

#include "forms/about_form.h"
#include "win32/window.h"

namespace quorvale {

// The about window on Win32, modal: the program's identity, the credits with their links,
// "OK" (also Enter and Escape) and "System Info".
class AboutWindow : public ModalWindow, public AboutView {
 public:
  // Builds the window, hidden, and runs AboutForm's first step.
  AboutWindow(AboutForm& form, HWND owner);

  // AboutView.
  void Close() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  AboutForm& form_;
  Icon icon_;
  Font font_;
  Font title_font_;
};

}  // namespace quorvale
