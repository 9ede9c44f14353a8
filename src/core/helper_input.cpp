#include "helper_input.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "hosts_parser.h"
#include "hosts_writer.h"

namespace quorvale {

namespace {

// The digits of kLongestFramePiece: a longer length line is refused as soon as it is seen.
constexpr size_t kLengthDigits = 7;
static_assert(kLongestFramePiece < 10'000'000, "kLengthDigits must fit the longest piece");
constexpr size_t kDigestDigits = 64;
// How much of the channel one read asks for.
constexpr size_t kReadBytes = 64 * 1024;
// The longest line the check takes (and so keeps while pieces cut it): far more than an
// address, a name and the comment of a row.
constexpr size_t kLongestInputLine = 64 * 1024;

}  // namespace

FileContents FramedContents(FileContents body) {
  return [body = std::move(body)](const ByteSink& sink) {
    Sha256 digest;
    const bool sent = !body || body([&](std::string_view bytes) {
      while (!bytes.empty()) {
        const std::string_view piece = bytes.substr(0, kLongestFramePiece);
        digest.Update(piece);
        if (!sink(std::to_string(piece.size()) + "\n") || !sink(piece)) return false;
        bytes.remove_prefix(piece.size());
      }
      return true;
    });
    return sent && sink("0\n") && sink(digest.HexDigest() + "\n");
  };
}

FrameReader::FrameReader(ReadSomeFn read_some, uint64_t limit, FrameEnd end)
    : read_some_(std::move(read_some)), limit_(limit), end_(end), buffer_(kReadBytes, '\0') {}

bool FrameReader::Refuse(std::string reason) {
  status_ = Status(ErrorCode::kIoError, "", std::move(reason));
  return false;
}

bool FrameReader::Fill() {
  if (begin_ < end_of_data_) return true;
  size_t got = 0;
  Status read = read_some_(buffer_.data(), buffer_.size(), &got);
  if (!read.ok()) {
    status_ = read;
    return false;
  }
  begin_ = 0;
  end_of_data_ = std::min(got, buffer_.size());
  return got > 0;
}

bool FrameReader::FillWithinFrame() {
  return Fill() || (status_.ok() && Refuse("the input ends before its frame does"));
}

bool FrameReader::ReadLine(size_t longest, std::string* line) {
  line->clear();
  while (FillWithinFrame()) {
    const char c = buffer_[begin_++];
    if (c == '\n') return true;
    if (line->size() == longest) return Refuse("the input is not framed");
    *line += c;
  }
  return false;
}

bool FrameReader::Next(std::string_view* piece) {
  if (done_ || !status_.ok()) return false;
  if (piece_left_ == 0) {
    std::string line;
    if (!ReadLine(kLengthDigits, &line)) return false;
    uint64_t length = 0;
    const auto [end, error] = std::from_chars(line.data(), line.data() + line.size(), length);
    if (error != std::errc() || end != line.data() + line.size() || (line.size() > 1 && line[0] == '0')) {
      return Refuse("the input is not framed");
    }
    if (length > kLongestFramePiece) {
      return Refuse("a piece of the input is longer than " + std::to_string(kLongestFramePiece) + " bytes");
    }
    if (length > limit_ - total_) return Refuse("the input is longer than " + std::to_string(limit_) + " bytes");
    if (length == 0) {
      if (!ReadLine(kDigestDigits, &line)) return false;
      if (line != digest_.HexDigest()) return Refuse("the input does not match its digest");
      if (end_ == FrameEnd::kChannelEnds && Fill()) return Refuse("the input goes on after its frame");
      done_ = true;
      return false;
    }
    piece_left_ = length;
    total_ += length;
  }
  if (!FillWithinFrame()) return false;
  const size_t size = static_cast<size_t>(std::min<uint64_t>(piece_left_, end_of_data_ - begin_));
  *piece = std::string_view(buffer_).substr(begin_, size);
  begin_ += size;
  piece_left_ -= size;
  digest_.Update(*piece);
  return true;
}

Status ReadFramedBody(const ReadSomeFn& read_some, uint64_t limit, FrameEnd end, std::string* body) {
  FrameReader reader(read_some, limit, end);
  body->clear();
  std::string_view piece;
  while (reader.Next(&piece)) body->append(piece);
  return reader.status();
}

bool HostsInputCheck::Refuse(uint64_t line, std::string_view why) {
  failure_ = Status(ErrorCode::kNotSupported, "", "line " + std::to_string(line) + ": " + std::string(why));
  return false;
}

bool HostsInputCheck::CheckLine(std::string_view line) {
  const uint64_t number = ++lines_;
  offset_ += line.size() + 1;
  if (line.empty() || line.back() != '\r' || line.find('\r') != line.size() - 1) {
    return Refuse(number, "not ended by CR LF");
  }
  line.remove_suffix(1);
  if (number <= kHostsHeaderLines) {
    if (!IsHostsHeaderLine(static_cast<size_t>(number - 1), line)) return Refuse(number, "not the program's header");
    if (number == kHostsHeaderLines) header_bytes_ = offset_;
    return true;
  }
  return GivesOnlyEntries(line) || Refuse(number, "not an entry");
}

bool HostsInputCheck::Take(std::string_view piece) {
  if (!failure_.ok()) return false;
  if (const size_t nul = piece.find('\0'); nul != std::string_view::npos) {
    const uint64_t line = lines_ + 1 + static_cast<uint64_t>(std::count(piece.begin(), piece.begin() + nul, '\n'));
    return Refuse(line, "NUL byte");
  }
  while (!piece.empty()) {
    const size_t end = piece.find('\n');
    const size_t taken = std::min(end, piece.size());
    if (partial_.size() + taken > kLongestInputLine) return Refuse(lines_ + 1, "too long");
    if (end == std::string_view::npos) {
      partial_.append(piece);
      return true;
    }
    bool fine = true;
    if (partial_.empty()) {
      fine = CheckLine(piece.substr(0, end));
    } else {
      partial_.append(piece.substr(0, end));
      fine = CheckLine(partial_);
      partial_.clear();
    }
    if (!fine) return false;
    piece.remove_prefix(end + 1);
  }
  return true;
}

bool HostsInputCheck::Finish() {
  if (!failure_.ok()) return false;
  if (!partial_.empty()) return Refuse(lines_ + 1, "not ended by CR LF");
  if (lines_ < kHostsHeaderLines) return Refuse(lines_ + 1, "not the program's header");
  return true;
}

}  // namespace quorvale
