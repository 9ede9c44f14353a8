#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <thread>
#include <utility>

#include "core/hosts_writer.h"
#include "core/path_text.h"
#include "core/sha256.h"
#include "core/update_task.h"
#include "core/utf16.h"
#include "platform/download_curl.h"
#include "platform/file_read.h"
#include "platform/platform.h"
#include "platform/temp_name.h"

extern char** environ;

namespace quorvale {

namespace {

constexpr const char kAccessAclName[] = "system.posix_acl_access";
// The kernel gives up on a chain of links after 40 hops; so do we.
constexpr int kMaxLinkHops = 40;

// How often a run waiting for the replace lock tries again.
constexpr auto kLockPollInterval = std::chrono::milliseconds(20);

// The mode a file with `mode` gets for the attribute bits `attributes`: read-only takes every
// write bit away, anything else gives the owner write permission back.
mode_t ModeWithAttributes(mode_t mode, int attributes) {
  return (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
}

// Follows symbolic links at the target, one hop at a time, so that the file a link points
// to is replaced and the link itself stays (/etc/hosts is a link on some systems). A link
// whose target does not exist yet resolves to that target, which the write then creates,
// as a plain write through the link would.
Status ResolveTarget(const std::string& path, std::string* resolved) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat info;
    if (lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *resolved = current;
      return Status::Ok();
    }
    std::string target(static_cast<size_t>(info.st_size > 0 ? info.st_size : PATH_MAX) + 1, '\0');
    ssize_t length = readlink(current.c_str(), target.data(), target.size());
    if (length < 0) return StatusFromErrno(errno, path);
    if (static_cast<size_t>(length) >= target.size()) return StatusFromErrno(ENAMETOOLONG, path);
    target.resize(static_cast<size_t>(length));
    current = target.starts_with('/') ? target : JoinPath(FolderOf(current), target);
  }
  return StatusFromErrno(ELOOP, path);
}

Status WriteAll(int fd, std::string_view bytes, const std::string& path) {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return StatusFromErrno(errno, path);
    }
    if (written == 0) return Status(ErrorCode::kNoSpace, path, "nothing written");
    data += written;
    left -= static_cast<size_t>(written);
  }
  return Status::Ok();
}

// What tells that a regular file changed: its size and modification time.
struct FileStamp {
  off_t size = 0;
  struct timespec modified = {};
  bool operator==(const FileStamp& other) const {
    return size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

// A file or stream of OpenSequentialFile, read with read(2) straight into the caller's room.
class PosixSequentialFile : public SequentialFile {
 public:
  // `owned` is false for standard input, which stays open.
  PosixSequentialFile(int fd, bool owned, std::string path) : fd_(fd), owned_(owned), path_(std::move(path)) {
    struct stat info;
    // A pipe's or a terminal's size and times follow its writes: only a regular file is stamped.
    stamped_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    if (stamped_) opened_ = StampOf(info);
  }
  ~PosixSequentialFile() override {
    if (owned_) close(fd_);
  }
  PosixSequentialFile(const PosixSequentialFile&) = delete;
  PosixSequentialFile& operator=(const PosixSequentialFile&) = delete;

  Status Read(char* to, size_t room, size_t* got) override {
    *got = 0;
    while (*got < room) {
      const ssize_t read_now = ::read(fd_, to + *got, room - *got);
      if (read_now < 0 && errno == EINTR) continue;
      if (read_now < 0) return StatusFromErrno(errno, path_);
      if (read_now == 0) break;
      *got += static_cast<size_t>(read_now);
    }
    return Status::Ok();
  }

  uint64_t size_hint() const override { return stamped_ ? static_cast<uint64_t>(opened_.size) : 0; }

  bool ChangedSinceOpened() override {
    if (!stamped_) return false;
    struct stat info;
    return fstat(fd_, &info) != 0 || !(StampOf(info) == opened_);
  }

 private:
  static FileStamp StampOf(const struct stat& info) { return {info.st_size, info.st_mtim}; }

  const int fd_;
  const bool owned_;
  const std::string path_;
  bool stamped_ = false;
  FileStamp opened_;
};

// The raw access ACL of a file, empty when it has none beyond its mode bits.
Status ReadAccessAcl(const std::string& path, std::string* acl) {
  acl->clear();
  while (true) {
    ssize_t size = getxattr(path.c_str(), kAccessAclName, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA || errno == ENOTSUP) return Status::Ok();
      return StatusFromErrno(errno, path);
    }
    acl->resize(static_cast<size_t>(size));
    size = getxattr(path.c_str(), kAccessAclName, acl->data(), acl->size());
    if (size >= 0) {
      acl->resize(static_cast<size_t>(size));
      return Status::Ok();
    }
    if (errno != ERANGE) return StatusFromErrno(errno, path);
    // The list grew between the two calls: ask again.
  }
}

// The layout of an access list as the system gives it (system.posix_acl_access): a 4-byte
// version, then 8-byte entries of a 16-bit tag, 16-bit permissions and a 32-bit id, each
// little-endian.
constexpr size_t kAclHeaderBytes = 4;
constexpr size_t kAclEntryBytes = 8;
constexpr unsigned kAclNamedUserTag = 0x02;
constexpr unsigned kAclWriteBit = 0x02;

unsigned LittleEndianAt(const std::string& bytes, size_t at, size_t width) {
  unsigned value = 0;
  for (size_t i = width; i-- > 0;) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// Looks a user up by name with the system's user database; false when there is none.
bool UserIdOf(const std::string& name, uid_t* uid) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  // The system may not say how much room a user entry needs; it grows while too small.
  constexpr size_t kFirstEntryBytes = 1024;
  std::string buffer(suggested > 0 ? static_cast<size_t>(suggested) : kFirstEntryBytes, '\0');
  struct passwd entry;
  struct passwd* found = nullptr;
  int err = 0;
  while ((err = getpwnam_r(name.c_str(), &entry, buffer.data(), buffer.size(), &found)) == ERANGE) {
    buffer.resize(buffer.size() * 2);
  }
  if (err != 0 || found == nullptr) return false;
  *uid = found->pw_uid;
  return true;
}

// The named temporary file of the write in progress, for the signal handlers of
// GuardWritesAgainstSignals: a fixed buffer, so that a handler reads it without a lock or an
// allocation. The program writes one file at a time.
char pending_temp_path[PATH_MAX];
volatile sig_atomic_t pending_temp_set = 0;

void RememberTemp(const std::string& temp) {
  pending_temp_set = 0;
  if (temp.size() >= sizeof pending_temp_path) return;
  std::memcpy(pending_temp_path, temp.c_str(), temp.size() + 1);
  // The name is whole before a handler may read it.
  std::atomic_signal_fence(std::memory_order_seq_cst);
  pending_temp_set = 1;
}

void ForgetTemp() { pending_temp_set = 0; }

void RemoveTempAndEnd(int signal_number) {
  if (pending_temp_set != 0) unlink(pending_temp_path);
  // SA_RESETHAND put the default action back: the program ends as the signal asks.
  raise(signal_number);
}

// Creates a file named by TempNameBeside exclusively with the given creation mode, which the
// kernel combines with the umask or the folder's default ACL (mkstemp would force 0600 and
// lose both).
int CreateTempBeside(const std::string& path, mode_t creation_mode, std::string* temp, int* err) {
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    *temp = TempNameBeside(path, NAME_MAX);
    int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, creation_mode);
    if (fd >= 0) {
      RememberTemp(*temp);
      return fd;
    }
    if (errno != EEXIST) {
      *err = errno;
      return -1;
    }
  }
  *err = EEXIST;
  return -1;
}

// The name under which a process reaches its own open file `fd`.
std::string FdLink(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

// Opens the file a write goes to: a file without a name in the target's folder where the
// system allows it, so that a write killed before it is complete leaves nothing behind; a
// named temporary file where the file system refuses that (`temp` then holds its name, and
// is "" otherwise).
int OpenTemp(const std::string& path, mode_t creation_mode, std::string* temp, int* err) {
  temp->clear();
#ifdef O_TMPFILE
  int fd = open(FolderOf(path).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, creation_mode);
  // The file gets its name through /proc; without /proc it must be named from the start.
  if (fd >= 0 && access(FdLink(fd).c_str(), F_OK) == 0) return fd;
  if (fd >= 0) {
    close(fd);
  } else if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    *err = errno;
    return -1;
  }
#endif
  return CreateTempBeside(path, creation_mode, temp, err);
}

// Gives the complete file of OpenTemp a temporary name beside the target: a link cannot
// take the target's own name while the old file holds it, a rename can.
Status NameTemp(int fd, const std::string& path, std::string* temp) {
  const std::string link = FdLink(fd);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    *temp = TempNameBeside(path, NAME_MAX);
    if (linkat(AT_FDCWD, link.c_str(), AT_FDCWD, temp->c_str(), AT_SYMLINK_FOLLOW) == 0) {
      RememberTemp(*temp);
      return Status::Ok();
    }
    if (errno != EEXIST) break;
  }
  const int err = errno;
  temp->clear();
  return StatusFromErrno(err, path);
}

// Who may do what with a file: what a write keeps of the file it replaces, and what a copy
// takes from the file it copies.
struct FileRights {
  uid_t owner = 0;
  gid_t group = 0;
  mode_t mode = 0;
  std::string acl;  // the raw access ACL; empty when the mode bits say it all
};

Status ReadRights(const std::string& path, const struct stat& info, FileRights* rights) {
  rights->owner = info.st_uid;
  rights->group = info.st_gid;
  rights->mode = info.st_mode & 07777;
  return ReadAccessAcl(path, &rights->acl);
}

Status ApplyRights(int fd, const FileRights& rights, const std::string& path) {
  // The owner goes first: a change of owner clears the set-id bits that fchmod restores.
  // An unprivileged user cannot give the file away and keeps it as their own.
  if (fchown(fd, rights.owner, rights.group) != 0) (void)!fchown(fd, static_cast<uid_t>(-1), rights.group);
  if (fchmod(fd, rights.mode) != 0) return StatusFromErrno(errno, path);
  // An access list that cannot be carried over must not vanish silently: it may be what
  // keeps a user out of the file.
  if (!rights.acl.empty() && fsetxattr(fd, kAccessAclName, rights.acl.data(), rights.acl.size(), 0) != 0) {
    return StatusFromErrno(errno, path);
  }
  return Status::Ok();
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

// Whether the user may write the existing file `path` (`info`). A file without any write bit
// is read-only for everyone, the superuser included: the user must make it writable first.
Status CheckWritable(const std::string& path, const struct stat& info) {
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return StatusFromErrno(EACCES, path);
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return StatusFromErrno(errno, path);
  return Status::Ok();
}

// Whether the user may replace the existing file `path` (`info`) as a replace that first
// clears its read-only attribute would: a file with write bits as CheckWritable says; one
// without them when the user could give them back (its owner, or the superuser).
Status CheckReplaceable(const std::string& path, const struct stat& info) {
  if ((info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0) return CheckWritable(path, info);
  const uid_t user = geteuid();
  if (user == 0 || user == info.st_uid) return Status::Ok();
  return StatusFromErrno(EACCES, path);
}

// How WriteAtomic treats the file it writes.
struct WriteRules {
  // The creation mode of a file that does not exist yet (before the umask).
  mode_t new_mode = 0666;
  // The rights the file takes instead of the old file's (a copy takes its original's).
  const FileRights* rights = nullptr;
  // >= 0: the file ends with these attribute bits, set before it takes the old one's place,
  // and an old file without write permission is replaced as CheckReplaceable says.
  int attributes = -1;
  // The file is new: it never takes the place of an entry of its name (kExists then), and a
  // link of that name is not followed.
  bool only_new = false;
  // A symbolic link of that name is replaced by the new file, not followed.
  bool replace_link = false;
  // The rights a new file takes (the old file's otherwise, or `rights`).
  const FileRights* new_file_rights = nullptr;
};

// Gives the complete temporary file its final name without replacing anything there: the
// unnamed file of OpenTemp is linked in (a link never replaces), a named one is renamed with
// RENAME_NOREPLACE, or linked and unlinked where the file system cannot do that.
Status NameNewFile(int fd, const std::string& temp, const std::string& path) {
  if (temp.empty()) {
    if (linkat(AT_FDCWD, FdLink(fd).c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) return Status::Ok();
    return StatusFromErrno(errno, path);
  }
  if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0) return Status::Ok();
  if (errno != EINVAL && errno != ENOSYS) return StatusFromErrno(errno, path);
  if (link(temp.c_str(), path.c_str()) != 0) return StatusFromErrno(errno, path);
  unlink(temp.c_str());
  return Status::Ok();
}

// The write behind WriteFileAtomic, CopyToNewFile and ReplaceProtectedFile: an existing file
// keeps its own rights unless `rules` says otherwise.
Status WriteAtomic(const std::string& requested_path, const FileContents& contents, const WriteRules& rules = {}) {
  std::string path = requested_path;
  const bool follow = !rules.only_new && !rules.replace_link;
  Status status = follow ? ResolveTarget(requested_path, &path) : Status::Ok();
  if (!status.ok()) return status;

  // The rename below puts the new file in place of the name itself: a link there is
  // replaced, never written through.
  struct stat old_info;
  bool existed = lstat(path.c_str(), &old_info) == 0;
  if (!existed && errno != ENOENT) return StatusFromErrno(errno, path);
  if (existed && rules.only_new) return StatusFromErrno(EEXIST, path);
  if (existed && S_ISLNK(old_info.st_mode)) existed = false;
  FileRights old_rights;
  const FileRights* rights = rules.rights;
  mode_t new_mode = rules.new_mode;
  if (existed) {
    if (S_ISDIR(old_info.st_mode)) return StatusFromErrno(EISDIR, path);
    if (!S_ISREG(old_info.st_mode)) return Status(ErrorCode::kIoError, path, "not a regular file");
    // Renaming only needs the folder's permission; a target the user may not write (a
    // read-only or locked HOSTS file) must refuse the write as the file itself would.
    status = rules.attributes >= 0 ? CheckReplaceable(path, old_info) : CheckWritable(path, old_info);
    if (!status.ok()) return status;
    status = ReadRights(path, old_info, &old_rights);
    if (!status.ok()) return status;
    if (rules.attributes >= 0) old_rights.mode = ModeWithAttributes(old_rights.mode, rules.attributes);
    if (rights == nullptr) rights = &old_rights;
  } else if (rules.attributes >= 0) {
    new_mode = ModeWithAttributes(new_mode, rules.attributes);
  }
  if (!existed && rights == nullptr) rights = rules.new_file_rights;

  std::string temp;
  int err = 0;
  // The contents stay private to their owner until the rights to keep are applied.
  int fd = OpenTemp(path, rights != nullptr ? S_IRUSR | S_IWUSR : new_mode, &temp, &err);
  if (fd < 0) return StatusFromErrno(err, path);

  const bool complete = contents([&](std::string_view piece) {
    status = WriteAll(fd, piece, path);
    return status.ok();
  });
  if (status.ok() && !complete) status = Status(ErrorCode::kIoError, path, "contents incomplete");
  if (status.ok() && rights != nullptr) status = ApplyRights(fd, *rights, path);
  if (status.ok() && fsync(fd) != 0) status = StatusFromErrno(errno, path);
  if (rules.only_new) {
    if (status.ok()) status = NameNewFile(fd, temp, path);
    if (close(fd) != 0 && status.ok()) status = StatusFromErrno(errno, path);
    if (!status.ok() && !temp.empty()) unlink(temp.c_str());
  } else {
    if (status.ok() && temp.empty()) status = NameTemp(fd, path, &temp);
    if (close(fd) != 0 && status.ok()) status = StatusFromErrno(errno, path);
    if (status.ok() && rename(temp.c_str(), path.c_str()) != 0) status = StatusFromErrno(errno, path);
    if (!status.ok() && !temp.empty()) unlink(temp.c_str());
  }
  ForgetTemp();
  if (!status.ok()) return status;
  SyncFolder(FolderOf(path));
  return status;
}

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
  const std::string identity = std::to_string(folder.st_dev) + ":" + std::to_string(folder.st_ino) + "/" +
                               std::string(FileNameOf(path));
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

// The descriptor that a name of the program's own open files stands for (/dev/stdout,
// /dev/fd/3...), -1 for any other name. Written through that descriptor, the bytes go where
// the stream is, after what it took already, whatever it is (opened again by its name, a
// file would be written from its start).
int OwnStreamDescriptor(const std::string& path) {
  if (path == "/dev/stdout") return STDOUT_FILENO;
  if (path == "/dev/stderr") return STDERR_FILENO;
  for (std::string_view prefix : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!path.starts_with(prefix)) continue;
    const std::string_view digits = std::string_view(path).substr(prefix.size());
    int fd = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
    return error == std::errc() && end == digits.data() + digits.size() ? fd : -1;
  }
  return -1;
}

// An output that is not a file of its own (a device, a terminal, a pipe, a stream of the
// program) is written where it is, never replaced. `fd` is its descriptor, -1 when it is
// opened here.
Status WriteInPlace(const std::string& path, int fd, const FileContents& contents) {
  const bool opened = fd < 0;
  if (opened) fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return StatusFromErrno(errno, path);
  Status status;
  const bool complete = contents([&](std::string_view piece) {
    status = WriteAll(fd, piece, path);
    return status.ok();
  });
  if (status.ok() && !complete) status = Status(ErrorCode::kIoError, path, "contents incomplete");
  if (opened && close(fd) != 0 && status.ok()) status = StatusFromErrno(errno, path);
  return status;
}

// Starts `program` (a path, or a bare name looked up on PATH) with `argv`, the file actions
// `files` and `environment` (this process's own by default), every signal at its default and
// none blocked in the child, whatever the program (or the GUI toolkit) did to its own.
Status SpawnWith(const std::string& program, const std::vector<std::string>& argv, posix_spawn_file_actions_t* files,
                 pid_t* pid, char* const* environment = environ) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all_signals;
  sigset_t no_signals;
  sigfillset(&all_signals);
  sigemptyset(&no_signals);
  posix_spawnattr_setsigdefault(&attributes, &all_signals);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  int err = posix_spawnp(pid, program.c_str(), files, &attributes, args.data(), environment);
  posix_spawnattr_destroy(&attributes);
  if (err != 0) return StatusFromErrno(err, argv.empty() ? program : argv[0]);
  return Status::Ok();
}

// Spawn as above; a `quiet` child reads nothing and its output is discarded.
Status Spawn(const std::string& program, const std::vector<std::string>& argv, bool quiet, pid_t* pid) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  if (quiet) {
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  }
  Status status = SpawnWith(program, argv, &files, pid);
  posix_spawn_file_actions_destroy(&files);
  return status;
}

// A program that is not (or no longer) awaited: a detached waiter only collects its exit
// status, so that no zombie is left behind.
void ReapLater(pid_t pid) {
  std::thread([pid] {
    int exit_status = 0;
    while (waitpid(pid, &exit_status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

// The full path of the program `name` in a folder of PATH (the system's default path when
// PATH is not set), "" when none holds an executable file of that name.
std::string FindOnPath(const std::string& name) {
  std::string search;
  if (const char* path = std::getenv("PATH")) {
    search = path;
  } else if (size_t size = confstr(_CS_PATH, nullptr, 0); size > 0) {
    search.resize(size);
    confstr(_CS_PATH, search.data(), size);
    search.resize(size - 1);
  }
  size_t start = 0;
  while (start <= search.size()) {
    const size_t end = std::min(search.find(':', start), search.size());
    // An empty entry would mean the current folder, which a system tool is never taken from.
    if (end > start) {
      const std::string candidate = JoinPath(search.substr(start, end - start), name);
      struct stat info;
      if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::string();
}

// Whether a process of that command name (as /proc/PID/comm shows it) runs.
bool ProcessRuns(Platform& platform, std::string_view name) {
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return false;
  bool found = false;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    std::string comm;
    if (!ReadFileBytes(platform, std::string("/proc/") + entry->d_name + "/comm", &comm, ReadAs::kBytes).ok()) {
      continue;
    }
    if (comm.ends_with('\n')) comm.pop_back();
    if (comm == name) {
      found = true;
      break;
    }
  }
  closedir(proc);
  return found;
}

// How a child that ended did: its exit status, or 128 + the signal that ended it.
int ExitCodeOf(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

// How often a wait for started programs looks whether they ended.
constexpr auto kChildPollInterval = std::chrono::milliseconds(10);

DnsFlushOutcome FlushDnsCaches(Platform& platform, int wait_milliseconds) {
  DnsFlushOutcome outcome;
  std::vector<std::pair<std::string, std::vector<std::string>>> commands;  // (program file, argv)
  if (std::string resolvectl = FindOnPath("resolvectl"); !resolvectl.empty()) {
    commands.push_back({resolvectl, {"resolvectl", "flush-caches"}});
  }
  if (ProcessRuns(platform, "nscd")) {
    if (std::string nscd = FindOnPath("nscd"); !nscd.empty()) commands.push_back({nscd, {"nscd", "-i", "hosts"}});
  }
  if (commands.empty()) {
    outcome.why = Status(ErrorCode::kNotSupported, "", "neither resolvectl nor a running nscd was found");
    return outcome;
  }
  std::vector<pid_t> pids;
  for (const auto& [program, argv] : commands) {
    pid_t pid = 0;
    Status started = Spawn(program, argv, /*quiet=*/true, &pid);
    if (!started.ok()) {
      outcome.why = started;
      continue;
    }
    outcome.programs.push_back({argv, false, 0});
    pids.push_back(pid);
  }
  if (pids.empty()) return outcome;
  outcome.kind = DnsFlushOutcome::Kind::kStarted;
  outcome.why = Status::Ok();

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
  size_t running = pids.size();
  while (running > 0) {
    for (size_t i = 0; i < pids.size(); ++i) {
      int wait_status = 0;
      if (outcome.programs[i].ended || waitpid(pids[i], &wait_status, WNOHANG) != pids[i]) continue;
      outcome.programs[i].ended = true;
      outcome.programs[i].exit_code = ExitCodeOf(wait_status);
      --running;
    }
    if (running == 0 || std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kChildPollInterval);
  }
  for (size_t i = 0; i < pids.size(); ++i) {
    if (!outcome.programs[i].ended) ReapLater(pids[i]);
  }
  return outcome;
}

// pkexec's exit codes when the user dismissed the agent's dialog or was not authorized.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
// How long one wait for the elevated program's pipes lasts before `waiting` is called.
constexpr int kElevatedPollMilliseconds = 10;

// Reads what there is on the non-blocking `fd` into `output`; false at its end or on an error.
bool DrainInto(int fd, std::string* output) {
  char buffer[4096];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      output->append(buffer, static_cast<size_t>(got));
    } else {
      return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
  }
}

// pkexec PROGRAM ARGS with `input` on its standard input (a socket, so that a reader that went
// away gives an error and never SIGPIPE) and its standard error read back; neither wait blocks
// for longer than kElevatedPollMilliseconds before `waiting` is called.
ElevatedRun RunWithPkexec(const std::string& pkexec, const std::string& program, const std::vector<std::string>& args,
                          const FileContents* input, const std::function<void()>& waiting) {
  ElevatedRun run;
  std::vector<std::string> argv = {pkexec, program};
  argv.insert(argv.end(), args.begin(), args.end());
  int to_child[2];
  int from_child[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, to_child) != 0) {
    run.why = StatusFromErrno(errno, pkexec);
    return run;
  }
  if (pipe2(from_child, O_CLOEXEC) != 0) {
    run.why = StatusFromErrno(errno, pkexec);
    close(to_child[0]);
    close(to_child[1]);
    return run;
  }
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, to_child[1], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&files, from_child[1], STDERR_FILENO);
  pid_t pid = 0;
  run.why = SpawnWith(pkexec, argv, &files, &pid);
  posix_spawn_file_actions_destroy(&files);
  close(to_child[1]);
  close(from_child[1]);
  const int in = to_child[0];
  const int err = from_child[0];
  if (!run.why.ok()) {
    close(in);
    close(err);
    return run;
  }
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) | O_NONBLOCK);
  fcntl(err, F_SETFL, fcntl(err, F_GETFL) | O_NONBLOCK);
  bool err_open = true;
  int wait_status = 0;
  bool ended = false;
  // One turn of the wait: the child's messages are read, its end is noticed, the window runs.
  auto turn = [&](short in_events) {
    pollfd fds[2] = {{err, static_cast<short>(err_open ? POLLIN : 0), 0}, {in, in_events, 0}};
    poll(fds, 2, kElevatedPollMilliseconds);
    if (err_open) err_open = DrainInto(err, &run.output);
    if (!ended) ended = waitpid(pid, &wait_status, WNOHANG) == pid;
    if (waiting) waiting();
  };
  if (input != nullptr) {
    (*input)([&](std::string_view piece) {
      while (!piece.empty()) {
        const ssize_t sent = send(in, piece.data(), piece.size(), MSG_NOSIGNAL);
        if (sent > 0) {
          piece.remove_prefix(static_cast<size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
          turn(POLLOUT);
          if (ended) return false;
        } else {
          return false;  // the child closed its input: its answer says why
        }
      }
      return true;
    });
  }
  close(in);
  while (!ended) turn(0);
  // Whatever the child wrote before it ended; a program it left running may hold the pipe.
  if (err_open) DrainInto(err, &run.output);
  close(err);
  run.exit_code = ExitCodeOf(wait_status);
  run.kind = run.exit_code == kPkexecDismissed || run.exit_code == kPkexecNotAuthorized ? ElevatedRun::Kind::kRefused
                                                                                       : ElevatedRun::Kind::kEnded;
  return run;
}

// Whether no one but the superuser may change the folder `path` or what it holds: each of
// its levels, from the root, is a folder (not a link) of the superuser that neither its group
// nor others may write, up to the first level that does not exist yet (the superuser makes
// the rest under a level no one else may write). A level others may write is allowed when it
// is sticky (/tmp) and the next level exists: no one else may then rename or remove that one.
bool OnlySuperuserMayChange(const std::string& path) {
  constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
  bool after_sticky = false;
  for (size_t end = 0;; end = path.find('/', end + 1)) {
    const std::string level = end == std::string::npos ? path : path.substr(0, std::max<size_t>(end, 1));
    struct stat info;
    if (lstat(level.c_str(), &info) != 0) return errno == ENOENT && !after_sticky;
    if (!S_ISDIR(info.st_mode) || info.st_uid != 0) return false;
    const bool last = end == std::string::npos || end + 1 == path.size();
    after_sticky = (info.st_mode & kOthersWrite) != 0;
    if (after_sticky && (last || (info.st_mode & S_ISVTX) == 0)) return false;
    if (last) return true;
  }
}

class PosixPlatform : public Platform {
 public:
  std::string GetSystemDir() override {
    const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
    return dir != nullptr ? std::string(dir) : std::string();
  }

  std::string HostsPath() override {
    const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
    if (dir != nullptr && *dir != '\0') return std::string(dir) + "/drivers/etc/HOSTS";
    return "/etc/hosts";
  }

  std::string ExecutablePath() override {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) return std::string();
    return std::string(buffer, static_cast<size_t>(length));
  }

  std::string UserDataFolder() override {
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg == '/') {
      base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
      base = std::string(home) + "/.local/share";
    } else {
      return std::string();
    }
    std::string folder = base + "/quorvale";
    // Create each missing level; existing ones are fine.
    for (size_t cut = folder.find('/', 1); cut != std::string::npos; cut = folder.find('/', cut + 1)) {
      mkdir(folder.substr(0, cut).c_str(), 0700);
    }
    mkdir(folder.c_str(), 0700);
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return std::string();
    return folder + "/";
  }

  Status SetAttributes(const std::string& path, int attributes) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return StatusFromErrno(errno, path);
    mode_t mode = info.st_mode & 07777;
    mode_t wanted = ModeWithAttributes(mode, attributes);
    if (wanted == mode) return Status::Ok();
    if (chmod(path.c_str(), wanted) != 0) return StatusFromErrno(errno, path);
    return Status::Ok();
  }

  int GetAttributes(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return (info.st_mode & 0222) == 0 ? kAttrReadOnly : kAttrNormal;
  }

  bool PathExists(const std::string& path) override {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
  }

  void Sleep(int milliseconds) override {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override {
    (void)hidden;  // POSIX programs have no window style to choose.
    if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
    pid_t pid = 0;
    Status status = Spawn(argv[0], argv, /*quiet=*/false, &pid);
    if (status.ok()) ReapLater(pid);
    return status;
  }

  Status ShowTextFile(const std::string& path) override { return StartProgram({"xdg-open", path}, false); }

  Status OpenUrl(const std::string& url) override { return StartProgram({"xdg-open", url}, false); }

  // The name of the user whose rights the process has, as GetUserNameA gives it. $USER is
  // not trusted: "su" to root keeps the caller's USER, and a lock would then target the
  // wrong account.
  std::string GetCurrentUserName() override {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    // The system may not say how much room a user entry needs; it grows while too small.
    constexpr size_t kFirstEntryBytes = 1024;
    std::string buffer(suggested > 0 ? static_cast<size_t>(suggested) : kFirstEntryBytes, '\0');
    struct passwd entry;
    struct passwd* found = nullptr;
    while (true) {
      int err = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
      if (err != ERANGE) break;
      buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_name != nullptr ? std::string(found->pw_name) : std::string();
  }

  std::string SystemInfoToolPath() override { return std::string(); }

  std::optional<bool> LockedByAccessList(const std::string& path, const std::string& user) override {
    std::string acl;
    uid_t uid = 0;
    if (!ReadAccessAcl(path, &acl).ok() || !UserIdOf(user, &uid)) return false;
    for (size_t at = kAclHeaderBytes; at + kAclEntryBytes <= acl.size(); at += kAclEntryBytes) {
      if (LittleEndianAt(acl, at, 2) == kAclNamedUserTag && LittleEndianAt(acl, at + 4, 4) == uid) {
        return (LittleEndianAt(acl, at + 2, 2) & kAclWriteBit) == 0;
      }
    }
    return false;
  }

  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    return WriteAtomic(path, WholeContents(bytes));
  }

  Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) override {
    return WriteAtomic(path, contents);
  }

  Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override {
    WriteRules rules;
    rules.replace_link = true;
    return WriteAtomic(path, WholeContents(bytes), rules);
  }

  Status WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) override {
    WriteRules rules;
    rules.replace_link = true;
    return WriteAtomic(path, contents, rules);
  }

  Status WriteFileAtomicNoFollowOwnedLike(const std::string& path, std::string_view bytes,
                                          const std::string& model) override {
    // The read, write and execute bits, without the set-id and sticky bits.
    constexpr mode_t kPermissionBits = 0777;
    WriteRules rules;
    rules.replace_link = true;
    struct stat info;
    FileRights rights;
    if (stat(model.c_str(), &info) == 0 && S_ISREG(info.st_mode)) {
      rights = {info.st_uid, info.st_gid, static_cast<mode_t>(info.st_mode & kPermissionBits), std::string()};
      rules.new_file_rights = &rights;
    }
    return WriteAtomic(path, WholeContents(bytes), rules);
  }

  Status WritePrivateFileNoFollow(const std::string& path, std::string_view bytes) override {
    const FileRights rights{geteuid(), getegid(), S_IRUSR | S_IWUSR, std::string()};
    WriteRules rules;
    rules.replace_link = true;
    rules.rights = &rights;
    return WriteAtomic(path, WholeContents(bytes), rules);
  }

  Status WritePublicFileNoFollow(const std::string& path, std::string_view bytes) override {
    const FileRights rights{geteuid(), getegid(), S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH, std::string()};
    WriteRules rules;
    rules.replace_link = true;
    rules.rights = &rights;
    return WriteAtomic(path, WholeContents(bytes), rules);
  }

  // The kind is looked at before the file is opened, since opening a named pipe waits for a
  // writer; the stamp that tells a change is taken once it is open.
  Status OpenSequentialFile(const std::string& path, InputKinds kinds,
                            std::unique_ptr<SequentialFile>* file) override {
    file->reset();
    if (kinds == InputKinds::kAlsoStreams && path == kStandardInput) {
      *file = std::make_unique<PosixSequentialFile>(STDIN_FILENO, false, path);
      return Status::Ok();
    }
    struct stat info;
    // A path whose stat fails is left to the opening, which names the failure.
    if (stat(path.c_str(), &info) == 0) {
      if (S_ISDIR(info.st_mode)) return StatusFromErrno(EISDIR, path);
      const bool stream = S_ISFIFO(info.st_mode) && kinds == InputKinds::kAlsoStreams;
      if (!S_ISREG(info.st_mode) && !stream) return Status(ErrorCode::kIoError, path, "not a regular file");
    }
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) return StatusFromErrno(errno, path);
    *file = std::make_unique<PosixSequentialFile>(fd, true, path);
    return Status::Ok();
  }

  Status WriteOutput(const std::string& path, const FileContents& contents) override {
    const int stream = OwnStreamDescriptor(path);
    struct stat info;
    const bool file = stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
    if (file && stream < 0) return WriteAtomic(path, contents);
    return WriteInPlace(path, stream, contents);
  }

  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    struct stat info;
    if (stat(from.c_str(), &info) != 0) return StatusFromErrno(errno, from);
    FileRights rights;
    Status status = ReadRights(from, info, &rights);
    if (!status.ok()) return status;
    std::string bytes;
    status = ReadFileBytes(*this, from, &bytes, ReadAs::kBytes);
    if (!status.ok()) return status;
    WriteRules rules;
    rules.rights = &rights;
    rules.only_new = true;
    return WriteAtomic(to, WholeContents(bytes), rules);
  }

  Status ReadRegularFile(const std::string& path, std::string* bytes) override {
    bytes->clear();
    // Not blocking: a named pipe must not hold the program until a writer comes.
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      if (errno == ELOOP) return Status(ErrorCode::kIoError, path, "not a regular file");
      return StatusFromErrno(errno, path);
    }
    struct stat info;
    Status status;
    if (fstat(fd, &info) != 0) {
      status = StatusFromErrno(errno, path);
    } else if (!S_ISREG(info.st_mode)) {
      status = Status(ErrorCode::kIoError, path, "not a regular file");
    } else {
      try {
        bytes->resize(static_cast<size_t>(info.st_size));
        size_t done = 0;
        while (true) {
          if (done == bytes->size()) bytes->resize(done + static_cast<size_t>(info.st_blksize) + 1);
          const ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
          if (got < 0 && errno == EINTR) continue;
          if (got < 0) {
            status = StatusFromErrno(errno, path);
            break;
          }
          if (got == 0) break;
          done += static_cast<size_t>(got);
        }
        bytes->resize(done);
      } catch (const std::bad_alloc&) {
        status = OutOfMemory(path);
      }
    }
    close(fd);
    if (!status.ok()) bytes->clear();
    return status;
  }

  Status PrepareReplace(const std::string&) override { return Status::Ok(); }

  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) override {
    WriteRules rules;
    rules.attributes = attributes;
    return WriteAtomic(path, contents, rules);
  }

  Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                        std::unique_ptr<HeldLock>* lock) override {
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

  Status RemoveFile(const std::string& path) override {
    if (unlink(path.c_str()) != 0) return StatusFromErrno(errno, path);
    return Status::Ok();
  }

  std::vector<std::string> ListFolder(const std::string& folder) override {
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
      std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(std::move(name));
    }
    closedir(dir);
    return names;
  }

  std::int64_t FileModifiedTime(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  }

  std::int64_t FileSize(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
  }

  EntryFacts FactsOf(const std::string& path) override {
    EntryFacts facts;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
      facts.kind = errno == ENOENT || errno == ENOTDIR ? EntryFacts::Kind::kMissing : EntryFacts::Kind::kUnknown;
      return facts;
    }
    if (!S_ISREG(info.st_mode)) {
      facts.kind = EntryFacts::Kind::kOther;
      return facts;
    }
    facts.kind = EntryFacts::Kind::kRegular;
    facts.bytes = static_cast<std::int64_t>(info.st_size);
    facts.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
    return facts;
  }

  DnsFlushOutcome FlushDnsCache(int wait_milliseconds) override { return FlushDnsCaches(*this, wait_milliseconds); }

  std::string LocalDateTimeText() override { return LocaleDateTimeText(HeaderMoment()); }
  std::string AnsiToUtf8(std::string_view bytes) override { return Utf8FromWindows1252(bytes); }

  DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) override {
    return DownloadWithCurl(request, progress);
  }

  std::string ConfigFolder() override { return XdgFolder("XDG_CONFIG_HOME", "/.config", ""); }

  // The superuser's runs keep their copies only in a folder no one else may change (sudo -E
  // passes a user's XDG_CACHE_HOME on, where a planted link would steer root's writes), else
  // in the system's.
  std::string CacheFolder() override {
    if (geteuid() != 0) return XdgFolder("XDG_CACHE_HOME", "/.cache", "");
    const std::string folder = XdgFolder("XDG_CACHE_HOME", "/.cache", kRootCacheFolder);
    return OnlySuperuserMayChange(folder) ? folder : std::string(kRootCacheFolder);
  }

  std::string SystemSourcesFolder() override {
    const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
    if (dir != nullptr && *dir != '\0') return std::string(dir) + std::string(kUpdateTimerFolder);
    return std::string(kUpdateTimerFolder);
  }

  Status MakeFolders(const std::string& path) override {
    // Each missing level is made; existing ones are fine.
    for (size_t cut = path.find('/', 1); cut != std::string::npos; cut = path.find('/', cut + 1)) {
      if (cut > 0 && path[cut - 1] != '/') mkdir(path.substr(0, cut).c_str(), kNewFolderMode);
    }
    if (mkdir(path.c_str(), kNewFolderMode) != 0 && errno != EEXIST) return StatusFromErrno(errno, path);
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return StatusFromErrno(errno, path);
    if (!S_ISDIR(info.st_mode)) return Status(ErrorCode::kIoError, path, "not a folder");
    return Status::Ok();
  }

  std::string AbsolutePath(const std::string& path) override {
    if (path.empty() || path[0] == '/') return path;
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr) return path;
    return JoinPath(buffer, path);
  }

  std::string CanonicalPath(const std::string& path) override {
    char* resolved = realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return std::string();
    std::string canonical(resolved);
    std::free(resolved);
    return canonical;
  }

  bool IsElevated() override { return geteuid() == 0; }

  bool CanReplaceInPlace(const std::string& path) override {
    if (geteuid() == 0) return true;
    std::string folder(FolderPartOf(path));
    if (folder.empty()) folder = ".";
    if (access(folder.c_str(), W_OK | X_OK) != 0) return false;
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return errno == ENOENT;
    return info.st_uid == geteuid();
  }

  bool CanRunElevated() override { return !FindOnPath("pkexec").empty(); }

  Status MakeAdministratorsFolder(const std::string& path) override { return MakeFolders(path); }

  bool OnlyAdministratorsCanChange(const std::string& path) override {
    constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
    struct stat file;
    struct stat folder;
    return lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_uid == 0 &&
           (file.st_mode & kOthersWrite) == 0 && lstat(FolderOf(path).c_str(), &folder) == 0 &&
           S_ISDIR(folder.st_mode) && folder.st_uid == 0 && (folder.st_mode & kOthersWrite) == 0;
  }

  ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) override {
    const std::string pkexec = FindOnPath("pkexec");
    if (pkexec.empty()) {
      ElevatedRun run;
      run.why = Status(ErrorCode::kNotFound, "pkexec", "not found");
      return run;
    }
    return RunWithPkexec(pkexec, program, args, input, waiting);
  }

  Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) override {
    if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
    pid_t pid = 0;
    Status status = Spawn(argv[0], argv, /*quiet=*/true, &pid);
    if (!status.ok()) return status;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
    while (true) {
      int wait_status = 0;
      if (waitpid(pid, &wait_status, WNOHANG) == pid) {
        *exit_code = ExitCodeOf(wait_status);
        return Status::Ok();
      }
      if (std::chrono::steady_clock::now() >= deadline) break;
      std::this_thread::sleep_for(kChildPollInterval);
    }
    ReapLater(pid);
    return Status(ErrorCode::kBusy, argv[0], "still running");
  }

  Status ReadProgramOutput(const std::vector<std::string>& argv, int wait_milliseconds,
                           std::string* output) override {
    output->clear();
    if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
      return Status(ErrorCode::kNotFound, "", "no program path");
    }
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return StatusFromErrno(errno, "pipe");
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    char* const no_environment[] = {nullptr};
    pid_t pid = 0;
    const Status started = SpawnWith(argv[0], argv, &files, &pid, no_environment);
    posix_spawn_file_actions_destroy(&files);
    close(out[1]);
    if (!started.ok()) {
      close(out[0]);
      return started;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
    int wait_status = 0;
    bool ended = false;
    bool open = true;
    while (output->size() <= kProgramOutputLimit && std::chrono::steady_clock::now() < deadline) {
      if (open) {
        pollfd readable{out[0], POLLIN, 0};
        poll(&readable, 1, static_cast<int>(kChildPollInterval.count()));
        open = DrainInto(out[0], output);
      } else {
        std::this_thread::sleep_for(kChildPollInterval);
      }
      if (waitpid(pid, &wait_status, WNOHANG) == pid) {
        ended = true;
        DrainInto(out[0], output);
        break;
      }
    }
    close(out[0]);
    if (!ended) {
      kill(pid, SIGKILL);
      while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
      }
    }
    if (output->size() > kProgramOutputLimit) return Status(ErrorCode::kIoError, argv[0], "too much output");
    if (!ended) return Status(ErrorCode::kBusy, argv[0], "still running");
    const int exit_code = ExitCodeOf(wait_status);
    if (exit_code != 0) return Status(ErrorCode::kIoError, argv[0], "exit code " + std::to_string(exit_code));
    return Status::Ok();
  }

 private:
  // The cache of the superuser's runs (the scheduled update's).
  static constexpr const char* kRootCacheFolder = "/var/cache/quorvale/";
  // The program's folders are the user's alone.
  static constexpr mode_t kNewFolderMode = 0700;

  // $`variable`/quorvale/ when the variable is set, else `instead` when it is given, else
  // ~`home_part`/quorvale/. (sudo and the timer's service set no such variable.)
  static std::string XdgFolder(const char* variable, const char* home_part, const std::string& instead) {
    if (const char* xdg = std::getenv(variable); xdg != nullptr && *xdg == '/') return std::string(xdg) + "/quorvale/";
    if (!instead.empty()) return instead;
    if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
      return std::string(home) + home_part + "/quorvale/";
    }
    return std::string();
  }
};

}  // namespace

void GuardWritesAgainstSignals() {
  signal(SIGXFSZ, SIG_IGN);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    if (sigaction(signal_number, nullptr, &action) != 0 || action.sa_handler == SIG_IGN) continue;
    action = {};
    action.sa_handler = RemoveTempAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace quorvale
