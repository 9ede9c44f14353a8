// The Windows platform, through the wide-character ("W") entry points: paths, names and
// the system's texts are UTF-8 in the program and UTF-16 at every call.

#include "platform/platform.h"

#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <sddl.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <new>
#include <random>
#include <vector>

#include "core/hosts_writer.h"
#include "core/path_text.h"
#include "core/sha256.h"
#include "core/utf16.h"
#include "platform/dns_flush_win.h"
#include "platform/download_winhttp.h"
#include "platform/file_read.h"
#include "platform/registry_win.h"
#include "platform/temp_name.h"
#include "platform/win_command_line.h"

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

// FILETIME counts 100-nanosecond steps from 1601; the program counts nanoseconds from 1970.
std::int64_t FileTimeNanoseconds(const FILETIME& time) {
  constexpr std::int64_t kStepsFrom1601To1970 = 116'444'736'000'000'000;
  const std::int64_t steps = (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (steps - kStepsFrom1601To1970) * 100;
}

// Room for a date or a time in the user's format; a longer one is not made.
constexpr int kDateTextRoom = 256;
// The last year a SYSTEMTIME holds.
constexpr int kLastSystemYear = 30827;

// Every Win32 error becomes a Status here and nowhere else: a Status about `subject` with
// the system's text as the reason.
Status StatusFromWin32(DWORD err, const std::string& subject) {
  ErrorCode code = ErrorCode::kIoError;
  switch (err) {
    case ERROR_SUCCESS:
      return Status::Ok();
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      code = ErrorCode::kNotFound;
      break;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_PRIVILEGE_NOT_HELD:
      code = ErrorCode::kAccessDenied;
      break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
    case ERROR_FILE_TOO_LARGE:
      code = ErrorCode::kNoSpace;
      break;
    case ERROR_NOT_SUPPORTED:
    case ERROR_CALL_NOT_IMPLEMENTED:
      code = ErrorCode::kNotSupported;
      break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      code = ErrorCode::kExists;
      break;
    default:
      break;
  }
  return Status(code, subject, WindowsErrorText(err));
}

Status LastError(const std::string& subject) { return StatusFromWin32(GetLastError(), subject); }

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

// A handle closed at the end of its scope.
struct ScopedHandle {
  HANDLE handle = nullptr;
  ~ScopedHandle() {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
};

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
// A file that SYSTEM and the Administrators change and the Users read.
constexpr const wchar_t* kAdministratorsOwnUsersReadSddl = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)";

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

// A file or stream of OpenSequentialFile, read with ReadFile straight into the caller's room.
class WindowsSequentialFile : public SequentialFile {
 public:
  // `owned` is false for standard input, which stays open.
  WindowsSequentialFile(HANDLE file, bool owned, std::string path)
      : file_(file), owned_(owned), path_(std::move(path)) {
    // A pipe's or a console's size and times follow its writes: only a file on disk is stamped.
    stamped_ = GetFileType(file_) == FILE_TYPE_DISK && StampNow(&opened_);
  }
  ~WindowsSequentialFile() override {
    if (owned_) CloseHandle(file_);
  }
  WindowsSequentialFile(const WindowsSequentialFile&) = delete;
  WindowsSequentialFile& operator=(const WindowsSequentialFile&) = delete;

  Status Read(char* to, size_t room, size_t* got) override {
    *got = 0;
    while (*got < room) {
      const DWORD chunk = static_cast<DWORD>(std::min<size_t>(room - *got, kLargestReadBytes));
      DWORD read_now = 0;
      if (!ReadFile(file_, to + *got, chunk, &read_now, nullptr)) {
        // A pipe whose writer is gone has ended.
        if (GetLastError() == ERROR_BROKEN_PIPE) break;
        return LastError(path_);
      }
      if (read_now == 0) break;
      *got += read_now;
    }
    return Status::Ok();
  }

  uint64_t size_hint() const override { return stamped_ ? opened_.size : 0; }

  bool ChangedSinceOpened() override {
    Stamp now;
    return stamped_ && !(StampNow(&now) && now == opened_);
  }

 private:
  // What tells that a file changed: its size and last write time.
  struct Stamp {
    uint64_t size = 0;
    uint64_t written = 0;
    bool operator==(const Stamp&) const = default;
  };
  static constexpr DWORD kLargestReadBytes = DWORD{1} << 30;

  bool StampNow(Stamp* stamp) const {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file_, &info)) return false;
    stamp->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    stamp->written =
        (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return true;
  }

  const HANDLE file_;
  const bool owned_;
  const std::string path_;
  bool stamped_ = false;
  Stamp opened_;
};

// The attributes that PrepareReplace took off a file whose replace has not ended yet, for the
// console handler of GuardWritesAgainstSignals: a fixed buffer, so that the handler (which
// runs on a thread of its own) reads it without a lock or an allocation. The program
// replaces one file at a time.
constexpr size_t kLongestPath = 32768;
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

void ForgetAttributes(const std::wstring& path) {
  if (pending_attributes_set && _wcsicmp(pending_attributes_path, path.c_str()) == 0) pending_attributes_set = false;
}

// Ctrl+C, Ctrl+Break, the console closed, logoff or shutdown: the file gets back the
// attributes it had, then the program ends as the system's default handler ends it.
BOOL WINAPI PutAttributesBack(DWORD) {
  if (pending_attributes_set.exchange(false)) SetFileAttributesW(pending_attributes_path, pending_attributes);
  return FALSE;
}

// The TOKEN_USER of the process, in `buffer`.
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

// How often a run waiting for the replace lock tries again.
constexpr DWORD kLockPollMilliseconds = 20;
// How many hex digits of the digest of the locked file's path name its lock.
constexpr size_t kLockNameDigits = 16;

// The name of the lock file of LockForReplace, after the full path in upper case.
std::wstring ReplaceLockName(const std::string& path) {
  std::wstring full(kLongestPath, L'\0');
  const DWORD length = GetFullPathNameW(WideFromUtf8(path).c_str(), kLongestPath, full.data(), nullptr);
  full.resize(length > 0 && length < kLongestPath ? length : 0);
  if (full.empty()) full = WideFromUtf8(path);
  CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
  return L"replace-" + WideFromUtf8(Sha256Hex(Utf8FromWide(full)).substr(0, kLockNameDigits)) + L".lock";
}

// The lock of LockForReplace: its lock file, open without sharing, which the system removes
// when it is closed (or the program ends).
class FileLock : public Platform::HeldLock {
 public:
  explicit FileLock(HANDLE file) : file_(file) {}
  ~FileLock() override { CloseHandle(file_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  HANDLE file_;
};

// What a write does with an entry at the path it is given.
enum class AtName {
  kFollowLink,   // a file is replaced; a symbolic link (any reparse point) as the system's calls do
  kReplaceLink,  // a file is replaced; a link itself is replaced, as a file that did not exist
  kNewFile,      // nothing is replaced: an entry of that name gives kExists
};

// How long one wait for the elevated helper lasts before the caller's `waiting` runs.
constexpr DWORD kElevatedPollMilliseconds = 10;
// The pipe's buffers, each way.
constexpr DWORD kPipeBufferBytes = 1 << 16;

// "D:P(A;;GA;;;SID)": the current user alone may open the pipe.
bool OwnUserOnly(SECURITY_ATTRIBUTES* attributes) {
  std::vector<unsigned char> buffer;
  if (!CurrentUser(&buffer)) return false;
  wchar_t* sid = nullptr;
  if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &sid)) return false;
  const std::wstring sddl = L"D:P(A;;GA;;;" + std::wstring(sid) + L")";
  LocalFree(sid);
  attributes->nLength = sizeof *attributes;
  attributes->bInheritHandle = FALSE;
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                              &attributes->lpSecurityDescriptor, nullptr) != 0;
}

std::wstring RandomPipeName() {
  std::random_device random;
  wchar_t text[17] = {};
  for (int i = 0; i < 16; ++i) text[i] = L"0123456789abcdef"[random() % 16];
  return L"\\\\.\\pipe\\quorvale-" + std::wstring(text);
}

// One overlapped call on the pipe, awaited with the window served: false when it failed (the
// helper closed its end, or it ended before connecting).
class PipeCalls {
 public:
  PipeCalls(HANDLE pipe, HANDLE process, const std::function<void()>& waiting)
      : pipe_(pipe), process_(process), waiting_(waiting) {
    overlapped_.hEvent = event_.handle = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  }
  bool Connect() {
    if (ConnectNamedPipe(pipe_, &overlapped_)) return true;
    const DWORD err = GetLastError();
    if (err == ERROR_PIPE_CONNECTED) return true;
    DWORD bytes = 0;
    return err == ERROR_IO_PENDING && Await(&bytes, /*watch_process=*/true);
  }
  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      DWORD written = 0;
      const DWORD size = static_cast<DWORD>(std::min<size_t>(bytes.size(), kPipeBufferBytes));
      if (!WriteFile(pipe_, bytes.data(), size, &written, &overlapped_) &&
          (GetLastError() != ERROR_IO_PENDING || !Await(&written, /*watch_process=*/true))) {
        return false;
      }
      if (written == 0) return false;
      bytes.remove_prefix(written);
    }
    return true;
  }
  // Everything until the helper closes its end.
  void ReadAll(std::string* output) {
    char buffer[4096];
    while (true) {
      DWORD got = 0;
      if (!ReadFile(pipe_, buffer, sizeof buffer, &got, &overlapped_) &&
          (GetLastError() != ERROR_IO_PENDING || !Await(&got, true))) {
        return;
      }
      output->append(buffer, got);
    }
  }

 private:
  bool Await(DWORD* bytes, bool watch_process) {
    while (WaitForSingleObject(overlapped_.hEvent, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
      if (waiting_) waiting_();
      if (watch_process && WaitForSingleObject(process_, 0) == WAIT_OBJECT_0 &&
          WaitForSingleObject(overlapped_.hEvent, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
        CancelIoEx(pipe_, &overlapped_);
        GetOverlappedResult(pipe_, &overlapped_, bytes, TRUE);
        return false;
      }
    }
    return GetOverlappedResult(pipe_, &overlapped_, bytes, FALSE) != 0;
  }

  HANDLE pipe_;
  HANDLE process_;
  const std::function<void()>& waiting_;
  ScopedHandle event_;
  OVERLAPPED overlapped_ = {};
};

ElevatedRun RunThroughUac(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) {
  ElevatedRun run;
  SECURITY_ATTRIBUTES attributes = {};
  if (!OwnUserOnly(&attributes)) {
    run.why = LastError(program);
    return run;
  }
  const std::wstring pipe_name = RandomPipeName();
  ScopedHandle pipe;
  pipe.handle = CreateNamedPipeW(pipe_name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                 PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                 kPipeBufferBytes, kPipeBufferBytes, 0, &attributes);
  LocalFree(attributes.lpSecurityDescriptor);
  if (pipe.handle == INVALID_HANDLE_VALUE) {
    run.why = LastError(Utf8FromWide(pipe_name));
    return run;
  }
  std::vector<std::string> argv = {"--pipe", Utf8FromWide(pipe_name)};
  argv.insert(argv.end(), args.begin(), args.end());
  std::string parameters;
  for (const std::string& arg : argv) parameters += (parameters.empty() ? "" : " ") + QuoteWindowsArgument(arg);
  const std::wstring file = WideFromUtf8(program);
  const std::wstring wide_parameters = WideFromUtf8(parameters);
  SHELLEXECUTEINFOW execute = {};
  execute.cbSize = sizeof execute;
  execute.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
  execute.lpVerb = L"runas";
  execute.lpFile = file.c_str();
  execute.lpParameters = wide_parameters.c_str();
  execute.nShow = SW_HIDE;
  if (!ShellExecuteExW(&execute)) {
    const DWORD err = GetLastError();
    if (err == ERROR_CANCELLED) {
      run.kind = ElevatedRun::Kind::kRefused;
    } else {
      run.why = StatusFromWin32(err, program);
    }
    return run;
  }
  ScopedHandle process{execute.hProcess};
  if (process.handle == nullptr) {
    run.why = Status(ErrorCode::kIoError, program, "no process to wait for");
    return run;
  }
  PipeCalls calls(pipe.handle, process.handle, waiting);
  if (calls.Connect()) {
    // The input as given; a helper that stops reading it has its answer ready.
    if (input != nullptr) (void)(*input)([&](std::string_view piece) { return calls.Write(piece); });
    calls.ReadAll(&run.output);
  }
  while (WaitForSingleObject(process.handle, kElevatedPollMilliseconds) == WAIT_TIMEOUT) {
    if (waiting) waiting();
  }
  DWORD exit_code = 0;
  GetExitCodeProcess(process.handle, &exit_code);
  run.kind = ElevatedRun::Kind::kEnded;
  run.exit_code = static_cast<int>(exit_code);
  return run;
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

// Platform::MakeAdministratorsFolder, for the schedule's copies, which the SYSTEM task reads:
// with `elevated_self` null, only SYSTEM, the Administrators and TrustedInstaller may own or
// change the folder. `elevated_self` (the user of an elevated process) is given only for the
// folder of an elevated run's replace locks: where the system keeps no access list of its own
// (Wine), a folder made reads back as that user's, with every right for that user. The same
// user's programs without elevation may then change it, so a lock there can be held only by
// that user (who may as well not replace); a folder whose files SYSTEM or an administrator
// reads or runs must never trust that user, nor may Platform::OnlyAdministratorsCanChange,
// which a process without elevation calls.
Status MakeAdministratorsOnlyFolder(const std::string& folder, PSID elevated_self = nullptr) {
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

class WindowsPlatform : public Platform {
 public:
  // A buffer of 255 characters; a longer system directory (which Windows does not have)
  // gives "" rather than a cut path.
  std::string GetSystemDir() override {
    constexpr UINT kLongestSystemDir = 255;
    wchar_t buffer[kLongestSystemDir + 1] = {};
    UINT length = GetSystemDirectoryW(buffer, kLongestSystemDir);
    if (length == 0 || length >= kLongestSystemDir) return std::string();
    return Utf8FromWide(std::wstring_view(buffer, length));
  }

  std::string HostsPath() override { return GetSystemDir() + "\\drivers\\etc\\HOSTS"; }

  std::string ExecutablePath() override {
    std::wstring buffer(MAX_PATH, L'\0');
    while (true) {
      DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (length == 0) return std::string();
      if (length < buffer.size()) {
        buffer.resize(length);
        return Utf8FromWide(buffer);
      }
      if (buffer.size() >= 32768) return std::string();
      buffer.resize(buffer.size() * 2);
    }
  }

  std::string UserDataFolder() override {
    constexpr DWORD kLongestAppData = MAX_PATH + 1;
    wchar_t appdata[kLongestAppData] = {};
    DWORD length = GetEnvironmentVariableW(L"APPDATA", appdata, kLongestAppData);
    if (length == 0 || length >= kLongestAppData) return std::string();
    std::string folder = JoinPath(Utf8FromWide(std::wstring_view(appdata, length)), "Quorvale");
    CreateDirectoryW(WideFromUtf8(folder).c_str(), nullptr);
    DWORD attributes = GetFileAttributesW(WideFromUtf8(folder).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) return std::string();
    return folder + "\\";
  }

  // 0 is written as FILE_ATTRIBUTE_NORMAL, the one value that clears every flag.
  Status SetAttributes(const std::string& path, int attributes) override {
    DWORD flags =
        static_cast<DWORD>(attributes) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
    const std::wstring wide_path = WideFromUtf8(path);
    if (!SetFileAttributesW(wide_path.c_str(), flags)) return LastError(path);
    ForgetAttributes(wide_path);
    return Status::Ok();
  }

  int GetAttributes(const std::string& path) override {
    DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
    return static_cast<int>(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  }

  bool PathExists(const std::string& path) override { return PathFileExistsW(WideFromUtf8(path).c_str()) == TRUE; }

  void Sleep(int milliseconds) override {
    if (milliseconds > 0) ::Sleep(static_cast<DWORD>(milliseconds));
  }

  // Windows finds a bare program name by itself: the program's own folder first, then the
  // current folder, the system folders and PATH, adding ".exe" when no extension is given.
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override {
    if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
    std::wstring command_line = WideFromUtf8(BuildWindowsCommandLine(argv));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(hidden ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION process = {};
    // A console tool started hidden gets no console window at all.
    DWORD flags = hidden ? CREATE_NO_WINDOW : 0;
    if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &process)) {
      return LastError(argv[0]);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return Status::Ok();
  }

  Status ShowTextFile(const std::string& path) override { return StartProgram({"notepad.exe", path}, false); }

  // The about box's links open with "1" as parameters and as working folder, in a normal
  // window (5, SW_SHOW).
  Status OpenUrl(const std::string& url) override {
    HINSTANCE result = ShellExecuteW(nullptr, L"open", WideFromUtf8(url).c_str(), L"1", L"1", 5);
    INT_PTR code = reinterpret_cast<INT_PTR>(result);
    if (code > 32) return Status::Ok();
    if (code == SE_ERR_FNF || code == SE_ERR_PNF || code == SE_ERR_NOASSOC) {
      return Status(ErrorCode::kNotFound, url, "no program opens this address");
    }
    return Status(ErrorCode::kIoError, url, "ShellExecute error " + std::to_string(code));
  }

  // A buffer of 100 characters and everything up to the first NUL: a name the call could
  // not store gives "".
  std::string GetCurrentUserName() override {
    constexpr DWORD kLongestUserName = 100;
    wchar_t buffer[kLongestUserName] = {};
    DWORD size = kLongestUserName;
    GetUserNameW(buffer, &size);
    return Utf8FromWide(std::wstring_view(buffer, wcsnlen(buffer, kLongestUserName)));
  }

  std::string SystemInfoToolPath() override { return FindSystemInfoTool(); }

  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    return WriteAtomic(path, WholeContents(bytes));
  }

  Status WriteFileAtomicInPieces(const std::string& path, const FileContents& contents) override {
    return WriteAtomic(path, contents);
  }

  Status WriteFileAtomicNoFollow(const std::string& path, std::string_view bytes) override {
    return WriteAtomic(path, WholeContents(bytes), nullptr, nullptr, AtName::kReplaceLink);
  }

  Status WriteFileAtomicInPiecesNoFollow(const std::string& path, const FileContents& contents) override {
    return WriteAtomic(path, contents, nullptr, nullptr, AtName::kReplaceLink);
  }

  // The file's own protected access list: the Users read it by its full path (the system lets
  // everyone pass through folders they may not list) in an administrators' folder.
  Status WritePublicFileNoFollow(const std::string& path, std::string_view bytes) override {
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

  // A folder cannot be opened as a file (the opening is refused as access denied); opening a
  // named pipe does not wait, so its kind is looked at once it is open.
  Status OpenSequentialFile(const std::string& path, InputKinds kinds,
                            std::unique_ptr<SequentialFile>* file) override {
    file->reset();
    if (kinds == InputKinds::kAlsoStreams && path == kStandardInput) {
      *file = std::make_unique<WindowsSequentialFile>(GetStdHandle(STD_INPUT_HANDLE), false, path);
      return Status::Ok();
    }
    const std::wstring wide_path = WideFromUtf8(path);
    // Others may read and write the file meanwhile, as with the C runtime's fopen.
    HANDLE handle = CreateFileW(wide_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD err = GetLastError();
      const DWORD attributes = GetFileAttributesW(wide_path.c_str());
      if (err == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
          (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        return StatusFromErrno(EISDIR, path);
      }
      return StatusFromWin32(err, path);
    }
    const DWORD type = GetFileType(handle);
    if (type != FILE_TYPE_DISK && !(type == FILE_TYPE_PIPE && kinds == InputKinds::kAlsoStreams)) {
      CloseHandle(handle);
      return Status(ErrorCode::kIoError, path, "not a regular file");
    }
    *file = std::make_unique<WindowsSequentialFile>(handle, true, path);
    return Status::Ok();
  }

 private:
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
      BOOL moved = existed ? ReplaceFileW(wide_path.c_str(), wide_temp.c_str(), nullptr,
                                          REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)
                           : MoveFileExW(wide_temp.c_str(), wide_path.c_str(), move_flags);
      if (!moved) status = LastError(path);
    }
    // On every failure the temporary file still has its own name (ReplaceFileW leaves it
    // there when it cannot finish) and goes away.
    if (!status.ok()) DeleteFileW(wide_temp.c_str());
    return status;
  }

 public:
  // The copy is written with the access list of the file it copies. Its owner stays the
  // user who makes it: giving a file to another owner takes a privilege that programs run as
  // administrator do not hold by default.
  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    PACL acl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    Status status = ReadAccessList(from, &acl, &descriptor);
    std::string bytes;
    if (status.ok()) status = ReadFileBytes(*this, from, &bytes, ReadAs::kBytes);
    if (status.ok()) status = WriteAtomic(to, WholeContents(bytes), acl, descriptor, AtName::kNewFile);
    if (descriptor != nullptr) LocalFree(descriptor);
    return status;
  }

  Status ReadRegularFile(const std::string& path, std::string* bytes) override {
    bytes->clear();
    // The entry itself is opened, a reparse point included; a folder only with backup
    // semantics, so that it is told apart from a refusal.
    HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError(path);
    Status status;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(file, &info)) {
      status = LastError(path);
    } else if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0 ||
               GetFileType(file) != FILE_TYPE_DISK) {
      status = Status(ErrorCode::kIoError, path, "not a regular file");
    } else {
      try {
        constexpr DWORD kChunk = 1u << 20;
        std::string chunk(kChunk, '\0');
        while (true) {
          DWORD got = 0;
          if (!ReadFile(file, chunk.data(), kChunk, &got, nullptr)) {
            status = LastError(path);
            break;
          }
          if (got == 0) break;
          bytes->append(chunk.data(), got);
        }
      } catch (const std::bad_alloc&) {
        status = OutOfMemory(path);
      }
    }
    CloseHandle(file);
    if (!status.ok()) bytes->clear();
    return status;
  }

  Status PrepareReplace(const std::string& path) override {
    const std::wstring wide_path = WideFromUtf8(path);
    const DWORD attributes = GetFileAttributesW(wide_path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return LastError(path);
    RememberAttributes(wide_path,
                       attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (!SetFileAttributesW(wide_path.c_str(), FILE_ATTRIBUTE_NORMAL)) {
      ForgetAttributes(wide_path);
      return LastError(path);
    }
    return Status::Ok();
  }

  // A read-only file cannot be replaced: the attributes are the caller's to set afterwards.
  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int) override {
    return WriteAtomic(path, contents);
  }

  Status LockForReplace(const std::string& path, int timeout_milliseconds, const std::function<void()>& waiting,
                        std::unique_ptr<HeldLock>* lock) override {
    lock->reset();
    const bool elevated = IsElevated();
    const std::string folder = elevated ? SystemSourcesFolder() : ProgramFolderIn(FOLDERID_LocalAppData, "Quorvale");
    if (folder.empty()) return Status(ErrorCode::kNotFound, path, "no folder for the replace lock");
    // An elevated run's lock is in the administrators' folder, so that no other user can take
    // its name first.
    std::vector<unsigned char> self;
    if (elevated && !CurrentUser(&self)) return LastError(folder);
    const Status made =
        elevated ? MakeAdministratorsOnlyFolder(folder, reinterpret_cast<TOKEN_USER*>(self.data())->User.Sid)
                 : MakeFolders(folder);
    if (!made.ok()) return made;
    const std::wstring name = WideFromUtf8(folder) + ReplaceLockName(path);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_milliseconds);
    while (true) {
      HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                nullptr);
      if (file != INVALID_HANDLE_VALUE) {
        *lock = std::make_unique<FileLock>(file);
        return Status::Ok();
      }
      // Held: open elsewhere, or being removed as its holder lets go.
      const DWORD err = GetLastError();
      if (err != ERROR_SHARING_VIOLATION && err != ERROR_ACCESS_DENIED) return StatusFromWin32(err, path);
      if (std::chrono::steady_clock::now() >= deadline) return Status(ErrorCode::kBusy, path, "");
      if (waiting) waiting();
      ::Sleep(kLockPollMilliseconds);
    }
  }

  Status RemoveFile(const std::string& path) override {
    if (!DeleteFileW(WideFromUtf8(path).c_str())) return LastError(path);
    return Status::Ok();
  }

  std::vector<std::string> ListFolder(const std::string& folder) override {
    std::vector<std::string> names;
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(WideFromUtf8(JoinPath(folder, "*")).c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      std::string name = Utf8FromWide(entry.cFileName);
      if (name != "." && name != "..") names.push_back(std::move(name));
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return names;
  }

  std::int64_t FileModifiedTime(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return FileTimeNanoseconds(data.ftLastWriteTime);
  }

  std::int64_t FileSize(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }

  EntryFacts FactsOf(const std::string& path) override {
    EntryFacts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    // The attributes of the entry itself: a link is a reparse point, not what it leads to.
    if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) {
      const DWORD err = GetLastError();
      facts.kind = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND ? EntryFacts::Kind::kMissing
                                                                              : EntryFacts::Kind::kUnknown;
      return facts;
    }
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) !=
        0) {
      facts.kind = EntryFacts::Kind::kOther;
      return facts;
    }
    facts.kind = EntryFacts::Kind::kRegular;
    facts.bytes = (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    facts.modified = FileTimeNanoseconds(data.ftLastWriteTime);
    return facts;
  }

  DnsFlushOutcome FlushDnsCache(int wait_milliseconds) override {
    unsigned long start_error = 0;
    DnsFlushOutcome outcome = FlushWindowsDnsCache(GetSystemDir(), wait_milliseconds, &start_error);
    if (start_error != 0) outcome.why = StatusFromWin32(start_error, "ipconfig");
    return outcome;
  }

  std::string LocalDateTimeText() override { return DateTimeText(HeaderMoment()); }

  std::string DateTimeText(const std::tm& moment) override {
    // A moment the system cannot show (a year past 30827) is shown as the C runtime would.
    if (moment.tm_year + 1900 > kLastSystemYear) return LocaleDateTimeText(moment);
    SYSTEMTIME time = {};
    time.wYear = static_cast<WORD>(moment.tm_year + 1900);
    time.wMonth = static_cast<WORD>(moment.tm_mon + 1);
    time.wDayOfWeek = static_cast<WORD>(moment.tm_wday);
    time.wDay = static_cast<WORD>(moment.tm_mday);
    time.wHour = static_cast<WORD>(moment.tm_hour);
    time.wMinute = static_cast<WORD>(moment.tm_min);
    time.wSecond = static_cast<WORD>(moment.tm_sec);
    wchar_t date[kDateTextRoom];
    wchar_t clock[kDateTextRoom];
    // Flags 0: the locale's long time format. Both counts take in the closing NUL.
    const int date_length =
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &time, nullptr, date, kDateTextRoom, nullptr);
    const int clock_length = GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &time, nullptr, clock, kDateTextRoom);
    if (date_length <= 0 || clock_length <= 0) return LocaleDateTimeText(moment);
    return Utf8FromWide(std::wstring_view(date, date_length - 1)) + " " +
           Utf8FromWide(std::wstring_view(clock, clock_length - 1));
  }

  std::string AnsiToUtf8(std::string_view bytes) override {
    // The call counts in int; a longer text goes in pieces (a double-byte character cut
    // between two of them shows wrong).
    constexpr size_t kPieceBytes = size_t{1} << 30;
    std::wstring wide;
    for (size_t at = 0; at < bytes.size(); at += kPieceBytes) {
      const std::string_view piece = bytes.substr(at, kPieceBytes);
      const int size = static_cast<int>(piece.size());
      const int length = MultiByteToWideChar(CP_ACP, 0, piece.data(), size, nullptr, 0);
      const size_t before = wide.size();
      wide.resize(before + static_cast<size_t>(std::max(length, 0)));
      MultiByteToWideChar(CP_ACP, 0, piece.data(), size, wide.data() + before, length);
    }
    return Utf8FromWide(wide);
  }
  DownloadResult Download(const DownloadRequest& request, const DownloadProgress& progress) override {
    return DownloadWithWinHttp(request, progress);
  }

  std::string ConfigFolder() override { return ProgramFolderIn(FOLDERID_RoamingAppData, "Quorvale"); }

  // The SYSTEM account's own local folder is inside the Windows folder; its cache goes with
  // the machine's program data instead.
  std::string SystemSourcesFolder() override { return ProgramFolderIn(FOLDERID_ProgramData, "Quorvale"); }

  std::string CacheFolder() override {
    return RunsAsLocalSystem() ? ProgramFolderIn(FOLDERID_ProgramData, "Quorvale\\cache")
                               : ProgramFolderIn(FOLDERID_LocalAppData, "Quorvale\\cache");
  }

  // Each level after the root is made in turn; a level that cannot be made and is not a
  // folder already stops the work with its own error.
  Status MakeFolders(const std::string& path) override {
    const std::wstring wide = WideFromUtf8(path);
    const wchar_t* after_root = PathSkipRootW(wide.c_str());
    size_t level = after_root != nullptr ? static_cast<size_t>(after_root - wide.c_str()) : 0;
    while (level < wide.size()) {
      size_t end = wide.find_first_of(L"\\/", level);
      if (end == std::wstring::npos) end = wide.size();
      if (end > level) {
        const std::wstring folder = wide.substr(0, end);
        if (!CreateDirectoryW(folder.c_str(), nullptr)) {
          const DWORD err = GetLastError();
          if (!IsFolder(folder)) return StatusFromWin32(err, Utf8FromWide(folder));
        }
      }
      level = end + 1;
    }
    return IsFolder(wide) ? Status::Ok() : Status(ErrorCode::kIoError, path, "not a folder");
  }

  std::string AbsolutePath(const std::string& path) override {
    if (path.empty()) return path;
    const std::wstring wide = WideFromUtf8(path);
    std::wstring full(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length >= full.size()) {
      full.resize(length);
      length = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return Utf8FromWide(full);
  }

  // GetFullPathNameW resolves `.` and `..`; UAC names a program by that path, links included.
  std::string CanonicalPath(const std::string& path) override {
    const std::string full = AbsolutePath(path);
    return !full.empty() && PathExists(full) ? full : std::string();
  }

  bool IsElevated() override {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    const bool elevated = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) &&
                          elevation.TokenIsElevated != 0;
    CloseHandle(token);
    return elevated;
  }

  bool CanReplaceInPlace(const std::string& path) override {
    if (IsElevated()) return true;
    const std::string folder(FolderPartOf(path));
    if (!FolderTakesNewFiles(folder.empty() ? std::string(".\\") : folder)) return false;
    // A file that exists must be one this user may change the attributes of and replace.
    const std::wstring wide = WideFromUtf8(path);
    HANDLE file = CreateFileW(wide.c_str(), FILE_WRITE_ATTRIBUTES | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
    CloseHandle(file);
    return true;
  }

  bool CanRunElevated() override { return true; }

  Status MakeAdministratorsFolder(const std::string& path) override { return MakeAdministratorsOnlyFolder(path); }

  bool OnlyAdministratorsCanChange(const std::string& path) override {
    const std::wstring file = WideFromUtf8(path);
    const std::wstring folder = WideFromUtf8(FolderOf(path));
    return !IsReparsePoint(file) && !IsReparsePoint(folder) && OwnerAndAccessListAdministratorsOnly(file) &&
           OwnerAndAccessListAdministratorsOnly(folder);
  }

  ElevatedRun RunElevated(const std::string& program, const std::vector<std::string>& args, const FileContents* input,
                          const std::function<void()>& waiting) override {
    return RunThroughUac(program, args, input, waiting);
  }

  // The program's standard handles are the NUL device, and that handle is the only one it
  // inherits. A path is started as it is; a bare name is looked up as StartProgram does.
  Status RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) override {
    if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
    SECURITY_ATTRIBUTES inheritable = {sizeof inheritable, nullptr, TRUE};
    HANDLE null_device = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     &inheritable, OPEN_EXISTING, 0, nullptr);
    if (null_device == INVALID_HANDLE_VALUE) return LastError("NUL");
    SIZE_T list_size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &list_size);
    std::vector<char> list_room(list_size);
    auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(list_room.data());
    if (!InitializeProcThreadAttributeList(list, 1, 0, &list_size)) {
      const Status failed = LastError(argv[0]);
      CloseHandle(null_device);
      return failed;
    }
    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.StartupInfo.wShowWindow = SW_HIDE;
    startup.StartupInfo.hStdInput = startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = null_device;
    startup.lpAttributeList = list;
    PROCESS_INFORMATION process = {};
    const std::wstring program = WideFromUtf8(argv[0]);
    std::wstring command_line = WideFromUtf8(BuildWindowsCommandLine(argv));
    const bool started =
        UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &null_device, sizeof null_device,
                                  nullptr, nullptr) &&
        CreateProcessW(program.find_first_of(L"\\/") != std::wstring::npos ? program.c_str() : nullptr,
                       command_line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW | EXTENDED_STARTUPINFO_PRESENT,
                       nullptr, nullptr, &startup.StartupInfo, &process);
    const Status start_failure = started ? Status::Ok() : LastError(argv[0]);
    DeleteProcThreadAttributeList(list);
    CloseHandle(null_device);
    if (!started) return start_failure;
    CloseHandle(process.hThread);
    Status result(ErrorCode::kBusy, argv[0], "still running");
    if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(std::max(wait_milliseconds, 0))) == WAIT_OBJECT_0) {
      DWORD code = 0;
      result = GetExitCodeProcess(process.hProcess, &code) ? Status::Ok() : LastError(argv[0]);
      *exit_code = static_cast<int>(code);
    }
    CloseHandle(process.hProcess);
    return result;
  }

 private:
  static bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  // `inner` in the system's known folder `id`, with a trailing separator; "" when the system
  // has no such folder.
  static std::string ProgramFolderIn(REFKNOWNFOLDERID id, std::string_view inner) {
    PWSTR known = nullptr;
    std::string folder;
    if (SUCCEEDED(SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &known)) && known != nullptr && *known != 0) {
      folder = JoinPath(Utf8FromWide(known), inner) + "\\";
    }
    CoTaskMemFree(known);
    return folder;
  }

  // Whether the process runs as the SYSTEM account (S-1-5-18), as the scheduled update does.
  static bool RunsAsLocalSystem() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<char> user(size);
    const bool system = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size) &&
                        IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, WinLocalSystemSid);
    CloseHandle(token);
    return system;
  }
};

}  // namespace

std::string WindowsErrorText(unsigned long code) {
  // WinHTTP's codes have their texts in its own module.
  constexpr unsigned long kFirstWinHttpCode = 12000;
  constexpr unsigned long kLastWinHttpCode = 12999;
  HMODULE winhttp = code >= kFirstWinHttpCode && code <= kLastWinHttpCode ? GetModuleHandleW(L"winhttp.dll") : nullptr;
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                                    (winhttp != nullptr ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM),
                                winhttp, code, 0, reinterpret_cast<LPWSTR>(&message), 0, nullptr);
  std::string text =
      length > 0 && message != nullptr ? Utf8FromWide(std::wstring_view(message, length)) : std::string();
  if (message != nullptr) LocalFree(message);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ')) text.pop_back();
  if (text.empty()) text = "error " + std::to_string(code);
  return text;
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

void GuardWritesAgainstSignals() { SetConsoleCtrlHandler(PutAttributesBack, TRUE); }

std::unique_ptr<Platform> CreateSystemPlatform() { return std::make_unique<WindowsPlatform>(); }

}  // namespace quorvale
