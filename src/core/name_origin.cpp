#include "name_origin.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>

#include "domain_parser.h"
#include "hosts_parser.h"
#include "item_reader.h"
#include "name_removal.h"
#include "name_rules.h"
#include "session.h"
#include "text.h"

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

  // Moves to the line that holds `at`, or that ends at it.
  void MoveTo(std::size_t at) {
    const char* data = text_.data();
    const char* from = data + start_;
    for (const char* lf = from; (lf = Find(lf, '\n', data + at)) != nullptr; ++lf) {
      ++number_;
      start_ = static_cast<std::size_t>(lf - data) + 1;
    }
    // A CR ends a line of its own unless an LF follows it (`at` ends the line it is in).
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

// Loads `line` alone into `session` as an update loads a list of `kind`.
void LoadLine(std::string_view line, bool first_line, SourceKind kind, Session& session) {
  LineAlone pieces(line, first_line);
  // The line is in memory: reading it cannot fail (running out of memory gives no entry).
  (void)RowOf(kind).parse(pieces, session, {}, WwwListing::kFlag);
}

// A line found, as it is shown: a byte-order mark is no part of the first line.
NameLine FoundLine(std::string_view line, bool first_line, int number) {
  return {number, std::string(first_line ? WithoutUtf8Bom(line) : line)};
}

// Reads `pieces` to its end and hands each line (LF, CR LF or CR; UTF-16 decoded) that holds
// `needle` in any case to `hit(line, first_line, line_number)`; only those lines are read.
// Offers `yield` after each piece, and every few lines handed. Returns how the reading ended.
template <typename HitFn>
Status ForEachLineHolding(LinePieces& pieces, std::string_view needle, const YieldFn& yield, HitFn&& hit) {
  // A needle that a line end would cut is on no line.
  const bool searched = !needle.empty() && needle.find_first_of(kLineEnds) == std::string_view::npos;
  const CaseFreeSearch search(needle);
  YieldTicker ticker(yield);
  int lines_before = 0;  // the lines of the pieces before, each of which ends with a line end
  bool first_piece = true;
  std::string_view text;
  while (pieces.Next(&text)) {
    LineCounter counter(text);
    constexpr std::size_t kNone = std::string_view::npos;
    for (std::size_t at = searched ? search.Find(text, 0) : kNone; at != kNone; at = search.Find(text, counter.end())) {
      counter.MoveTo(at);
      const bool first_line = first_piece && counter.start() == 0;
      hit(text.substr(counter.start(), counter.end() - counter.start()), first_line, lines_before + counter.number());
      ticker.Tick();
    }
    if (searched && !text.empty()) {
      counter.MoveTo(text.size() - 1);
      lines_before += counter.number();
    }
    first_piece = false;
    ticker.Now();
  }
  return pieces.status();
}

}  // namespace

bool ListWritesName(const EntryList& list, std::string_view name) {
  if (list.Contains(name)) return true;
  // A "www." twin (in any case, as keys are compared): the row of the name without it, listed
  // with it.
  return EqualsIgnoreAsciiCase(name.substr(0, kWwwPrefix.size()), kWwwPrefix) &&
         list.ContainsListedWithWww(name.substr(kWwwPrefix.size()));
}

NameTrace::NameTrace(std::string_view name) : name_(name) {
  const bool twin = EqualsIgnoreAsciiCase(name.substr(0, kWwwPrefix.size()), kWwwPrefix);
  key_ = twin ? name.substr(kWwwPrefix.size()) : name;
  // Only a row of a name's length writes it; an allow name takes a row out without its
  // trailing dot too.
  if (HasNameLength(name_) || HasNameLength(key_)) needle_ = WithoutTrailingDot(key_);
}

Status NameTrace::FindNameLines(LinePieces& pieces, SourceKind kind, const YieldFn& yield,
                                std::vector<NameLine>* lines) {
  const EntryList::Mark blocked = rows_.blocked.MarkNow();
  const EntryList::Mark redirected = rows_.redirected.MarkNow();
  std::vector<NameLine> found;
  auto hit = [&](std::string_view line, bool first_line, int number) {
    LoadLine(line, first_line, kind, rows_);
    LoadLine(line, first_line, kind, line_rows_);
    if (ListWritesName(line_rows_.blocked, name_) || ListWritesName(line_rows_.redirected, name_)) {
      found.push_back(FoundLine(line, first_line, number));
    }
    line_rows_.blocked.Clear();
    line_rows_.redirected.Clear();
  };
  const Status status = ForEachLineHolding(pieces, needle_, yield, hit);
  if (!status.ok()) {
    rows_.blocked.RollBack(blocked);
    rows_.redirected.RollBack(redirected);
    return status;
  }
  lines->insert(lines->end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
  return status;
}

Status NameTrace::FindAllowLines(LinePieces& pieces, const YieldFn& yield, std::vector<NameLine>* lines) {
  Session allowed;  // the names of the lines read
  std::vector<NameLine> found;
  auto hit = [&](std::string_view line, bool first_line, int number) {
    line_rows_.blocked.Clear();
    LineAlone one(line, first_line);
    (void)ParseNamesToRemovePieces(one, line_rows_);
    Session twins;
    twins.blocked.Add(name_, "", "");
    twins.blocked.Add(key_, "", "");
    if (RemoveNames(twins, line_rows_.blocked) > 0) found.push_back(FoundLine(line, first_line, number));
    line_rows_.blocked.ForEachRow([&](const EntryList::RowTexts& row) {
      allowed.blocked.Add(row.name, "", "");
      return true;
    });
  };
  const Status status = ForEachLineHolding(pieces, needle_, yield, hit);
  line_rows_.blocked.Clear();
  if (!status.ok()) return status;
  (void)RemoveNames(rows_, allowed.blocked);
  lines->insert(lines->end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
  return status;
}

}  // namespace quorvale
