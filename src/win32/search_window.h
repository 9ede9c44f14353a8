#pragma once

#include <windows.h>

#include <string>

#include "forms/search_form.h"
#include "win32/window.h"

namespace quorvale {

// The find window on Win32, modal; SearchForm decides what its buttons do. Enter presses "OK"
// (or the button that has the focus), Escape "Annuler"; the close box leaves without a text.
class SearchWindow : public ModalWindow, public SearchView {
 public:
  // Builds the window, hidden, and runs SearchForm's first step. It opens with the focus in
  // the text field.
  SearchWindow(SearchForm& form, HWND owner);

  // SearchView.
  std::string Text() const override;
  void Close() override { closed_ = true; }

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  SearchForm& form_;
  Font font_;
};

}  // namespace quorvale
