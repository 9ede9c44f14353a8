#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "forms/backups_form.h"
#include "win32/window.h"

namespace quorvale {

// The backups window on Win32, modal: a report list of the copies and the buttons "Restaurer"
// (also Enter) and "Annuler" (also Escape); BackupsForm fills it and decides what its buttons
// do. The close box runs neither button's handler. Once on screen, it lets BackupsForm count
// the copies' entries from its message loop.
class BackupsWindow : public ModalWindow, public BackupsView {
 public:
  // Posted when the window is shown: the counting starts from the message loop.
  static constexpr UINT kCountEntries = WM_APP + 1;

  // Builds the window, hidden, and runs BackupsForm's first step. It opens with the focus on
  // the list.
  BackupsWindow(BackupsForm& form, HWND owner);

  // BackupsView.
  void SetRows(const std::vector<std::array<std::string, 3>>& rows) override;
  void SetEntries(int row, const std::string& text) override;
  int SelectedRow() const override;
  void Close() override;

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  BackupsForm& form_;
  HWND list_ = nullptr;
  Font font_;
};

}  // namespace quorvale
