#include "platform/registry_win.h"

#include <algorithm>
#include <cstdio>

#include "core/utf16.h"

namespace quorvale {

namespace {

// The most a registry value read takes, in characters.
constexpr size_t kRegistryValueChars = 1024;
// The access the key is opened with.
constexpr REGSAM kAllAccess = 0x2003F;
constexpr const char* kSystemInfoTool = "MSINFO32.EXE";

}  // namespace

bool ReadRegistryString(HKEY root, const std::string& key_name, const std::string& value_name, std::string* out) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, WideFromUtf8(key_name).c_str(), 0, kAllAccess, &key) != ERROR_SUCCESS) {
    out->clear();
    return false;
  }
  std::wstring buffer(kRegistryValueChars, L'\0');
  DWORD size = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
  DWORD type = 0;
  LONG result =
      RegQueryValueExW(key, WideFromUtf8(value_name).c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) {
    out->clear();
    return false;
  }
  if (type == REG_SZ) {
    std::wstring_view text(buffer.data(), std::min<size_t>(size / sizeof(wchar_t), buffer.size()));
    if (!text.empty() && text.back() == L'\0') text.remove_suffix(1);
    *out = Utf8FromWide(text);
  } else if (type == REG_DWORD) {
    std::string_view bytes(reinterpret_cast<const char*>(buffer.data()), std::min<size_t>(size, sizeof(DWORD)));
    if (!bytes.empty() && bytes.back() == '\0') bytes.remove_suffix(1);
    std::string text = "&h";
    for (size_t i = bytes.size(); i > 0; --i) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned char>(bytes[i - 1]));
      text += digits;
    }
    *out = text;
  }
  return true;
}

std::string FindSystemInfoTool(const SystemInfoPlaces& places) {
  std::string path;
  if (ReadRegistryString(HKEY_LOCAL_MACHINE, places.path_key, places.path_value, &path)) return path;
  std::string folder;
  if (!ReadRegistryString(HKEY_LOCAL_MACHINE, places.folder_key, places.folder_value, &folder)) return {};
  // Registry folders use backslashes; a folder written with slashes only keeps them.
  const char separator = folder.find('/') != std::string::npos && folder.find('\\') == std::string::npos ? '/' : '\\';
  const std::string tool = folder + separator + kSystemInfoTool;
  return GetFileAttributesW(WideFromUtf8(tool).c_str()) != INVALID_FILE_ATTRIBUTES ? tool : std::string();
}

}  // namespace quorvale
