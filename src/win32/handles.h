#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace quorvale {

// A handle of the system that the program owns: `Release` gives it back when its owner goes.
// The windows keep their fonts, icons, accelerator tables and device contexts this way.
template <typename Handle, typename Release>
using Owned = std::unique_ptr<std::remove_pointer_t<Handle>, Release>;

struct DeleteGdiObject {
  void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DestroyIconHandle {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
struct DestroyAccelerators {
  void operator()(HACCEL table) const { DestroyAcceleratorTable(table); }
};
// A device context from GetDC goes back to the window it came from.
struct ReleaseWindowDc {
  HWND window;
  void operator()(HDC dc) const { ReleaseDC(window, dc); }
};

using Font = Owned<HFONT, DeleteGdiObject>;
using Icon = Owned<HICON, DestroyIconHandle>;
using Accelerators = Owned<HACCEL, DestroyAccelerators>;
using WindowDc = Owned<HDC, ReleaseWindowDc>;

// The device context of `window`'s client area.
inline WindowDc GetWindowDc(HWND window) { return WindowDc(GetDC(window), ReleaseWindowDc{window}); }

// `object` selected into a device context for a scope: the one it replaced goes back when the
// scope ends.
class SelectedObject {
 public:
  SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), old_(SelectObject(dc, object)) {}
  ~SelectedObject() { SelectObject(dc_, old_); }
  SelectedObject(const SelectedObject&) = delete;
  SelectedObject& operator=(const SelectedObject&) = delete;

 private:
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace quorvale
