#include "item_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

// fstat() of the C runtime: the stamp of the file a read holds open.
#include <sys/stat.h>

namespace quorvale {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The room a whole read starts with when the file does not say its size; it doubles as needed.
constexpr size_t kFirstReadBytes = size_t{1} << 16;

}  // namespace

std::string_view WithoutUtf8Bom(std::string_view data) {
  return data.substr(0, kUtf8Bom.size()) == kUtf8Bom ? data.substr(kUtf8Bom.size()) : data;
}

ItemReader::ItemReader(std::string_view data, bool at_start) : data_(data) {
  if (at_start && data_.substr(0, kUtf8Bom.size()) == kUtf8Bom) pos_ = kUtf8Bom.size();
}

bool ItemReader::Next(std::string_view* item) {
  *item = {};
  const size_t size = data_.size();
  if (pos_ >= size) return false;
  const char* d = data_.data();
  size_t p = pos_;
  while (p < size && (d[p] == ' ' || d[p] == '\t')) ++p;

  size_t begin = p;
  size_t end;
  if (p < size && d[p] == '"') {
    begin = ++p;
    while (p < size && d[p] != '"' && d[p] != '\r' && d[p] != '\n') ++p;
    end = p;
    if (p < size && d[p] == '"') {
      ++p;
      // Text after the closing quote, up to the delimiter, is dropped.
      while (p < size && d[p] != ',' && d[p] != '\r' && d[p] != '\n') ++p;
    }
  } else {
    // The end of the line is searched once per line, then the item's own end within it.
    if (next_newline_ < p || next_newline_ == 0) {
      const void* newline = std::memchr(d + p, '\n', size - p);
      next_newline_ = newline == nullptr ? size : static_cast<size_t>(static_cast<const char*>(newline) - d);
    }
    size_t length = next_newline_ - p;
    if (const void* comma = std::memchr(d + p, ',', length)) {
      // A comma after a "#" belongs to the comment.
      const size_t before_comma = static_cast<size_t>(static_cast<const char*>(comma) - (d + p));
      if (std::memchr(d + p, '#', before_comma) == nullptr) length = before_comma;
    }
    if (const void* cr = std::memchr(d + p, '\r', length)) length = static_cast<size_t>(static_cast<const char*>(cr) - (d + p));
    p += length;
    end = p;
  }

  // Consume the delimiter.
  if (p < size) {
    if (d[p] == '\r') {
      ++p;
      if (p < size && d[p] == '\n') ++p;
    } else {
      ++p;  // ',' or '\n'
    }
  }
  pos_ = p;
  *item = data_.substr(begin, end - begin);
  return true;
}

namespace {

// File names are UTF-8. Windows' C runtime and std::filesystem would take a narrow name in
// the ANSI code page, so there they are given the name in UTF-16.
#ifdef _WIN32
std::filesystem::path SystemPath(const std::string& path) { return WideFromUtf8(path); }
std::FILE* OpenBytes(const std::string& path) { return _wfopen(WideFromUtf8(path).c_str(), L"rb"); }
#else
std::filesystem::path SystemPath(const std::string& path) { return path; }
std::FILE* OpenBytes(const std::string& path) { return std::fopen(path.c_str(), "rb"); }
#endif

// Which kinds of file a read accepts, checked before the file is opened (opening a named
// pipe waits for a writer).
Status CheckKind(const std::string& path, InputKinds kinds) {
  std::error_code error;
  const std::filesystem::file_type type = std::filesystem::status(SystemPath(path), error).type();
  switch (type) {
    case std::filesystem::file_type::directory:
      return StatusFromErrno(EISDIR, path);
    case std::filesystem::file_type::fifo:
      if (kinds == InputKinds::kAlsoStreams) return Status::Ok();
      [[fallthrough]];
    case std::filesystem::file_type::block:
    case std::filesystem::file_type::character:
    case std::filesystem::file_type::socket:
      return Status(ErrorCode::kIoError, path, "not a regular file");
    default:
      // A regular file, or a path whose failure the opening names.
      return Status::Ok();
  }
}

// Opens a file for reading as `kinds` allows. `*owned` is false for standard input, which
// stays open.
Status OpenForReading(const std::string& path, InputKinds kinds, std::FILE** file, bool* owned) {
  *file = nullptr;
  *owned = false;
  if (kinds == InputKinds::kAlsoStreams && path == kStandardInput) {
    *file = stdin;
    return Status::Ok();
  }
  Status status = CheckKind(path, kinds);
  if (!status.ok()) return status;
  ClearRuntimeError();
  *file = OpenBytes(path);
  if (*file == nullptr) return StatusFromRuntimeError(ENOENT, path);
  *owned = true;
  return Status::Ok();
}

// Reads the whole of `file` into `out`.
Status ReadAll(std::FILE* file, const std::string& path, std::string* out) {
  Status status;
  // Read straight into the result, growing it when the file is longer than it said (a file
  // that grows meanwhile, or one whose size cannot be known).
  size_t capacity = kFirstReadBytes;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long length = std::ftell(file);
    if (length > 0) capacity = static_cast<size_t>(length) + 1;
    std::rewind(file);
  }
  size_t used = 0;
  while (true) {
    if (out->size() < capacity) out->resize(capacity);
    ClearRuntimeError();
    size_t got = std::fread(out->data() + used, 1, out->size() - used, file);
    used += got;
    if (used < out->size()) {
      if (std::ferror(file)) status = StatusFromRuntimeError(EIO, path);
      break;
    }
    capacity = out->size() * 2;
  }
  out->resize(used);
  return status;
}

}  // namespace

Status ReadFileBytes(const std::string& path, std::string* out, ReadAs as, InputKinds kinds) {
  out->clear();
  std::FILE* file = nullptr;
  bool owned = false;
  Status status = OpenForReading(path, kinds, &file, &owned);
  if (!status.ok()) return status;
  try {
    status = ReadAll(file, path, out);
    std::string text;
    if (status.ok() && as == ReadAs::kText && DecodeIfUtf16(*out, &text)) out->swap(text);
  } catch (const std::bad_alloc&) {
    status = OutOfMemory(path);
  }
  if (!status.ok()) std::string().swap(*out);
  if (owned) std::fclose(file);
  return status;
}

bool WholeData::Next(std::string_view* piece) {
  *piece = {};
  if (given_) return false;
  given_ = true;
  try {
    *piece = DecodeIfUtf16(data_, &decoded_) ? std::string_view(decoded_) : data_;
  } catch (const std::bad_alloc&) {
    status_ = OutOfMemory("");
    return false;
  }
  return true;
}

FilePieces::~FilePieces() {
  if (owns_file_) std::fclose(file_);
}

Status FilePieces::Open(const std::string& path, InputKinds kinds) {
  path_ = path;
  status_ = OpenForReading(path, kinds, &file_, &owns_file_);
  if (!status_.ok()) return status_;
  stamped_ = StampNow(&opened_);
  // The pieces are read straight into the buffer; stdio's own would be one more copy.
  if (owns_file_) std::setvbuf(file_, nullptr, _IONBF, 0);
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long length = std::ftell(file_);
    if (length > 0) size_ = static_cast<uint64_t>(length);
    std::rewind(file_);
  }
  // The start of the file tells whether it is UTF-16.
  char head[Utf16Decoder::kSniffBytes];
  ClearRuntimeError();
  const size_t got = std::fread(head, 1, sizeof(head), file_);
  if (std::ferror(file_)) return status_ = StatusFromRuntimeError(EIO, path_);
  // A file that grows after its end was seen is read on: seeking clears the end marks (stdio's,
  // and the one Windows' C runtime keeps for the file); a pipe that ended stays ended.
  if (got < sizeof(head)) std::fseek(file_, static_cast<long>(got), SEEK_SET);
  const size_t mark = decoder_.Detect(std::string_view(head, got));
  try {
    if (decoder_.active()) {
      raw_.assign(head + mark, got - mark);
      buffer_.resize(piece_bytes_);
    } else {
      // A small file needs no more room than itself (and one byte to see its end at once).
      buffer_.resize(std::max(got, size_ > 0 && size_ < piece_bytes_ ? static_cast<size_t>(size_) + 1 : piece_bytes_));
      std::memcpy(buffer_.data(), head, got);
      used_ = got;
    }
  } catch (const std::bad_alloc&) {
    status_ = OutOfMemory(path_);
  }
  return status_;
}

bool FilePieces::StampNow(Stamp* stamp) const {
#ifdef _WIN32
  struct _stat64 info;
  if (_fstat64(_fileno(file_), &info) != 0 || (info.st_mode & _S_IFMT) != _S_IFREG) return false;
  *stamp = {static_cast<uint64_t>(info.st_size), static_cast<int64_t>(info.st_mtime), 0};
#else
  struct stat info;
  if (fstat(fileno(file_), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *stamp = {static_cast<uint64_t>(info.st_size), static_cast<int64_t>(info.st_mtim.tv_sec),
            static_cast<int64_t>(info.st_mtim.tv_nsec)};
#endif
  return true;
}

void FilePieces::ReachEnd() {
  at_eof_ = true;
  Stamp now;
  changed_ = stamped_ && !(StampNow(&now) && now == opened_);
}

bool FilePieces::Fill() {
  // A line longer than the buffer makes it grow.
  if (used_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const size_t room = buffer_.size() - used_;
  if (!decoder_.active()) {
    ClearRuntimeError();
    const size_t got = std::fread(buffer_.data() + used_, 1, room, file_);
    used_ += got;
    if (got < room) {
      if (std::ferror(file_)) {
        status_ = StatusFromRuntimeError(EIO, path_);
        return false;
      }
      ReachEnd();
    }
    return true;
  }
  // UTF-16: the bytes are read apart, and their text goes after used_.
  const size_t waiting = raw_.size();
  raw_.resize(waiting + room);
  ClearRuntimeError();
  const size_t got = std::fread(raw_.data() + waiting, 1, room, file_);
  raw_.resize(waiting + got);
  if (got < room) {
    if (std::ferror(file_)) {
      status_ = StatusFromRuntimeError(EIO, path_);
      return false;
    }
    ReachEnd();
  }
  decoded_.clear();
  decoder_.Decode(raw_, at_eof_, &decoded_);
  raw_.clear();
  if (used_ + decoded_.size() > buffer_.size()) buffer_.resize(used_ + decoded_.size());
  std::memcpy(buffer_.data() + used_, decoded_.data(), decoded_.size());
  used_ += decoded_.size();
  return true;
}

bool FilePieces::Next(std::string_view* piece) {
  *piece = {};
  if (file_ == nullptr || !status_.ok()) return false;
  try {
    return ReadPiece(piece);
  } catch (const std::bad_alloc&) {
    *piece = {};
    status_ = OutOfMemory(path_);
    return false;
  }
}

bool FilePieces::ReadPiece(std::string_view* piece) {
  // The unfinished line left by the last piece begins the next one.
  const size_t carried = used_ - carried_from_;
  if (carried > 0 && carried_from_ > 0) std::memmove(buffer_.data(), buffer_.data() + carried_from_, carried);
  used_ = carried;
  carried_from_ = 0;
  // A file longer than it said at opening gets the buffer of a big one.
  if (!at_eof_ && buffer_.size() < piece_bytes_) buffer_.resize(std::min(piece_bytes_, buffer_.size() * 2));
  size_t searched = carried;  // no LF before this
  while (true) {
    if (!at_eof_ && !Fill()) return false;
    size_t end = used_;
    while (end > searched && buffer_[end - 1] != '\n') --end;
    if (end > searched) {
      // Whole lines up to the last LF; the rest waits for the next piece.
      carried_from_ = end;
      *piece = std::string_view(buffer_.data(), end);
      return true;
    }
    if (at_eof_) {
      carried_from_ = used_;
      *piece = std::string_view(buffer_.data(), used_);
      return used_ > 0;
    }
    searched = used_;
  }
}

}  // namespace quorvale
