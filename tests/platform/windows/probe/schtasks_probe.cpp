// A stand-in for schtasks.exe, copied under that name into a test's system folder: it
// appends its command line, as Windows handed it over, to "calls.txt" beside itself (one
// line, UTF-8), and exits with the number written in "<first argument without its slash>.exit"
// beside itself ("Query.exit" for "/Query ..."), 0 when there is no such file.

#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring Folder() {
  wchar_t self[MAX_PATH] = {};
  std::wstring path(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

}  // namespace

int main() {
  const std::wstring folder = Folder();
  const wchar_t* line = GetCommandLineW();
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line, -1, text.data(), size, nullptr, nullptr);
  text.back() = '\n';
  HANDLE calls = CreateFileW((folder + L"calls.txt").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  if (calls == INVALID_HANDLE_VALUE || !WriteFile(calls, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    return 99;
  }
  CloseHandle(calls);

  int count = 0;
  LPWSTR* args = CommandLineToArgvW(line, &count);
  const std::wstring verb = args != nullptr && count > 1 ? args[1] + (args[1][0] == L'/' ? 1 : 0) : L"";
  if (args != nullptr) LocalFree(args);
  HANDLE code_file = CreateFileW((folder + verb + L".exit").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (code_file == INVALID_HANDLE_VALUE) return 0;
  char digits[16] = {};
  DWORD read = 0;
  ReadFile(code_file, digits, sizeof digits - 1, &read, nullptr);
  CloseHandle(code_file);
  return std::atoi(digits);
}
