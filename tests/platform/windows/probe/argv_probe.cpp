// A stand-in for a program that the platform starts: it writes how Windows split its command
// line into "argv.txt" beside itself, one argument a line, the program's own path excluded.
// When QUORVALE_PROBE_GATE names a file, it first waits up to 20 seconds for that file and
// writes "gate open" or "gate timeout" as the first line, which tells whether its starter
// went on without waiting for it.

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace {

std::string Narrow(const wchar_t* text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.pop_back();
  return out;
}

}  // namespace

int main() {
  char self[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string folder(self, length);
  folder.resize(folder.find_last_of("\\/") + 1);

  std::string text;
  char gate[MAX_PATH] = {};
  DWORD gate_length = GetEnvironmentVariableA("QUORVALE_PROBE_GATE", gate, MAX_PATH);
  if (gate_length > 0 && gate_length < MAX_PATH) {
    bool open = false;
    for (int i = 0; i < 1000 && !open; ++i) {
      open = GetFileAttributesA(gate) != INVALID_FILE_ATTRIBUTES;
      if (!open) Sleep(20);
    }
    text += open ? "gate open\n" : "gate timeout\n";
  }

  int count = 0;
  LPWSTR* args = CommandLineToArgvW(GetCommandLineW(), &count);
  for (int i = 1; args != nullptr && i < count; ++i) text += Narrow(args[i]) + "\n";
  if (args != nullptr) LocalFree(args);

  // Written under another name first, so that a reader polling for argv.txt sees it whole.
  const std::string temp = folder + "argv.tmp";
  const std::string target = folder + "argv.txt";
  HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 2;
  DWORD written = 0;
  BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != text.size()) return 2;
  return MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) ? 0 : 2;
}
