#pragma once

#include <windows.h>
#include <commctrl.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "forms/design.h"
#include "win32/handles.h"
#include "win32/ids.h"

namespace quorvale {

// Ends the program after `call`, which it cannot go on without, has failed: a message box
// names the call (and the window class it was making or registering) and gives the system's
// reason, GetLastError's text.
[[noreturn]] void ExitAfterFailedCall(const char* call, std::wstring_view window_class = {});
// Registers the common controls' window classes that the windows use, or ends the program.
void InitControlClasses();

// The list views' item numbers that stand for no single item: every item (LVM_SETITEMSTATE),
// the place before the first one (LVM_GETNEXTITEM), and "not found" (LVN_ODFINDITEMW's
// answer).
inline constexpr int kAllItems = -1;
inline constexpr int kBeforeFirstItem = -1;
inline constexpr int kNoItemFound = -1;

// Where a window may lie on a screen and how fine the screen is: its monitor's work area (the
// screen less the taskbar), in screen pixels, and its dots per inch.
struct Screen {
  RECT work;
  int dpi;
};
// The screen that `window` lies on; the main screen when `window` is nullptr.
Screen ScreenOf(HWND window);

// A top-level window of the program. It keeps the focus of its controls while another window
// is active, and its keyboard goes through the dialog manager: Tab and Shift+Tab move
// through the controls that take the focus, in the order they were made, access keys press
// their buttons, Space presses the focused button or box. Moved to a screen of another
// resolution, it lays its controls out again and takes the place and size that Windows
// suggests, or fits that screen's work area when the suggested place is not inside it.
class Window {
 public:
  // Where FitTo puts the window in the work area.
  enum class Placement {
    kKeepPlace,  // where it is, moved only as far as it must be to lie inside
    kCentre,
  };

  Window() = default;
  virtual ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND hwnd() const { return hwnd_; }
  // The dots per inch of the window's screen (96 at 100 %).
  int dpi() const;
  // The dots per inch the controls were last laid out for: the screen's, or less when the
  // window would not fit its screen at the screen's resolution.
  int layout_dpi() const { return layout_dpi_; }

  // Lays the window out for `screen` and puts it inside its work area. A window that the user
  // may resize (one whose Layout sets a smallest size) is given the work area's room when its
  // usual size does not fit; a window whose smallest size is larger than the work area at the
  // screen's resolution is laid out at the highest resolution at which it fits.
  void FitTo(const Screen& screen, Placement placement);

  // Sees a message for this window or one of its controls before it is dispatched; true when
  // it has been handled (a keyboard message goes to the dialog manager, which dispatches it).
  virtual bool PreTranslate(MSG* msg);

  // The program's window that `hwnd` is or belongs to, or nullptr.
  static Window* Of(HWND hwnd);

 protected:
  // Makes the window, hidden, with the program's icon, or ends the program. An `owner` keeps
  // the window above it and out of the taskbar.
  void Create(const wchar_t* class_name, std::string_view title, DWORD style, DWORD ex_style, HWND owner,
              HMENU menu = nullptr);
  // The control that takes the focus when the window is first activated.
  void SetFirstFocus(HWND control) { focus_ = control; }
  // Places the controls for a screen of `dpi` dots per inch; returns the size of the client
  // area that holds them, in pixels. A window that the user may resize also sets
  // smallest_client_ and lays its controls out again on WM_SIZE.
  virtual SIZE Layout(int dpi) = 0;
  // Lays the controls out at `dpi` and gives the window the size that holds them, its frame
  // and menu bar (however many lines the menu bar takes) around them.
  void LayOutAndFit(int dpi);
  // What the window does with a message; DefWindowProc by default.
  virtual LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);

  HWND hwnd_ = nullptr;
  // The smallest client area that holds the controls at layout_dpi(), in pixels, for a window
  // that the user may resize (WS_THICKFRAME); empty for a window of one size.
  SIZE smallest_client_ = {};

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  SIZE LayOutAt(int dpi);
  // Gives the window the size that holds a client area of `client` with its frame at
  // `frame_dpi` and its menu bar, however many lines that takes; returns the window's size.
  SIZE SizeToHold(SIZE client, int frame_dpi);

  HWND focus_ = nullptr;  // the control that had the focus when the window was last active
  int layout_dpi_ = 0;
  int frame_dpi_ = 0;  // the resolution the window's frame was last sized for
  bool fitting_ = false;  // FitTo is at work: it lays the window out itself
};

// A window shown modal over its owner, in the centre of the owner's screen.
class ModalWindow : public Window {
 public:
  // Fits the window to its owner's screen, shows it and returns when it has closed.
  void RunModal();
  // Whether the window has been closed (by a button, a key or its close box).
  bool closed() const { return closed_; }

 protected:
  explicit ModalWindow(HWND owner) : owner_(owner) {}

  // The close box closes the window without running any button's handler.
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  HWND owner_;
  bool closed_ = false;
};

// Dispatches one message taken from the queue, through PreTranslate of the program's window
// it is for.
void DispatchWindowMessage(MSG* msg);
// Handles the messages that wait in the queue (paints, clicks, keys, timers), then returns.
// A request to quit is left for the main loop.
void ProcessPendingMessages();
// Shows `window` as a modal window over `owner`: the owner takes no input until `*closed`
// becomes true. A request to quit ends the loop too and is left for the main loop.
void RunModalLoop(HWND window, HWND owner, const bool* closed);

// The measures of the program's small windows, in pixels at 96 dpi: the margin round the
// controls, the space between two of them, and a push button.
inline constexpr int kDialogMargin = 12;
inline constexpr int kDialogSpacing = 8;
inline constexpr int kButtonWidth = 90;
inline constexpr int kButtonHeight = 25;

// The system's message font at `dpi`, as the description of a font to make.
LOGFONTW MessageFontAt(int dpi);
Font MakeFont(const LOGFONTW& font);
// The font height (lfHeight) of `points` at `dpi`.
LONG PointsHeight(double points, int dpi);
// Pixels at 96 dpi as pixels at `dpi`.
int Scale(int pixels, int dpi);
// A design place in twips as pixels at `dpi`.
Rect TwipsRect(const Rect& twips, int dpi);
void Place(HWND control, const Rect& pixels);
// Adds a visible child control, or ends the program; `text` is UTF-8.
HWND AddControl(HWND parent, const wchar_t* window_class, std::string_view text, DWORD style, int id,
                DWORD ex_style = 0);
// Gives every control of `parent` the font.
void SetControlsFont(HWND parent, HFONT font);
// Places the buttons `ids` of `parent` side by side, left to right, at `top`, the last one
// ending at `right` (pixels at `dpi`).
void PlaceButtonRow(HWND parent, std::initializer_list<int> ids, int right, int top, int dpi);
// The answer to DM_GETDEFID in a window whose keys go through the dialog manager: Enter
// presses the push button that has the focus, else `default_id`.
LRESULT DefaultButtonAnswer(HWND window, int default_id);
// The width of `text` written with `font`, in pixels, as GDI measures it.
int TextWidth(HWND window, HFONT font, std::wstring_view text);
// `caption` as a control shows it: the "&" before its access key left out, "&&" shown as "&".
std::wstring ShownCaption(std::wstring_view caption);
// The measures of `font` on `window`'s screen, as its lines' height and its characters'
// average width.
TEXTMETRICW FontMetrics(HWND window, HFONT font);
// The width of `text` as the screen draws it with `font`, in pixels: the advances of its glyphs
// as drawn. It is TextWidth on Windows; Wine draws the small sizes of its Tahoma from bitmaps
// made for them, whose widths differ from those it measures, by a few pixels over a line.
int DrawnTextWidth(HWND window, HFONT font, std::wstring_view text);
// A check box whose parent draws it (BS_CHECKBOX, the parent answering its NM_CUSTOMDRAW with
// DrawCheckBox; "&" before the caption's access key): the box as the theme draws it, its
// text, and the focus rectangle around the text as drawn. A check box that draws itself puts the
// rectangle round the text as measured, over its last letters under Wine.
// The width such a check box needs for its caption with `font` at `dpi`, in pixels.
int CheckBoxWidth(HWND window, HFONT font, std::wstring_view caption, int dpi);
// Draws the check box of `draw`; the answer to its NM_CUSTOMDRAW.
LRESULT DrawCheckBox(const NMCUSTOMDRAW& draw);

}  // namespace quorvale
