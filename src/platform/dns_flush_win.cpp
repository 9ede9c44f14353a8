#include "platform/dns_flush_win.h"

#include <windows.h>

#include "core/utf16.h"
#include "platform/win_command_line.h"

namespace quorvale {

DnsFlushOutcome FlushWindowsDnsCache(const std::string& system_dir, int wait_milliseconds,
                                     unsigned long* start_error) {
  *start_error = 0;
  DnsFlushOutcome outcome;
  if (system_dir.empty()) {
    outcome.why = Status(ErrorCode::kNotFound, "", "no system folder");
    return outcome;
  }
  // The call is in no Windows header (it is undocumented), hence the look-up by name; a system
  // without it, or on which it fails, gets ipconfig.
  if (HMODULE dnsapi = LoadLibraryW(WideFromUtf8(system_dir + "\\dnsapi.dll").c_str())) {
    using FlushFn = BOOL(WINAPI*)();
    auto flush = reinterpret_cast<FlushFn>(reinterpret_cast<void*>(GetProcAddress(dnsapi, "DnsFlushResolverCache")));
    const bool flushed = flush != nullptr && flush() != FALSE;
    FreeLibrary(dnsapi);
    if (flushed) {
      outcome.kind = DnsFlushOutcome::Kind::kFlushed;
      return outcome;
    }
  }

  DnsFlushOutcome::Program program{{"ipconfig", "/flushdns"}, false, 0};
  const std::string executable = system_dir + "\\ipconfig.exe";
  std::wstring command_line = WideFromUtf8(BuildWindowsCommandLine(program.argv));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(WideFromUtf8(executable).c_str(), command_line.data(), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    *start_error = GetLastError();
    return outcome;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(wait_milliseconds > 0 ? wait_milliseconds : 0)) ==
      WAIT_OBJECT_0) {
    DWORD exit_code = 0;
    program.ended = GetExitCodeProcess(process.hProcess, &exit_code) != FALSE;
    program.exit_code = static_cast<int>(exit_code);
  }
  CloseHandle(process.hProcess);
  outcome.kind = DnsFlushOutcome::Kind::kStarted;
  outcome.programs.push_back(std::move(program));
  return outcome;
}

}  // namespace quorvale
