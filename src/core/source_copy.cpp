#include "source_copy.h"

#include <charconv>
#include <string>
#include <utility>

#include "sha256.h"

namespace quorvale {

namespace {

constexpr std::string_view kMagicLine = "quorvale-copy 1";
// The keys in the order the header holds them, each followed by ": " and its value.
constexpr std::string_view kAddressKey = "address";
constexpr std::string_view kEtagKey = "etag";
constexpr std::string_view kLastModifiedKey = "last-modified";
constexpr std::string_view kSourceSizeKey = "source-size";
constexpr std::string_view kSourceModifiedKey = "source-modified";
constexpr std::string_view kFetchedKey = "fetched";
constexpr std::string_view kBytesKey = "bytes";
constexpr std::string_view kDigestKey = "digest";
constexpr std::string_view kEntriesKey = "entries";
constexpr std::string_view kKeySeparator = ": ";
// Hexadecimal digits of the digest that name a copy file: 64 bits, no two sources alike.
constexpr std::size_t kFileNameDigits = 16;
// The UTF-8 byte-order mark, which a body may start with.
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The bytes of the body before its first entry that do not count.
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

void AppendLine(std::string& out, std::string_view key, std::string_view value) {
  out.append(key).append(kKeySeparator);
  for (char c : value) {
    if (c != '\r' && c != '\n') out += c;
  }
  out += '\n';
}

// Reads the header's lines, in order, from the bytes where the header must end.
class HeaderReader {
 public:
  explicit HeaderReader(std::string_view bytes) : rest_(bytes) {}

  // The next line, without its LF; false when no LF ends it.
  bool Line(std::string_view* line) {
    const std::size_t end = rest_.find('\n');
    if (end == std::string_view::npos) return false;
    *line = rest_.substr(0, end);
    rest_.remove_prefix(end + 1);
    return true;
  }
  bool Text(std::string_view key, std::string* value) {
    std::string_view line;
    if (!Line(&line) || !line.starts_with(key) || !line.substr(key.size()).starts_with(kKeySeparator)) return false;
    value->assign(line.substr(key.size() + kKeySeparator.size()));
    return true;
  }
  template <typename Integer>
  bool Number(std::string_view key, Integer* value) {
    std::string text;
    if (!Text(key, &text)) return false;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, *value);
    return !text.empty() && error == std::errc() && stop == end;
  }
  std::size_t left() const { return rest_.size(); }

 private:
  std::string_view rest_;
};

}  // namespace

std::string FormatCopyHeader(const CopyHeader& header) {
  std::string out;
  out.append(kMagicLine) += '\n';
  AppendLine(out, kAddressKey, header.address);
  AppendLine(out, kEtagKey, header.etag);
  AppendLine(out, kLastModifiedKey, header.last_modified);
  AppendLine(out, kSourceSizeKey, std::to_string(header.source_size));
  AppendLine(out, kSourceModifiedKey, std::to_string(header.source_modified));
  AppendLine(out, kFetchedKey, std::to_string(header.fetched));
  AppendLine(out, kBytesKey, std::to_string(header.body_bytes));
  AppendLine(out, kDigestKey, header.digest);
  if (header.entries >= 0) AppendLine(out, kEntriesKey, std::to_string(header.entries));
  out += '\n';
  if (out.size() > kCopyHeaderMaxBytes && !(header.etag.empty() && header.last_modified.empty())) {
    CopyHeader shorter = header;
    shorter.etag.clear();
    shorter.last_modified.clear();
    return FormatCopyHeader(shorter);
  }
  return out;
}

bool ParseCopyHeader(std::string_view bytes, CopyHeader* header, std::size_t* body_offset) {
  const std::string_view head = bytes.substr(0, kCopyHeaderMaxBytes);
  HeaderReader reader(head);
  std::string_view line;
  CopyHeader read;
  const bool whole = reader.Line(&line) && line == kMagicLine && reader.Text(kAddressKey, &read.address) &&
                     reader.Text(kEtagKey, &read.etag) && reader.Text(kLastModifiedKey, &read.last_modified) &&
                     reader.Number(kSourceSizeKey, &read.source_size) &&
                     reader.Number(kSourceModifiedKey, &read.source_modified) &&
                     reader.Number(kFetchedKey, &read.fetched) && reader.Number(kBytesKey, &read.body_bytes) &&
                     reader.Text(kDigestKey, &read.digest) && reader.Line(&line);
  if (!whole) return false;
  // Copies of earlier versions have no entries line.
  if (line.starts_with(kEntriesKey)) {
    const std::string_view value = line.substr(kEntriesKey.size());
    if (!value.starts_with(kKeySeparator)) return false;
    const std::string_view number = value.substr(kKeySeparator.size());
    const char* end = number.data() + number.size();
    const auto [stop, error] = std::from_chars(number.data(), end, read.entries);
    if (number.empty() || error != std::errc() || stop != end || read.entries < 0 || !reader.Line(&line)) return false;
  }
  if (!line.empty()) return false;
  *header = std::move(read);
  *body_offset = head.size() - reader.left();
  return true;
}

BodyVerdict JudgeNewBody(const NewBody& body) {
  if (body.starts_like_html) return BodyVerdict::kHtml;
  if (body.entries <= 0) return BodyVerdict::kEmpty;
  if (body.last_entries >= 0 && body.entries < body.last_entries - body.last_entries / 2) return BodyVerdict::kShrunk;
  return BodyVerdict::kTaken;
}

void BodyStartWatch::See(std::string_view piece) {
  for (char c : piece) {
    if (seen_) return;
    if (bom_bytes_ < kByteOrderMark.size()) {
      if (c == kByteOrderMark[bom_bytes_]) {
        ++bom_bytes_;
        continue;
      }
      if (bom_bytes_ > 0) {
        // The start of a mark that is not one: its first byte is the body's.
        first_ = kByteOrderMark[0];
        seen_ = true;
        return;
      }
      bom_bytes_ = kByteOrderMark.size();
    }
    if (IsBlank(c)) continue;
    first_ = c;
    seen_ = true;
  }
}

std::string CopyFileName(std::string_view address, std::string_view kind_word) {
  std::string named(kind_word);
  named.append(" ").append(address);
  return Sha256Hex(named).substr(0, kFileNameDigits) + ".copy";
}

}  // namespace quorvale
