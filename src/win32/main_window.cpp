#include "win32/main_window.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <iterator>
#include <string_view>
#include <utility>

#include "core/utf16.h"
#include "forms/texts.h"
#include "win32/about_window.h"
#include "win32/backups_window.h"
#include "win32/options_window.h"
#include "win32/progress_window.h"
#include "win32/search_window.h"
#include "win32/sources_window.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.Form1";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// Message 0x0049 (WM_COPYGLOBALDATA) carries the data of a drag and drop.
constexpr UINT kCopyGlobalData = 0x0049;
// The index that asks DragQueryFileW for the number of files dropped.
constexpr UINT kDroppedFileCount = 0xFFFFFFFF;
// What GetMenuState answers for an item that the menu does not have.
constexpr UINT kNoMenuItem = static_cast<UINT>(-1);

const main_form_design::ButtonDesign* ButtonNamed(std::string_view name) {
  for (const main_form_design::ButtonDesign& design : main_form_design::kButtons) {
    if (name == design.name) return &design;
  }
  return nullptr;
}

// The accelerator of a shortcut as the design writes it: "Ctrl+", "Shift+" and "Alt+" before a
// letter, a digit or F1 to F24 ("Ctrl+F", "F3"). Any other key text gives a key that no
// keyboard sends.
ACCEL AcceleratorOf(std::string_view shortcut, int command) {
  constexpr std::pair<std::string_view, BYTE> kModifiers[] = {{"Ctrl+", FCONTROL}, {"Shift+", FSHIFT}, {"Alt+", FALT}};
  ACCEL accelerator = {FVIRTKEY, 0, static_cast<WORD>(command)};
  for (bool found = true; found;) {
    found = false;
    for (const auto& [prefix, flag] : kModifiers) {
      if (shortcut.starts_with(prefix)) {
        accelerator.fVirt |= flag;
        shortcut.remove_prefix(prefix.size());
        found = true;
      }
    }
  }
  int function_key = 0;
  if (shortcut.size() == 1 && std::isalnum(static_cast<unsigned char>(shortcut[0]))) {
    accelerator.key = static_cast<WORD>(std::toupper(static_cast<unsigned char>(shortcut[0])));
  } else if (shortcut.starts_with('F') &&
             std::from_chars(shortcut.data() + 1, shortcut.data() + shortcut.size(), function_key).ec == std::errc() &&
             function_key >= 1 && function_key <= 24) {
    accelerator.key = static_cast<WORD>(VK_F1 + function_key - 1);
  }
  return accelerator;
}

// For its lifetime a list does not paint; it paints whole once after. Some list controls
// (Wine's) repaint a virtual list's rows one by one as their selection changes: a million rows
// selected or unselected took minutes.
class PaintOnceAfter {
 public:
  explicit PaintOnceAfter(HWND list) : list_(list) { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }
  ~PaintOnceAfter() {
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
  }
  PaintOnceAfter(const PaintOnceAfter&) = delete;
  PaintOnceAfter& operator=(const PaintOnceAfter&) = delete;

 private:
  HWND list_;
};

// Unselects every row of `list`, painting it once.
void UnselectAll(HWND list) {
  if (ListView_GetSelectedCount(list) == 0) return;
  PaintOnceAfter paint(list);
  ListView_SetItemState(list, kAllItems, 0, LVIS_SELECTED);
}

// A subclass of the lists: a key or a click (its press or its release, where a list may
// unselect the other rows) that may change the selection of many rows (Shift held, or more
// than one row selected) paints once.
LRESULT CALLBACK PaintRangesOnce(HWND list, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR) {
  const bool many = (message == WM_KEYDOWN || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) &&
                    (GetKeyState(VK_SHIFT) < 0 || ListView_GetSelectedCount(list) > 1);
  if (!many) return DefSubclassProc(list, message, wparam, lparam);
  PaintOnceAfter paint(list);
  return DefSubclassProc(list, message, wparam, lparam);
}

// Whether Shift, Ctrl or Alt is held with the key being handled.
bool ModifierHeld() {
  return GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_MENU) < 0;
}

}  // namespace

MainWindow::MainWindow(MainForm& form) : form_(form) {
  Create(kClassName, texts::kTitle, kStyle, 0, nullptr, BuildMenus());
  // The controls in the tab order, which is the order they are made in.
  for (const char* name : main_form_design::kTabOrder) {
    if (std::string_view(name) == "ListView1") {
      blocked_list_ = BuildList(main_ids::kBlockedList);
    } else if (std::string_view(name) == "ListView2") {
      redirected_list_ = BuildList(main_ids::kRedirectedList);
    } else if (const main_form_design::ButtonDesign* design = ButtonNamed(name)) {
      buttons_[static_cast<int>(design->control)] =
          AddControl(hwnd_, WC_BUTTONW, design->caption,
                     BS_PUSHBUTTON | WS_TABSTOP | (design->enabled ? 0 : WS_DISABLED), main_ids::Of(design->control));
    }
  }
  status_label_ = AddControl(hwnd_, WC_STATICW, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, main_ids::kStatusLabel);
  ShowSortOrder(1, form_.session().blocked.sort_column(), form_.session().blocked.sort_direction());
  ShowSortOrder(2, form_.session().redirected.sort_column(), form_.session().redirected.sort_direction());
  SetFirstFocus(GetNextDlgTabItem(hwnd_, nullptr, FALSE));
  FitTo(ScreenOf(hwnd_), Placement::kKeepPlace);
  // When an administrator started the program elevated, files dragged from a normal Explorer
  // window must still reach it; run as invoker, drops need nothing.
  if (form_.platform().IsElevated()) {
    for (UINT message : {static_cast<UINT>(WM_DROPFILES), static_cast<UINT>(WM_COPYDATA), kCopyGlobalData}) {
      ChangeWindowMessageFilterEx(hwnd_, message, MSGFLT_ALLOW, nullptr);
    }
  }
  DragAcceptFiles(hwnd_, TRUE);
  form_.Start(this);
}

HMENU MainWindow::BuildMenus() {
  std::vector<ACCEL> shortcuts = {AcceleratorOf(main_form_design::kFindNextShortcut, main_ids::kFindNext)};
  HMENU bar = CreateMenu();
  for (const main_form_design::MenuDesign& design : main_form_design::kMenus) {
    HMENU menu = bar;
    if (design.name != nullptr) {
      menu = CreatePopupMenu();
      AppendMenuW(bar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(menu), WideFromUtf8(design.caption).c_str());
      if (design.reports_opening) hosts_menu_ = menu;
    }
    for (int i = 0; i < design.item_count; ++i) {
      const main_form_design::MenuItemDesign& item = design.items[i];
      if (item.separator_before && menu != bar) AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
      std::string caption = item.caption;
      if (item.shortcut != nullptr) {
        // A menu shows the shortcut after a tab, in a column of its own.
        caption += std::string("\t") + item.shortcut;
        shortcuts.push_back(AcceleratorOf(item.shortcut, main_ids::Of(item.control)));
      }
      AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(main_ids::Of(item.control)), WideFromUtf8(caption).c_str());
    }
  }
  accelerators_.reset(CreateAcceleratorTableW(shortcuts.data(), static_cast<int>(shortcuts.size())));
  return bar;
}

HWND MainWindow::BuildList(int id) {
  HWND list = AddControl(hwnd_, WC_LISTVIEWW, "",
                         LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_TABSTOP | WS_BORDER, id);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
  SetWindowSubclass(list, PaintRangesOnce, 0, 0);
  for (int column = 0; column < main_form_design::kColumnCount; ++column) {
    std::wstring caption = WideFromUtf8(main_form_design::kColumns[column].caption);
    LVCOLUMNW design = {};
    design.mask = LVCF_TEXT | LVCF_FMT;
    design.fmt = LVCFMT_LEFT;
    design.pszText = caption.data();
    ListView_InsertColumn(list, column, &design);
  }
  return list;
}

SIZE MainWindow::Layout(int dpi) {
  using namespace main_form_design;
  const int width = TwipsToPixels(kClientWidthTwips, dpi);
  const int height = TwipsToPixels(kClientHeightTwips, dpi);
  Place(blocked_list_, TwipsRect(kBlockedList, dpi));
  Place(redirected_list_, TwipsRect(kRedirectedList, dpi));
  // The status text grows to the right to show its whole text.
  Rect label = TwipsRect(kStatusLabel, dpi);
  label.width = width - label.left - Scale(kStatusRightMargin, dpi);
  Place(status_label_, label);
  for (const ButtonDesign& design : kButtons) Place(buttons_[static_cast<int>(design.control)], TwipsRect(design.place, dpi));
  for (HWND list : {blocked_list_, redirected_list_}) {
    for (int column = 0; column < kColumnCount; ++column) {
      ListView_SetColumnWidth(list, column, Scale(kColumns[column].width, dpi));
    }
  }
  Font font = MakeFont(MessageFontAt(dpi));
  SetControlsFont(hwnd_, font.get());
  font_ = std::move(font);
  return {width, height};
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      // A menu item (code 0) and a shortcut (code 1) come without a control.
      const bool from_menu = lparam == 0 && (code == 0 || code == 1);
      const bool from_button = lparam != 0 && code == BN_CLICKED;
      if (from_menu && id == main_ids::kFindNext) {
        form_.FindNext();
      } else if ((from_menu || from_button) && id >= main_ids::kFirstControl &&
                 id < main_ids::kFirstControl + kMainControlCount) {
        form_.Click(static_cast<MainControl>(id - main_ids::kFirstControl));
      }
      return 0;
    }
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(wparam) == hosts_menu_) form_.HostsMenuOpening();
      return 0;
    case WM_DROPFILES:
      FilesDropped(reinterpret_cast<HDROP>(wparam));
      return 0;
    case kLoadDroppedFiles:
      if (!dropped_.empty()) {
        const std::vector<std::string> paths = std::move(dropped_.front());
        dropped_.pop_front();
        form_.LoadDroppedFiles(paths);
      }
      return 0;
    case WM_NOTIFY:
      return OnNotify(lparam);
    case WM_CLOSE:
      // MainForm hides the window and ends the program, or does so once its command has ended.
      form_.CloseRequested();
      return 0;
    default:
      return Window::HandleMessage(message, wparam, lparam);
  }
}

LRESULT MainWindow::OnNotify(LPARAM lparam) {
  const NMHDR& header = *reinterpret_cast<const NMHDR*>(lparam);
  if (header.idFrom != main_ids::kBlockedList && header.idFrom != main_ids::kRedirectedList) return 0;
  const int list_number = header.idFrom == main_ids::kBlockedList ? 1 : 2;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      // The list asks for the text of one cell; it is read from the session's list in place.
      LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lparam)->item;
      if (!(item.mask & LVIF_TEXT) || item.cchTextMax <= 0) return 0;
      cell_text_ = WideFromUtf8(form_.CellText(list_number, item.iItem, item.iSubItem));
      const size_t length = std::min(cell_text_.size(), static_cast<size_t>(item.cchTextMax - 1));
      std::memcpy(item.pszText, cell_text_.data(), length * sizeof(wchar_t));
      item.pszText[length] = L'\0';
      return 0;
    }
    case LVN_COLUMNCLICK:
      form_.ColumnClick(list_number, reinterpret_cast<const NMLISTVIEW*>(lparam)->iSubItem);
      return 0;
    case LVN_KEYDOWN: {
      // The list hears of the key before it acts on it.
      const WORD key = reinterpret_cast<const NMLVKEYDOWN*>(lparam)->wVKey;
      if (key == VK_DELETE && !ModifierHeld()) {
        form_.DeleteSelectedRows(list_number);
      } else if (key == 'A' && GetKeyState(VK_CONTROL) < 0 && GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_MENU) >= 0) {
        SelectAllRows(list_number);
      }
      return 0;
    }
    case LVN_ITEMCHANGED:
      if ((reinterpret_cast<const NMLISTVIEW*>(lparam)->uChanged & LVIF_STATE) != 0) form_.SelectionChanged();
      return 0;
    case LVN_ODSTATECHANGED: {
      // A virtual list says so for a range of rows (Shift with a click or End, select-all)
      // rather than row by row.
      const NMLVODSTATECHANGE& change = *reinterpret_cast<const NMLVODSTATECHANGE*>(lparam);
      if (((change.uOldState ^ change.uNewState) & LVIS_SELECTED) != 0) form_.SelectionChanged();
      return 0;
    }
    case LVN_ODFINDITEMW:
      return kNoItemFound;
    default:
      return 0;
  }
}

void MainWindow::SetStatusText(const std::string& text) { SetWindowTextW(status_label_, WideFromUtf8(text).c_str()); }

void MainWindow::SetControlEnabled(MainControl control, bool enabled) {
  HMENU menu = GetMenu(hwnd_);
  const UINT id = static_cast<UINT>(main_ids::Of(control));
  // The menu bar is drawn again only when an item changed: a selection change tells every
  // time, and a drawing each time costs a trip to the screen.
  const UINT state = enabled ? MF_ENABLED : MF_GRAYED;
  if (GetMenuState(menu, id, MF_BYCOMMAND) != kNoMenuItem &&
      static_cast<UINT>(EnableMenuItem(menu, id, MF_BYCOMMAND | state)) != state) {
    DrawMenuBar(hwnd_);
  }
  if (HWND button = buttons_[static_cast<int>(control)]) EnableWindow(button, enabled);
}

void MainWindow::SetControlCaption(MainControl control, const std::string& caption) {
  const std::wstring text = WideFromUtf8(caption);
  HMENU menu = GetMenu(hwnd_);
  MENUITEMINFOW item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STRING;
  item.dwTypeData = const_cast<wchar_t*>(text.c_str());
  if (SetMenuItemInfoW(menu, static_cast<UINT>(main_ids::Of(control)), FALSE, &item)) DrawMenuBar(hwnd_);
  if (HWND button = buttons_[static_cast<int>(control)]) SetWindowTextW(button, text.c_str());
}

void MainWindow::SetWindowEnabled(bool enabled) { EnableWindow(hwnd_, enabled); }

void MainWindow::SetWindowVisible(bool visible) { ShowWindow(hwnd_, visible ? SW_SHOW : SW_HIDE); }

void MainWindow::ListChanged(int list_number) {
  HWND list = List(list_number);
  const EntryList& rows = list_number == 1 ? form_.session().blocked : form_.session().redirected;
  // The count goes first: the rows that went leave the selection with it, and the
  // unselecting below visits only the rows left.
  ListView_SetItemCountEx(list, static_cast<int>(rows.size()), 0);
  // The rows are new: what was selected is no longer the same row.
  UnselectAll(list);
  InvalidateRect(list, nullptr, TRUE);
  // A selection that went with its rows is not always told of.
  form_.SelectionChanged();
}

void MainWindow::ShowSortOrder(int list_number, Column column, SortDirection direction) {
  HWND header = ListView_GetHeader(List(list_number));
  for (int i = 0; i < Header_GetItemCount(header); ++i) {
    HDITEMW item = {};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, i, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == static_cast<int>(column)) item.fmt |= direction == SortDirection::kAscending ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, i, &item);
  }
}

void MainWindow::SelectAllRows(int list_number) {
  HWND list = List(list_number);
  PaintOnceAfter paint(list);
  ListView_SetItemState(list, kAllItems, LVIS_SELECTED, LVIS_SELECTED);
}

std::vector<size_t> MainWindow::SelectedRows(int list_number) const {
  HWND list = List(list_number);
  const size_t count = SelectedRowCount(list_number);
  std::vector<size_t> rows;
  rows.reserve(count);
  int row = ListView_GetNextItem(list, kBeforeFirstItem, LVNI_SELECTED);
  while (row >= 0) {
    // When the selected rows not yet listed, `left` of them, all follow `row`, and the row
    // `left` - 1 places on is selected with none after it, they fill the places between:
    // a run of any length (Shift+End, select-all) costs three messages.
    const size_t left = count - std::min(rows.size(), count);
    const int last = row + static_cast<int>(left) - 1;
    if (left > 0 && ListView_GetItemState(list, last, LVIS_SELECTED) != 0 &&
        ListView_GetNextItem(list, last, LVNI_SELECTED) < 0) {
      for (int place = row; place <= last; ++place) rows.push_back(static_cast<size_t>(place));
      break;
    }
    // Otherwise row by row to the end of this run, where the test above is tried again.
    int next = row;
    do {
      row = next;
      rows.push_back(static_cast<size_t>(row));
      next = ListView_GetNextItem(list, row, LVNI_SELECTED);
    } while (next == row + 1);
    row = next;
  }
  return rows;
}

size_t MainWindow::SelectedRowCount(int list_number) const {
  return static_cast<size_t>(ListView_GetSelectedCount(List(list_number)));
}

void MainWindow::SelectRow(int list_number, size_t row) {
  for (HWND list : {blocked_list_, redirected_list_}) UnselectAll(list);
  HWND list = List(list_number);
  const int item = static_cast<int>(row);
  ListView_SetItemState(list, item, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  // Shift with a click or an arrow key selects from this row on.
  ListView_SetSelectionMark(list, item);
  ListView_EnsureVisible(list, item, FALSE);
  SetFocus(list);
}

void MainWindow::FilesDropped(HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = DragQueryFileW(drop, kDroppedFileCount, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(Utf8FromWide(path));
  }
  DragFinish(drop);
  // The loads run after the drop has ended, so that the program the files came from is not
  // kept waiting.
  dropped_.push_back(std::move(paths));
  PostMessageW(hwnd_, kLoadDroppedFiles, 0, 0);
}

bool MainWindow::PreTranslate(MSG* msg) {
  if (accelerators_ != nullptr && TranslateAcceleratorW(hwnd_, accelerators_.get(), msg)) return true;
  return Window::PreTranslate(msg);
}

void MainWindow::ProcessEvents() { ProcessPendingMessages(); }

void MainWindow::Close() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

void MainWindow::Quit(int exit_code) { PostQuitMessage(exit_code); }

void MainWindow::RunOptionsWindow(OptionsForm& form) { OptionsWindow(form, hwnd_).RunModal(); }

void MainWindow::RunAboutWindow(AboutForm& form) { AboutWindow(form, hwnd_).RunModal(); }

void MainWindow::RunSearchWindow(SearchForm& form) { SearchWindow(form, hwnd_).RunModal(); }

void MainWindow::RunBackupsWindow(BackupsForm& form) { BackupsWindow(form, hwnd_).RunModal(); }

void MainWindow::RunSourcesWindow(SourcesForm& form) { SourcesWindow(form, hwnd_).RunModal(); }

void MainWindow::RunWhyWindow(WhyForm& form) { WhyWindow(form, hwnd_).RunModal(); }

std::unique_ptr<ProgressView> MainWindow::OpenProgressWindow(ProgressForm& form) {
  auto window = std::make_unique<ProgressWindow>(form, hwnd_);
  window->Open();
  return window;
}

}  // namespace quorvale
