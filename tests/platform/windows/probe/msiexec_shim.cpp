// A stand-in for msiexec.exe in the installer test's Wine prefix, with Wine's own msiexec.exe
// beside it renamed msiexec-wine.exe, which it runs on the same command line and whose exit
// code it gives. In an upgrade, Windows Installer removes the older product in a session of its
// own in which UPGRADINGPRODUCTCODE is set; Wine starts that session as
// "msiexec /qn /i {product} REMOVE=ALL" without it, so this adds it there.

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kUpgradeRemoval[] = L"/qn /i {";
constexpr wchar_t kRemoveAll[] = L" REMOVE=ALL";
// Windows gives the new product's code; the packages read only whether it is set.
constexpr wchar_t kUpgradingProduct[] = L" UPGRADINGPRODUCTCODE={00000000-0000-0000-0000-000000000000}";

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

int main() {
  std::wstring line = GetCommandLineW();
  // The arguments: after the program's name, quoted or not, and the blanks after it.
  size_t start = !line.empty() && line[0] == L'"' ? line.find(L'"', 1) : line.find(L' ');
  start = line.find_first_not_of(L' ', start == std::wstring::npos ? line.size() : start + 1);
  std::wstring args = start == std::wstring::npos ? L"" : line.substr(start);
  if (args.rfind(kUpgradeRemoval, 0) == 0 && EndsWith(args, kRemoveAll)) args += kUpgradingProduct;

  wchar_t self[MAX_PATH] = {};
  std::wstring program(self, GetModuleFileNameW(nullptr, self, MAX_PATH));
  program.resize(program.find_last_of(L'\\') + 1);
  program += L"msiexec-wine.exe";
  std::wstring command = L"\"" + program + L"\" " + args;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return 1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
