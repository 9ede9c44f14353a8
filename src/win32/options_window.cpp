#include "win32/options_window.h"

#include <commctrl.h>

#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.Form2";

struct Control {
  const options_form_design::ControlDesign& design;
  int id;
  bool check_box;  // a check box, or else a button or (without a tab stop) a label
};
const Control kControls[] = {
    {options_form_design::kWwwBox, options_ids::kWwwBox, true},
    {options_form_design::kLoopbackBox, options_ids::kLoopbackBox, true},
    {options_form_design::kZeroBox, options_ids::kZeroBox, true},
    {options_form_design::kOkButton, options_ids::kOkButton, false},
    {options_form_design::kCancelButton, options_ids::kCancelButton, false},
    {options_form_design::kAddressLabel, options_ids::kAddressLabel, false},
};

const Control* ControlNamed(std::string_view name) {
  for (const Control& control : kControls) {
    if (name == control.design.name) return &control;
  }
  return nullptr;
}

}  // namespace

OptionsWindow::OptionsWindow(OptionsForm& form, HWND owner) : ModalWindow(owner), form_(form) {
  Create(kClassName, options_form_design::kCaption, WS_OVERLAPPEDWINDOW, 0, owner);
  // The controls that take the focus in the tab order, which is the order they are made in;
  // the label after them.
  for (const char* name : options_form_design::kTabOrder) {
    const Control& control = *ControlNamed(name);
    AddControl(hwnd_, WC_BUTTONW, control.design.caption,
               (control.check_box ? BS_CHECKBOX : BS_PUSHBUTTON) | WS_TABSTOP, control.id);
  }
  AddControl(hwnd_, WC_STATICW, options_form_design::kAddressLabel.caption,
             SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_CENTERIMAGE, options_ids::kAddressLabel);
  SetFirstFocus(GetDlgItem(hwnd_, ControlNamed(options_form_design::kTabOrder[0])->id));
  LayOutAndFit(dpi());
  form_.Start(this);
}

SIZE OptionsWindow::Layout(int dpi) {
  LOGFONTW description = MessageFontAt(dpi);
  description.lfHeight = PointsHeight(options_form_design::kFontPoints, dpi);
  Font font = MakeFont(description);
  SetControlsFont(hwnd_, font.get());
  font_ = std::move(font);

  std::vector<options_form_design::TextControl> texts;
  std::vector<HWND> controls;
  for (const Control& control : kControls) {
    HWND hwnd = GetDlgItem(hwnd_, control.id);
    const Rect place = TwipsRect(control.design.place, dpi);
    if (control.id == options_ids::kOkButton || control.id == options_ids::kCancelButton) {
      Place(hwnd, place);
      continue;
    }
    const std::wstring caption = WideFromUtf8(control.design.caption);
    const int text_width =
        control.check_box ? CheckBoxWidth(hwnd_, font_.get(), caption, dpi) : TextWidth(hwnd_, font_.get(), caption);
    texts.push_back({place, text_width});
    controls.push_back(hwnd);
  }
  const int width = options_form_design::FitTexts(&texts, TwipsToPixels(options_form_design::kWidthTwips, dpi),
                                                  Scale(options_form_design::kControlGap, dpi));
  for (size_t i = 0; i < controls.size(); ++i) Place(controls[i], texts[i].place);
  return {width, TwipsToPixels(options_form_design::kHeightTwips, dpi)};
}

HWND OptionsWindow::Box(OptionsBox box) const {
  switch (box) {
    case OptionsBox::kWwwLines:
      return GetDlgItem(hwnd_, options_ids::kWwwBox);
    case OptionsBox::kLoopbackAddress:
      return GetDlgItem(hwnd_, options_ids::kLoopbackBox);
    case OptionsBox::kZeroAddress:
      return GetDlgItem(hwnd_, options_ids::kZeroBox);
  }
  return nullptr;
}

bool OptionsWindow::IsChecked(OptionsBox box) const { return SendMessageW(Box(box), BM_GETCHECK, 0, 0) == BST_CHECKED; }

// Setting a box's state reports no click.
void OptionsWindow::SetChecked(OptionsBox box, bool checked) {
  SendMessageW(Box(box), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void OptionsWindow::Close() { closed_ = true; }

bool OptionsWindow::PreTranslate(MSG* msg) {
  const bool key = msg->message == WM_KEYDOWN || msg->message == WM_KEYUP || msg->message == WM_CHAR;
  if (key && (msg->wParam == VK_RETURN || msg->wParam == VK_ESCAPE)) return true;
  return Window::PreTranslate(msg);
}

void OptionsWindow::BoxClicked(OptionsBox box) {
  SetChecked(box, !IsChecked(box));
  if (box == OptionsBox::kLoopbackAddress) form_.LoopbackBoxClicked();
  if (box == OptionsBox::kZeroAddress) form_.ZeroBoxClicked();
}

LRESULT OptionsWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) != BN_CLICKED || lparam == 0) return 0;
      switch (LOWORD(wparam)) {
        case options_ids::kWwwBox:
          BoxClicked(OptionsBox::kWwwLines);
          break;
        case options_ids::kLoopbackBox:
          BoxClicked(OptionsBox::kLoopbackAddress);
          break;
        case options_ids::kZeroBox:
          BoxClicked(OptionsBox::kZeroAddress);
          break;
        case options_ids::kOkButton:
          form_.Accept();
          break;
        case options_ids::kCancelButton:
          form_.Cancel();
          break;
        default:
          break;
      }
      return 0;
    case WM_NOTIFY: {
      const auto& draw = *reinterpret_cast<const NMCUSTOMDRAW*>(lparam);
      const bool box = draw.hdr.idFrom == options_ids::kWwwBox || draw.hdr.idFrom == options_ids::kLoopbackBox ||
                       draw.hdr.idFrom == options_ids::kZeroBox;
      return box && draw.hdr.code == NM_CUSTOMDRAW ? DrawCheckBox(draw) : 0;
    }
    default:
      return ModalWindow::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
