#include "win32/backups_window.h"

#include <commctrl.h>

#include <iterator>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.frmBackups";
// The widths of the list's columns but the last, which takes the rest, in pixels at 96 dpi.
constexpr int kSizeColumnWidth = 110;
constexpr int kColumnWidths[] = {BackupsForm::kDateColumnWidth, kSizeColumnWidth};

}  // namespace

BackupsWindow::BackupsWindow(BackupsForm& form, HWND owner) : ModalWindow(owner), form_(form) {
  Create(kClassName, BackupsForm::kCaption, WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME, owner);
  list_ = AddControl(hwnd_, WC_LISTVIEWW, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                     backups_ids::kCopiesList, WS_EX_CLIENTEDGE);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  for (int column = 0; column < static_cast<int>(std::size(BackupsForm::kColumns)); ++column) {
    std::wstring caption = WideFromUtf8(BackupsForm::kColumns[column]);
    LVCOLUMNW design = {};
    design.mask = LVCF_TEXT | LVCF_FMT;
    // The sizes and the counts line up on their right.
    design.fmt = column == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
    design.pszText = caption.data();
    ListView_InsertColumn(list_, column, &design);
  }
  AddControl(hwnd_, WC_BUTTONW, BackupsForm::kRestoreCaption, BS_DEFPUSHBUTTON | WS_TABSTOP, backups_ids::kRestoreButton);
  AddControl(hwnd_, WC_BUTTONW, BackupsForm::kCancelCaption, BS_PUSHBUTTON | WS_TABSTOP, backups_ids::kCancelButton);
  SetFirstFocus(list_);
  LayOutAndFit(dpi());
  form_.Start(this);
}

SIZE BackupsWindow::Layout(int dpi) {
  Font font = MakeFont(MessageFontAt(dpi));
  SetControlsFont(hwnd_, font.get());
  font_ = std::move(font);
  const int margin = Scale(kDialogMargin, dpi);
  const int list_width = Scale(BackupsForm::kListWidth, dpi);
  const int list_height = Scale(BackupsForm::kListHeight, dpi);
  const int width = margin + list_width + margin;
  Place(list_, {margin, margin, list_width, list_height});
  for (int column = 0; column < static_cast<int>(std::size(kColumnWidths)); ++column) {
    ListView_SetColumnWidth(list_, column, Scale(kColumnWidths[column], dpi));
  }
  ListView_SetColumnWidth(list_, static_cast<int>(std::size(kColumnWidths)), LVSCW_AUTOSIZE_USEHEADER);
  const int buttons_top = margin + list_height + Scale(kDialogSpacing, dpi);
  PlaceButtonRow(hwnd_, {backups_ids::kRestoreButton, backups_ids::kCancelButton}, width - margin, buttons_top, dpi);
  return {width, buttons_top + Scale(kButtonHeight, dpi) + margin};
}

void BackupsWindow::SetRows(const std::vector<std::array<std::string, 3>>& rows) {
  ListView_DeleteAllItems(list_);
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    for (int column = 0; column < static_cast<int>(rows[row].size()); ++column) {
      std::wstring text = WideFromUtf8(rows[row][column]);
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = row;
      item.iSubItem = column;
      item.pszText = text.data();
      if (column == 0) {
        ListView_InsertItem(list_, &item);
      } else {
        ListView_SetItem(list_, &item);
      }
    }
  }
  if (!rows.empty()) ListView_SetItemState(list_, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
}

void BackupsWindow::SetEntries(int row, const std::string& text) {
  std::wstring wide = WideFromUtf8(text);
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = BackupsForm::kEntriesColumn;
  item.pszText = wide.data();
  ListView_SetItem(list_, &item);
}

void BackupsWindow::Close() {
  form_.WindowClosing();
  closed_ = true;
}

int BackupsWindow::SelectedRow() const { return ListView_GetNextItem(list_, kBeforeFirstItem, LVNI_SELECTED); }

LRESULT BackupsWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Enter comes as the default button's command, Escape as IDCANCEL's.
      if (LOWORD(wparam) == backups_ids::kRestoreButton) form_.RestoreSelected();
      if (LOWORD(wparam) == backups_ids::kCancelButton) form_.Cancel();
      return 0;
    case DM_GETDEFID:
      return DefaultButtonAnswer(hwnd_, backups_ids::kRestoreButton);
    case WM_SHOWWINDOW:
      if (wparam) PostMessageW(hwnd_, kCountEntries, 0, 0);
      return ModalWindow::HandleMessage(message, wparam, lparam);
    case kCountEntries:
      form_.CountEntries();
      return 0;
    case WM_CLOSE:
      form_.WindowClosing();
      return ModalWindow::HandleMessage(message, wparam, lparam);
    default:
      return ModalWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
