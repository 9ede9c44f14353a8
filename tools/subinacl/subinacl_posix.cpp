// subinacl on POSIX access lists:
//
//   /Deny=USER=F    adds the access-list entry user:USER:r-- to PATH (user:USER:--- when
//                   the file's "other" entry does not let everyone read it)
//   /Grant=USER=F   removes that user's named entry again
//
// Deny takes every right but reading from USER (while they are not the file's owner, and
// not root, whom no access list restricts): a HOSTS file that the user's programs cannot
// read would stop resolving names for them. Reading is kept only where everyone has it
// anyway, so the entry never gives a right. Grant gives back only what USER has through
// the other entries (owner, groups, others); it never adds a right, and a user who had a
// named entry of their own before the deny does not get it back.

#include <acl/libacl.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "access_command.h"

namespace quorvale {

namespace {

bool LookUpUser(const std::string& name, uid_t* uid) {
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 1024);
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

// Finds the named-user entry of `uid`.
bool FindUserEntry(acl_t acl, uid_t uid, acl_entry_t* found) {
  acl_entry_t entry;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
    acl_tag_t tag;
    if (acl_get_tag_type(entry, &tag) != 0 || tag != ACL_USER) continue;
    void* qualifier = acl_get_qualifier(entry);
    if (qualifier == nullptr) continue;
    bool match = *static_cast<uid_t*>(qualifier) == uid;
    acl_free(qualifier);
    if (match) {
      *found = entry;
      return true;
    }
  }
  return false;
}

bool HasTag(acl_t acl, acl_tag_t wanted, acl_entry_t* found) {
  acl_entry_t entry;
  for (int which = ACL_FIRST_ENTRY; acl_get_entry(acl, which, &entry) == 1; which = ACL_NEXT_ENTRY) {
    acl_tag_t tag;
    if (acl_get_tag_type(entry, &tag) == 0 && tag == wanted) {
      if (found != nullptr) *found = entry;
      return true;
    }
  }
  return false;
}

// Whether the list's "other" entry lets everyone read.
bool OthersRead(acl_t acl) {
  acl_entry_t other;
  acl_permset_t permissions;
  return HasTag(acl, ACL_OTHER, &other) && acl_get_permset(other, &permissions) == 0 &&
         acl_get_perm(permissions, ACL_READ) == 1;
}

// Sets user:UID to r-- where everyone may read, else to --- (adding the entry, or changing
// that user's existing one). A mask is made only when the list had none; an existing mask is
// left alone, so that nobody else gains a right.
bool Deny(acl_t* acl, uid_t uid) {
  const bool keep_read = OthersRead(*acl);
  acl_entry_t entry;
  if (!FindUserEntry(*acl, uid, &entry)) {
    if (acl_create_entry(acl, &entry) != 0) return false;
    if (acl_set_tag_type(entry, ACL_USER) != 0 || acl_set_qualifier(entry, &uid) != 0) return false;
  }
  acl_permset_t permissions;
  if (acl_get_permset(entry, &permissions) != 0 || acl_clear_perms(permissions) != 0 ||
      (keep_read && acl_add_perm(permissions, ACL_READ) != 0) || acl_set_permset(entry, permissions) != 0) {
    return false;
  }
  if (!HasTag(*acl, ACL_MASK, nullptr)) return acl_calc_mask(acl) == 0;
  return true;
}

// Removes the user's named entry. When no named entry is left, the mask goes too, so the
// group bits of the mode become the owning group's own rights again rather than the mask
// (which may be wider). Otherwise the mask stays as it was: nobody gains a right.
bool Grant(acl_t acl, uid_t uid) {
  acl_entry_t entry;
  if (FindUserEntry(acl, uid, &entry) && acl_delete_entry(acl, entry) != 0) return false;
  if (HasTag(acl, ACL_USER, nullptr) || HasTag(acl, ACL_GROUP, nullptr)) return true;
  acl_entry_t mask;
  if (HasTag(acl, ACL_MASK, &mask) && acl_delete_entry(acl, mask) != 0) return false;
  return true;
}

}  // namespace

int RunAccessCommand(const AccessCommand& command) {
  uid_t uid = 0;
  if (!LookUpUser(command.user, &uid)) return Fail(kExitUnknownUser, "unknown user \"" + command.user + "\"");
  struct stat info;
  if (stat(command.path.c_str(), &info) != 0) return Fail(kExitAclFailed, command.path + ": " + std::strerror(errno));
  if (command.action == AccessAction::kDeny && (uid == 0 || uid == info.st_uid)) {
    // An entry would be written and ignored: the owner's rights come from the owner entry,
    // and root is not checked against access lists at all. Say so instead of pretending.
    return Fail(kExitAclFailed, command.path + ": an access list cannot deny \"" + command.user + "\" (" +
                                    (uid == 0 ? "root" : "the file's owner") + ")");
  }

  acl_t acl = acl_get_file(command.path.c_str(), ACL_TYPE_ACCESS);
  if (acl == nullptr) return Fail(kExitAclFailed, command.path + ": " + std::strerror(errno));
  bool changed = command.action == AccessAction::kDeny ? Deny(&acl, uid) : Grant(acl, uid);
  if (changed && acl_valid(acl) != 0) {
    errno = EINVAL;
    changed = false;
  }
  if (changed && acl_set_file(command.path.c_str(), ACL_TYPE_ACCESS, acl) != 0) changed = false;
  int saved_errno = errno;
  acl_free(acl);
  if (!changed) return Fail(kExitAclFailed, command.path + ": " + std::strerror(saved_errno));
  return 0;
}

}  // namespace quorvale

int main(int argc, char** argv) {
  return quorvale::SubinaclMain(std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc));
}
