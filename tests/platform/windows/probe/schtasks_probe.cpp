// A stand-in for schtasks.exe: appends its arguments, split as Windows splits them, as a line of
// tab-separated UTF-8 to calls.txt beside itself; exits with the number in Query.exit for /Query...

#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <string>

int main() {
  char self[MAX_PATH] = {};
  std::string folder(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  folder.resize(folder.find_last_of('\\') + 1);
  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  std::wstring wide;
  for (int i = 1; i < count; ++i) wide += (i > 1 ? L"\t" : L"") + std::wstring(args[i]);
  std::string line(wide.size() * 3, '\0');
  line.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                                      line.data(), static_cast<int>(line.size()), nullptr, nullptr)));
  std::ofstream(folder + "calls.txt", std::ios::app | std::ios::binary) << line << '\n';
  int code = 0;
  std::ifstream(folder + line.substr(1, line.find('\t') - 1) + ".exit") >> code;
  return code;
}
