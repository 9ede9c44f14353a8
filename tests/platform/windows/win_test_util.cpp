#include "win_test_util.h"

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <chrono>
#include <thread>

#include "core/utf16.h"
#include "support/test_files.h"

namespace quorvale::testing {

namespace {

HANDLE InheritableFile(const std::string& path) {
  SECURITY_ATTRIBUTES inherit = {};
  inherit.nLength = sizeof inherit;
  inherit.bInheritHandle = TRUE;
  return CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The processes that this one started and that still run.
std::vector<DWORD> Children() {
  std::vector<DWORD> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return children;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID == GetCurrentProcessId()) children.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return children;
}

}  // namespace

std::string TestProgramFolder() {
  wchar_t buffer[MAX_PATH] = {};
  DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  std::string path = Utf8FromWide(std::wstring_view(buffer, length));
  return path.substr(0, path.find_last_of("\\/") + 1);
}

bool WaitForFile(const std::string& path, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (GetFileAttributesW(WideFromUtf8(path).c_str()) == INVALID_FILE_ATTRIBUTES) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

bool EndChildren() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Children().empty() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  const std::vector<DWORD> left = Children();
  for (DWORD child : left) {
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, child)) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, INFINITE);
      CloseHandle(process);
    }
  }
  return left.empty();
}

ProcessResult RunAndWait(const std::string& command_line, const std::string& scratch_dir) {
  const std::string out_path = scratch_dir + "\\.stdout";
  const std::string err_path = scratch_dir + "\\.stderr";
  ProcessResult result;
  HANDLE out = InheritableFile(out_path);
  HANDLE err = InheritableFile(err_path);
  if (out == INVALID_HANDLE_VALUE || err == INVALID_HANDLE_VALUE) {
    result.err = "cannot create the capture files";
    return result;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = INVALID_HANDLE_VALUE;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION process = {};
  std::wstring line = WideFromUtf8(command_line);
  BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                &startup, &process);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    result.err = "cannot start " + command_line + ": error " + std::to_string(GetLastError());
    return result;
  }
  CloseHandle(process.hThread);
  if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
    DWORD code = 0;
    if (GetExitCodeProcess(process.hProcess, &code)) result.status = static_cast<int>(code);
  } else {
    TerminateProcess(process.hProcess, 1);
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  CloseHandle(process.hProcess);
  result.out = ReadBytes(out_path);
  result.err = ReadBytes(err_path);
  DeleteFileW(WideFromUtf8(out_path).c_str());
  DeleteFileW(WideFromUtf8(err_path).c_str());
  return result;
}

std::vector<std::string> SplitAsWindows(const std::string& command_line) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* parts = CommandLineToArgvW(WideFromUtf8(command_line).c_str(), &count);
  if (parts == nullptr) return args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8FromWide(parts[i]));
  LocalFree(parts);
  return args;
}

}  // namespace quorvale::testing
