#include "domain_parser.h"

#include <algorithm>
#include <new>

#include "item_reader.h"
#include "list_load.h"
#include "name_rules.h"
#include "text.h"

namespace quorvale {

namespace {

constexpr std::string_view kPlainListAddress = "127.0.0.1";

// The letter a plain-list name needs.
enum class NameLetters {
  kLowerCase,   // a list to load: "EXAMPLE.COM" gives no row
  kEitherCase,  // names to remove, which are compared without regard to case
};

// Treats one item of a plain list; returns whether it gave an entry (a duplicate name
// counts as one).
bool TreatDomainLine(std::string_view raw, Session& session, NameLetters letters, WwwListing www) {
  if (StartsWith(raw, "#")) return false;
  bool had_www = false;
  std::string_view name = StripWebPrefixes(TrimSpaces(raw), &had_www);
  if (!(letters == NameLetters::kLowerCase ? HasLetter(name) : HasLetterOfEitherCase(name))) return false;

  // The name is the text before the first "#" without its trailing spaces and tabs, and
  // without the path of a pasted URL; the comment runs from the "#" to the end.
  std::string_view comment;
  SplitNameAndComment(name, " \t", &name, &comment);
  name = WithoutPath(name);
  if (!HasNameLength(name)) return false;
  if (!HasOnlyNameBytes(name)) return false;

  session.blocked.Add(name, kPlainListAddress, TrimSpaces(comment), www == WwwListing::kFlag && had_www);
  return true;
}

// Removes every occurrence of `needle` in one left-to-right pass (what is left after a
// removal is not searched again for a match that the removal created).
void RemoveAll(std::string& text, std::string_view needle) {
  size_t found = text.find(needle);
  if (found == std::string::npos) return;
  size_t write = found;
  size_t read = found + needle.size();
  while (true) {
    size_t next = text.find(needle, read);
    size_t stop = next == std::string::npos ? text.size() : next;
    std::copy(text.begin() + static_cast<std::ptrdiff_t>(read), text.begin() + static_cast<std::ptrdiff_t>(stop),
              text.begin() + static_cast<std::ptrdiff_t>(write));
    write += stop - read;
    if (next == std::string::npos) break;
    read = next + needle.size();
  }
  text.resize(write);
}

// Treats one item of a domain-only file; returns the entry to store, or false when the item
// is skipped. `s` is a working buffer that the entry may point into.
bool TreatDomainOnlyLine(std::string_view item, std::string& s, std::string_view* entry) {
  s.assign(TrimSpaces(item));
  AsciiLowerInPlace(s);
  if (!HasLetter(s) || s.size() < 4 || StartsWith(s, ".")) return false;
  if (s.find('#') != std::string::npos && s.find(" #[") == std::string::npos) return false;

  // Blocking addresses in front of the name are removed, wherever they occur.
  RemoveAll(s, "127.0.0.1\t");
  RemoveAll(s, "127.0.0.1 ");
  RemoveAll(s, "0.0.0.0\t");
  RemoveAll(s, "0.0.0.0 ");
  std::string_view rest = TrimSpaces(s);
  while (StartsWith(rest, "www.")) rest.remove_prefix(4);

  if (StartsWith(rest, ".")) return false;
  if (EqualsIgnoreAsciiCase(rest, "localhost") || EqualsIgnoreAsciiCase(rest, "filtered.By.qalvern")) return false;
  if (StartsWith(rest, "#")) return false;
  *entry = TrimSpaces(rest);
  return true;
}

Status ParsePlainList(LinePieces& pieces, Session& session, const YieldFn& yield, NameLetters letters,
                      WwwListing www) {
  ListLoad load(session);
  YieldTicker ticker(yield);
  ticker.Now();
  return load.Run(pieces, [&] {
    ForEachItem(
        pieces, [](std::string_view) {},
        [&](std::string_view raw) {
          if (TreatDomainLine(raw, session, letters, www)) {
            ++session.EntriesLoaded;
          } else {
            load.rejected().Add(raw);
          }
          ticker.Tick();
        });
  });
}

}  // namespace

Status ParseDomainListPieces(LinePieces& pieces, Session& session, const YieldFn& yield, WwwListing www) {
  return ParsePlainList(pieces, session, yield, NameLetters::kLowerCase, www);
}

void ParseDomainListData(std::string_view data, Session& session, const YieldFn& yield, WwwListing www) {
  WholeData pieces(data);
  // Data in memory is always read to its end: the result is Ok.
  (void)ParseDomainListPieces(pieces, session, yield, www);
}

Status ParseNamesToRemovePieces(LinePieces& pieces, Session& session) {
  return ParsePlainList(pieces, session, {}, NameLetters::kEitherCase, WwwListing::kIgnore);
}

Status LoadDomainOnlyPieces(LinePieces& pieces, SortBuffer& buffer, const YieldFn& yield) {
  const size_t items = buffer.size();
  const size_t bytes = buffer.text_bytes();
  bool first = true;
  bool empty = false;
  YieldTicker ticker(yield);
  std::string working;
  Status read;
  try {
    ForEachItem(
        pieces,
        [&](std::string_view piece) {
          if (!first) return;
          first = false;
          if (ItemReader(piece).AtEnd()) {
            // Only a byte-order mark: nothing to read.
            empty = true;
            return;
          }
          // One line is at most one entry and no entry is longer than its line: room for the
          // whole file (the first piece's lines scaled to its size) spares the regrowth copies.
          const uint64_t total = std::max<uint64_t>(pieces.size_hint(), piece.size());
          const double lines = static_cast<double>(std::count(piece.begin(), piece.end(), '\n') + 1);
          buffer.Reserve(static_cast<size_t>(lines * total / piece.size()), static_cast<size_t>(total));
        },
        [&](std::string_view item) {
          if (first) empty = true;  // an empty file: its one empty item
          if (empty) return;
          std::string_view entry;
          if (TreatDomainOnlyLine(item, working, &entry)) buffer.Append(entry);
          ticker.Tick();
        });
    read = pieces.status();
  } catch (const std::bad_alloc&) {
    read = OutOfMemory("");
  }
  ticker.Now();
  if (!read.ok()) {
    buffer.RollBack(items, bytes);
    return read;
  }
  if (empty) return Status(ErrorCode::kEmpty, "", "nothing to read");
  return Status::Ok();
}

Status LoadDomainOnlyData(std::string_view data, SortBuffer& buffer, const YieldFn& yield) {
  WholeData pieces(data);
  return LoadDomainOnlyPieces(pieces, buffer, yield);
}

}  // namespace quorvale
