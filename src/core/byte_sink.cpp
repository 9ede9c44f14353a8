#include "byte_sink.h"

#include <cstring>

namespace quorvale {

ByteSink AppendTo(std::string* out) {
  return [out](std::string_view bytes) {
    out->append(bytes);
    return true;
  };
}

ChunkedOutput::ChunkedOutput(const ByteSink& sink, size_t piece_bytes) : sink_(sink), piece_bytes_(piece_bytes), buffer_(piece_bytes, '\0') {}

void ChunkedOutput::Flush() {
  if (used_ > 0 && !failed_ && !sink_(std::string_view(buffer_.data(), used_))) failed_ = true;
  used_ = 0;
}

void ChunkedOutput::MakeRoom(size_t bytes) {
  Flush();
  // A line longer than a piece (a very long description) goes out as a piece of its own.
  if (bytes > buffer_.size()) buffer_.resize(bytes);
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
