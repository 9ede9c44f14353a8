// subinacl on the Windows security API:
//
//   /Deny=USER=F    puts an entry denying USER every right on the file (FILE_ALL_ACCESS)
//                   first in the file's access list (DACL), unless the list has it already
//   /Grant=USER=F   removes every entry of the list that denies USER rights
//
// Grant never adds a right. The entries that the file inherits from its folder stay as they
// are: they belong to the folder's list. (Wine keeps no access list of its own: it turns one
// into the file's Unix mode and back, so there a denial reads back as the rights the mode
// takes, and its removal as what the mode then gives.)
//
// Every right includes reading and changing the access list itself, which the denied user
// then needs an owner's or an administrator's privileges for: the tool asks for the backup
// and restore privileges (an administrator holds them; without them it goes on), and opens
// the file with backup semantics, under which those privileges pass over the access list.

#include <windows.h>
#include <aclapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "access_command.h"
#include "core/utf16.h"
#include "platform/platform.h"

namespace quorvale {

namespace {

constexpr ACCESS_MASK kAllRights = FILE_ALL_ACCESS;

// The rights that an explicit (not inherited) entry denies `sid`; 0 for any other entry.
ACCESS_MASK DeniedRights(const ACE_HEADER* header, PSID sid) {
  if (header->AceType != ACCESS_DENIED_ACE_TYPE || (header->AceFlags & INHERITED_ACE)) return 0;
  const auto* ace = reinterpret_cast<const ACCESS_DENIED_ACE*>(header);
  return EqualSid(const_cast<DWORD*>(&ace->SidStart), sid) ? ace->Mask : 0;
}

// The entries of `acl` (null: no access list) in order.
std::vector<const ACE_HEADER*> Entries(PACL acl) {
  std::vector<const ACE_HEADER*> entries;
  for (DWORD i = 0; acl != nullptr && i < acl->AceCount; ++i) {
    void* ace = nullptr;
    if (GetAce(acl, i, &ace)) entries.push_back(static_cast<const ACE_HEADER*>(ace));
  }
  return entries;
}

// The user's security identifier, in `sid` (a buffer that grows as needed).
bool LookUpUser(const std::string& name, std::vector<BYTE>* sid) {
  const std::wstring wide_name = WideFromUtf8(name);
  DWORD sid_size = 0;
  DWORD domain_size = 0;
  SID_NAME_USE use;
  LookupAccountNameW(nullptr, wide_name.c_str(), nullptr, &sid_size, nullptr, &domain_size, &use);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
  sid->resize(sid_size);
  std::wstring domain(domain_size, L'\0');
  return LookupAccountNameW(nullptr, wide_name.c_str(), sid->data(), &sid_size, domain.data(), &domain_size, &use) &&
         IsValidSid(sid->data());
}

void AskForBackupPrivileges() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token)) return;
  for (const wchar_t* name : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
      AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    }
  }
  CloseHandle(token);
}

// The new access list: for a denial, the tool's own entry first and then the old entries;
// for a grant, the old entries but the user's denials. An absent list allows everyone
// everything, which an entry for Everyone keeps after the denial. `*unchanged` tells that
// the old list is already the result.
bool BuildAccessList(PACL old_acl, PSID sid, AccessAction action, std::vector<BYTE>* acl, bool* unchanged) {
  const bool deny = action == AccessAction::kDeny;
  const std::vector<const ACE_HEADER*> old_entries = Entries(old_acl);
  std::vector<const ACE_HEADER*> kept;
  for (const ACE_HEADER* entry : old_entries) {
    if (deny || DeniedRights(entry, sid) == 0) kept.push_back(entry);
  }
  *unchanged = deny ? std::any_of(old_entries.begin(), old_entries.end(),
                                  [&](const ACE_HEADER* entry) { return DeniedRights(entry, sid) == kAllRights; })
                    : kept.size() == old_entries.size();
  if (*unchanged) return true;

  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD everyone_size = sizeof everyone;
  const bool add_everyone = old_acl == nullptr && deny;
  if (add_everyone && !CreateWellKnownSid(WinWorldSid, nullptr, everyone, &everyone_size)) return false;

  const DWORD entry_base = sizeof(ACCESS_DENIED_ACE) - sizeof(DWORD);
  DWORD size = sizeof(ACL);
  for (const ACE_HEADER* entry : kept) size += entry->AceSize;
  if (deny) size += entry_base + GetLengthSid(sid);
  if (add_everyone) size += entry_base + GetLengthSid(everyone);
  const DWORD revision =
      old_acl != nullptr && old_acl->AclRevision > ACL_REVISION ? old_acl->AclRevision : ACL_REVISION;
  acl->assign(size, 0);
  PACL result = reinterpret_cast<PACL>(acl->data());
  if (!InitializeAcl(result, size, revision)) return false;
  if (deny && !AddAccessDeniedAceEx(result, revision, 0, kAllRights, sid)) return false;
  for (const ACE_HEADER* entry : kept) {
    if (!AddAce(result, revision, MAXDWORD, const_cast<ACE_HEADER*>(entry), entry->AceSize)) return false;
  }
  return !add_everyone || AddAccessAllowedAceEx(result, revision, 0, kAllRights, everyone);
}

}  // namespace

int RunAccessCommand(const AccessCommand& command) {
  std::vector<BYTE> sid;
  if (!LookUpUser(command.user, &sid)) return Fail(kExitUnknownUser, "unknown user \"" + command.user + "\"");
  AskForBackupPrivileges();
  HANDLE file = CreateFileW(WideFromUtf8(command.path).c_str(), READ_CONTROL | WRITE_DAC,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return Fail(kExitAclFailed, command.path + ": " + WindowsErrorText(GetLastError()));

  PACL old_acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD err = GetSecurityInfo(file, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old_acl, nullptr,
                              &descriptor);
  std::vector<BYTE> acl;
  bool unchanged = false;
  if (err == ERROR_SUCCESS && !BuildAccessList(old_acl, sid.data(), command.action, &acl, &unchanged)) {
    err = GetLastError();
  }
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (err == ERROR_SUCCESS && !unchanged && !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
    err = GetLastError();
  }
  if (err == ERROR_SUCCESS && !unchanged) {
    // The list keeps its protection from (or its inheritance of) the folder's entries.
    const SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    err = SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, reinterpret_cast<PACL>(acl.data()), nullptr);
  }
  if (descriptor != nullptr) LocalFree(descriptor);
  CloseHandle(file);
  if (err != ERROR_SUCCESS) return Fail(kExitAclFailed, command.path + ": " + WindowsErrorText(err));
  return 0;
}

}  // namespace quorvale

// The arguments come in UTF-16, as Windows keeps them, and go on in UTF-8.
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(quorvale::Utf8FromWide(argv[i]));
  return quorvale::SubinaclMain(args);
}
