#include "item_reader.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

namespace quorvale {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

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
    if (const void* comma = std::memchr(d + p, ',', length)) length = static_cast<size_t>(static_cast<const char*>(comma) - (d + p));
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

// Opens a file for reading; a folder opens like a file on POSIX, and the size it reports is
// no size: it is refused here.
Status OpenForReading(const std::string& path, std::FILE** file) {
  *file = nullptr;
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return StatusFromErrno(EISDIR, path);
  errno = 0;
  *file = std::fopen(path.c_str(), "rb");
  if (*file == nullptr) return StatusFromErrno(errno ? errno : ENOENT, path);
  return Status::Ok();
}

}  // namespace

Status ReadFileBytes(const std::string& path, std::string* out) {
  out->clear();
  std::FILE* file = nullptr;
  Status status = OpenForReading(path, &file);
  if (!status.ok()) return status;
  // Read straight into the result, growing it when the file is longer than it said (a file
  // that grows meanwhile, or one whose size cannot be known).
  size_t capacity = 1 << 16;
  if (std::fseek(file, 0, SEEK_END) == 0) {
    long length = std::ftell(file);
    if (length > 0) capacity = static_cast<size_t>(length) + 1;
    std::rewind(file);
  }
  size_t used = 0;
  while (true) {
    if (out->size() < capacity) out->resize(capacity);
    size_t got = std::fread(out->data() + used, 1, out->size() - used, file);
    used += got;
    if (used < out->size()) {
      if (std::ferror(file)) status = StatusFromErrno(errno ? errno : EIO, path);
      break;
    }
    capacity = out->size() * 2;
  }
  out->resize(used);
  std::fclose(file);
  return status;
}

bool WholeData::Next(std::string_view* piece) {
  if (given_) return false;
  given_ = true;
  *piece = data_;
  return true;
}

FilePieces::~FilePieces() {
  if (file_ != nullptr) std::fclose(file_);
}

Status FilePieces::Open(const std::string& path) {
  path_ = path;
  status_ = OpenForReading(path, &file_);
  if (!status_.ok()) return status_;
  // The pieces are read straight into the buffer; stdio's own would be one more copy.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long length = std::ftell(file_);
    if (length > 0) size_ = static_cast<uint64_t>(length);
    std::rewind(file_);
  }
  // A small file needs no more room than itself (and one byte to see its end at once).
  buffer_.resize(size_ > 0 && size_ < piece_bytes_ ? static_cast<size_t>(size_) + 1 : piece_bytes_);
  return status_;
}

bool FilePieces::Next(std::string_view* piece) {
  *piece = {};
  if (file_ == nullptr || !status_.ok()) return false;
  // The unfinished line left by the last piece begins the next one.
  const size_t carried = used_ - carried_from_;
  if (carried > 0 && carried_from_ > 0) std::memmove(buffer_.data(), buffer_.data() + carried_from_, carried);
  used_ = carried;
  carried_from_ = 0;
  // A file longer than it said at opening gets the buffer of a big one.
  if (!at_eof_ && buffer_.size() < piece_bytes_) buffer_.resize(std::min(piece_bytes_, buffer_.size() * 2));
  size_t searched = carried;  // no LF before this
  while (true) {
    if (!at_eof_) {
      // A line longer than the buffer makes it grow.
      if (used_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
      errno = 0;
      const size_t got = std::fread(buffer_.data() + used_, 1, buffer_.size() - used_, file_);
      used_ += got;
      if (used_ < buffer_.size()) {
        if (std::ferror(file_)) {
          status_ = StatusFromErrno(errno ? errno : EIO, path_);
          return false;
        }
        at_eof_ = true;
      }
    }
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
