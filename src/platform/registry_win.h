#pragma once

// The registry reads of the Windows platform: where the system-information tool is.

#include <windows.h>

#include <string>

namespace quorvale {

// Reads a registry value as text: a string as stored, less one final NUL; a 32-bit number as
// "&h" and the hexadecimal digits of its bytes, last byte first, each without a leading
// zero, once a zero last byte is dropped as a string's NUL is. Any other type is reported as
// read but leaves `out` as it was. False (and `out` emptied) when the key or the value cannot
// be read, or the value is longer than 1024 characters. The key is opened with all access
// (0x2003F).
bool ReadRegistryString(HKEY root, const std::string& key, const std::string& value, std::string* out);

// Where the system-information tool is registered, in the order the places are tried.
struct SystemInfoPlaces {
  // A value holding the tool's path, started as it stands.
  const char* path_key = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
  const char* path_value = "PATH";
  // A value holding a folder, used when it holds MSINFO32.EXE.
  const char* folder_key = "SOFTWARE\\Microsoft\\Shared Tools Location";
  const char* folder_value = "MSINFO";
};

// The system-information tool's path, from HKEY_LOCAL_MACHINE at `places`; "" when neither
// place gives one.
std::string FindSystemInfoTool(const SystemInfoPlaces& places = {});

}  // namespace quorvale
