#include "byte_sink.h"

#include <algorithm>
#include <cstring>

namespace quorvale {

FileContents WholeContents(std::string_view bytes) {
  return [bytes](const ByteSink& sink) { return sink(bytes); };
}

ByteSink AppendTo(std::string* out) {
  return [out](std::string_view bytes) {
    out->append(bytes);
    return true;
  };
}

ChunkedOutput::ChunkedOutput(const ByteSink& sink, size_t piece_bytes) : sink_(sink), piece_bytes_(piece_bytes) {}

void ChunkedOutput::Flush() {
  if (used_ > 0 && !failed_ && !sink_(std::string_view(buffer_.data(), used_))) failed_ = true;
  used_ = 0;
}

void ChunkedOutput::MakeRoom(size_t bytes) {
  if (used_ + bytes > piece_bytes_) Flush();
  if (used_ + bytes > buffer_.size()) {
    // The buffer grows as the output does, up to a piece: a small file takes little memory.
    constexpr size_t kFirstBytes = size_t{64} << 10;
    size_t size = std::min(std::max(buffer_.size() * 2, kFirstBytes), piece_bytes_);
    buffer_.resize(std::max(size, used_ + bytes));
  }
  // A line longer than a piece (a very long description) goes out as a piece of its own:
  // the next Room() call flushes it.
  limit_ = std::max(std::min(buffer_.size(), piece_bytes_), used_ + bytes);
}

void ChunkedOutput::Append(std::string_view text) {
  char* at = Room(text.size());
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  Commit(at + text.size());
}

bool ChunkedOutput::Finish() {
  Flush();
  return !failed_;
}

}  // namespace quorvale
