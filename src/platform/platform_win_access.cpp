// Users and access on Windows: the current user, elevation, access lists, and who may change
// a file or a folder.

#include "platform/platform_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <cwchar>

#include "core/path_text.h"
#include "core/utf16.h"
#include "platform/temp_name.h"

namespace quorvale {

namespace {

// The rights over a file or a folder that change it or what it holds: its bytes (in a folder,
// a new file or folder), attributes and extended attributes, its removal or new name, the
// removal of a folder's entries, its access list and its owner; and the generic rights that
// grant them.
constexpr ACCESS_MASK kChangingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                        FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                                        GENERIC_ALL | MAXIMUM_ALLOWED;
// TrustedInstaller, the owner of the system's own files, is a service's SID of no well-known kind.
constexpr const wchar_t* kTrustedInstallerSid = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
// The folder of the programs run with administrator rights (the schedule's copies, the
// elevated runs' replace locks): SYSTEM and the Administrators alone, with every right, which
// the folder's entries take; the folder takes nothing from its parent.
constexpr const wchar_t* kAdministratorsOnlySddl = L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

bool IsAdministratorSid(PSID sid) {
  if (IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || IsWellKnownSid(sid, WinLocalSystemSid)) return true;
  PSID trusted_installer = nullptr;
  if (!ConvertStringSidToSidW(kTrustedInstallerSid, &trusted_installer)) return false;
  const bool same = EqualSid(sid, trusted_installer) != FALSE;
  LocalFree(trusted_installer);
  return same;
}

bool IsReparsePoint(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// Whether `owner` and the access list `acl` leave changing their file or folder to the
// administrators alone: the owner is one of them and no one else is allowed a changing right.
// `elevated_self`, when given, counts as one of them: see MakeAdministratorsOnlyFolder for the
// one check that may give it.
bool OwnerAndAccessListAdministratorsOnly(PSID owner, PACL acl, PSID elevated_self = nullptr) {
  const auto trusted = [elevated_self](PSID sid) {
    return IsAdministratorSid(sid) || (elevated_self != nullptr && EqualSid(sid, elevated_self));
  };
  // Without an access list everyone has every right.
  if (owner == nullptr || !trusted(owner) || acl == nullptr) return false;
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    ACE_HEADER* header = nullptr;
    if (!GetAce(acl, i, reinterpret_cast<void**>(&header))) return false;
    // An inherit-only entry is for new entries of a folder, which then carry it themselves;
    // a denial only takes rights away.
    if ((header->AceFlags & INHERIT_ONLY_ACE) != 0 || header->AceType == ACCESS_DENIED_ACE_TYPE) continue;
    // Object and callback entries are not read, so not trusted.
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) return false;
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    if ((allowed->Mask & kChangingRights) != 0 && !trusted(&allowed->SidStart)) return false;
  }
  return true;
}

bool OwnerAndAccessListAdministratorsOnly(const std::wstring& path, PSID elevated_self = nullptr) {
  PSID owner = nullptr;
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                            &owner, nullptr, &acl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool only = OwnerAndAccessListAdministratorsOnly(owner, acl, elevated_self);
  LocalFree(descriptor);
  return only;
}

// Turns on a privilege when the process's token holds it (an elevated administrator's holds
// those of taking ownership and of giving an owner); what needed it then says whether it did.
void EnablePrivilege(const wchar_t* name) {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token.handle)) return;
  TOKEN_PRIVILEGES privileges = {};
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
    AdjustTokenPrivileges(token.handle, FALSE, &privileges, 0, nullptr, nullptr);
  }
}

// Whether a new file can be made in `folder`: one is made and goes at once.
bool FolderTakesNewFiles(const std::string& folder) {
  const std::wstring probe = WideFromUtf8(TempNameBeside(folder + "probe"));
  HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

}  // namespace

bool CurrentUser(std::vector<unsigned char>* buffer) {
  ScopedHandle token;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token.handle)) return false;
  buffer->resize(256);
  DWORD size = 0;
  if (!GetTokenInformation(token.handle, TokenUser, buffer->data(), static_cast<DWORD>(buffer->size()), &size)) {
    buffer->resize(size);
    if (!GetTokenInformation(token.handle, TokenUser, buffer->data(), size, &size)) return false;
  }
  return true;
}

Status MakeAdministratorsOnlyFolder(const std::string& folder, PSID elevated_self) {
  std::wstring wide = WideFromUtf8(folder);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  SECURITY_ATTRIBUTES attributes = {sizeof attributes, nullptr, FALSE};
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOnlySddl, SDDL_REVISION_1,
                                                            &attributes.lpSecurityDescriptor, nullptr)) {
    return LastError(folder);
  }
  const DWORD found = GetFileAttributesW(wide.c_str());
  // A link (a junction another user made) is removed, not followed; what it leads to stays.
  if (found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      !((found & FILE_ATTRIBUTE_DIRECTORY) ? RemoveDirectoryW(wide.c_str()) : DeleteFileW(wide.c_str()))) {
    LocalFree(attributes.lpSecurityDescriptor);
    return LastError(folder);
  }
  Status status;
  if (!CreateDirectoryW(wide.c_str(), &attributes) && GetLastError() != ERROR_ALREADY_EXISTS) {
    status = LastError(folder);
  } else if (!OwnerAndAccessListAdministratorsOnly(wide, elevated_self)) {
    // Made before by someone else: Administrators take it and give it the access list.
    EnablePrivilege(L"SeTakeOwnershipPrivilege");
    EnablePrivilege(L"SeRestorePrivilege");
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PSID owner = nullptr;
    PACL acl = nullptr;
    GetSecurityDescriptorOwner(attributes.lpSecurityDescriptor, &owner, &defaulted);
    GetSecurityDescriptorDacl(attributes.lpSecurityDescriptor, &present, &acl, &defaulted);
    std::wstring path = wide;
    status = StatusFromWin32(SetNamedSecurityInfoW(path.data(), SE_FILE_OBJECT,
                                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                       PROTECTED_DACL_SECURITY_INFORMATION,
                                                   owner, nullptr, acl, nullptr),
                             folder);
  }
  LocalFree(attributes.lpSecurityDescriptor);
  const DWORD made = GetFileAttributesW(wide.c_str());
  if (status.ok() && (made == INVALID_FILE_ATTRIBUTES || (made & FILE_ATTRIBUTE_DIRECTORY) == 0)) {
    status = Status(ErrorCode::kIoError, folder, "not a folder");
  } else if (status.ok() && (IsReparsePoint(wide) || !OwnerAndAccessListAdministratorsOnly(wide, elevated_self))) {
    status = Status(ErrorCode::kAccessDenied, folder, "others than the administrators may change it");
  }
  return status;
}

// A buffer of 100 characters and everything up to the first NUL: a name the call could
// not store gives "".
std::string WindowsPlatform::GetCurrentUserName() {
  constexpr DWORD kLongestUserName = 100;
  wchar_t buffer[kLongestUserName] = {};
  DWORD size = kLongestUserName;
  GetUserNameW(buffer, &size);
  return Utf8FromWide(std::wstring_view(buffer, wcsnlen(buffer, kLongestUserName)));
}

bool WindowsPlatform::IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation = {};
  DWORD size = 0;
  const bool elevated =
      GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated != 0;
  CloseHandle(token);
  return elevated;
}

bool WindowsPlatform::CanReplaceInPlace(const std::string& path) {
  if (IsElevated()) return true;
  const std::string folder(FolderPartOf(path));
  if (!FolderTakesNewFiles(folder.empty() ? std::string(".\\") : folder)) return false;
  // A file that exists must be one this user may change the attributes of and replace.
  const std::wstring wide = WideFromUtf8(path);
  HANDLE file =
      CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  CloseHandle(file);
  return true;
}

Status WindowsPlatform::MakeAdministratorsFolder(const std::string& path) { return MakeAdministratorsOnlyFolder(path); }

bool WindowsPlatform::OnlyAdministratorsCanChange(const std::string& path) {
  const std::wstring file = WideFromUtf8(path);
  const std::wstring folder = WideFromUtf8(FolderOf(path));
  return !IsReparsePoint(file) && !IsReparsePoint(folder) && OwnerAndAccessListAdministratorsOnly(file) &&
         OwnerAndAccessListAdministratorsOnly(folder);
}

bool SddlLeavesChangesToAdministrators(const std::string& sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(WideFromUtf8(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                            nullptr)) {
    return false;
  }
  PSID owner = nullptr;
  PACL acl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  const bool only = GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
                    GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && present &&
                    OwnerAndAccessListAdministratorsOnly(owner, acl);
  LocalFree(descriptor);
  return only;
}

}  // namespace quorvale
