#include "win32/window.h"

#include <cmath>

#include "core/utf16.h"

namespace quorvale {

namespace {

// The window property that leads from a handle to its Window.
constexpr wchar_t kWindowProperty[] = L"Quorvale.Window";
constexpr double kPointsPerInch = 72.0;

}  // namespace

Window::~Window() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

int Window::dpi() const { return static_cast<int>(GetDpiForWindow(hwnd_)); }

Window* Window::Of(HWND hwnd) {
  HWND root = hwnd != nullptr ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  return root != nullptr ? static_cast<Window*>(GetPropW(root, kWindowProperty)) : nullptr;
}

bool Window::PreTranslate(MSG* msg) {
  if (msg->message < WM_KEYFIRST || msg->message > WM_KEYLAST) return false;
  return IsDialogMessageW(hwnd_, msg) != FALSE;
}

void Window::Create(const wchar_t* class_name, std::string_view title, DWORD style, DWORD ex_style, HWND owner,
                    HMENU menu) {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof window_class;
  if (!GetClassInfoExW(instance, class_name, &window_class)) {
    window_class.lpfnWndProc = &Window::WindowProc;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconId));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    window_class.lpszClassName = class_name;
    RegisterClassExW(&window_class);
  }
  CreateWindowExW(ex_style, class_name, WideFromUtf8(title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                  CW_USEDEFAULT, owner, menu, instance, this);
}

LRESULT Window::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd_, message, wparam, lparam);
}

LRESULT CALLBACK Window::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* window = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    window->hwnd_ = hwnd;
    SetPropW(hwnd, kWindowProperty, window);
  }
  auto* window = static_cast<Window*>(GetPropW(hwnd, kWindowProperty));
  if (window == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case WM_ACTIVATE:
      // The focus goes back to the control that had it, as in a dialog box.
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(hwnd, focus)) window->focus_ = focus;
      } else if (window->focus_ != nullptr && IsWindow(window->focus_) && IsWindowEnabled(window->focus_) &&
                 !IsIconic(hwnd)) {
        SetFocus(window->focus_);
        return 0;
      }
      break;
    case WM_NCDESTROY:
      RemovePropW(hwnd, kWindowProperty);
      window->hwnd_ = nullptr;
      return DefWindowProcW(hwnd, message, wparam, lparam);
    default:
      break;
  }
  return window->HandleMessage(message, wparam, lparam);
}

void DispatchWindowMessage(MSG* msg) {
  if (Window* window = Window::Of(msg->hwnd); window != nullptr && window->PreTranslate(msg)) return;
  TranslateMessage(msg);
  DispatchMessageW(msg);
}

void ProcessPendingMessages() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    DispatchWindowMessage(&msg);
  }
}

void RunModalLoop(HWND window, HWND owner, const bool* closed) {
  // EnableWindow answers whether the window was disabled before; an owner that a command had
  // disabled stays so.
  const bool owner_was_enabled = owner != nullptr && !EnableWindow(owner, FALSE);
  ShowWindow(window, SW_SHOW);
  MSG msg;
  while (!*closed) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got <= 0) {
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    DispatchWindowMessage(&msg);
  }
  // The owner is enabled before the window goes, so that it becomes the active window again.
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  ShowWindow(window, SW_HIDE);
}

void ModalWindow::RunModal() {
  CentreOnScreen(hwnd_, owner_);
  RunModalLoop(hwnd_, owner_, &closed_);
}

LOGFONTW MessageFontAt(int dpi) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(dpi));
  return metrics.lfMessageFont;
}

Font MakeFont(const LOGFONTW& font) { return Font(CreateFontIndirectW(&font)); }

// A negative height asks for the size of the characters, without the room above them.
LONG PointsHeight(double points, int dpi) { return -static_cast<LONG>(std::lround(points * dpi / kPointsPerInch)); }

int Scale(int pixels, int dpi) { return MulDiv(pixels, dpi, kDesignDpi); }

Rect TwipsRect(const Rect& twips, int dpi) {
  return {TwipsToPixels(twips.left, dpi), TwipsToPixels(twips.top, dpi), TwipsToPixels(twips.width, dpi),
          TwipsToPixels(twips.height, dpi)};
}

void Place(HWND control, const Rect& pixels) {
  SetWindowPos(control, nullptr, pixels.left, pixels.top, pixels.width, pixels.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND AddControl(HWND parent, const wchar_t* window_class, std::string_view text, DWORD style, int id,
                DWORD ex_style) {
  return CreateWindowExW(ex_style, window_class, WideFromUtf8(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                         parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr),
                         nullptr);
}

void SetControlsFont(HWND parent, HFONT font) {
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
}

void PlaceButtonRow(HWND parent, std::initializer_list<int> ids, int right, int top, int dpi) {
  const int width = Scale(kButtonWidth, dpi);
  const int spacing = Scale(kDialogSpacing, dpi);
  int left = right - static_cast<int>(ids.size()) * (width + spacing) + spacing;
  for (int id : ids) {
    Place(GetDlgItem(parent, id), {left, top, width, Scale(kButtonHeight, dpi)});
    left += width + spacing;
  }
}

LRESULT DefaultButtonAnswer(HWND window, int default_id) {
  HWND focus = GetFocus();
  const bool push_button = focus != nullptr && IsChild(window, focus) &&
                           (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON));
  return MAKELRESULT(push_button ? GetDlgCtrlID(focus) : default_id, DC_HASDEFID);
}

int TextWidth(HWND window, HFONT font, std::wstring_view text) {
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE size = {};
  GetTextExtentPoint32W(dc, text.data(), static_cast<int>(text.size()), &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return size.cx;
}

SIZE FrameSize(HWND window, int width, int height, int dpi) {
  RECT rect = {0, 0, width, height};
  AdjustWindowRectExForDpi(&rect, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)), static_cast<UINT>(dpi));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

void CentreOnScreen(HWND window, HWND reference) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(reference, MONITOR_DEFAULTTOPRIMARY), &monitor);
  RECT place = {};
  GetWindowRect(window, &place);
  const RECT& work = monitor.rcWork;
  SetWindowPos(window, nullptr, (work.left + work.right - (place.right - place.left)) / 2,
               (work.top + work.bottom - (place.bottom - place.top)) / 2, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT ModalWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      closed_ = true;
      return 0;
    case WM_DPICHANGED:
      Layout(HIWORD(wparam));
      return 0;
    default:
      return Window::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
