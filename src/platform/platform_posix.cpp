#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>

#include "core/item_reader.h"
#include "platform/platform.h"

extern char** environ;

namespace quorvale {

namespace {

constexpr const char kAccessAclName[] = "system.posix_acl_access";
// The kernel gives up on a chain of links after 40 hops; so do we.
constexpr int kMaxLinkHops = 40;

std::string FolderOf(const std::string& path) {
  size_t cut = path.find_last_of('/');
  if (cut == std::string::npos) return ".";
  if (cut == 0) return "/";
  return path.substr(0, cut);
}

std::string BaseName(const std::string& path) {
  size_t cut = path.find_last_of('/');
  return cut == std::string::npos ? path : path.substr(cut + 1);
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
    current = target.starts_with('/') ? target : FolderOf(current) + "/" + target;
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
    if (written == 0) return Status(ErrorCode::kNoSpace, path + ": nothing written");
    data += written;
    left -= static_cast<size_t>(written);
  }
  return Status::Ok();
}

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

// Creates "<folder>/.<name>.XXXXXX" exclusively with the given creation mode, which the
// kernel combines with the umask or the folder's default ACL (mkstemp would force 0600 and
// lose both).
int CreateTempBeside(const std::string& path, mode_t creation_mode, std::string* temp, int* err) {
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  thread_local std::mt19937_64 random(std::random_device{}() ^
                                      static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  std::string base = BaseName(path);
  // ".", ".", and six letters must still fit in one name.
  if (base.size() > NAME_MAX - 8) base.resize(NAME_MAX - 8);
  const std::string prefix = FolderOf(path) + "/." + base + ".";
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temp = prefix;
    uint64_t bits = random();
    for (int i = 0; i < 6; ++i, bits /= 62) temp->push_back(kLetters[bits % 62]);
    int fd = open(temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, creation_mode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) {
      *err = errno;
      return -1;
    }
  }
  *err = EEXIST;
  return -1;
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  (void)fsync(fd);
  close(fd);
}

// The write behind WriteFileAtomic and CopyFile. `new_mode` is the creation mode of a file
// that does not exist yet (before the umask); an existing file keeps its own.
Status WriteAtomic(const std::string& requested_path, const FileContents& contents, mode_t new_mode) {
  std::string path;
  Status status = ResolveTarget(requested_path, &path);
  if (!status.ok()) return status;

  struct stat old_info;
  bool existed = stat(path.c_str(), &old_info) == 0;
  if (!existed && errno != ENOENT) return StatusFromErrno(errno, path);
  std::string old_acl;
  if (existed) {
    if (S_ISDIR(old_info.st_mode)) return StatusFromErrno(EISDIR, path);
    if (!S_ISREG(old_info.st_mode)) return Status(ErrorCode::kIoError, path + ": not a regular file");
    // Renaming only needs the folder's permission; a target the user may not write (a
    // read-only or locked HOSTS file) must refuse the write as the file itself would.
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return StatusFromErrno(errno, path);
    status = ReadAccessAcl(path, &old_acl);
    if (!status.ok()) return status;
  }

  std::string temp;
  int err = 0;
  // An existing file's contents stay private to its owner until its own mode is applied.
  int fd = CreateTempBeside(path, existed ? S_IRUSR | S_IWUSR : new_mode, &temp, &err);
  if (fd < 0) return StatusFromErrno(err, path);

  const bool complete = contents([&](std::string_view piece) {
    status = WriteAll(fd, piece, path);
    return status.ok();
  });
  if (status.ok() && !complete) status = Status(ErrorCode::kIoError, path + ": contents incomplete");
  if (status.ok() && existed) {
    // The owner goes first: a change of owner clears the set-id bits that fchmod restores.
    // An unprivileged user cannot give the file away and keeps it as their own.
    if (fchown(fd, old_info.st_uid, old_info.st_gid) != 0) {
      (void)!fchown(fd, static_cast<uid_t>(-1), old_info.st_gid);
    }
    if (fchmod(fd, old_info.st_mode & 07777) != 0) status = StatusFromErrno(errno, path);
    // An access list that cannot be carried over must not vanish silently: it may be what
    // keeps a user out of the file.
    if (status.ok() && !old_acl.empty() &&
        fsetxattr(fd, kAccessAclName, old_acl.data(), old_acl.size(), 0) != 0) {
      status = StatusFromErrno(errno, path);
    }
  }
  if (status.ok() && fsync(fd) != 0) status = StatusFromErrno(errno, path);
  if (close(fd) != 0 && status.ok()) status = StatusFromErrno(errno, path);
  if (status.ok() && rename(temp.c_str(), path.c_str()) != 0) status = StatusFromErrno(errno, path);
  if (!status.ok()) {
    unlink(temp.c_str());
    return status;
  }
  SyncFolder(FolderOf(path));
  return status;
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

  std::string ExecutableName() override {
    std::string name = BaseName(ExecutablePath());
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
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

  Status SetFileAttributes(const std::string& path, int attributes) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return StatusFromErrno(errno, path);
    mode_t mode = info.st_mode & 07777;
    mode_t wanted = (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    if (wanted == mode) return Status::Ok();
    if (chmod(path.c_str(), wanted) != 0) return StatusFromErrno(errno, path);
    return Status::Ok();
  }

  int GetFileAttributes(const std::string& path) override {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) return -1;
    return (info.st_mode & 0222) == 0 ? kAttrReadOnly : kAttrNormal;
  }

  bool PathFileExists(const std::string& path) override {
    struct stat info;
    return !path.empty() && stat(path.c_str(), &info) == 0;
  }

  void Sleep(int milliseconds) override {
    if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }

  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override {
    (void)hidden;  // POSIX programs have no window style to choose.
    if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "no program given");
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);

    // The child starts with every signal at its default and none blocked, whatever the
    // program (or the GUI toolkit) did to its own.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t all_signals;
    sigset_t no_signals;
    sigfillset(&all_signals);
    sigemptyset(&no_signals);
    posix_spawnattr_setsigdefault(&attributes, &all_signals);
    posix_spawnattr_setsigmask(&attributes, &no_signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    int err = posix_spawnp(&pid, args[0], nullptr, &attributes, args.data(), environ);
    posix_spawnattr_destroy(&attributes);
    if (err != 0) return StatusFromErrno(err, argv[0]);
    // The program is not awaited; a detached waiter only collects its exit status so that
    // no zombie is left behind.
    std::thread([pid] {
      int exit_status = 0;
      while (waitpid(pid, &exit_status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return Status::Ok();
  }

  Status ShowTextFile(const std::string& path) override { return StartProgram({"xdg-open", path}, false); }

  Status OpenUrl(const std::string& url) override { return StartProgram({"xdg-open", url}, false); }

  // The name of the user whose rights the process has, as GetUserNameA gives it. $USER is
  // not trusted: "su" to root keeps the caller's USER, and a lock would then target the
  // wrong account.
  std::string GetCurrentUserName() override {
    long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024, '\0');
    struct passwd entry;
    struct passwd* found = nullptr;
    while (true) {
      int err = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
      if (err != ERANGE) break;
      buffer.resize(buffer.size() * 2);
    }
    return found != nullptr && found->pw_name != nullptr ? std::string(found->pw_name) : std::string();
  }

  bool ReadRegistryString(unsigned long, const std::string&, const std::string&, std::string* out) override {
    out->clear();
    return false;
  }

  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    return WriteAtomic(path, WholeContents(bytes), 0666);
  }

  Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) override {
    return WriteAtomic(path, contents, 0666);
  }

  // A new copy takes the source's permission bits (less the umask), as cp does, so a copy
  // of a private file is never more readable than the file itself.
  Status CopyFile(const std::string& from, const std::string& to) override {
    struct stat info;
    if (stat(from.c_str(), &info) != 0) return StatusFromErrno(errno, from);
    std::string bytes;
    Status status = ReadFileBytes(from, &bytes);
    if (!status.ok()) return status;
    return WriteAtomic(to, WholeContents(bytes), info.st_mode & 0777);
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
};

}  // namespace

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<PosixPlatform>(); }

}  // namespace quorvale
