// The Windows writes: each file is written whole to a temporary file beside its target, which
// the system deletes if the program ends first, and put in its place by ReplaceFileW, keeping
// the attributes and the access list of the file it replaces; copies; the console handler
// that gives a file under replace its attributes back.

#include "platform/platform_win.h"

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cwchar>

#include "core/utf16.h"
#include "platform/file_read.h"
#include "platform/temp_name.h"

namespace quorvale {

namespace {

// `path` with its last part spelled as the folder lists it, when an entry of that name (in
// any case) exists; `path` as it is otherwise.
std::wstring SpelledAsListed(const std::wstring& path) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return path;
  FindClose(search);
  const size_t cut = path.find_last_of(L"\\/");
  return (cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + 1)) + entry.cFileName;
}

// Creates a file named by TempNameBeside exclusively; the new file takes the folder's
// inherited access list until ReplaceFileW gives it the target's. It can be opened for
// nothing else while it is written.
HANDLE CreateTempBeside(const std::string& path, std::string* temp) {
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    *temp = TempNameBeside(path);
    HANDLE file = CreateFileW(WideFromUtf8(*temp).c_str(), GENERIC_WRITE | DELETE | WRITE_DAC, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return INVALID_HANDLE_VALUE;
}

// While `doomed` is true the system deletes the file as its last handle closes, which it
// does when the program ends in any way. A file cannot be renamed while it is so marked, and
// FILE_FLAG_DELETE_ON_CLOSE could not be taken back, hence the mark set and cleared here.
bool MarkForDeletion(HANDLE file, bool doomed) {
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = doomed ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

// The access list (DACL) of a file, for a copy to take it over; `descriptor` is freed with
// LocalFree.
Status ReadAccessList(const std::string& path, PACL* acl, PSECURITY_DESCRIPTOR* descriptor) {
  DWORD err = GetNamedSecurityInfoW(WideFromUtf8(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, acl, nullptr, descriptor);
  return StatusFromWin32(err, path);
}

// Gives an open file an access list read by ReadAccessList: protected from the folder's
// inherited entries when the original was, taking them as the original did otherwise.
Status ApplyAccessList(HANDLE file, PACL acl, PSECURITY_DESCRIPTOR descriptor, const std::string& path) {
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  if (!GetSecurityDescriptorControl(descriptor, &control, &revision)) return LastError(path);
  const SECURITY_INFORMATION what =
      DACL_SECURITY_INFORMATION |
      ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
  return StatusFromWin32(SetSecurityInfo(file, SE_FILE_OBJECT, what, nullptr, nullptr, acl, nullptr), path);
}

// A file that SYSTEM and the Administrators change and the Users read.
constexpr const wchar_t* kAdministratorsOwnUsersReadSddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

Status WriteAll(HANDLE file, std::string_view bytes, const std::string& path) {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    DWORD chunk = static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr)) return LastError(path);
    if (written == 0) return StatusFromWin32(ERROR_DISK_FULL, path);
    data += written;
    left -= written;
  }
  return Status::Ok();
}

// The attributes that PrepareReplace took off a file whose replace has not ended yet, for the
// console handler of GuardWritesAgainstSignals: a fixed buffer, so that the handler (which
// runs on a thread of its own) reads it without a lock or an allocation. The program
// replaces one file at a time.
wchar_t pending_attributes_path[kLongestPath];
std::atomic<DWORD> pending_attributes{0};
std::atomic<bool> pending_attributes_set{false};

void RememberAttributes(const std::wstring& path, DWORD attributes) {
  pending_attributes_set = false;
  if (path.size() >= kLongestPath) return;
  std::wmemcpy(pending_attributes_path, path.c_str(), path.size() + 1);
  pending_attributes = attributes;
  pending_attributes_set = true;
}

// Ctrl+C, Ctrl+Break, the console closed, logoff or shutdown: the file gets back the
// attributes it had, then the program ends as the system's default handler ends it.
BOOL WINAPI PutAttributesBack(DWORD) {
  if (pending_attributes_set.exchange(false)) SetFileAttributesW(pending_attributes_path, pending_attributes);
  return FALSE;
}

// What a write does with an entry at the path it is given.
enum class AtName {
  kFollowLink,   // a file is replaced; a symbolic link (any reparse point) as the system's calls do
  kReplaceLink,  // a file is replaced; a link itself is replaced, as a file that did not exist
  kNewFile,      // nothing is replaced: an entry of that name gives kExists
};

// The bytes go to a temporary file beside the target, which ReplaceFileW then puts in
// its place; the replaced file's access list, attributes and owner carry over to the new
// one. A new file takes `acl` when given. A read-only target is refused as the file
// itself would refuse a write.
Status WriteAtomic(const std::string& path, const FileContents& contents, PACL acl = nullptr,
                   PSECURITY_DESCRIPTOR descriptor = nullptr, AtName at_name = AtName::kFollowLink) {
  // An existing file keeps its name as the folder spells it ("hosts" stays "hosts" when
  // written as "HOSTS"): the replace is given that spelling.
  const std::wstring wide_path = SpelledAsListed(WideFromUtf8(path));
  DWORD old_attributes = GetFileAttributesW(wide_path.c_str());
  bool existed = old_attributes != INVALID_FILE_ATTRIBUTES;
  if (!existed && GetLastError() != ERROR_FILE_NOT_FOUND) return LastError(path);
  if (existed && at_name == AtName::kNewFile) return StatusFromWin32(ERROR_FILE_EXISTS, path);
  // GetFileAttributesW describes a reparse point itself, and MoveFileExW below replaces the
  // name it is given, so a link to a file is replaced, not written through.
  if (existed && at_name == AtName::kReplaceLink && (old_attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
      !(old_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    existed = false;
  }
  if (existed) {
    if (old_attributes & FILE_ATTRIBUTE_DIRECTORY) return Status(ErrorCode::kAccessDenied, path, "is a folder");
    if (old_attributes & FILE_ATTRIBUTE_READONLY) return StatusFromWin32(ERROR_ACCESS_DENIED, path);
    // The replace needs to delete the old file. A file that another program holds open
    // without sharing that is refused here, before anything is written: Wine's
    // ReplaceFileW would otherwise leave an empty "rf*.tmp" file of its own in the folder.
    HANDLE target = CreateFileW(wide_path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) return LastError(path);
    CloseHandle(target);
  }
  std::string temp;
  HANDLE file = CreateTempBeside(path, &temp);
  if (file == INVALID_HANDLE_VALUE) return LastError(path);
  // A file system that cannot mark it leaves it named until it is renamed or removed.
  const bool doomed = MarkForDeletion(file, true);
  Status status;
  const bool complete = contents([&](std::string_view piece) {
    status = WriteAll(file, piece, path);
    return status.ok();
  });
  if (status.ok() && !complete) status = Status(ErrorCode::kIoError, path, "contents incomplete");
  if (status.ok() && !FlushFileBuffers(file)) status = LastError(path);
  if (status.ok() && acl != nullptr) status = ApplyAccessList(file, acl, descriptor, path);
  if (status.ok() && doomed && !MarkForDeletion(file, false)) status = LastError(path);
  // On a failure the marked file goes away as it is closed.
  if (!CloseHandle(file) && status.ok()) status = LastError(path);
  // Hidden and system go onto the new file before it takes the old one's place (Wine's
  // ReplaceFileW does not carry attributes over as Windows does).
  const DWORD kept = existed ? old_attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM) : 0;
  const std::wstring wide_temp = WideFromUtf8(temp);
  if (status.ok() && kept != 0 && !SetFileAttributesW(wide_temp.c_str(), kept)) status = LastError(path);
  if (status.ok()) {
    // A new file takes its name by a move that fails when the name is taken meanwhile.
    const DWORD move_flags = MOVEFILE_WRITE_THROUGH | (at_name == AtName::kNewFile ? 0 : MOVEFILE_REPLACE_EXISTING);
    BOOL moved = existed ? ReplaceFileW(wide_path.c_str(), wide_temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                        nullptr, nullptr)
                         : MoveFileExW(wide_temp.c_str(), wide_path.c_str(), move_flags);
    if (!moved) status = LastError(path);
  }
  // On every failure the temporary file still has its own name (ReplaceFileW leaves it
  // there when it cannot finish) and goes away.
  if (!status.ok()) DeleteFileW(wide_temp.c_str());
  return status;
}

}  // namespace

void ForgetAttributes(const std::wstring& path) {
  if (pending_attributes_set && _wcsicmp(pending_attributes_path, path.c_str()) == 0) pending_attributes_set = false;
}

Status WindowsPlatform::WriteFileAtomic(const std::string& path, std::string_view bytes) {
  return WriteAtomic(path, WholeContents(bytes));
}

Status WindowsPlatform::WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) {
  return WriteAtomic(path, contents);
}

Status WindowsPlatform::WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) {
  return WriteAtomic(path, WholeContents(bytes), nullptr, nullptr, AtName::kReplaceLink);
}

Status WindowsPlatform::WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) {
  return WriteAtomic(path, contents, nullptr, nullptr, AtName::kReplaceLink);
}

// The file's own protected access list: the Users read it by its full path (the system lets
// everyone pass through folders they may not list) in an administrators' folder.
Status WindowsPlatform::WritePublicFileNoFollow(const std::string& path, std::string_view bytes) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdministratorsOwnUsersReadSddl, SDDL_REVISION_1,
                                                            &descriptor, nullptr)) {
    return LastError(path);
  }
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL acl = nullptr;
  GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
  const Status status = WriteAtomic(path, WholeContents(bytes), acl, descriptor, AtName::kReplaceLink);
  LocalFree(descriptor);
  return status;
}

// The copy is written with the access list of the file it copies. Its owner stays the
// user who makes it: giving a file to another owner takes a privilege that programs run as
// administrator do not hold by default.
Status WindowsPlatform::CopyToNewFile(const std::string& from, const std::string& to) {
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  Status status = ReadAccessList(from, &acl, &descriptor);
  std::string bytes;
  if (status.ok()) status = ReadFileBytes(*this, from, &bytes, ReadAs::kBytes);
  if (status.ok()) status = WriteAtomic(to, WholeContents(bytes), acl, descriptor, AtName::kNewFile);
  if (descriptor != nullptr) LocalFree(descriptor);
  return status;
}

Status WindowsPlatform::PrepareReplace(const std::string& path) {
  const std::wstring wide_path = WideFromUtf8(path);
  const DWORD attributes = GetFileAttributesW(wide_path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError(path);
  RememberAttributes(wide_path, attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  if (!SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
    ForgetAttributes(wide_path);
    return LastError(path);
  }
  return Status::Ok();
}

// A read-only file cannot be replaced: the attributes are the caller's to set afterwards.
Status WindowsPlatform::ReplaceProtectedFile(const std::string& path, const FileContents& contents, int) {
  return WriteAtomic(path, contents);
}

void GuardWritesAgainstSignals() { SetConsoleCtrlHandler(PutAttributesBack, TRUE); }

}  // namespace quorvale
