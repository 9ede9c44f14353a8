#pragma once

// The POSIX platform, one file for each concern, and what those files share. Private to them.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace quorvale {

// The extended attribute that holds a file's access ACL.
inline constexpr char kAccessAclName[] = "system.posix_acl_access";

// How often a wait for started programs looks whether they ended.
inline constexpr auto kChildPollInterval = std::chrono::milliseconds(10);

// The mode a file with `mode` gets for the attribute bits `attributes`: read-only takes every
// write bit away, anything else gives the owner write permission back.
mode_t ModeWithAttributes(mode_t mode, int attributes);

// The raw access ACL of a file, empty when it has none beyond its mode bits.
Status ReadAccessAcl(const std::string& path, std::string* acl);

// Starts `program` (a path, or a bare name looked up on PATH) with `argv` and this process's
// environment, every signal at its default and none blocked in the child, whatever the
// program (or the GUI toolkit) did to its own. A `quiet` child reads nothing and its output
// is discarded.
Status Spawn(const std::string& program, const std::vector<std::string>& argv, bool quiet, pid_t* pid);

// A program that is not (or no longer) awaited: a detached waiter only collects its exit
// status, so that no zombie is left behind.
void ReapLater(pid_t pid);

// The full path of the program `name` in a folder of PATH (the system's default path when
// PATH is not set), "" when none holds an executable file of that name.
std::string FindOnPath(const std::string& name);

// How a child that ended did: its exit status, or 128 + the signal that ended it.
int ExitCodeOf(int wait_status);

class PosixPlatform : public Platform {
 public:
  // Reads, facts and attributes of files: platform_posix_files.cpp.
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

  // Atomic writes, copies and the replace of a protected file: platform_posix_writes.cpp.
  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override;
  Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) override;
  Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override;
  Status WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) override;
  Status WriteFileAtomicNoFollowOwnedLike(const std::string& path, std::string_view bytes,
                                          const std::string& model) override;
  Status WritePrivateFileNoFollow(const std::string& path, std::string_view bytes) override;
  Status WritePublicFileNoFollow(const std::string& path, std::string_view bytes) override;
  Status WriteOutput(const std::string& path, const FileContents& contents) override;
  Status CopyToNewFile(const std::string& from, const std::string& to) override;
  Status PrepareReplace(const std::string& path) override;
  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) override;

  // The replace lock: platform_posix_locks.cpp.
  Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                        std::unique_ptr<HeldLock>* lock) override;

  // The program's folders: platform_posix_folders.cpp.
  std::string UserDataFolder() override;
  std::string ConfigFolder() override;
  std::string CacheFolder() override;
  std::string SystemSourcesFolder() override;
  Status MakeFolders(const std::string& path) override;
  Status MakeAdministratorsFolder(const std::string& path) override;
  std::string AbsolutePath(const std::string& path) override;
  std::string CanonicalPath(const std::string& path) override;

  // Users, access lists and who may change what: platform_posix_access.cpp.
  std::string GetCurrentUserName() override;
  std::optional<bool> LockedByAccessList(const std::string& path, const std::string& user) override;
  bool IsElevated() override;
  bool CanReplaceInPlace(const std::string& path) override;
  bool OnlyAdministratorsCanChange(const std::string& path) override;

  // Programs started, awaited and run through pkexec: platform_posix_processes.cpp.
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override;
  Status ShowTextFile(const std::string& path) override;
  Status OpenUrl(const std::string& url) override;
  Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) override;
  Status ReadProgramOutput(const std::vector<std::string>& argv, int wait_milliseconds, std::string* output) override;
  bool CanRunElevated() override;
  ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) override;

  // The system's places and settings, its texts and its HTTP: platform_posix_system.cpp.
  std::string GetSystemDir() override;
  std::string HostsPath() override;
  std::string ExecutablePath() override;
  std::string SystemInfoToolPath() override;
  void Sleep(int milliseconds) override;
  DnsFlushOutcome FlushDnsCache(int wait_milliseconds) override;
  std::string LocalDateTimeText() override;
  std::string AnsiToUtf8(std::string_view bytes) override;
  DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) override;

 private:
  // The cache of the superuser's runs (the scheduled update's).
  static constexpr const char* kRootCacheFolder = "/var/cache/quorvale/";
  // The program's folders are the user's alone.
  static constexpr mode_t kNewFolderMode = 0700;

  // $`variable`/quorvale/ when the variable is set, else `instead` when it is given, else
  // ~`home_part`/quorvale/. (sudo and the timer's service set no such variable.)
  static std::string XdgFolder(const char* variable, const char* home_part, const std::string& instead);
};

}  // namespace quorvale
