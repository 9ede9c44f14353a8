#include "win32/progress_window.h"

#include <commctrl.h>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.Form3";
constexpr UINT_PTR kTimer1 = 1;

Rect Scaled(const Rect& pixels, int dpi) {
  return {Scale(pixels.left, dpi), Scale(pixels.top, dpi), Scale(pixels.width, dpi), Scale(pixels.height, dpi)};
}

}  // namespace

Form3Window::Form3Window(ProgressForm& form, HWND owner) : form_(form), owner_(owner) {
  // Its caption is never seen: the window has no title bar.
  Create(kClassName, "Form3", WS_POPUP, WS_EX_TOOLWINDOW, owner);
  label1_ = AddControl(hwnd_, WC_STATICW, "", SS_CENTER | SS_NOPREFIX, form3_ids::kLabel1);
  label2_ = AddControl(hwnd_, WC_STATICW, "", SS_CENTER | SS_NOPREFIX, form3_ids::kLabel2);
  LayOutAndFit(owner != nullptr ? static_cast<int>(GetDpiForWindow(owner)) : static_cast<int>(GetDpiForSystem()));
  form_.Start(this);
}

SIZE Form3Window::Layout(int dpi) {
  Font font = MakeFont(MessageFontAt(dpi));
  LOGFONTW large = MessageFontAt(dpi);
  large.lfHeight = PointsHeight(ProgressForm::kHeadingFontPoints, dpi);
  Font label1_font = MakeFont(large);
  SendMessageW(label1_, WM_SETFONT, reinterpret_cast<WPARAM>(label1_font.get()), TRUE);
  SendMessageW(label2_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  font_ = std::move(font);
  label1_font_ = std::move(label1_font);
  Place(label1_, Scaled(ProgressForm::kHeadingPixels, dpi));
  Place(label2_, Scaled(ProgressForm::kCountPixels, dpi));
  return {TwipsToPixels(ProgressForm::kWidthTwips, dpi), TwipsToPixels(ProgressForm::kHeightTwips, dpi)};
}

Form3Window::~Form3Window() { KillTimer(hwnd_, kTimer1); }

void Form3Window::Open() {
  CentreOnScreen(hwnd_, owner_);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  ProcessPendingMessages();
  SetTimer(hwnd_, kTimer1, ProgressForm::kTickMs, nullptr);
}

void Form3Window::SetLabelText(int label_number, const std::string& text) {
  SetWindowTextW(label_number == 1 ? label1_ : label2_, WideFromUtf8(text).c_str());
}

LRESULT Form3Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kTimer1) {
    form_.Tick();
    return 0;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace quorvale
