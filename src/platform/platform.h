#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/byte_sink.h"
#include "core/status.h"

namespace quorvale {

// File attribute values as the program uses them: 0 normal, 5 read-only and system, 7
// read-only, hidden and system. On POSIX "normal" means writable by the owner and the
// read-only values remove every write bit; hidden and system have no effect.
enum FileAttributes : int {
  kAttrNormal = 0,
  kAttrReadOnly = 1,
  kAttrHidden = 2,
  kAttrSystem = 4,
  kAttrReadOnlySystem = 5,
  kAttrReadOnlyHiddenSystem = 7,
};

// Registry roots the about box reads (Windows only).
inline constexpr unsigned long kHkeyLocalMachine = 0x80000002ul;

// The one door to the operating system. Everything here may be replaced by a fake in tests.
class Platform {
 public:
  virtual ~Platform() = default;

  // The system directory without a trailing separator, "" when it cannot be found.
  virtual std::string GetSystemDir() = 0;
  // Full path of the system HOSTS file.
  virtual std::string HostsPath() = 0;
  // Full path of the running executable.
  virtual std::string ExecutablePath() = 0;
  // The executable's file name without folder and extension ("quorvale").
  virtual std::string ExecutableName() = 0;
  // The per-user folder for the program's own files, with a trailing separator; "" when
  // there is none.
  virtual std::string UserDataFolder() = 0;

  virtual Status SetFileAttributes(const std::string& path, int attributes) = 0;
  // Reads back the attribute bits (POSIX: only read-only is meaningful); -1 when missing.
  virtual int GetFileAttributes(const std::string& path) = 0;
  virtual bool PathFileExists(const std::string& path) = 0;
  virtual void Sleep(int milliseconds) = 0;

  // Starts a program with an argument vector (never through a shell) and does not wait.
  // argv[0] is looked up as the system does (PATH). `hidden` asks for no window.
  virtual Status StartProgram(const std::vector<std::string>& argv, bool hidden) = 0;
  // Opens a text file in the system's viewer (notepad.exe, or the desktop's handler).
  virtual Status ShowTextFile(const std::string& path) = 0;
  // Opens a web address in the desktop's browser.
  virtual Status OpenUrl(const std::string& url) = 0;
  // The logon name of the current user ("" when unknown).
  virtual std::string GetCurrentUserName() = 0;
  // Reads a registry string value; false when the key or value cannot be read or the
  // platform has no registry.
  virtual bool ReadRegistryString(unsigned long root, const std::string& key, const std::string& value,
                                  std::string* out) = 0;

  // Writes `bytes` to a temporary file in the target's folder and renames it over the
  // target, keeping an existing target's mode, owner and access list where the platform
  // allows. On failure the old file is intact and no temporary file is left.
  virtual Status WriteFileAtomic(const std::string& path, std::string_view bytes) = 0;
  // The same write, with the bytes made as they go out, so that a big file is never held
  // whole in memory. This default gathers them first.
  virtual Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) {
    std::string bytes;
    contents(AppendTo(&bytes));
    return WriteFileAtomic(path, bytes);
  }
  // Copies a file byte for byte (used for backups).
  virtual Status CopyFile(const std::string& from, const std::string& to) = 0;
  virtual Status RemoveFile(const std::string& path) = 0;
  // Names (not paths) of the entries of a folder; empty when it cannot be read.
  virtual std::vector<std::string> ListFolder(const std::string& folder) = 0;
};

// The real platform of the machine the program was built for.
std::unique_ptr<Platform> CreateSystemPlatform();

}  // namespace quorvale
