// Reads, facts and attributes of files on POSIX.

#include "platform/platform_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <utility>

namespace quorvale {

namespace {

// What tells that a regular file changed: its size and modification time.
struct FileStamp {
  off_t size = 0;
  struct timespec modified = {};
  bool operator==(const FileStamp& other) const {
    return size == other.size && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
  }
};

// A file or stream of OpenSequentialFile, read with read(2) straight into the caller's room.
class PosixSequentialFile : public SequentialFile {
 public:
  // `owned` is false for standard input, which stays open.
  PosixSequentialFile(int fd, bool owned, std::string path) : fd_(fd), owned_(owned), path_(std::move(path)) {
    struct stat info;
    // A pipe's or a terminal's size and times follow its writes: only a regular file is stamped.
    stamped_ = fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    if (stamped_) opened_ = StampOf(info);
  }
  ~PosixSequentialFile() override {
    if (owned_) close(fd_);
  }
  PosixSequentialFile(const PosixSequentialFile&) = delete;
  PosixSequentialFile& operator=(const PosixSequentialFile&) = delete;

  Status Read(char* to, size_t room, size_t* got) override {
    *got = 0;
    while (*got < room) {
      const ssize_t read_now = ::read(fd_, to + *got, room - *got);
      if (read_now < 0 && errno == EINTR) continue;
      if (read_now < 0) return StatusFromErrno(errno, path_);
      if (read_now == 0) break;
      *got += static_cast<size_t>(read_now);
    }
    return Status::Ok();
  }

  uint64_t size_hint() const override { return stamped_ ? static_cast<uint64_t>(opened_.size) : 0; }

  bool ChangedSinceOpened() override {
    if (!stamped_) return false;
    struct stat info;
    return fstat(fd_, &info) != 0 || !(StampOf(info) == opened_);
  }

 private:
  static FileStamp StampOf(const struct stat& info) { return {info.st_size, info.st_mtim}; }

  const int fd_;
  const bool owned_;
  const std::string path_;
  bool stamped_ = false;
  FileStamp opened_;
};
}  // namespace

mode_t ModeWithAttributes(mode_t mode, int attributes) {
  return (attributes & kAttrReadOnly) ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
}

Status PosixPlatform::SetAttributes(const std::string& path, int attributes) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return StatusFromErrno(errno, path);
  mode_t mode = info.st_mode & 07777;
  mode_t wanted = ModeWithAttributes(mode, attributes);
  if (wanted == mode) return Status::Ok();
  if (chmod(path.c_str(), wanted) != 0) return StatusFromErrno(errno, path);
  return Status::Ok();
}

int PosixPlatform::GetAttributes(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  return (info.st_mode & 0222) == 0 ? kAttrReadOnly : kAttrNormal;
}

bool PosixPlatform::PathExists(const std::string& path) {
  struct stat info;
  return !path.empty() && stat(path.c_str(), &info) == 0;
}

// The kind is looked at before the file is opened, since opening a named pipe waits for a
// writer; the stamp that tells a change is taken once it is open.
Status PosixPlatform::OpenSequentialFile(const std::string& path, InputKinds kinds,
                                         std::unique_ptr<SequentialFile>* file) {
  file->reset();
  if (kinds == InputKinds::kAlsoStreams && path == kStandardInput) {
    *file = std::make_unique<PosixSequentialFile>(STDIN_FILENO, false, path);
    return Status::Ok();
  }
  struct stat info;
  // A path whose stat fails is left to the opening, which names the failure.
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return StatusFromErrno(EISDIR, path);
    const bool stream = S_ISFIFO(info.st_mode) && kinds == InputKinds::kAlsoStreams;
    if (!S_ISREG(info.st_mode) && !stream) return Status(ErrorCode::kIoError, path, "not a regular file");
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return StatusFromErrno(errno, path);
  *file = std::make_unique<PosixSequentialFile>(fd, true, path);
  return Status::Ok();
}

Status PosixPlatform::ReadRegularFile(const std::string& path, std::string* bytes) {
  bytes->clear();
  // Not blocking: a named pipe must not hold the program until a writer comes.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    if (errno == ELOOP) return Status(ErrorCode::kIoError, path, "not a regular file");
    return StatusFromErrno(errno, path);
  }
  struct stat info;
  Status status;
  if (fstat(fd, &info) != 0) {
    status = StatusFromErrno(errno, path);
  } else if (!S_ISREG(info.st_mode)) {
    status = Status(ErrorCode::kIoError, path, "not a regular file");
  } else {
    try {
      bytes->resize(static_cast<size_t>(info.st_size));
      size_t done = 0;
      while (true) {
        if (done == bytes->size()) bytes->resize(done + static_cast<size_t>(info.st_blksize) + 1);
        const ssize_t got = read(fd, bytes->data() + done, bytes->size() - done);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
          status = StatusFromErrno(errno, path);
          break;
        }
        if (got == 0) break;
        done += static_cast<size_t>(got);
      }
      bytes->resize(done);
    } catch (const std::bad_alloc&) {
      status = OutOfMemory(path);
    }
  }
  close(fd);
  if (!status.ok()) bytes->clear();
  return status;
}

Status PosixPlatform::RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) return StatusFromErrno(errno, path);
  return Status::Ok();
}

std::vector<std::string> PosixPlatform::ListFolder(const std::string& folder) {
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

std::int64_t PosixPlatform::FileModifiedTime(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

std::int64_t PosixPlatform::FileSize(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

Platform::EntryFacts PosixPlatform::FactsOf(const std::string& path) {
  EntryFacts facts;
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    facts.kind = errno == ENOENT || errno == ENOTDIR ? EntryFacts::Kind::kMissing : EntryFacts::Kind::kUnknown;
    return facts;
  }
  if (!S_ISREG(info.st_mode)) {
    facts.kind = EntryFacts::Kind::kOther;
    return facts;
  }
  facts.kind = EntryFacts::Kind::kRegular;
  facts.bytes = static_cast<std::int64_t>(info.st_size);
  facts.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
  return facts;
}

}  // namespace quorvale
