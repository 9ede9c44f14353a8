#pragma once

#include <windows.h>

#include "forms/options_form.h"
#include "win32/window.h"

namespace quorvale {

// The options window on Win32, modal, as OptionsForm designs it; OptionsForm decides what its clicks do.
class OptionsWindow : public ModalWindow, public OptionsView {
 public:
  // Builds the window, hidden, and runs OptionsForm's first step. It opens with the focus on
  // the www box.
  OptionsWindow(OptionsForm& form, HWND owner);

  // OptionsView.
  bool IsChecked(OptionsBox box) const override;
  void SetChecked(OptionsBox box, bool checked) override;
  void Close() override;

  // Enter and Escape do nothing in this window.
  bool PreTranslate(MSG* msg) override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // Places the controls at `dpi`, widened to their texts (see options_form_design::FitTexts).
  SIZE Layout(int dpi) override;
  HWND Box(OptionsBox box) const;
  // The box changes its state, then OptionsForm hears of the click.
  void BoxClicked(OptionsBox box);

  OptionsForm& form_;
  Font font_;
};

}  // namespace quorvale
