#include "sources_file.h"

#include <algorithm>
#include <utility>

#include "item_reader.h"
#include "path_text.h"
#include "text.h"

namespace quorvale {

namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kSchemeEnd = "://";
constexpr std::string_view kFileScheme = "file://";
constexpr std::string_view kLocalHost = "localhost";
constexpr char kQuote = '"';
constexpr char kComment = '#';

struct SchemeName {
  std::string_view prefix;
  Source::Scheme scheme;
};
constexpr SchemeName kSchemes[] = {
    {"https://", Source::Scheme::kHttps},
    {"http://", Source::Scheme::kHttp},
    {kFileScheme, Source::Scheme::kFile},
};

// The path of a file:// address (after the scheme), without the host "localhost" it may name.
std::string_view WithoutLocalHost(std::string_view rest) {
  if (EqualsIgnoreAsciiCase(rest.substr(0, kLocalHost.size()), kLocalHost) &&
      (rest.size() == kLocalHost.size() || rest[kLocalHost.size()] == '/')) {
    rest.remove_prefix(kLocalHost.size());
  }
  return rest;
}

bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

bool IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 0x20 && c != '\t') || byte == 0x7F;
}

bool HasControl(std::string_view text) {
  for (char c : text) {
    if (IsControl(c)) return true;
  }
  return false;
}

// Whether `address` starts with "letters://", whatever the letters.
bool HasSchemeShape(std::string_view address) {
  const size_t end = address.find(kSchemeEnd);
  if (end == 0 || end == std::string_view::npos) return false;
  for (char c : address.substr(0, end)) {
    if (!IsAsciiLetter(c)) return false;
  }
  return true;
}

// Finds the scheme of an address that holds no control character: kNone then, else why no
// update can read it.
SourceFault ReadScheme(std::string_view address, Source::Scheme* scheme) {
  for (const SchemeName& known : kSchemes) {
    if (!EqualsIgnoreAsciiCase(address.substr(0, known.prefix.size()), known.prefix)) continue;
    std::string_view rest = address.substr(known.prefix.size());
    rest = known.scheme == Source::Scheme::kFile ? WithoutLocalHost(rest) : rest.substr(0, rest.find_first_of("/?#"));
    if (rest.empty()) return {SourceFault::Kind::kIncompleteAddress, std::string(address)};
    *scheme = known.scheme;
    return {};
  }
  if (HasSchemeShape(address)) return {SourceFault::Kind::kUnknownScheme, std::string(address)};
  *scheme = Source::Scheme::kPath;
  return {};
}

// Why `address` (without quotes) is no source, kNone when it is one; `*scheme` says its kind.
SourceFault AddressFault(std::string_view address, Source::Scheme* scheme) {
  using enum SourceFault::Kind;
  if (address.find_first_not_of(kBlanks) == std::string_view::npos) return {kEmptyAddress};
  if (HasControl(address)) return {kControlInAddress};
  if (address.find('\t') != std::string_view::npos) return {kTabInAddress};
  // A byte-order mark is no part of a name or a path; at the start of the file the reader skips
  // it, so an address written there would not read back.
  if (WithoutUtf8Bom(address).size() != address.size()) return {kByteOrderMarkInAddress};
  SourceFault fault = ReadScheme(address, scheme);
  if (fault.none() && *scheme != Source::Scheme::kPath && address.find(' ') != std::string_view::npos) {
    return {kSpaceInAddress};
  }
  return fault;
}

// A path with a space is written between quotes rather than as a file:// address with "%20":
// the line then shows the path as the user knows it (backslashes and all on Windows), and a
// relative path stays relative. An address starting with "#" or a quote is quoted too, so
// that it is not read as a switched-off source or as the start of a quoted one.
bool NeedsQuotes(std::string_view address) {
  return address.find(' ') != std::string_view::npos ||
         (!address.empty() && (address[0] == kQuote || address[0] == kComment));
}

// Reads one line that is neither blank nor a comment; returns why it is malformed, kNone
// when `source` holds it.
SourceFault ReadSourceLine(std::string_view line, Source* source) {
  using enum SourceFault::Kind;
  if (HasControl(line)) return {kControlInLine};
  std::string_view fields[2];
  size_t count = 0;
  for (size_t start = line.find_first_not_of(kBlanks); start != std::string_view::npos;
       start = line.find_first_not_of(kBlanks, start)) {
    if (count == 2) return {kTooManyFields};
    size_t end = std::min(line.find_first_of(kBlanks, start), line.size());
    if (count == 0 && line[start] == kQuote) {
      const size_t close = line.find(kQuote, start + 1);
      if (close == std::string_view::npos) return {kUnclosedQuote};
      end = close + 1;
      if (end < line.size() && kBlanks.find(line[end]) == std::string_view::npos) {
        return {kNoBlankAfterQuote};
      }
      fields[count++] = line.substr(start + 1, close - start - 1);
    } else {
      fields[count++] = line.substr(start, end - start);
    }
    start = end;
  }
  SourceFault fault = AddressFault(fields[0], &source->scheme);
  if (!fault.none()) return fault;
  source->address.assign(fields[0]);
  source->kind = kDefaultSourceKind;
  if (count == 2 && !KindOfWord(fields[1], &source->kind)) {
    return {kUnknownKind, std::string(fields[1])};
  }
  return {};
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "%XX" sequences made bytes again. A "%" without two hexadecimal digits stays as it is, and
// so does "%00": no file name holds a NUL byte, and the system calls would cut the path there.
std::string PercentDecoded(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const int value = text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0
                          ? HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])
                          : 0;
    if (value != 0) {
      out += static_cast<char>(value);
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsAbsolutePath(std::string_view path) {
#ifdef _WIN32
  // "C:\x", "C:/x" (and the drive-relative "C:x"), "\x", "/x" and "\\server\share\x".
  if (path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':') return true;
  return !path.empty() && (path[0] == '\\' || path[0] == '/');
#else
  return !path.empty() && path[0] == '/';
#endif
}

}  // namespace

void ReadSourcesFile(std::string_view text, std::vector<Source>* sources,
                     std::vector<MalformedSourceLine>* malformed) {
  sources->clear();
  malformed->clear();
  TextLines lines(WithoutUtf8Bom(text), TextLines::LastCr::kKept);
  int line_number = 0;
  for (std::string_view line; lines.Next(&line);) {
    ++line_number;
    const size_t first = line.find_first_not_of(kBlanks);
    if (first == std::string_view::npos || line[first] == kComment) continue;
    Source source;
    source.line_number = line_number;
    SourceFault fault = ReadSourceLine(line, &source);
    if (fault.none()) {
      sources->push_back(std::move(source));
    } else {
      malformed->push_back({line_number, std::move(fault)});
    }
  }
}

bool ParseSourcesFile(std::string_view text, std::vector<Source>* sources, MalformedSourceLine* first) {
  std::vector<MalformedSourceLine> malformed;
  ReadSourcesFile(text, sources, &malformed);
  *first = MalformedSourceLine();
  if (malformed.empty()) return true;
  sources->clear();
  *first = std::move(malformed.front());
  return false;
}

SourceFault CheckSourceAddress(std::string_view address) {
  if (address.empty()) return {SourceFault::Kind::kEmptyAddress};
  Source::Scheme scheme = Source::Scheme::kPath;
  SourceFault fault = AddressFault(address, &scheme);
  if (fault.none() && NeedsQuotes(address) && address.find(kQuote) != std::string_view::npos) {
    return {SourceFault::Kind::kQuoteInAddress};
  }
  return fault;
}

std::string SourceLineOf(std::string_view address, SourceKind kind) {
  std::string line = NeedsQuotes(address) ? kQuote + std::string(address) + kQuote : std::string(address);
  if (kind != kDefaultSourceKind) line += " " + std::string(SourceKindWord(kind));
  return line;
}

SystemSourceRefusal CheckSystemSources(const std::vector<Source>& sources) {
  for (const Source& source : sources) {
    if (source.scheme == Source::Scheme::kFile || source.scheme == Source::Scheme::kPath) {
      return {&source, source.scheme == Source::Scheme::kPath && !IsAbsolutePath(source.address)};
    }
  }
  return {};
}

std::string LocalSourcePath(const Source& source, std::string_view sources_folder) {
  std::string_view address = source.address;
  if (source.scheme == Source::Scheme::kPath) {
    return IsAbsolutePath(address) ? std::string(address) : JoinPath(sources_folder, address);
  }
  if (source.scheme != Source::Scheme::kFile) return "";
  std::string path = PercentDecoded(WithoutLocalHost(address.substr(kFileScheme.size())));
  // "file://server/share/x" names a file on another machine: "//server/share/x".
  if (!path.starts_with('/')) return "//" + path;
#ifdef _WIN32
  if (path.size() >= 3 && IsAsciiLetter(path[1]) && path[2] == ':') path.erase(0, 1);
#endif
  return path;
}

}  // namespace quorvale
