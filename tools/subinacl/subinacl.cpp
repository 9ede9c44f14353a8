// subinacl for POSIX systems: the access-control tool that Quorvale's lock button starts.
// It understands exactly the two command lines the program builds:
//
//   subinacl /file PATH /Deny=USER=F    adds the access-list entry user:USER:--- to PATH
//   subinacl /file PATH /Grant=USER=F   removes that user's named entry again
//
// Deny takes every right from USER (while they are not the file's owner, and not root,
// whom no access list restricts). Grant gives back only what USER has through the other
// entries (owner, groups, others); it never adds a right, and a user who had a named entry
// of their own before the deny does not get it back.
// Exit status: 0 done, 1 bad command line, 2 unknown user, 3 the access list could not be
// read or changed, or cannot restrict that user.

#include <acl/libacl.h>
#include <pwd.h>
#include <sys/acl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int kExitUsage = 1;
constexpr int kExitUnknownUser = 2;
constexpr int kExitAclFailed = 3;

enum class Action { kDeny, kGrant };

struct Command {
  Action action;
  std::string path;
  std::string user;
};

int Usage(const char* reason) {
  std::fprintf(stderr,
               "subinacl: %s\n"
               "usage: subinacl /file PATH /Deny=USER=F\n"
               "       subinacl /file PATH /Grant=USER=F\n",
               reason);
  return kExitUsage;
}

// Reads "/Deny=USER=F" or "/Grant=USER=F"; the switch and the "=F" are matched exactly.
bool ParseAccessSwitch(std::string_view text, Command* command) {
  constexpr std::string_view kDeny = "/Deny=";
  constexpr std::string_view kGrant = "/Grant=";
  constexpr std::string_view kFull = "=F";
  if (text.starts_with(kDeny)) {
    command->action = Action::kDeny;
    text.remove_prefix(kDeny.size());
  } else if (text.starts_with(kGrant)) {
    command->action = Action::kGrant;
    text.remove_prefix(kGrant.size());
  } else {
    return false;
  }
  if (!text.ends_with(kFull)) return false;
  text.remove_suffix(kFull.size());
  if (text.empty()) return false;
  command->user = std::string(text);
  return true;
}

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

// Adds user:UID:--- (or empties that user's existing entry). A mask is made only when the
// list had none; an existing mask is left alone, since an entry without rights never needs
// a wider one.
bool Deny(acl_t* acl, uid_t uid) {
  acl_entry_t entry;
  if (!FindUserEntry(*acl, uid, &entry)) {
    if (acl_create_entry(acl, &entry) != 0) return false;
    if (acl_set_tag_type(entry, ACL_USER) != 0 || acl_set_qualifier(entry, &uid) != 0) return false;
  }
  acl_permset_t permissions;
  if (acl_get_permset(entry, &permissions) != 0 || acl_clear_perms(permissions) != 0 ||
      acl_set_permset(entry, permissions) != 0) {
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

int Run(const Command& command) {
  uid_t uid = 0;
  if (!LookUpUser(command.user, &uid)) {
    std::fprintf(stderr, "subinacl: unknown user \"%s\"\n", command.user.c_str());
    return kExitUnknownUser;
  }
  struct stat info;
  if (stat(command.path.c_str(), &info) != 0) {
    std::fprintf(stderr, "subinacl: %s: %s\n", command.path.c_str(), std::strerror(errno));
    return kExitAclFailed;
  }
  if (command.action == Action::kDeny && (uid == 0 || uid == info.st_uid)) {
    // An entry would be written and ignored: the owner's rights come from the owner entry,
    // and root is not checked against access lists at all. Say so instead of pretending.
    std::fprintf(stderr, "subinacl: %s: an access list cannot deny \"%s\" (%s)\n", command.path.c_str(),
                 command.user.c_str(), uid == 0 ? "root" : "the file's owner");
    return kExitAclFailed;
  }

  acl_t acl = acl_get_file(command.path.c_str(), ACL_TYPE_ACCESS);
  if (acl == nullptr) {
    std::fprintf(stderr, "subinacl: %s: %s\n", command.path.c_str(), std::strerror(errno));
    return kExitAclFailed;
  }
  bool changed = command.action == Action::kDeny ? Deny(&acl, uid) : Grant(acl, uid);
  if (changed && acl_valid(acl) != 0) {
    errno = EINVAL;
    changed = false;
  }
  if (changed && acl_set_file(command.path.c_str(), ACL_TYPE_ACCESS, acl) != 0) changed = false;
  int saved_errno = errno;
  acl_free(acl);
  if (!changed) {
    std::fprintf(stderr, "subinacl: %s: %s\n", command.path.c_str(), std::strerror(saved_errno));
    return kExitAclFailed;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage("expected /file PATH and one access switch");
  if (std::string_view(argv[1]) != "/file") return Usage("the first argument must be /file");
  Command command;
  command.path = argv[2];
  if (command.path.empty()) return Usage("empty path");
  if (!ParseAccessSwitch(argv[3], &command)) return Usage("the access switch must be /Deny=USER=F or /Grant=USER=F");
  return Run(command);
}
