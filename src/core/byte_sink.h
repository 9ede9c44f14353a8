#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "pieces.h"

namespace quorvale {

// Where a writer's bytes go, piece by piece and in order. Returns false once it can take no
// more (a write failed); the writer then stops.
using ByteSink = std::function<bool(std::string_view bytes)>;

// A file's contents made while they are written: the producer hands them to the sink it is
// given, piece by piece, and returns false when the sink refused one.
using FileContents = std::function<bool(const ByteSink& sink)>;

// Contents already held whole, as one piece.
FileContents WholeContents(std::string_view bytes);

// A sink that appends everything to `out`.
ByteSink AppendTo(std::string* out);

// Gathers a writer's many small pieces into pieces of about `piece_bytes` for a sink, so
// that a big file goes out as it is formatted instead of being held whole in memory.
class ChunkedOutput {
 public:
  explicit ChunkedOutput(const ByteSink& sink, size_t piece_bytes = kPieceBytes);
  ChunkedOutput(const ChunkedOutput&) = delete;
  ChunkedOutput& operator=(const ChunkedOutput&) = delete;

  // Room for at most `bytes` bytes at the end of the output; Commit() then takes the end of
  // what was written there.
  char* Room(size_t bytes) {
    if (used_ + bytes > limit_) MakeRoom(bytes);
    return buffer_.data() + used_;
  }
  void Commit(const char* end) { used_ = static_cast<size_t>(end - buffer_.data()); }
  void Append(std::string_view text);

  // Hands the rest to the sink; false when the sink refused a piece.
  bool Finish();
  // True once the sink refused a piece: what follows is dropped, and writers may stop.
  bool failed() const { return failed_; }

 private:
  void Flush();
  void MakeRoom(size_t bytes);

  const ByteSink sink_;  // a copy: the sink given may be a temporary
  const size_t piece_bytes_;
  std::string buffer_;  // grows with the output, up to a piece
  size_t used_ = 0;
  size_t limit_ = 0;  // Room() asks MakeRoom() beyond this
  bool failed_ = false;
};

}  // namespace quorvale
