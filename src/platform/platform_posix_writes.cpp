// The POSIX writes: each file is written whole to a temporary file beside its target and
// renamed over it, keeping the rights of the file it replaces; copies; outputs written in
// place; the signal guard that removes a write's temporary file.

#include "platform/platform_posix.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/path_text.h"
#include "platform/file_read.h"
#include "platform/temp_name.h"

namespace quorvale {

namespace {

// The kernel gives up on a chain of links after 40 hops; so do we.
constexpr int kMaxLinkHops = 40;

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

}  // namespace

Status PosixPlatform::WriteFileAtomic(const std::string& path, std::string_view bytes) {
  return WriteAtomic(path, WholeContents(bytes));
}

Status PosixPlatform::WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) {
  return WriteAtomic(path, contents);
}

Status PosixPlatform::WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) {
  WriteRules rules;
  rules.replace_link = true;
  return WriteAtomic(path, WholeContents(bytes), rules);
}

Status PosixPlatform::WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) {
  WriteRules rules;
  rules.replace_link = true;
  return WriteAtomic(path, contents, rules);
}

Status PosixPlatform::WriteFileAtomicNoFollowOwnedLike(const std::string& path, std::string_view bytes,
                                                       const std::string& model) {
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

Status PosixPlatform::WritePrivateFileNoFollow(const std::string& path, std::string_view bytes) {
  const FileRights rights{geteuid(), getegid(), S_IRUSR | S_IWUSR, std::string()};
  WriteRules rules;
  rules.replace_link = true;
  rules.rights = &rights;
  return WriteAtomic(path, WholeContents(bytes), rules);
}

Status PosixPlatform::WritePublicFileNoFollow(const std::string& path, std::string_view bytes) {
  const FileRights rights{geteuid(), getegid(), S_IRUSR | S_IWUSR | S_IRGRP | S_IROTH, std::string()};
  WriteRules rules;
  rules.replace_link = true;
  rules.rights = &rights;
  return WriteAtomic(path, WholeContents(bytes), rules);
}

Status PosixPlatform::WriteOutput(const std::string& path, const FileContents& contents) {
  const int stream = OwnStreamDescriptor(path);
  struct stat info;
  const bool file = stat(path.c_str(), &info) != 0 || S_ISREG(info.st_mode) || S_ISDIR(info.st_mode);
  if (file && stream < 0) return WriteAtomic(path, contents);
  return WriteInPlace(path, stream, contents);
}

Status PosixPlatform::CopyToNewFile(const std::string& from, const std::string& to) {
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

Status PosixPlatform::PrepareReplace(const std::string&) { return Status::Ok(); }

Status PosixPlatform::ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) {
  WriteRules rules;
  rules.attributes = attributes;
  return WriteAtomic(path, contents, rules);
}

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

}  // namespace quorvale
