// The POSIX replace lock: a lock file locked with flock in a folder only the user may open.

#include "platform/platform_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <thread>

#include "core/path_text.h"
#include "core/sha256.h"

namespace quorvale {

namespace {

// How often a run waiting for the replace lock tries again.
constexpr auto kLockPollInterval = std::chrono::milliseconds(20);

// The replace locks live in a folder that only the user of the process can open: for root
// /run/quorvale, for another user quorvale in their runtime folder ($XDG_RUNTIME_DIR, when it
// is their own and private), else /tmp/quorvale-UID. A lock held there is one nobody else can
// take, hold or replace.
constexpr char kRootLockParent[] = "/run";
constexpr char kLockFolderName[] = "quorvale";
constexpr char kSharedLockParent[] = "/tmp";
constexpr mode_t kPrivateFolderMode = 0700;
constexpr mode_t kLockFileMode = 0600;
constexpr mode_t kOthersBits = 0077;
constexpr mode_t kOthersWriteBits = 0022;
// How many hex digits of the digest of the locked file's identity name its lock.
constexpr size_t kLockNameDigits = 16;

Status LockPlaceRefused(const std::string& folder, const char* why) {
  return Status(ErrorCode::kAccessDenied, folder, why);
}

// Opens the folder `name` in `parent_fd`, made when missing: a folder of the user's own that
// nobody else may open, never reached through a link.
Status OpenPrivateFolder(int parent_fd, const std::string& parent, const std::string& name, int* fd) {
  const std::string shown = JoinPath(parent, name);
  if (mkdirat(parent_fd, name.c_str(), kPrivateFolderMode) != 0 && errno != EEXIST) {
    return StatusFromErrno(errno, shown);
  }
  *fd = openat(parent_fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (*fd < 0) return StatusFromErrno(errno, shown);
  struct stat info;
  if (fstat(*fd, &info) != 0 || info.st_uid != geteuid() || (info.st_mode & kOthersBits) != 0) {
    close(*fd);
    *fd = -1;
    return LockPlaceRefused(shown, "not a private folder of the user's");
  }
  return Status::Ok();
}

// Opens the folder of the replace locks (see kRootLockParent).
Status OpenLockFolder(int* fd) {
  const uid_t uid = geteuid();
  std::string parent = kRootLockParent;
  std::string name = kLockFolderName;
  int parent_fd = -1;
  struct stat info;
  if (uid != 0) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && runtime[0] == '/') {
      parent_fd = open(runtime, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (parent_fd >= 0 && (fstat(parent_fd, &info) != 0 || info.st_uid != uid || (info.st_mode & kOthersBits) != 0)) {
        close(parent_fd);
        parent_fd = -1;
      }
      if (parent_fd >= 0) parent = runtime;
    }
    if (parent_fd < 0) {
      parent = kSharedLockParent;
      name = std::string(kLockFolderName) + "-" + std::to_string(uid);
    }
  }
  if (parent_fd < 0) {
    // Root's own folder, or the shared one where the sticky bit keeps each entry its owner's.
    parent_fd = open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parent_fd < 0) return StatusFromErrno(errno, parent);
    if (fstat(parent_fd, &info) != 0 || info.st_uid != 0 ||
        ((info.st_mode & kOthersWriteBits) != 0 && (info.st_mode & S_ISVTX) == 0)) {
      close(parent_fd);
      return LockPlaceRefused(parent, "a folder others may change");
    }
  }
  const Status status = OpenPrivateFolder(parent_fd, parent, name, fd);
  close(parent_fd);
  return status;
}

// The name of the lock of the file at `path`, after the identity of its folder and its own
// name, so that every spelling of the folder gives one lock and different files do not share
// one.
Status LockNameOf(const std::string& path, std::string* name) {
  struct stat folder;
  if (stat(FolderOf(path).c_str(), &folder) != 0) return StatusFromErrno(errno, path);
  const std::string identity =
      std::to_string(folder.st_dev) + ":" + std::to_string(folder.st_ino) + "/" + std::string(FileNameOf(path));
  *name = "replace-" + Sha256Hex(identity).substr(0, kLockNameDigits) + ".lock";
  return Status::Ok();
}

// The lock of LockForReplace: the lock file, locked with flock. Letting go removes its name
// first, so that no file is left behind; a run that opened it before then finds that its
// name leads elsewhere once it holds it, and opens the name again.
class FileLock : public Platform::HeldLock {
 public:
  FileLock(int folder_fd, int fd, std::string name) : folder_fd_(folder_fd), fd_(fd), name_(std::move(name)) {}
  ~FileLock() override {
    unlinkat(folder_fd_, name_.c_str(), 0);
    close(fd_);  // closing the last descriptor releases the lock
    close(folder_fd_);
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int folder_fd_;
  int fd_;
  std::string name_;
};

// Whether the name `name` in `folder_fd` is still the file open as `fd`.
bool NameLeadsTo(int folder_fd, const std::string& name, int fd) {
  struct stat named;
  struct stat held;
  return fstatat(folder_fd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(fd, &held) == 0 &&
         named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

}  // namespace

Status PosixPlatform::LockForReplace(const std::string& path, int timeout_milliseconds,
                                     const std::function<void()>& waiting, std::unique_ptr<HeldLock>* lock) {
  lock->reset();
  std::string name;
  if (Status named = LockNameOf(path, &name); !named.ok()) return named;
  int folder_fd = -1;
  if (Status opened = OpenLockFolder(&folder_fd); !opened.ok()) return opened;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_milliseconds);
  Status status;
  while (status.ok()) {
    const int fd = openat(folder_fd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
    if (fd < 0) {
      status = StatusFromErrno(errno, path);
      break;
    }
    int err = 0;
    while ((err = flock(fd, LOCK_EX | LOCK_NB) == 0 ? 0 : errno) != 0) {
      if (err == EINTR) continue;
      if (err != EWOULDBLOCK || std::chrono::steady_clock::now() >= deadline) break;
      if (waiting) waiting();
      std::this_thread::sleep_for(kLockPollInterval);
    }
    if (err == 0 && NameLeadsTo(folder_fd, name, fd)) {
      *lock = std::make_unique<FileLock>(folder_fd, fd, name);
      return Status::Ok();
    }
    close(fd);
    if (err == EWOULDBLOCK) status = Status(ErrorCode::kBusy, path, "");
    if (err != 0 && err != EWOULDBLOCK) status = StatusFromErrno(err, path);
  }
  close(folder_fd);
  return status;
}

}  // namespace quorvale
