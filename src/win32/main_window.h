#pragma once

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "forms/main_form.h"
#include "win32/window.h"

namespace quorvale {

// The main window on Win32: the two lists, the status text, the menus and the button column
// as MainForm designs them. It shows what MainForm tells it and hands it the user's clicks, keys
// (Delete and Ctrl+A in a list, the menus' shortcuts and F3) and dropped files.
class MainWindow : public Window, public MainView {
 public:
  // Builds the window, hidden, and runs MainForm's first steps.
  explicit MainWindow(MainForm& form);

  // MainView.
  void SetStatusText(const std::string& text) override;
  void SetControlEnabled(MainControl control, bool enabled) override;
  void SetControlCaption(MainControl control, const std::string& caption) override;
  void SetWindowEnabled(bool enabled) override;
  void SetWindowVisible(bool visible) override;
  void ListChanged(int list_number) override;
  void ShowSortOrder(int list_number, Column column, SortDirection direction) override;
  std::vector<size_t> SelectedRows(int list_number) const override;
  size_t SelectedRowCount(int list_number) const override;
  void SelectRow(int list_number, size_t row) override;
  void ProcessEvents() override;
  void Close() override;
  void Quit(int exit_code) override;
  void RunOptionsWindow(OptionsForm& form) override;
  void RunAboutWindow(AboutForm& form) override;
  void RunSearchWindow(SearchForm& form) override;
  void RunBackupsWindow(BackupsForm& form) override;
  void RunSourcesWindow(SourcesForm& form) override;
  void RunWhyWindow(WhyForm& form) override;
  std::unique_ptr<ProgressView> OpenProgressWindow(ProgressForm& form) override;

  // The shortcuts go before the dialog manager.
  bool PreTranslate(MSG* msg) override;

 private:
  // Posted to itself: the files of a drop wait in dropped_ until the drop has ended.
  static constexpr UINT kLoadDroppedFiles = WM_APP + 1;

  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // The menu bar and, from the menu items' shortcuts and F3, accelerators_.
  HMENU BuildMenus();
  // Hands the paths of the files dropped with `drop` over, once the drop has ended.
  void FilesDropped(HDROP drop);
  HWND BuildList(int id);
  SIZE Layout(int dpi) override;
  LRESULT OnNotify(LPARAM lparam);
  // Ctrl+A in a list: every row of it selected, the list painted once after.
  void SelectAllRows(int list_number);
  HWND List(int list_number) const { return list_number == 1 ? blocked_list_ : redirected_list_; }

  MainForm& form_;
  HWND blocked_list_ = nullptr;
  HWND redirected_list_ = nullptr;
  HWND status_label_ = nullptr;
  HMENU hosts_menu_ = nullptr;  // "Hosts", whose opening MainForm hears of
  Accelerators accelerators_;
  std::deque<std::vector<std::string>> dropped_;
  std::array<HWND, kMainControlCount> buttons_{};
  Font font_;
  // The text of the cell that a list asked for last.
  std::wstring cell_text_;
};

}  // namespace quorvale
