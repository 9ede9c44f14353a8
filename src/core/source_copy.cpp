#include "source_copy.h"

#include <charconv>
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
constexpr std::string_view kKeySeparator = ": ";
// Hexadecimal digits of the digest that name a copy file: 64 bits, no two sources alike.
constexpr std::size_t kFileNameDigits = 16;

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
  out += '\n';
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
                     reader.Text(kDigestKey, &read.digest) && reader.Line(&line) && line.empty();
  if (!whole) return false;
  *header = std::move(read);
  *body_offset = head.size() - reader.left();
  return true;
}

std::string CopyFileName(std::string_view address, std::string_view kind_word) {
  std::string named(kind_word);
  named.append(" ").append(address);
  return Sha256Hex(named).substr(0, kFileNameDigits) + ".copy";
}

}  // namespace quorvale
