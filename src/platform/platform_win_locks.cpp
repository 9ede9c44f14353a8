// The Windows replace lock: a lock file opened without sharing, in a folder of the user's or,
// elevated, of the administrators'.

#include "platform/platform_win.h"

#include <chrono>

#include "core/sha256.h"
#include "core/utf16.h"

namespace quorvale {

namespace {

// How often a run waiting for the replace lock tries again.
constexpr DWORD kLockPollMilliseconds = 20;
// How many hex digits of the digest of the locked file's path name its lock.
constexpr size_t kLockNameDigits = 16;

// The name of the lock file of LockForReplace, after the full path in upper case.
std::wstring ReplaceLockName(const std::string& path) {
  std::wstring full(kLongestPath, L'\0');
  const DWORD length = GetFullPathNameW(WideFromUtf8(path).c_str(), kLongestPath, full.data(), nullptr);
  full.resize(length > 0 && length < kLongestPath ? length : 0);
  if (full.empty()) full = WideFromUtf8(path);
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  return L"replace-" + WideFromUtf8(Sha256Hex(Utf8FromWide(full)).substr(0, kLockNameDigits)) + L".lock";
}

// The lock of LockForReplace: its lock file, open without sharing, which the system removes
// when it is closed (or the program ends).
class FileLock : public Platform::HeldLock {
 public:
  explicit FileLock(HANDLE file) : file_(file) {}
  ~FileLock() override { CloseHandle(file_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  HANDLE file_;
};

}  // namespace

Status WindowsPlatform::LockForReplace(const std::string& path, int timeout_milliseconds,
                                       const std::function<void()>& waiting, std::unique_ptr<HeldLock>* lock) {
  lock->reset();
  const bool elevated = IsElevated();
  const std::string folder = elevated ? SystemSourcesFolder() : ProgramFolderIn(FOLDERID_LocalAppData, "Quorvale");
  if (folder.empty()) return Status(ErrorCode::kNotFound, path, "no folder for the replace lock");
  // An elevated run's lock is in the administrators' folder, so that no other user can take
  // its name first.
  std::vector<unsigned char> self;
  if (elevated && !CurrentUser(&self)) return LastError(folder);
  const Status made = elevated
                          ? MakeAdministratorsOnlyFolder(folder, reinterpret_cast<TOKEN_USER*>(self.data())->User.Sid)
                          : MakeFolders(folder);
  if (!made.ok()) return made;
  const std::wstring name = WideFromUtf8(folder) + ReplaceLockName(path);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_milliseconds);
  while (true) {
    HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      *lock = std::make_unique<FileLock>(file);
      return Status::Ok();
    }
    // Held: open elsewhere, or being removed as its holder lets go.
    const DWORD err = GetLastError();
    if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) return StatusFromWin32(err, path);
    if (std::chrono::steady_clock::now() >= deadline) return Status(ErrorCode::kBusy, path, "");
    if (waiting) waiting();
    ::Sleep(kLockPollMilliseconds);
  }
}

}  // namespace quorvale
