#pragma once

#include <windows.h>

#include <array>
#include <string>
#include <vector>

#include "forms/sources_form.h"
#include "forms/why_form.h"
#include "win32/window.h"

namespace quorvale {

// A modal window of the Sources part, drawn with one default button at a time: the push
// button that has the focus, else the window's own (DefaultButton(), unless disabled), which
// Enter then presses. An access key of a label moves the focus to the control after it.
class DialogWindow : public ModalWindow {
 public:
  // Dispatches the message, then draws the default button again for the focus it left.
  bool PreTranslate(MSG* msg) override;

 protected:
  explicit DialogWindow(HWND owner) : ModalWindow(owner) {}

  // The id of the window's default button.
  virtual int DefaultButton() const = 0;
  // Marks the default button for the current focus, and no other.
  void ShowDefaultButton();
  // DM_GETDEFID and WM_NEXTDLGCTL, as a dialog box answers them.
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
};

// The Sources window on Win32, modal: a report list of the sources, each with a check box that
// switches it on and off, and the buttons; SourcesForm fills it and decides what they do. A
// double click or Enter edits the row. "Fermer" (the default button), Escape and the close box
// close it, cancelling an update in progress; during an update the main form lets the window's
// messages run, so that the list shows the downloads and "Annuler" can be pressed. The user may
// resize it: the list takes the room the other controls leave, and "Fermer" and "Annuler" go
// under the other buttons in a narrow window.
class SourcesWindow : public DialogWindow, public SourcesView {
 public:
  // Posted when a row's check box changes: the form hears of it once the list has done with
  // the click (wparam: the row, lparam: whether it is checked).
  static constexpr UINT kSwitchSource = WM_APP + 1;

  // Builds the window, hidden, and runs SourcesForm's first step. It opens with the focus on
  // the list.
  SourcesWindow(SourcesForm& form, HWND owner);

  // SourcesView.
  void SetRows(const std::vector<Row>& rows) override;
  void SetCell(int row, int column, const std::string& text) override;
  int SelectedRow() const override;
  void SetControlEnabled(SourcesControl control, bool enabled) override;
  void SetDailyChecked(bool checked) override;
  void SetSummary(const std::string& text) override;
  void RunSourceEditor(SourceEditorForm& form) override;
  void RunAllowedNamesWindow(AllowedNamesForm& form) override;
  void Close() override { closed_ = true; }

 private:
  int DefaultButton() const override { return sources_ids::kCloseButton; }
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  LRESULT OnNotify(LPARAM lparam);
  SIZE Layout(int dpi) override;
  // Places the controls in a client area of `client` pixels, at layout_dpi().
  void Arrange(SIZE client);
  // Gives the list's columns their widths for the list's width.
  void FitColumns();
  // Shows each row's address whole, or cut in the middle when its column is too narrow.
  void FitAddresses();

  SourcesForm& form_;
  HWND list_ = nullptr;
  // The widths of the buttons left of "Fermer", of "Fermer" and "Annuler", and of the daily
  // box, at layout_dpi().
  int left_buttons_width_ = 0;
  int right_buttons_width_ = 0;
  int box_width_ = 0;
  std::vector<std::string> addresses_;  // each row's address, whole
  // While SetRows fills the list, its check boxes' changes are not the user's.
  bool filling_ = false;
  Font font_;
};

// The small window that asks for a source's address and kind. Enter presses "OK" (or the
// button that has the focus), Escape "Annuler"; the close box keeps nothing.
class SourceEditorWindow : public DialogWindow, public SourceEditorView {
 public:
  // Builds the window, hidden, and runs SourceEditorForm's first step. It opens with the focus
  // in the address field.
  SourceEditorWindow(SourceEditorForm& form, HWND owner);

  // SourceEditorView.
  std::string Address() const override;
  SourceKind Kind() const override;
  void SetAddress(const std::string& address) override;
  void SetKind(SourceKind kind) override;
  void Close() override { closed_ = true; }

 private:
  int DefaultButton() const override { return source_editor_ids::kOkButton; }
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  SourceEditorForm& form_;
  Font font_;
};

// The names of allow.txt, with "Retirer" and "Fermer" (the default button, also Escape).
class AllowedNamesWindow : public DialogWindow, public AllowedNamesView {
 public:
  AllowedNamesWindow(AllowedNamesForm& form, HWND owner);

  // AllowedNamesView.
  void SetNames(const std::vector<std::string>& names) override;
  int SelectedRow() const override;
  void Close() override { closed_ = true; }

 private:
  int DefaultButton() const override { return allowed_names_ids::kCloseButton; }
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  AllowedNamesForm& form_;
  Font font_;
};

// "Pourquoi ce nom ?": the lines that say where the name comes from, in a read-only text, with
// "Autoriser ce nom" and "Fermer" (the default button, also Escape). The user may resize it:
// the text takes the room the buttons leave.
class WhyWindow : public DialogWindow, public WhyView {
 public:
  WhyWindow(WhyForm& form, HWND owner);

  // WhyView.
  void Close() override { closed_ = true; }

 private:
  int DefaultButton() const override { return why_ids::kCloseButton; }
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  SIZE Layout(int dpi) override;

  // Places the controls in a client area of `client` pixels, at layout_dpi().
  void Arrange(SIZE client);

  WhyForm& form_;
  Font font_;
};

}  // namespace quorvale
