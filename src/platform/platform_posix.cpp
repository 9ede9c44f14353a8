#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <dirent.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/item_reader.h"
#include "platform/platform.h"

extern char** environ;

namespace quorvale {

namespace {

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

// Follows a symbolic link at the target so that the file it points to is replaced, not the
// link itself (/etc/hosts is a link on some systems).
std::string ResolveTarget(const std::string& path) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
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

mode_t CurrentUmask() {
  mode_t mask = umask(0);
  umask(mask);
  return mask;
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
    for (size_t cut = 1; cut != std::string::npos; cut = folder.find('/', cut + 1)) {
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
    pid_t pid = 0;
    int err = posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ);
    if (err != 0) return StatusFromErrno(err, argv[0]);
    // The program is not awaited; a detached waiter only collects its exit status so that
    // no zombie is left behind.
    std::thread([pid] {
      int status = 0;
      while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
    return Status::Ok();
  }

  Status ShowTextFile(const std::string& path) override { return StartProgram({"xdg-open", path}, false); }

  Status OpenUrl(const std::string& url) override { return StartProgram({"xdg-open", url}, false); }

  std::string GetCurrentUserName() override {
    const char* user = std::getenv("USER");
    if (user != nullptr && *user != '\0') return user;
    char buffer[256];
    if (getlogin_r(buffer, sizeof buffer) == 0) return buffer;
    return std::string();
  }

  bool ReadRegistryString(unsigned long, const std::string&, const std::string&, std::string* out) override {
    out->clear();
    return false;
  }

  Status WriteFileAtomic(const std::string& requested_path, std::string_view bytes) override {
    const std::string path = ResolveTarget(requested_path);
    struct stat old_info;
    const bool existed = stat(path.c_str(), &old_info) == 0;
    if (existed) {
      if (S_ISDIR(old_info.st_mode)) return StatusFromErrno(EISDIR, path);
      // Renaming only needs the folder's permission; a target the user may not write (a
      // read-only or locked HOSTS file) must refuse the write as the file itself would.
      if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return StatusFromErrno(errno, path);
    }
    std::string temp = FolderOf(path) + "/." + BaseName(path) + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return StatusFromErrno(errno, path);

    Status status = WriteAll(fd, bytes, path);
    if (status.ok()) {
      mode_t mode = existed ? (old_info.st_mode & 07777) : (0666 & ~CurrentUmask());
      if (fchmod(fd, mode) != 0) status = StatusFromErrno(errno, path);
    }
    if (status.ok() && existed) {
      // Owner and access list are kept where we may set them; an unprivileged user keeps
      // the file as their own.
      if (fchown(fd, old_info.st_uid, old_info.st_gid) != 0) {
        (void)!fchown(fd, static_cast<uid_t>(-1), old_info.st_gid);
      }
      char acl[4096];
      ssize_t acl_size = getxattr(path.c_str(), "system.posix_acl_access", acl, sizeof acl);
      if (acl_size > 0) fsetxattr(fd, "system.posix_acl_access", acl, static_cast<size_t>(acl_size), 0);
    }
    if (status.ok() && fsync(fd) != 0) status = StatusFromErrno(errno, path);
    if (close(fd) != 0 && status.ok()) status = StatusFromErrno(errno, path);
    if (status.ok() && rename(temp.c_str(), path.c_str()) != 0) status = StatusFromErrno(errno, path);
    if (!status.ok()) unlink(temp.c_str());
    return status;
  }

  Status CopyFile(const std::string& from, const std::string& to) override {
    std::string bytes;
    Status status = ReadFileBytes(from, &bytes);
    if (!status.ok()) return status;
    return WriteFileAtomic(to, bytes);
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
