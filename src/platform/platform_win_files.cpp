// Reads, facts and attributes of files on Windows.

#include "platform/platform_win.h"

#include <shlwapi.h>

#include <algorithm>
#include <cerrno>
#include <new>
#include <utility>

#include "core/path_text.h"
#include "core/utf16.h"

namespace quorvale {

namespace {

// FILETIME counts 100-nanosecond steps from 1601; the program counts nanoseconds from 1970.
std::int64_t FileTimeNanoseconds(const FILETIME& time) {
  constexpr std::int64_t kStepsFrom1601To1970 = 116'444'736'000'000'000;
  const std::int64_t steps = (static_cast<std::int64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
  return (steps - kStepsFrom1601To1970) * 100;
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

}  // namespace

// 0 is written as FILE_ATTRIBUTE_NORMAL, the one value that clears every flag.
Status WindowsPlatform::SetAttributes(const std::string& path, int attributes) {
  DWORD flags =
      static_cast<DWORD>(attributes) & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
  if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
  const std::wstring wide_path = WideFromUtf8(path);
  if (!SetFileAttributesW(wide_path.c_str(), flags)) return LastError(path);
  ForgetAttributes(wide_path);
  return Status::Ok();
}

int WindowsPlatform::GetAttributes(const std::string& path) {
  DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
  return static_cast<int>(attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
}

bool WindowsPlatform::PathExists(const std::string& path) {
  return PathFileExistsW(WideFromUtf8(path).c_str()) == TRUE;
}

// A folder cannot be opened as a file (the opening is refused as access denied); opening a
// named pipe does not wait, so its kind is looked at once it is open.
Status WindowsPlatform::OpenSequentialFile(const std::string& path, InputKinds kinds,
                                           std::unique_ptr<SequentialFile>* file) {
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

Status WindowsPlatform::ReadRegularFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  // The entry itself is opened, a reparse point included; a folder only with backup
  // semantics, so that it is told apart from a refusal.
  HANDLE file =
      CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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

Status WindowsPlatform::RemoveFile(const std::string& path) {
  if (!DeleteFileW(WideFromUtf8(path).c_str())) return LastError(path);
  return Status::Ok();
}

std::vector<std::string> WindowsPlatform::ListFolder(const std::string& folder) {
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

std::int64_t WindowsPlatform::FileModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return FileTimeNanoseconds(data.ftLastWriteTime);
}

std::int64_t WindowsPlatform::FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(WideFromUtf8(path).c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<std::int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

Platform::EntryFacts WindowsPlatform::FactsOf(const std::string& path) {
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

}  // namespace quorvale
