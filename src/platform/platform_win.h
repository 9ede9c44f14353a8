#pragma once

// The Windows platform, one file for each concern, and what those files share. Private to
// them. It goes through the wide-character ("W") entry points: paths, names and the system's
// texts are UTF-8 in the program and UTF-16 at every call.

// <windows.h> first: the other system headers build on it.
#include <windows.h>

#include <shlobj.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quorvale {

// Every Win32 error becomes a Status here and nowhere else: a Status about `subject` with
// the system's text as the reason.
Status StatusFromWin32(DWORD err, const std::string& subject);
Status LastError(const std::string& subject);

// A handle closed at the end of its scope.
struct ScopedHandle {
  HANDLE handle = nullptr;
  ~ScopedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

// The longest path of the wide-character calls, in UTF-16 units.
inline constexpr size_t kLongestPath = 32768;

// The TOKEN_USER of the process, in `buffer`.
bool CurrentUser(std::vector<unsigned char>* buffer);

// Platform::MakeAdministratorsFolder, for the schedule's copies, which the SYSTEM task reads:
// with `elevated_self` null, only SYSTEM, the Administrators and TrustedInstaller may own or
// change the folder. `elevated_self` (the user of an elevated process) is given only for the
// folder of an elevated run's replace locks: where the system keeps no access list of its own
// (Wine), a folder made reads back as that user's, with every right for that user. The same
// user's programs without elevation may then change it, so a lock there can be held only by
// that user (who may as well not replace); a folder whose files SYSTEM or an administrator
// reads or runs must never trust that user, nor may Platform::OnlyAdministratorsCanChange,
// which a process without elevation calls.
Status MakeAdministratorsOnlyFolder(const std::string& folder, PSID elevated_self = nullptr);

// The attributes of the file at `path` are set: the console handler of
// GuardWritesAgainstSignals no longer puts back those that PrepareReplace took off it.
void ForgetAttributes(const std::wstring& path);

class WindowsPlatform : public Platform {
 public:
  // Reads, facts and attributes of files: platform_win_files.cpp.
  Status SetAttributes(const std::string& path, int attributes) override;
  int GetAttributes(const std::string& path) override;
  bool PathExists(const std::string& path) override;
  Status OpenSequentialFile(const std::string& path, InputKinds kinds, std::unique_ptr<SequentialFile>* file) override;
  Status ReadRegularFile(const std::string& path, std::string* bytes) override;
  Status RemoveFile(const std::string& path) override;
  std::vector<std::string> ListFolder(const std::string& folder) override;
  std::int64_t FileModifiedTime(const std::string& path) override;
  std::int64_t FileSize(const std::string& path) override;
  EntryFacts FactsOf(const std::string& path) override;

  // Atomic writes, copies and the replace of a protected file: platform_win_writes.cpp.
  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override;
  Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) override;
  Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override;
  Status WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) override;
  Status WritePublicFileNoFollow(const std::string& path, std::string_view bytes) override;
  Status CopyToNewFile(const std::string& from, const std::string& to) override;
  Status PrepareReplace(const std::string& path) override;
  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) override;

  // The replace lock: platform_win_locks.cpp.
  Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                        std::unique_ptr<HeldLock>* lock) override;

  // The program's folders: platform_win_folders.cpp.
  std::string UserDataFolder() override;
  std::string ConfigFolder() override;
  std::string SystemSourcesFolder() override;
  std::string CacheFolder() override;
  Status MakeFolders(const std::string& path) override;
  std::string AbsolutePath(const std::string& path) override;
  std::string CanonicalPath(const std::string& path) override;

  // Users, access lists and who may change what: platform_win_access.cpp.
  std::string GetCurrentUserName() override;
  bool IsElevated() override;
  bool CanReplaceInPlace(const std::string& path) override;
  Status MakeAdministratorsFolder(const std::string& path) override;
  bool OnlyAdministratorsCanChange(const std::string& path) override;

  // Programs started, awaited and run through UAC: platform_win_processes.cpp.
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override;
  Status ShowTextFile(const std::string& path) override;
  Status OpenUrl(const std::string& url) override;
  Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) override;
  bool CanRunElevated() override;
  ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) override;

  // The system's places and settings, its texts and its HTTP: platform_win_system.cpp.
  std::string GetSystemDir() override;
  std::string HostsPath() override;
  std::string ExecutablePath() override;
  std::string SystemInfoToolPath() override;
  void Sleep(int milliseconds) override;
  DnsFlushOutcome FlushDnsCache(int wait_milliseconds) override;
  std::string LocalDateTimeText() override;
  std::string DateTimeText(const std::tm& moment) override;
  std::string AnsiToUtf8(std::string_view bytes) override;
  DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) override;

 private:
  static bool IsFolder(const std::wstring& path);
  // `inner` in the system's known folder `id`, with a trailing separator; "" when the system
  // has no such folder.
  static std::string ProgramFolderIn(REFKNOWNFOLDERID id, std::string_view inner);
  // Whether the process runs as the SYSTEM account (S-1-5-18), as the scheduled update does.
  static bool RunsAsLocalSystem();
};

}  // namespace quorvale
