#include "win32/progress_window.h"

#include <commctrl.h>

#include "core/utf16.h"

namespace quorvale {

namespace {

constexpr wchar_t kClassName[] = L"Quorvale.Form3";
constexpr UINT_PTR kTimerId = 1;

Rect Scaled(const Rect& pixels, int dpi) {
  return {Scale(pixels.left, dpi), Scale(pixels.top, dpi), Scale(pixels.width, dpi), Scale(pixels.height, dpi)};
}

}  // namespace

ProgressWindow::ProgressWindow(ProgressForm& form, HWND owner) : form_(form), owner_(owner) {
  // Its caption is never seen: the window has no title bar.
  Create(kClassName, "Form3", WS_POPUP, WS_EX_TOOLWINDOW, owner);
  heading_ = AddControl(hwnd_, WC_STATICW, "", SS_CENTER | SS_NOPREFIX, progress_ids::kHeading);
  count_ = AddControl(hwnd_, WC_STATICW, "", SS_CENTER | SS_NOPREFIX, progress_ids::kCount);
  LayOutAndFit(owner != nullptr ? static_cast<int>(GetDpiForWindow(owner)) : static_cast<int>(GetDpiForSystem()));
  form_.Start(this);
}

SIZE ProgressWindow::Layout(int dpi) {
  Font font = MakeFont(MessageFontAt(dpi));
  LOGFONTW large = MessageFontAt(dpi);
  large.lfHeight = PointsHeight(ProgressForm::kHeadingFontPoints, dpi);
  Font label1_font = MakeFont(large);
  SendMessageW(heading_, WM_SETFONT, reinterpret_cast<WPARAM>(label1_font.get()), TRUE);
  SendMessageW(count_, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), TRUE);
  font_ = std::move(font);
  heading_font_ = std::move(label1_font);
  Place(heading_, Scaled(ProgressForm::kHeadingPixels, dpi));
  Place(count_, Scaled(ProgressForm::kCountPixels, dpi));
  return {TwipsToPixels(ProgressForm::kWidthTwips, dpi), TwipsToPixels(ProgressForm::kHeightTwips, dpi)};
}

ProgressWindow::~ProgressWindow() { KillTimer(hwnd_, kTimerId); }

void ProgressWindow::Open() {
  FitTo(ScreenOf(owner_), Placement::kCentre);
  ShowWindow(hwnd_, SW_SHOW);
  UpdateWindow(hwnd_);
  ProcessPendingMessages();
  SetTimer(hwnd_, kTimerId, ProgressForm::kTickMs, nullptr);
}

void ProgressWindow::SetLabelText(int label_number, const std::string& text) {
  SetWindowTextW(label_number == 1 ? heading_ : count_, WideFromUtf8(text).c_str());
}

LRESULT ProgressWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_TIMER && wparam == kTimerId) {
    form_.Tick();
    return 0;
  }
  if (message == WM_CLOSE) {
    // The close box (Alt+F4) goes to ProgressForm; the window stays until its owner ends it.
    form_.CloseRequested();
    return 0;
  }
  return Window::HandleMessage(message, wparam, lparam);
}

}  // namespace quorvale
