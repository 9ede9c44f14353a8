// The Windows window program: the real platform, Windows' own message boxes and file
// dialogs, and MainForm shown until it ends the program.

#include <windows.h>

#include <memory>

#include "forms/main_form.h"
#include "platform/platform.h"
#include "win32/main_window.h"
#include "win32/win32_prompts.h"
#include "win32/window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
  quorvale::InitControlClasses();
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  quorvale::Win32Prompts prompts;
  quorvale::MainForm form(*platform, prompts);
  quorvale::MainWindow window(form);
  prompts.SetOwner(window.hwnd());
  ShowWindow(window.hwnd(), show);
  MSG msg = {};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) quorvale::DispatchWindowMessage(&msg);
  return static_cast<int>(msg.wParam);
}
