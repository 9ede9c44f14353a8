#include "item_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace quorvale {

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

ItemReader::ItemReader(std::string_view data) : data_(data) {
  if (data_.substr(0, kUtf8Bom.size()) == kUtf8Bom) pos_ = kUtf8Bom.size();
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

Status ReadFileBytes(const std::string& path, std::string* out) {
  out->clear();
  // A folder opens like a file on POSIX, and the size it reports is no size: refuse it here.
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) return StatusFromErrno(EISDIR, path);
  errno = 0;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return StatusFromErrno(errno ? errno : ENOENT, path);
  Status status;
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

}  // namespace quorvale
