#pragma once

#include <windows.h>

#include "forms/options_form.h"
#include "win32/window.h"

namespace quorvale {

// The options window on Win32, modal, as Form2 designs it; Form2 decides what its clicks do.
class Form2Window : public ModalWindow, public Form2View {
 public:
  // Builds the window, hidden, and runs Form2's first step. It opens with the focus on
  // Check1.
  Form2Window(Form2& form, HWND owner);

  // Form2View.
  bool IsChecked(Form2Box box) const override;
  void SetChecked(Form2Box box, bool checked) override;
  void Close() override;

  // Enter and Escape do nothing in this window.
  bool PreTranslate(MSG* msg) override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Places the controls at `dpi`, widened to their texts (see form2_design::FitTexts).
  SIZE Layout(int dpi) override;
  HWND Box(Form2Box box) const;
  // The box changes its state, then Form2 hears of the click.
  void BoxClicked(Form2Box box);

  Form2& form_;
  Font font_;
};

}  // namespace quorvale
