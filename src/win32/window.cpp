#include "win32/window.h"

#include <uxtheme.h>
#include <vsstyle.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>

#include "core/status.h"
#include "core/utf16.h"
#include "forms/texts.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

// The window property that leads from a handle to its Window.
constexpr wchar_t kWindowProperty[] = L"Quorvale.Window";
constexpr double kPointsPerInch = 72.0;
// A check box's box, and the room between it and the text, in pixels at 96 dpi.
constexpr int kCheckBoxPixels = 13;
constexpr int kCheckBoxTextGap = 6;
// The room that the focus rectangle takes on each side of a check box's text.
constexpr int kFocusMargin = 1;
// The exit code of a program ended by ExitAfterFailedCall.
constexpr UINT kFailedCallExitCode = 1;
// The common controls that the windows use: buttons, labels and fields, list views, links.
constexpr DWORD kControlClasses = ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES | ICC_LINK_CLASS;
// A window too large for its screen is laid out at a lower resolution, down to this one.
constexpr int kSmallestLayoutDpi = kDesignDpi / 2;

// The window's size for a client area of `width` x `height` pixels at `dpi`, with its style,
// its menu bar and its frame.
SIZE FrameSize(HWND window, int width, int height, int dpi) {
  RECT rect = {0, 0, width, height};
  AdjustWindowRectExForDpi(&rect, static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                           static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)), static_cast<UINT>(dpi));
  return {rect.right - rect.left, rect.bottom - rect.top};
}

bool Holds(SIZE room, SIZE size) { return size.cx <= room.cx && size.cy <= room.cy; }

// Where a window `size` long starts along one side of the work area [`low`, `high`): at
// `place` when it fits there, else as near to it as it fits; from `low` when it is longer.
int PlaceInside(int place, int size, int low, int high) { return std::max(low, std::min(place, high - size)); }

}  // namespace

std::wstring ShownCaption(std::wstring_view caption) {
  std::wstring shown;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
    shown += caption[i];
  }
  return shown;
}

Screen ScreenOf(HWND window) {
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  return {monitor.rcWork, static_cast<int>(window != nullptr ? GetDpiForWindow(window) : GetDpiForSystem())};
}

void ExitAfterFailedCall(const char* call, std::wstring_view window_class) {
  const DWORD error = GetLastError();
  std::string text = call;
  if (!window_class.empty()) text += " (" + Utf8FromWide(window_class) + ")";
  text += " a echoue, le programme va se fermer.\n\n" + WindowsErrorText(error);
  MessageBoxW(nullptr, WideFromUtf8(text).c_str(), WideFromUtf8(texts::kTitle).c_str(), MB_OK | MB_ICONERROR);
  ExitProcess(kFailedCallExitCode);
}

void InitControlClasses() {
  INITCOMMONCONTROLSEX controls = {};
  controls.dwSize = sizeof controls;
  controls.dwICC = kControlClasses;
  if (!InitCommonControlsEx(&controls)) ExitAfterFailedCall("InitCommonControlsEx");
}

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
    if (RegisterClassExW(&window_class) == 0) ExitAfterFailedCall("RegisterClassExW", class_name);
  }
  if (CreateWindowExW(ex_style, class_name, WideFromUtf8(title).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, menu, instance, this) == nullptr) {
    ExitAfterFailedCall("CreateWindowExW", class_name);
  }
}

SIZE Window::LayOutAt(int dpi) {
  layout_dpi_ = dpi;
  return Layout(dpi);
}

SIZE Window::SizeToHold(SIZE client, int frame_dpi) {
  frame_dpi_ = frame_dpi;
  const SIZE frame = FrameSize(hwnd_, client.cx, client.cy, frame_dpi);
  SetWindowPos(hwnd_, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // A menu bar that needs a second line takes it from the client area: the frame grows by it.
  RECT area = {};
  GetClientRect(hwnd_, &area);
  if (GetMenu(hwnd_) == nullptr || area.bottom == client.cy) return frame;
  const SIZE taller = {frame.cx, frame.cy + client.cy - area.bottom};
  SetWindowPos(hwnd_, nullptr, 0, 0, taller.cx, taller.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  return taller;
}

void Window::LayOutAndFit(int dpi) { SizeToHold(LayOutAt(dpi), dpi); }

void Window::FitTo(const Screen& screen, Placement placement) {
  // A change of screen on the way is not followed: the window is laid out for `screen` here.
  const bool was_fitting = std::exchange(fitting_, true);
  const RECT& work = screen.work;
  const SIZE room = {work.right - work.left, work.bottom - work.top};
  auto smallest = [this](SIZE client) { return smallest_client_.cx > 0 ? smallest_client_ : client; };
  int dpi = screen.dpi;
  SIZE client = LayOutAt(dpi);
  SIZE size = SizeToHold(smallest(client), screen.dpi);
  while (!Holds(room, size) && dpi > kSmallestLayoutDpi) {
    // The controls grow about as the resolution does; the frame stays as it is.
    const int guess = std::min(MulDiv(dpi, room.cx, size.cx), MulDiv(dpi, room.cy, size.cy));
    dpi = std::max(kSmallestLayoutDpi, std::min(dpi - 1, guess));
    client = LayOutAt(dpi);
    size = SizeToHold(smallest(client), screen.dpi);
  }
  if (smallest_client_.cx > 0) {
    size = SizeToHold(client, screen.dpi);
    size = {std::min(size.cx, room.cx), std::min(size.cy, room.cy)};
  }
  RECT place = {};
  GetWindowRect(hwnd_, &place);
  if (placement == Placement::kCentre) {
    place.left = work.left + (room.cx - size.cx) / 2;
    place.top = work.top + (room.cy - size.cy) / 2;
  }
  SetWindowPos(hwnd_, nullptr, PlaceInside(place.left, size.cx, work.left, work.right),
               PlaceInside(place.top, size.cy, work.top, work.bottom), size.cx, size.cy,
               SWP_NOZORDER | SWP_NOACTIVATE);
  fitting_ = was_fitting;
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
    case WM_DPICHANGED: {
      if (window->fitting_) return 0;
      const int dpi = HIWORD(wparam);
      window->LayOutAt(dpi);
      window->frame_dpi_ = dpi;
      const RECT& suggested = *reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(hwnd, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      const Screen screen = {ScreenOf(hwnd).work, dpi};
      RECT inside = {};
      if (!IntersectRect(&inside, &suggested, &screen.work) || !EqualRect(&inside, &suggested)) {
        window->FitTo(screen, Placement::kKeepPlace);
      }
      return 0;
    }
    case WM_GETMINMAXINFO:
      // A window that the user may resize is no smaller than its controls need.
      if (window->smallest_client_.cx > 0 && window->frame_dpi_ > 0) {
        const SIZE frame =
            FrameSize(hwnd, window->smallest_client_.cx, window->smallest_client_.cy, window->frame_dpi_);
        reinterpret_cast<MINMAXINFO*>(lparam)->ptMinTrackSize = {frame.cx, frame.cy};
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
  FitTo(ScreenOf(owner_), Placement::kCentre);
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
  HWND control =
      CreateWindowExW(ex_style, window_class, WideFromUtf8(text).c_str(), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                      parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
  if (control == nullptr) ExitAfterFailedCall("CreateWindowExW", window_class);
  return control;
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
  const WindowDc dc = GetWindowDc(window);
  const SelectedObject selected(dc.get(), font);
  SIZE size = {};
  GetTextExtentPoint32W(dc.get(), text.data(), static_cast<int>(text.size()), &size);
  return size.cx;
}

TEXTMETRICW FontMetrics(HWND window, HFONT font) {
  const WindowDc dc = GetWindowDc(window);
  const SelectedObject selected(dc.get(), font);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(dc.get(), &metrics);
  return metrics;
}

int DrawnTextWidth(HWND window, HFONT font, std::wstring_view text) {
  int width = 0;
  {
    const WindowDc dc = GetWindowDc(window);
    const SelectedObject selected(dc.get(), font);
    const MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    for (wchar_t c : text) {
      GLYPHMETRICS glyph = {};
      if (GetGlyphOutlineW(dc.get(), c, GGO_BITMAP, &glyph, 0, nullptr, &identity) == GDI_ERROR) {
        width = -1;  // not an outline font: its measured widths are its drawn ones
        break;
      }
      width += glyph.gmCellIncX;
    }
  }
  return width >= 0 ? width : TextWidth(window, font, text);
}

// At some sizes Wine draws the text wider than its glyphs' advances say: the caption has the
// room of the wider of its two widths.
int CheckBoxWidth(HWND window, HFONT font, std::wstring_view caption, int dpi) {
  const std::wstring shown = ShownCaption(caption);
  return Scale(kCheckBoxPixels + kCheckBoxTextGap, dpi) +
         std::max(TextWidth(window, font, shown), DrawnTextWidth(window, font, shown)) + kFocusMargin;
}

LRESULT DrawCheckBox(const NMCUSTOMDRAW& draw) {
  if (draw.dwDrawStage != CDDS_PREPAINT) return CDRF_DODEFAULT;
  HWND control = draw.hdr.hwndFrom;
  // The resolution the window's controls were laid out for, which may be below the screen's.
  const Window* window = Window::Of(control);
  const int dpi = window != nullptr && window->layout_dpi() > 0 ? window->layout_dpi()
                                                                 : static_cast<int>(GetDpiForWindow(control));
  const bool checked = SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED;
  const bool disabled = draw.uItemState & CDIS_DISABLED;
  const bool pressed = draw.uItemState & CDIS_SELECTED;
  const bool hot = draw.uItemState & CDIS_HOT;
  const int box_size = Scale(kCheckBoxPixels, dpi);
  const int middle = (draw.rc.top + draw.rc.bottom) / 2;
  RECT box = {draw.rc.left, middle - box_size / 2, draw.rc.left + box_size, middle - box_size / 2 + box_size};
  if (HTHEME theme = OpenThemeData(control, L"BUTTON")) {
    int state = disabled ? CBS_UNCHECKEDDISABLED
                : pressed ? CBS_UNCHECKEDPRESSED
                : hot     ? CBS_UNCHECKEDHOT
                          : CBS_UNCHECKEDNORMAL;
    // The checked states follow the unchecked ones in the same order.
    if (checked) state += CBS_CHECKEDNORMAL - CBS_UNCHECKEDNORMAL;
    DrawThemeBackground(theme, draw.hdc, BP_CHECKBOX, state, &box, nullptr);
    CloseThemeData(theme);
  } else {
    DrawFrameControl(draw.hdc, &box, DFC_BUTTON,
                     DFCS_BUTTONCHECK | (checked ? DFCS_CHECKED : 0) | (pressed ? DFCS_PUSHED : 0) |
                         (disabled ? DFCS_INACTIVE : 0));
  }

  const int length = GetWindowTextLengthW(control);
  std::wstring caption(static_cast<size_t>(length) + 1, L'\0');
  caption.resize(static_cast<size_t>(GetWindowTextW(control, caption.data(), length + 1)));
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  const SelectedObject selected(draw.hdc, font);
  TEXTMETRICW metrics = {};
  GetTextMetricsW(draw.hdc, &metrics);
  const int text_left = box.right + Scale(kCheckBoxTextGap, dpi);
  RECT text = {text_left, middle - metrics.tmHeight / 2, text_left + DrawnTextWidth(control, font, ShownCaption(caption)),
               middle - metrics.tmHeight / 2 + metrics.tmHeight};
  SetBkMode(draw.hdc, TRANSPARENT);
  SetTextColor(draw.hdc, GetSysColor(disabled ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  RECT room = {text.left, text.top, draw.rc.right, text.bottom};
  const LRESULT ui_state = SendMessageW(control, WM_QUERYUISTATE, 0, 0);
  // The access key is underlined, unless the system hides the underlines until Alt is pressed.
  DrawTextW(draw.hdc, caption.c_str(), static_cast<int>(caption.size()), &room,
            DT_LEFT | DT_SINGLELINE | (ui_state & UISF_HIDEACCEL ? DT_HIDEPREFIX : 0));
  const bool focus_shown = !(ui_state & UISF_HIDEFOCUS);
  if ((draw.uItemState & CDIS_FOCUS) && focus_shown) {
    InflateRect(&text, kFocusMargin, kFocusMargin);
    IntersectRect(&text, &text, &draw.rc);
    DrawFocusRect(draw.hdc, &text);
  }
  return CDRF_SKIPDEFAULT;
}

LRESULT ModalWindow::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      closed_ = true;
      return 0;
    default:
      return Window::HandleMessage(message, wparam, lparam);
  }
}

}  // namespace quorvale
