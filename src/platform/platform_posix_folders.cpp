// The program's folders on POSIX: where its files go, and making folders.

#include "platform/platform_posix.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

#include "core/path_text.h"

namespace quorvale {

namespace {

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

}  // namespace

std::string PosixPlatform::UserDataFolder() {
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

std::string PosixPlatform::ConfigFolder() { return XdgFolder("XDG_CONFIG_HOME", "/.config", ""); }

// The superuser's runs keep their copies only in a folder no one else may change (sudo -E
// passes a user's XDG_CACHE_HOME on, where a planted link would steer root's writes), else
// in the system's.
std::string PosixPlatform::CacheFolder() {
  if (geteuid() != 0) return XdgFolder("XDG_CACHE_HOME", "/.cache", "");
  const std::string folder = XdgFolder("XDG_CACHE_HOME", "/.cache", kRootCacheFolder);
  return OnlySuperuserMayChange(folder) ? folder : std::string(kRootCacheFolder);
}

std::string PosixPlatform::SystemSourcesFolder() {
  const char* dir = std::getenv("QUORVALE_SYSTEM_DIR");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + std::string(kUpdateTimerFolder);
  return std::string(kUpdateTimerFolder);
}

Status PosixPlatform::MakeFolders(const std::string& path) {
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

std::string PosixPlatform::AbsolutePath(const std::string& path) {
  if (path.empty() || path[0] == '/') return path;
  char buffer[PATH_MAX];
  if (getcwd(buffer, sizeof buffer) == nullptr) return path;
  return JoinPath(buffer, path);
}

std::string PosixPlatform::CanonicalPath(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return std::string();
  std::string canonical(resolved);
  std::free(resolved);
  return canonical;
}

Status PosixPlatform::MakeAdministratorsFolder(const std::string& path) { return MakeFolders(path); }

std::string PosixPlatform::XdgFolder(const char* variable, const char* home_part, const std::string& instead) {
  if (const char* xdg = std::getenv(variable); xdg != nullptr && *xdg == '/') return std::string(xdg) + "/quorvale/";
  if (!instead.empty()) return instead;
  if (const char* home = std::getenv("HOME"); home != nullptr && *home == '/') {
    return std::string(home) + home_part + "/quorvale/";
  }
  return std::string();
}

}  // namespace quorvale
