#include "name_origin.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "domain_parser.h"
#include "hosts_parser.h"
#include "item_reader.h"
#include "name_removal.h"
#include "name_rules.h"
#include "session.h"
#include "text.h"
#include "utf16.h"

namespace quorvale {

namespace {

constexpr std::string_view kLineEnds = "\r\n";

// One line of a list handed to a load as a whole file. A line other than the first comes after
// a line end of its own (an empty item, which gives no entry), so that the reader does not take
// the line's start for the file's start, where a byte-order mark is skipped.
class LineAlone : public LinePieces {
 public:
  LineAlone(std::string_view line, bool first_line) : pieces_{first_line ? "" : "\n", line} {}
  bool Next(std::string_view* piece) override {
    if (next_ == pieces_.size()) return false;
    *piece = pieces_[next_++];
    return true;
  }
  std::uint64_t size_hint() const override { return pieces_[1].size(); }

 private:
  std::array<std::string_view, 2> pieces_;
  std::size_t next_ = 0;
};

// Finds a text in a list ignoring ASCII case, skipping ahead by the last byte of each window
// (Horspool): most of a big list is passed over without a comparison.
class CaseFreeSearch {
 public:
  explicit CaseFreeSearch(std::string_view needle) : needle_(needle) {
    skip_.fill(needle.size());
    for (std::size_t i = 0; i + 1 < needle.size(); ++i) {
      const char lower = AsciiLower(needle[i]);
      skip_[static_cast<unsigned char>(lower)] = needle.size() - 1 - i;
      if (lower >= 'a' && lower <= 'z') skip_[static_cast<unsigned char>(lower - 'a' + 'A')] = needle.size() - 1 - i;
    }
  }

  // Where `needle` next occurs in `text` from `from` on; npos when it does not.
  std::size_t Find(std::string_view text, std::size_t from) const {
    const std::size_t last = needle_.size() - 1;
    const char last_byte = AsciiLower(needle_[last]);
    for (std::size_t at = from; at + last < text.size(); at += skip_[static_cast<unsigned char>(text[at + last])]) {
      if (AsciiLower(text[at + last]) == last_byte &&
          EqualsIgnoreAsciiCase(text.substr(at, last), needle_.substr(0, last))) {
        return at;
      }
    }
    return std::string_view::npos;
  }

 private:
  std::string_view needle_;
  std::array<std::size_t, 256> skip_;
};

// Walks forward through a text's lines, numbering them (ends: LF, CR LF or CR).
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}

  // Moves to the line that holds `at`, which is no line end.
  void MoveTo(std::size_t at) {
    const char* data = text_.data();
    const char* from = data + start_;
    for (const char* lf = from; (lf = Find(lf, '\n', data + at)) != nullptr; ++lf) {
      ++number_;
      start_ = static_cast<std::size_t>(lf - data) + 1;
    }
    // A CR ends a line of its own unless an LF follows it (`at` itself is no line end).
    for (const char* cr = from; (cr = Find(cr, '\r', data + at)) != nullptr; ++cr) {
      if (cr[1] == '\n') continue;
      ++number_;
      start_ = std::max(start_, static_cast<std::size_t>(cr - data) + 1);
    }
  }
  int number() const { return number_; }
  std::size_t start() const { return start_; }
  // Where the current line ends (its first CR or LF, or the end of the text).
  std::size_t end() const { return std::min(text_.find_first_of(kLineEnds, start_), text_.size()); }

 private:
  static const char* Find(const char* from, char byte, const char* to) {
    return static_cast<const char*>(std::memchr(from, byte, static_cast<std::size_t>(to - from)));
  }

  std::string_view text_;
  int number_ = 1;
  std::size_t start_ = 0;
};

// Whether `line`, read alone as an update reads a list of `kind`, gives an entry written as
// `name` (ListWritesName). `scratch` holds no entry before and after.
bool LineGivesName(std::string_view line, bool first_line, SourceKind kind, std::string_view name, Session& scratch) {
  const EntryList::Mark empty1 = scratch.blocked.MarkNow();
  const EntryList::Mark empty2 = scratch.redirected.MarkNow();
  LineAlone pieces(line, first_line);
  // The line is in memory: reading it cannot fail (running out of memory gives no entry).
  if (kind == SourceKind::kHosts) {
    (void)ParseHostsPieces(pieces, scratch, {}, WwwListing::kFlag);
  } else {
    (void)ParseDomainListPieces(pieces, scratch, {}, WwwListing::kFlag);
  }
  const bool gives = ListWritesName(scratch.blocked, name) || ListWritesName(scratch.redirected, name);
  scratch.blocked.RollBack(empty1);
  scratch.redirected.RollBack(empty2);
  return gives;
}

// The lines of `data` (LF, CR LF or CR; UTF-16 decoded) that hold `needle` in any case and
// that `gives(line, first_line)` accepts. Only those lines are read.
template <typename GivesFn>
std::vector<NameLine> LinesHolding(std::string_view data, std::string_view needle, GivesFn&& gives) {
  std::vector<NameLine> lines;
  // A needle that a line end would cut is on no line.
  if (needle.empty() || needle.find_first_of(kLineEnds) != std::string_view::npos) return lines;
  std::string decoded;
  const std::string_view text = DecodeIfUtf16(data, &decoded) ? std::string_view(decoded) : data;
  const CaseFreeSearch search(needle);
  LineCounter counter(text);
  for (std::size_t at = search.Find(text, 0); at != std::string_view::npos; at = search.Find(text, counter.end())) {
    counter.MoveTo(at);
    const bool first_line = counter.start() == 0;
    const std::string_view line = text.substr(counter.start(), counter.end() - counter.start());
    if (gives(line, first_line)) {
      lines.push_back({counter.number(), std::string(first_line ? WithoutUtf8Bom(line) : line)});
    }
  }
  return lines;
}

}  // namespace

bool ListWritesName(const EntryList& list, std::string_view name) {
  if (list.Contains(name)) return true;
  // A "www." twin (in any case, as keys are compared): the row of the name without it, listed
  // with it.
  return EqualsIgnoreAsciiCase(name.substr(0, kWwwPrefix.size()), kWwwPrefix) &&
         list.ContainsListedWithWww(name.substr(kWwwPrefix.size()));
}

std::vector<NameLine> FindNameLines(std::string_view data, SourceKind kind, std::string_view name) {
  // No entry has a name of another length.
  if (!HasNameLength(name)) return {};
  Session scratch;
  return LinesHolding(data, name, [&](std::string_view line, bool first_line) {
    return LineGivesName(line, first_line, kind, name, scratch);
  });
}

std::vector<NameLine> FindAllowLines(std::string_view data, std::string_view name) {
  if (!HasNameLength(name)) return {};
  const bool twin = EqualsIgnoreAsciiCase(name.substr(0, kWwwPrefix.size()), kWwwPrefix);
  const std::string_view key = twin ? name.substr(kWwwPrefix.size()) : name;
  Session listed;
  // Every name that takes out one of the rows is a text that holds the shorter key, without its
  // trailing dot.
  return LinesHolding(data, WithoutTrailingDot(key), [&](std::string_view line, bool first_line) {
    listed.blocked.Clear();
    LineAlone pieces(line, first_line);
    (void)ParseNamesToRemovePieces(pieces, listed);
    Session rows;
    rows.blocked.Add(name, "", "");
    rows.blocked.Add(key, "", "");
    return RemoveNames(rows, listed.blocked) > 0;
  });
}

}  // namespace quorvale
