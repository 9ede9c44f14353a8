#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "byte_sink.h"
#include "pieces.h"
#include "sha256.h"
#include "status.h"

namespace quorvale {

// The privileged helper's input travels in a frame, the same on every system: the bytes in
// pieces, each a line "LENGTH\n" (decimal, 1 to kLongestFramePiece, no leading zero) and
// LENGTH bytes; then "0\n"; then the SHA-256 of all the bytes as 64 lower-case hexadecimal
// digits and "\n". The length comes first so that the helper refuses a piece too long before
// reading it; the digest tells a whole input from one cut short or changed on the way.
inline constexpr size_t kLongestFramePiece = kPieceBytes;
// The most bytes the helper takes: a HOSTS file to install, and the schedule step's files.
inline constexpr uint64_t kReplaceInputLimit = uint64_t{512} << 20;
inline constexpr uint64_t kScheduleInputLimit = uint64_t{16} << 20;

// `body` in its frame, made as it goes out (an empty function is an empty body).
FileContents FramedContents(FileContents body);

// Reads at most `room` bytes of a channel into `into`; `*got` is 0 at the channel's end.
using ReadSomeFn = std::function<Status(char* into, size_t room, size_t* got)>;

// Whether the channel ends with the frame. A pipe on which the answer goes back stays open,
// so that nothing after the digest can be seen there.
enum class FrameEnd { kChannelEnds, kChannelStaysOpen };

// Reads one frame from a channel and hands its bytes out as they come. It refuses, reading
// no further: a channel that ends inside the frame, a length line that is not one, a piece
// longer than kLongestFramePiece, bytes beyond `limit` (on the length that would pass it), a
// digest that does not match, and with kChannelEnds any byte after the digest.
class FrameReader {
 public:
  FrameReader(ReadSomeFn read_some, uint64_t limit, FrameEnd end);
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The next bytes of the body, valid until the next call. False at the end of a whole frame
  // (status() ok), or once the input was refused or could not be read (status()).
  bool Next(std::string_view* piece);
  const Status& status() const { return status_; }

 private:
  // Makes sure that the buffer holds a byte: false at the channel's end (status() stays ok)
  // or when reading failed.
  bool Fill();
  // The same where the frame is not over: its end is a refusal.
  bool FillWithinFrame();
  // A line of at most `longest` bytes before its "\n"; false when there is none.
  bool ReadLine(size_t longest, std::string* line);
  bool Refuse(std::string reason);

  const ReadSomeFn read_some_;
  const uint64_t limit_;
  const FrameEnd end_;
  std::string buffer_;
  size_t begin_ = 0;  // buffer_ holds unread bytes from begin_ to end_
  size_t end_of_data_ = 0;
  uint64_t total_ = 0;            // bytes of the body so far
  uint64_t piece_left_ = 0;       // bytes of the current piece not handed out yet
  bool done_ = false;
  Sha256 digest_;
  Status status_;
};

// The whole body of a frame, at most `limit` bytes.
Status ReadFramedBody(const ReadSomeFn& read_some, uint64_t limit, FrameEnd end, std::string* body);

// Checks, piece by piece, that bytes are a HOSTS file as the window program sends it to the
// helper (FormatHostsFile without carried lines): the program's header from the first byte,
// then lines that give entries only (GivesOnlyEntries), each line ending with CR LF, no NUL
// byte anywhere. A refusal names the line (counted from 1).
class HostsInputCheck {
 public:
  // Checks the lines that `piece` ends; false once the bytes so far are refused (failure()).
  bool Take(std::string_view piece);
  // The input has ended: false when it ends inside the header or inside a line.
  bool Finish();
  // How many bytes the header takes once it is whole; 0 before.
  uint64_t header_bytes() const { return header_bytes_; }
  const Status& failure() const { return failure_; }

 private:
  bool CheckLine(std::string_view line);
  bool Refuse(uint64_t line, std::string_view why);

  std::string partial_;  // the start of a line that the next piece goes on with
  uint64_t lines_ = 0;   // whole lines checked
  uint64_t offset_ = 0;  // their bytes
  uint64_t header_bytes_ = 0;
  Status failure_;
};

}  // namespace quorvale
