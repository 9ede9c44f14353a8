#include "item_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>

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

Status FilePieces::Open(std::unique_ptr<SequentialFile> file) {
  file_ = std::move(file);
  // The start of the file tells whether it is UTF-16. A file shorter than that may still
  // grow: its end is only taken once a later read comes short.
  char head[Utf16Decoder::kSniffBytes];
  size_t got = 0;
  status_ = file_->Read(head, sizeof(head), &got);
  if (!status_.ok()) return status_;
  const size_t mark = decoder_.Detect(std::string_view(head, got));
  const uint64_t size = file_->size_hint();
  try {
    if (decoder_.active()) {
      raw_.assign(head + mark, got - mark);
      buffer_.resize(piece_bytes_);
    } else {
      // A small file needs no more room than itself (and one byte to see its end at once).
      buffer_.resize(std::max(got, size > 0 && size < piece_bytes_ ? static_cast<size_t>(size) + 1 : piece_bytes_));
      std::memcpy(buffer_.data(), head, got);
      used_ = got;
    }
  } catch (const std::bad_alloc&) {
    status_ = OutOfMemory("");
  }
  return status_;
}

bool FilePieces::ReadMore(char* to, size_t room, size_t* got) {
  status_ = file_->Read(to, room, got);
  if (!status_.ok()) return false;
  if (*got < room) {
    at_eof_ = true;
    changed_ = file_->ChangedSinceOpened();
  }
  return true;
}

bool FilePieces::Fill() {
  // A line longer than the buffer makes it grow.
  if (used_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const size_t room = buffer_.size() - used_;
  size_t got = 0;
  if (!decoder_.active()) {
    if (!ReadMore(buffer_.data() + used_, room, &got)) return false;
    used_ += got;
    return true;
  }
  // UTF-16: the bytes are read apart, and their text goes after used_.
  const size_t waiting = raw_.size();
  raw_.resize(waiting + room);
  if (!ReadMore(raw_.data() + waiting, room, &got)) return false;
  raw_.resize(waiting + got);
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
    status_ = OutOfMemory("");
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
