#include "win32/sources_window.h"

#include <commctrl.h>

#include <algorithm>
#include <iterator>
#include <span>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kSourcesClass[] = L"Quorvale.frmSources";
constexpr wchar_t kEditorClass[] = L"Quorvale.frmSource";
constexpr wchar_t kAllowedNamesClass[] = L"Quorvale.frmNomsAutorises";
constexpr wchar_t kWhyClass[] = L"Quorvale.frmPourquoi";

// The editor's option of `kind`.
constexpr int KindOptionId(SourceKind kind) { return source_editor_ids::kFirstKindOption + static_cast<int>(kind); }
constexpr int kLastKindOption = source_editor_ids::kFirstKindOption + static_cast<int>(std::size(kSourceKinds)) - 1;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kResizableStyle = kDialogStyle | WS_THICKFRAME;

// The buttons' ids, in the order of SourcesControl.
constexpr int kSourcesButtons[] = {sources_ids::kAddButton,    sources_ids::kEditButton,
                                   sources_ids::kRemoveButton, sources_ids::kUpdateButton,
                                   sources_ids::kAllowedNamesButton, sources_ids::kCloseButton,
                                   sources_ids::kCancelButton};
static_assert(std::size(kSourcesButtons) == kSourcesControlCount, "an id for each button");
static_assert(std::size(kSourcesButtons) + 1 == std::size(SourcesForm::kCaptions), "a caption for each button and the box");
// The Sources window's buttons in a row under the list, "Fermer" and "Annuler" on its right,
// apart.
constexpr int kLeftButtons[] = {sources_ids::kAddButton, sources_ids::kEditButton, sources_ids::kRemoveButton,
                                sources_ids::kUpdateButton, sources_ids::kAllowedNamesButton};
constexpr int kRightButtons[] = {sources_ids::kCloseButton, sources_ids::kCancelButton};
constexpr int kWhyButtons[] = {why_ids::kAllowButton, why_ids::kCloseButton};

// The state image of a checked row in a list with check boxes (1 is unchecked, 0 none).
constexpr UINT kCheckedImage = 2;
// A button is as wide as its caption with this room on each side, at least kButtonWidth; a
// one-line field or option is this high (pixels at 96 dpi).
constexpr int kButtonTextRoom = 10;
// The room a report list leaves on each side of a label's text (pixels at 96 dpi).
constexpr int kLabelPadding = 3;
constexpr int kFieldHeight = 23;
// The allowed names' list, in pixels at 96 dpi.
constexpr int kNamesWidth = 320;
constexpr int kNamesHeight = 200;
// The smallest the user may make the Sources window's list and the "Pourquoi ce nom ?" text
// (a few lines each), and the narrowest that the columns of long texts become in a narrow
// list, in pixels at 96 dpi.
constexpr int kSmallestListHeight = 80;
constexpr int kSmallestTextHeight = 60;
constexpr int kShortestTextColumn = 60;

// The width that the button `id` of `parent` needs for its caption.
int ButtonWidth(HWND parent, int id, HFONT font, int dpi) {
  HWND button = GetDlgItem(parent, id);
  std::wstring caption(static_cast<size_t>(GetWindowTextLengthW(button)) + 1, L'\0');
  caption.resize(static_cast<size_t>(GetWindowTextW(button, caption.data(), static_cast<int>(caption.size()))));
  return std::max(Scale(kButtonWidth, dpi), TextWidth(parent, font, ShownCaption(caption)) + 2 * Scale(kButtonTextRoom, dpi));
}

// The width of the buttons `ids` side by side.
int ButtonsWidth(HWND parent, std::span<const int> ids, HFONT font, int dpi) {
  int width = -Scale(kDialogSpacing, dpi);
  for (int id : ids) width += ButtonWidth(parent, id, font, dpi) + Scale(kDialogSpacing, dpi);
  return width;
}

// Places the buttons `ids` side by side, each as wide as its caption needs, from `left` at `top`.
void PlaceButtons(HWND parent, std::span<const int> ids, HFONT font, int left, int top, int dpi) {
  for (int id : ids) {
    const int width = ButtonWidth(parent, id, font, dpi);
    Place(GetDlgItem(parent, id), {left, top, width, Scale(kButtonHeight, dpi)});
    left += width + Scale(kDialogSpacing, dpi);
  }
}

HWND AddButton(HWND parent, const char* caption, int id) {
  return AddControl(parent, WC_BUTTONW, caption, BS_PUSHBUTTON | WS_TABSTOP, id);
}

void SetItemText(HWND list, int row, int column, const std::string& text) {
  std::wstring wide = WideFromUtf8(text);
  ListView_SetItemText(list, row, column, wide.data());
}

std::string TextOfControl(HWND control) {
  std::wstring wide(static_cast<size_t>(GetWindowTextLengthW(control)) + 1, L'\0');
  wide.resize(static_cast<size_t>(GetWindowTextW(control, wide.data(), static_cast<int>(wide.size()))));
  return Utf8FromWide(wide);
}

// The height of the Sources window's client area with a list `list_height` pixels high and
// `button_rows` rows of buttons, at `dpi`.
int SourcesClientHeight(int list_height, int button_rows, int dpi) {
  const int spacing = Scale(kDialogSpacing, dpi);
  return 2 * Scale(kDialogMargin, dpi) + list_height + spacing + Scale(kFieldHeight, dpi) +
         button_rows * (spacing + Scale(kButtonHeight, dpi));
}

// The window's font at `dpi`, given to its controls.
Font SetWindowFont(HWND window, int dpi) {
  Font font = MakeFont(MessageFontAt(dpi));
  SetControlsFont(window, font.get());
  return font;
}

// The answer of WM_GETDLGCODE that a push button gives, drawn as the default or not.
constexpr LRESULT kPushButtonCodes = DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON;

}  // namespace

bool DialogWindow::PreTranslate(MSG* msg) {
  if (!ModalWindow::PreTranslate(msg)) {
    TranslateMessage(msg);
    DispatchMessageW(msg);
  }
  if (hwnd_ != nullptr) ShowDefaultButton();
  return true;
}

void DialogWindow::ShowDefaultButton() {
  HWND focus = GetFocus();
  const bool on_button = focus != nullptr && IsChild(hwnd_, focus) &&
                         (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & kPushButtonCodes) != 0;
  HWND chosen = on_button ? focus : GetDlgItem(hwnd_, DefaultButton());
  if (chosen != nullptr && !IsWindowEnabled(chosen)) chosen = nullptr;
  for (HWND child = GetWindow(hwnd_, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    const LRESULT code = SendMessageW(child, WM_GETDLGCODE, 0, 0);
    if ((code & kPushButtonCodes) == 0 || ((code & DLGC_DEFPUSHBUTTON) != 0) == (child == chosen)) continue;
    SendMessageW(child, BM_SETSTYLE, child == chosen ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

LRESULT DialogWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case DM_GETDEFID:
      return DefaultButtonAnswer(hwnd_, DefaultButton());
    case WM_NEXTDLGCTL: {
      // The dialog manager's way to a label's control: the label (lparam set, wparam the
      // control), then the control that follows it (lparam 0, wparam whether backwards).
      HWND next = LOWORD(lparam) ? reinterpret_cast<HWND>(wparam) : GetNextDlgTabItem(hwnd_, GetFocus(), wparam != 0);
      if (next == nullptr) return 0;
      SetFocus(next);
      if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) SendMessageW(next, EM_SETSEL, 0, -1);
      return 0;
    }
    default:
      return ModalWindow::HandleMessage(message, wparam, lparam);
  }
}

SourcesWindow::SourcesWindow(SourcesForm& form, HWND owner) : DialogWindow(owner), form_(form) {
  Create(kSourcesClass, SourcesForm::kCaption, kResizableStyle, WS_EX_DLGMODALFRAME, owner);
  list_ = AddControl(hwnd_, WC_LISTVIEWW, "", LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                     sources_ids::kList, WS_EX_CLIENTEDGE);
  // A cut cell shows its whole text as a tip: the addresses' through LVN_GETINFOTIP.
  ListView_SetExtendedListViewStyle(list_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER |
                                               LVS_EX_LABELTIP | LVS_EX_INFOTIP);
  for (int column = 0; column < static_cast<int>(std::size(SourcesForm::kColumns)); ++column) {
    std::wstring caption = WideFromUtf8(SourcesForm::kColumns[column]);
    LVCOLUMNW design = {};
    design.mask = LVCF_TEXT | LVCF_FMT;
    design.fmt = column == SourcesForm::kEntriesColumn ? LVCFMT_RIGHT : LVCFMT_LEFT;
    design.pszText = caption.data();
    ListView_InsertColumn(list_, column, &design);
  }
  // Drawn by the window, as the options window's boxes are.
  AddControl(hwnd_, WC_BUTTONW, SourcesForm::kCaptions[SourcesForm::kDailyBox], BS_CHECKBOX | WS_TABSTOP,
             sources_ids::kDailyBox);
  AddControl(hwnd_, WC_STATICW, "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS, sources_ids::kSummary);
  for (int i = 0; i < kSourcesControlCount; ++i) AddButton(hwnd_, SourcesForm::kCaptions[i], kSourcesButtons[i]);
  SetFirstFocus(list_);
  LayOutAndFit(dpi());
  form_.Start(this);
  ShowDefaultButton();
}

SIZE SourcesWindow::Layout(int dpi) {
  font_ = SetWindowFont(hwnd_, dpi);
  const int margin = Scale(kDialogMargin, dpi);
  left_buttons_width_ = ButtonsWidth(hwnd_, kLeftButtons, font_.get(), dpi);
  right_buttons_width_ = ButtonsWidth(hwnd_, kRightButtons, font_.get(), dpi);
  box_width_ = CheckBoxWidth(hwnd_, font_.get(), WideFromUtf8(TextOfControl(GetDlgItem(hwnd_, sources_ids::kDailyBox))),
                             dpi);
  smallest_client_ = {margin + std::max({left_buttons_width_, right_buttons_width_, box_width_}) + margin,
                      SourcesClientHeight(Scale(kSmallestListHeight, dpi), 2, dpi)};
  const int row_width = left_buttons_width_ + 2 * Scale(kDialogSpacing, dpi) + right_buttons_width_;
  const SIZE client = {margin + std::max(Scale(SourcesForm::kListWidth, dpi), row_width) + margin,
                       SourcesClientHeight(Scale(SourcesForm::kListHeight, dpi), 1, dpi)};
  Arrange(client);
  return client;
}

void SourcesWindow::Arrange(SIZE client) {
  using namespace sources_ids;
  const int dpi = layout_dpi();
  const int margin = Scale(kDialogMargin, dpi);
  const int spacing = Scale(kDialogSpacing, dpi);
  const int field_height = Scale(kFieldHeight, dpi);
  const int list_width = std::max(0, static_cast<int>(client.cx) - 2 * margin);
  // The buttons in a row under the list, or in two when "Fermer" and "Annuler" do not fit
  // beside the others.
  const int rows = left_buttons_width_ + 2 * spacing + right_buttons_width_ <= list_width ? 1 : 2;
  const int list_height = std::max(0, static_cast<int>(client.cy) - SourcesClientHeight(0, rows, dpi));
  Place(list_, {margin, margin, list_width, list_height});
  FitColumns();
  FitAddresses();
  // The daily box under the list, the buttons under it.
  const int box_top = margin + list_height + spacing;
  Place(GetDlgItem(hwnd_, kDailyBox), {margin, box_top, box_width_, field_height});
  // The summary on the box's right, centred on its line.
  const int summary_left = margin + box_width_ + 2 * spacing;
  const int text_height = FontMetrics(hwnd_, font_.get()).tmHeight;
  Place(GetDlgItem(hwnd_, kSummary), {summary_left, box_top + (field_height - text_height) / 2,
                                      std::max(0, margin + list_width - summary_left), text_height});
  const int buttons_top = box_top + field_height + spacing;
  PlaceButtons(hwnd_, kLeftButtons, font_.get(), margin, buttons_top, dpi);
  PlaceButtons(hwnd_, kRightButtons, font_.get(), margin + list_width - right_buttons_width_,
               buttons_top + (rows - 1) * (Scale(kButtonHeight, dpi) + spacing), dpi);
}

void SourcesWindow::FitColumns() {
  using Form = SourcesForm;
  const int dpi = layout_dpi();
  // The form's widths, but the last column, which takes the rest.
  int widths[Form::kEntriesColumn] = {};
  int total = Scale(Form::kColumnWidths[Form::kEntriesColumn], dpi);
  for (int column = 0; column < Form::kEntriesColumn; ++column) {
    widths[column] = Scale(Form::kColumnWidths[column], dpi);
    total += widths[column];
  }
  // In a list narrower than that, the columns of long texts give up the difference in
  // proportion to their widths.
  RECT inside = {};
  GetClientRect(list_, &inside);
  if (const int missing = total - inside.right; missing > 0) {
    const int long_texts = widths[Form::kAddressColumn] + widths[Form::kStateColumn];
    for (int column : {Form::kAddressColumn, Form::kStateColumn}) {
      widths[column] =
          std::max(Scale(kShortestTextColumn, dpi), widths[column] - MulDiv(missing, widths[column], long_texts));
    }
  }
  for (int column = 0; column < Form::kEntriesColumn; ++column) ListView_SetColumnWidth(list_, column, widths[column]);
  ListView_SetColumnWidth(list_, Form::kEntriesColumn, LVSCW_AUTOSIZE_USEHEADER);
}

void SourcesWindow::FitAddresses() {
  for (int row = 0; row < static_cast<int>(addresses_.size()); ++row) {
    RECT label = {};
    ListView_GetItemRect(list_, row, &label, LVIR_LABEL);
    // The room the list leaves around a label's text.
    const int room = label.right - label.left - 2 * Scale(kLabelPadding, layout_dpi());
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0));
    SetItemText(list_, row, SourcesForm::kAddressColumn, AddressCutToFit(addresses_[row], [&](std::string_view text) {
                  return TextWidth(list_, font, WideFromUtf8(text)) <= room;
                }));
  }
}

void SourcesWindow::SetRows(const std::vector<Row>& rows) {
  const int selected = SelectedRow();
  filling_ = true;
  ListView_DeleteAllItems(list_);
  addresses_.clear();
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    addresses_.push_back(rows[row].cells[SourcesForm::kAddressColumn]);
    std::wstring address = WideFromUtf8(addresses_.back());
    LVITEMW item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = address.data();
    ListView_InsertItem(list_, &item);
    // A malformed line has no check box.
    if (rows[row].malformed) {
      ListView_SetItemState(list_, row, INDEXTOSTATEIMAGEMASK(0), LVIS_STATEIMAGEMASK);
    } else {
      ListView_SetCheckState(list_, row, rows[row].enabled);
    }
    for (int column = 1; column < static_cast<int>(rows[row].cells.size()); ++column) {
      SetItemText(list_, row, column, rows[row].cells[column]);
    }
  }
  if (!rows.empty()) {
    const int row = std::clamp(selected, 0, static_cast<int>(rows.size()) - 1);
    ListView_SetItemState(list_, row, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  }
  FitAddresses();
  filling_ = false;
}

void SourcesWindow::SetCell(int row, int column, const std::string& text) {
  if (column == SourcesForm::kAddressColumn && row >= 0 && row < static_cast<int>(addresses_.size())) {
    addresses_[row] = text;
    return FitAddresses();
  }
  SetItemText(list_, row, column, text);
}

int SourcesWindow::SelectedRow() const { return ListView_GetNextItem(list_, kBeforeFirstItem, LVNI_SELECTED); }

void SourcesWindow::SetControlEnabled(SourcesControl control, bool enabled) {
  EnableWindow(GetDlgItem(hwnd_, kSourcesButtons[static_cast<int>(control)]), enabled);
  // A button that had the focus loses it as it is disabled: the list takes it, so that the
  // keyboard still reaches the window.
  if (!enabled && GetFocus() == nullptr && GetActiveWindow() == hwnd_) SetFocus(list_);
  ShowDefaultButton();
}

void SourcesWindow::SetSummary(const std::string& text) {
  SetWindowTextW(GetDlgItem(hwnd_, sources_ids::kSummary), WideFromUtf8(text).c_str());
}

// Setting the box's state reports no click.
void SourcesWindow::SetDailyChecked(bool checked) {
  SendDlgItemMessageW(hwnd_, sources_ids::kDailyBox, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void SourcesWindow::RunSourceEditor(SourceEditorForm& form) { SourceEditorWindow(form, hwnd_).RunModal(); }

void SourcesWindow::RunAllowedNamesWindow(AllowedNamesForm& form) { AllowedNamesWindow(form, hwnd_).RunModal(); }

LRESULT SourcesWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  using namespace sources_ids;
  switch (message) {
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case kAddButton:
          form_.Add();
          break;
        case kEditButton:
          form_.EditSelected();
          break;
        case kRemoveButton:
          form_.RemoveSelected();
          break;
        case kUpdateButton:
          form_.Update();
          break;
        case kAllowedNamesButton:
          form_.ShowAllowedNames();
          break;
        case kCloseButton:  // also Escape
          form_.CloseWindow();
          break;
        case kCancelButton:
          form_.CancelUpdate();
          break;
        case kDailyBox: {
          if (HIWORD(wparam) != BN_CLICKED) break;
          // The box shows the click at once; the form puts it back when the switch fails.
          const bool checked = IsDlgButtonChecked(hwnd_, kDailyBox) != BST_CHECKED;
          SetDailyChecked(checked);
          form_.SwitchDaily(checked);
          break;
        }
        default:
          break;
      }
      return 0;
    case DM_GETDEFID:
      // Enter on the list edits its row.
      return DefaultButtonAnswer(hwnd_, GetFocus() == list_ ? kEditButton : DefaultButton());
    case WM_NOTIFY:
      return OnNotify(lparam);
    case WM_SIZE:
      if (layout_dpi() > 0 && wparam != SIZE_MINIMIZED) Arrange({LOWORD(lparam), HIWORD(lparam)});
      return 0;
    case kSwitchSource:
      form_.SwitchSource(static_cast<int>(wparam), lparam != 0);
      return 0;
    case WM_CLOSE:
      form_.WindowClosing();
      return DialogWindow::HandleMessage(message, wparam, lparam);
    default:
      return DialogWindow::HandleMessage(message, wparam, lparam);
  }
}

LRESULT SourcesWindow::OnNotify(LPARAM lparam) {
  const NMHDR& header = *reinterpret_cast<const NMHDR*>(lparam);
  if (header.idFrom == sources_ids::kDailyBox && header.code == NM_CUSTOMDRAW) {
    return DrawCheckBox(*reinterpret_cast<const NMCUSTOMDRAW*>(lparam));
  }
  // The list passes on its header's notifications: a column the user widened shows more.
  if (header.hwndFrom == ListView_GetHeader(list_) && (header.code == HDN_ITEMCHANGEDW || header.code == HDN_ITEMCHANGEDA)) {
    FitAddresses();
    return 0;
  }
  if (header.idFrom != sources_ids::kList) return 0;
  if (header.code == LVN_GETINFOTIPW) {
    auto& tip = *reinterpret_cast<NMLVGETINFOTIPW*>(lparam);
    if (tip.iItem >= 0 && tip.iItem < static_cast<int>(addresses_.size()) && tip.iSubItem == 0 && tip.cchTextMax > 0) {
      const std::wstring address = WideFromUtf8(addresses_[tip.iItem]);
      const size_t length = std::min(address.size(), static_cast<size_t>(tip.cchTextMax - 1));
      address.copy(tip.pszText, length);
      tip.pszText[length] = L'\0';
    }
  } else if (header.code == LVN_ITEMCHANGED) {
    const auto& change = *reinterpret_cast<const NMLISTVIEW*>(lparam);
    const UINT old_image = change.uOldState & LVIS_STATEIMAGEMASK;
    const UINT new_image = change.uNewState & LVIS_STATEIMAGEMASK;
    // A row that has just been inserted gets its first image, which is no switch.
    if (!filling_ && (change.uChanged & LVIF_STATE) && old_image != 0 && new_image != old_image) {
      PostMessageW(hwnd_, kSwitchSource, static_cast<WPARAM>(change.iItem),
                   new_image == INDEXTOSTATEIMAGEMASK(kCheckedImage));
    }
  } else if (header.code == NM_DBLCLK) {
    // A double click on a check box switches it twice, and edits nothing.
    LVHITTESTINFO hit = {};
    hit.pt = reinterpret_cast<const NMITEMACTIVATE*>(lparam)->ptAction;
    if (ListView_SubItemHitTest(list_, &hit) >= 0 && !(hit.flags & LVHT_ONITEMSTATEICON)) form_.EditSelected();
  }
  return 0;
}

SourceEditorWindow::SourceEditorWindow(SourceEditorForm& form, HWND owner) : DialogWindow(owner), form_(form) {
  using namespace source_editor_ids;
  const auto& captions = SourceEditorForm::kCaptions;
  Create(kEditorClass, form.caption(), kDialogStyle, WS_EX_DLGMODALFRAME, owner);
  // The label before the field, whose access key leads to it.
  AddControl(hwnd_, WC_STATICW, captions[SourceEditorForm::kAddressLabel], SS_LEFTNOWORDWRAP, kAddressLabel);
  HWND address = AddControl(hwnd_, WC_EDITW, "", ES_AUTOHSCROLL | WS_TABSTOP, kAddressField, WS_EX_CLIENTEDGE);
  // The kinds' options make one group, which the arrow keys move through.
  for (const SourceKindRow& row : kSourceKinds) {
    const DWORD group = &row == &kSourceKinds[0] ? WS_GROUP | WS_TABSTOP : 0;
    AddControl(hwnd_, WC_BUTTONW, SourceEditorForm::CaptionsOf(row.kind).option, BS_AUTORADIOBUTTON | group,
               KindOptionId(row.kind));
  }
  AddControl(hwnd_, WC_BUTTONW, captions[SourceEditorForm::kOkButton], BS_PUSHBUTTON | WS_GROUP | WS_TABSTOP,
             kOkButton);
  AddButton(hwnd_, captions[SourceEditorForm::kCancelButton], kCancelButton);
  SetFirstFocus(address);
  LayOutAndFit(dpi());
  form_.Start(this);
  ShowDefaultButton();
}

SIZE SourceEditorWindow::Layout(int dpi) {
  using namespace source_editor_ids;
  font_ = SetWindowFont(hwnd_, dpi);
  const int margin = Scale(kDialogMargin, dpi);
  const int spacing = Scale(kDialogSpacing, dpi);
  const TEXTMETRICW metrics = FontMetrics(hwnd_, font_.get());
  const int field_width = metrics.tmAveCharWidth * SourceEditorForm::kAddressFieldChars;
  const int field_height = Scale(kFieldHeight, dpi);
  Place(GetDlgItem(hwnd_, kAddressLabel), {margin, margin, field_width, metrics.tmHeight});
  const int field_top = margin + metrics.tmHeight + spacing / 2;
  Place(GetDlgItem(hwnd_, kAddressField), {margin, field_top, field_width, field_height});
  const int options_top = field_top + field_height + spacing;
  int left = margin;
  for (const SourceKindRow& row : kSourceKinds) {
    const int id = KindOptionId(row.kind);
    const int width =
        CheckBoxWidth(hwnd_, font_.get(), WideFromUtf8(TextOfControl(GetDlgItem(hwnd_, id))), dpi) + spacing;
    Place(GetDlgItem(hwnd_, id), {left, options_top, width, field_height});
    left += width + spacing;
  }
  const int width = margin + field_width + margin;
  const int buttons_top = options_top + field_height + spacing;
  PlaceButtonRow(hwnd_, {kOkButton, kCancelButton}, width - margin, buttons_top, dpi);
  return {width, buttons_top + Scale(kButtonHeight, dpi) + margin};
}

std::string SourceEditorWindow::Address() const {
  return TextOfControl(GetDlgItem(hwnd_, source_editor_ids::kAddressField));
}

SourceKind SourceEditorWindow::Kind() const {
  for (const SourceKindRow& row : kSourceKinds) {
    if (IsDlgButtonChecked(hwnd_, KindOptionId(row.kind)) == BST_CHECKED) return row.kind;
  }
  return kDefaultSourceKind;
}

void SourceEditorWindow::SetAddress(const std::string& address) {
  SetWindowTextW(GetDlgItem(hwnd_, source_editor_ids::kAddressField), WideFromUtf8(address).c_str());
}

void SourceEditorWindow::SetKind(SourceKind kind) {
  CheckRadioButton(hwnd_, source_editor_ids::kFirstKindOption, kLastKindOption, KindOptionId(kind));
}

LRESULT SourceEditorWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // Enter comes as the default button's command, Escape as IDCANCEL's.
      if (LOWORD(wparam) == source_editor_ids::kOkButton) form_.Accept();
      if (LOWORD(wparam) == source_editor_ids::kCancelButton) form_.Cancel();
      return 0;
    default:
      return DialogWindow::HandleMessage(message, wparam, lparam);
  }
}

AllowedNamesWindow::AllowedNamesWindow(AllowedNamesForm& form, HWND owner) : DialogWindow(owner), form_(form) {
  using namespace allowed_names_ids;
  Create(kAllowedNamesClass, AllowedNamesForm::kCaption, kDialogStyle, WS_EX_DLGMODALFRAME, owner);
  HWND list = AddControl(hwnd_, WC_LISTBOXW, "", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP,
                         kNamesList, WS_EX_CLIENTEDGE);
  AddButton(hwnd_, AllowedNamesForm::kCaptions[AllowedNamesForm::kRemoveButton], kRemoveButton);
  AddButton(hwnd_, AllowedNamesForm::kCaptions[AllowedNamesForm::kCloseButton], kCloseButton);
  SetFirstFocus(list);
  LayOutAndFit(dpi());
  form_.Start(this);
  ShowDefaultButton();
}

SIZE AllowedNamesWindow::Layout(int dpi) {
  using namespace allowed_names_ids;
  font_ = SetWindowFont(hwnd_, dpi);
  const int margin = Scale(kDialogMargin, dpi);
  const int list_width = Scale(kNamesWidth, dpi);
  const int list_height = Scale(kNamesHeight, dpi);
  Place(GetDlgItem(hwnd_, kNamesList), {margin, margin, list_width, list_height});
  const int width = margin + list_width + margin;
  const int buttons_top = margin + list_height + Scale(kDialogSpacing, dpi);
  PlaceButtonRow(hwnd_, {kRemoveButton, kCloseButton}, width - margin, buttons_top, dpi);
  return {width, buttons_top + Scale(kButtonHeight, dpi) + margin};
}

void AllowedNamesWindow::SetNames(const std::vector<std::string>& names) {
  HWND list = GetDlgItem(hwnd_, allowed_names_ids::kNamesList);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const std::string& name : names) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WideFromUtf8(name).c_str()));
  }
  if (!names.empty()) SendMessageW(list, LB_SETCURSEL, 0, 0);
}

int AllowedNamesWindow::SelectedRow() const {
  const LRESULT row = SendMessageW(GetDlgItem(hwnd_, allowed_names_ids::kNamesList), LB_GETCURSEL, 0, 0);
  return row == LB_ERR ? -1 : static_cast<int>(row);
}

LRESULT AllowedNamesWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == allowed_names_ids::kRemoveButton) form_.RemoveSelected();
      if (LOWORD(wparam) == allowed_names_ids::kCloseButton) form_.CloseWindow();  // also Enter and Escape
      return 0;
    default:
      return DialogWindow::HandleMessage(message, wparam, lparam);
  }
}

WhyWindow::WhyWindow(WhyForm& form, HWND owner) : DialogWindow(owner), form_(form) {
  using namespace why_ids;
  Create(kWhyClass, WhyForm::kCaption, kResizableStyle, WS_EX_DLGMODALFRAME, owner);
  std::string text;
  for (const std::string& line : form.lines()) text += (text.empty() ? "" : "\r\n") + line;
  HWND edit = AddControl(hwnd_, WC_EDITW, text,
                         ES_MULTILINE | ES_READONLY | ES_AUTOHSCROLL | ES_AUTOVSCROLL | WS_HSCROLL | WS_VSCROLL |
                             WS_TABSTOP,
                         kText, WS_EX_CLIENTEDGE);
  EnableWindow(AddButton(hwnd_, WhyForm::kCaptions[WhyForm::kAllowButton], kAllowButton),
               form.allow_offered() ? TRUE : FALSE);
  AddButton(hwnd_, WhyForm::kCaptions[WhyForm::kCloseButton], kCloseButton);
  SetFirstFocus(edit);
  LayOutAndFit(dpi());
  form_.Start(this);
  ShowDefaultButton();
}

SIZE WhyWindow::Layout(int dpi) {
  font_ = SetWindowFont(hwnd_, dpi);
  const int margin = Scale(kDialogMargin, dpi);
  // Under the text: the spacing, the buttons and the margin.
  const int below = Scale(kDialogSpacing, dpi) + Scale(kButtonHeight, dpi) + margin;
  smallest_client_ = {margin + ButtonsWidth(hwnd_, kWhyButtons, font_.get(), dpi) + margin,
                      margin + Scale(kSmallestTextHeight, dpi) + below};
  const SIZE client = {margin + Scale(SourcesForm::kListWidth, dpi) + margin,
                       margin + Scale(SourcesForm::kListHeight / 2, dpi) + below};
  Arrange(client);
  return client;
}

void WhyWindow::Arrange(SIZE client) {
  const int dpi = layout_dpi();
  const int margin = Scale(kDialogMargin, dpi);
  const int buttons_top = static_cast<int>(client.cy) - margin - Scale(kButtonHeight, dpi);
  Place(GetDlgItem(hwnd_, why_ids::kText), {margin, margin, std::max(0, static_cast<int>(client.cx) - 2 * margin),
                                            std::max(0, buttons_top - Scale(kDialogSpacing, dpi) - margin)});
  PlaceButtons(hwnd_, kWhyButtons, font_.get(),
               static_cast<int>(client.cx) - margin - ButtonsWidth(hwnd_, kWhyButtons, font_.get(), dpi), buttons_top,
               dpi);
}

LRESULT WhyWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wparam) == why_ids::kAllowButton) form_.Allow();
      if (LOWORD(wparam) == why_ids::kCloseButton) form_.CloseWindow();  // also Escape
      return 0;
    case WM_SIZE:
      if (layout_dpi() > 0 && wparam != SIZE_MINIMIZED) Arrange({LOWORD(lparam), HIWORD(lparam)});
      return 0;
    default:
      return DialogWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
