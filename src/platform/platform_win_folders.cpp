// The program's folders on Windows: where its files go, and making folders.

#include "platform/platform_win.h"

#include <shlwapi.h>

#include "core/path_text.h"
#include "core/utf16.h"

namespace quorvale {

std::string WindowsPlatform::UserDataFolder() {
  constexpr DWORD kLongestAppData = MAX_PATH + 1;
  wchar_t appdata[kLongestAppData] = {};
  DWORD length = GetEnvironmentVariableW(L"APPDATA", appdata, kLongestAppData);
  if (length == 0 || length >= kLongestAppData) return std::string();
  std::string folder = JoinPath(Utf8FromWide(std::wstring_view(appdata, length)), "Quorvale");
  CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
  DWORD attributes = GetFileAttributesW(WideFromUtf8(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::string();
  return folder + "\\";
}

std::string WindowsPlatform::ConfigFolder() { return ProgramFolderIn(FOLDERID_RoamingAppData, "Quorvale"); }

// The SYSTEM account's own local folder is inside the Windows folder; its cache goes with
// the machine's program data instead.
std::string WindowsPlatform::SystemSourcesFolder() { return ProgramFolderIn(FOLDERID_ProgramData, "Quorvale"); }

std::string WindowsPlatform::CacheFolder() {
  return RunsAsLocalSystem() ? ProgramFolderIn(FOLDERID_ProgramData, "Quorvale\\cache")
                             : ProgramFolderIn(FOLDERID_LocalAppData, "Quorvale\\cache");
}

// Each level after the root is made in turn; a level that cannot be made and is not a
// folder already stops the work with its own error.
Status WindowsPlatform::MakeFolders(const std::string& path) {
  const std::wstring wide = WideFromUtf8(path);
  const wchar_t* after_root = PathSkipRootW(wide.c_str());
  size_t level = after_root != nullptr ? static_cast<size_t>(after_root - wide.c_str()) : 0;
  while (level < wide.size()) {
    size_t end = wide.find_first_of(L"\\/", level);
    if (end == std::wstring::npos) end = wide.size();
    if (end > level) {
      const std::wstring folder = wide.substr(0, end);
      if (!CreateDirectoryW(folder.c_str(), nullptr)) {
        const DWORD err = GetLastError();
        if (!IsFolder(folder)) return StatusFromWin32(err, Utf8FromWide(folder));
      }
    }
    level = end + 1;
  }
  return IsFolder(wide) ? Status::Ok() : Status(ErrorCode::kIoError, path, "not a folder");
}

std::string WindowsPlatform::AbsolutePath(const std::string& path) {
  if (path.empty()) return path;
  const std::wstring wide = WideFromUtf8(path);
  std::wstring full(MAX_PATH, L'\0');
  DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length >= full.size()) {
    full.resize(length);
    length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  }
  if (length == 0 || length >= full.size()) return path;
  full.resize(length);
  return Utf8FromWide(full);
}

// GetFullPathNameW resolves `.` and `..`; UAC names a program by that path, links included.
std::string WindowsPlatform::CanonicalPath(const std::string& path) {
  const std::string full = AbsolutePath(path);
  return !full.empty() && PathExists(full) ? full : std::string();
}

bool WindowsPlatform::IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string WindowsPlatform::ProgramFolderIn(REFKNOWNFOLDERID id, std::string_view inner) {
  PWSTR known = nullptr;
  std::string folder;
  if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &known)) && known != nullptr && *known != 0) {
    folder = JoinPath(Utf8FromWide(known), inner) + "\\";
  }
  CoTaskMemFree(known);
  return folder;
}

bool WindowsPlatform::RunsAsLocalSystem() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  std::vector<char> user(size);
  const bool system = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
                      IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, WinLocalSystemSid);
  CloseHandle(token);
  return system;
}

}  // namespace quorvale
