#include "win32/search_window.h"

#include <commctrl.h>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.frmSearch";
// The text field's height, in pixels at 96 dpi.
constexpr int kTextHeight = 23;

}  // namespace

SearchWindow::SearchWindow(SearchForm& form, HWND owner) : ModalWindow(owner), form_(form) {
  using namespace search_ids;
  Create(kClassName, SearchForm::kCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner);
  AddControl(hwnd_, WC_STATICW, SearchForm::kPromptCaption, SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE, kPrompt);
  HWND text = AddControl(hwnd_, WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, kTextField, WS_EX_CLIENTEDGE);
  AddControl(hwnd_, WC_BUTTONW, SearchForm::kOkCaption, BS_DEFPUSHBUTTON | WS_TABSTOP, kOkButton);
  AddControl(hwnd_, WC_BUTTONW, SearchForm::kCancelCaption, BS_PUSHBUTTON | WS_TABSTOP, kCancelButton);
  SetFirstFocus(text);
  LayOutAndFit(dpi());
  form_.Start(this);
}

SIZE SearchWindow::Layout(int dpi) {
  using namespace search_ids;
  Font font = MakeFont(MessageFontAt(dpi));
  SetControlsFont(hwnd_, font.get());
  font_ = std::move(font);
  const int margin = Scale(kDialogMargin, dpi);
  const int spacing = Scale(kDialogSpacing, dpi);
  const int text_height = Scale(kTextHeight, dpi);
  // The label, then the field, on one row.
  const int label_width = TextWidth(hwnd_, font_.get(), WideFromUtf8(SearchForm::kPromptCaption));
  Place(GetDlgItem(hwnd_, kPrompt), {margin, margin, label_width, text_height});
  const int text_left = margin + label_width + spacing;
  const int text_width = FontMetrics(hwnd_, font_.get()).tmAveCharWidth * SearchForm::kTextFieldChars;
  const int width = text_left + text_width + margin;
  Place(GetDlgItem(hwnd_, kTextField), {text_left, margin, text_width, text_height});
  const int buttons_top = margin + text_height + spacing;
  PlaceButtonRow(hwnd_, {kOkButton, kCancelButton}, width - margin, buttons_top, dpi);
  return {width, buttons_top + Scale(kButtonHeight, dpi) + margin};
}

std::string SearchWindow::Text() const {
  HWND text = GetDlgItem(hwnd_, search_ids::kTextField);
  std::wstring wide(static_cast<size_t>(GetWindowTextLengthW(text)) + 1, L'\0');
  wide.resize(static_cast<size_t>(GetWindowTextW(text, wide.data(), static_cast<int>(wide.size()))));
  return Utf8FromWide(wide);
}

LRESULT SearchWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Enter comes as the default button's command, Escape as IDCANCEL's.
      if (LOWORD(wparam) == search_ids::kOkButton) form_.Accept();
      if (LOWORD(wparam) == search_ids::kCancelButton) form_.Cancel();
      return 0;
    case DM_GETDEFID:
      return DefaultButtonAnswer(hwnd_, search_ids::kOkButton);
    default:
      return ModalWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
