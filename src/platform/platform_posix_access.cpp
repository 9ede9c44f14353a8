// Users and access on POSIX: the current user, access lists, and who may change a file.

#include "platform/platform_posix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>

#include "core/path_text.h"

namespace quorvale {

namespace {

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

}  // namespace

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

// The name of the user whose rights the process has, as GetUserNameA gives it. $USER is
// not trusted: "su" to root keeps the caller's USER, and a lock would then target the
// wrong account.
std::string PosixPlatform::GetCurrentUserName() {
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

std::optional<bool> PosixPlatform::LockedByAccessList(const std::string& path, const std::string& user) {
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

bool PosixPlatform::IsElevated() { return geteuid() == 0; }

bool PosixPlatform::CanReplaceInPlace(const std::string& path) {
  if (geteuid() == 0) return true;
  std::string folder(FolderPartOf(path));
  if (folder.empty()) folder = ".";
  if (access(folder.c_str(), W_OK | X_OK) != 0) return false;
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return errno == ENOENT;
  return info.st_uid == geteuid();
}

bool PosixPlatform::OnlyAdministratorsCanChange(const std::string& path) {
  constexpr mode_t kOthersWrite = S_IWGRP | S_IWOTH;
  struct stat file;
  struct stat folder;
  return lstat(path.c_str(), &file) == 0 && S_ISREG(file.st_mode) && file.st_uid == 0 &&
         (file.st_mode & kOthersWrite) == 0 && lstat(FolderOf(path).c_str(), &folder) == 0 && S_ISDIR(folder.st_mode) &&
         folder.st_uid == 0 && (folder.st_mode & kOthersWrite) == 0;
}

}  // namespace quorvale
