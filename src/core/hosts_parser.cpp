#include "hosts_parser.h"

#include <algorithm>
#include <new>

#include "item_reader.h"
#include "name_rules.h"
#include "rejected_lines.h"
#include "text.h"

namespace quorvale {

namespace {

// ":::" (four empty hexadecimal groups), a space and the shortest name.
constexpr size_t kShortestEntryLine = 4 + kShortestName;

// An accepted line waiting to be added; its texts live in the line's working buffer.
struct PendingEntry {
  EntryList* list;
  std::string_view name;
  std::string_view address;
  std::string_view comment;
  uint32_t hash;
};

// Treats one line; returns whether it gave an entry (a duplicate name counts as one), which
// `entry` then describes.
bool TreatHostsLine(std::string_view raw, std::string& working, Session& session, PendingEntry* entry) {
  working.assign(raw);
  AsciiLowerTabsToSpaces(working.data(), working.size());
  std::string_view line = working;
  if (StartsWith(line, "#")) return false;
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;

  std::string_view address = line.substr(0, space);
  if (!IsDottedQuad(address) && !IsHexGroups(address)) return false;
  const bool blocked = address == "127.0.0.1" || address == "0.0.0.0";

  std::string_view rest = line.substr(space + 1);
  if (!HasLetter(rest)) return false;
  rest = StripWebPrefixes(TrimSpaces(rest));

  // The name is the text before the first "#" with its trailing spaces (tabs became spaces
  // above) removed; the comment runs from the "#" to the end.
  std::string_view name;
  std::string_view comment;
  SplitNameAndComment(rest, " ", &name, &comment);
  size_t slash = name.find('/');
  if (slash != std::string_view::npos) name = name.substr(0, slash);

  if (!HasNameLength(name)) return false;
  if (StartsWith(name, "#")) return false;
  if (name.find(' ') != std::string_view::npos) return false;
  if (name == "localhost") return false;

  entry->list = blocked ? &session.list1 : &session.list2;
  entry->name = name;
  entry->address = address;
  entry->comment = TrimSpaces(comment);
  entry->hash = EntryList::KeyHash(name);
  entry->list->Prefetch(entry->hash);
  return true;
}

}  // namespace

Status ParseHostsPieces(LinePieces& pieces, Session& session, const YieldFn& yield) {
  const Session::LoadMark mark = session.BeginLoad();
  RejectedLineSink rejected(session.RejectedLines);
  YieldTicker ticker(yield);
  bool room_made = false;
  // Accepted lines are added in small batches, in file order, after their index slots were
  // announced to the memory system.
  constexpr size_t kBatch = 16;
  std::string working[kBatch];
  PendingEntry pending[kBatch];
  size_t waiting = 0;
  auto add_waiting = [&] {
    for (size_t i = 0; i < waiting; ++i) {
      const PendingEntry& entry = pending[i];
      entry.list->Add(entry.name, entry.address, entry.comment, entry.hash);
    }
    waiting = 0;
  };
  auto treat = [&](std::string_view item) {
    std::string_view raw = TrimSpaces(item);
    if (TreatHostsLine(raw, working[waiting], session, &pending[waiting])) {
      ++session.EntriesLoaded;
      if (++waiting == kBatch) add_waiting();
    } else {
      rejected.Add(raw);
    }
    ticker.Tick();
  };
  // Most lines of a big file are blocked names: room for them is made at once, from the
  // first piece's share of lines long enough to hold an address, a space and a 4-character
  // name (so that a file of blank lines does not reserve a row for each).
  auto make_room = [&](std::string_view piece) {
    if (room_made) return;
    room_made = true;
    size_t candidates = 0;
    size_t line_start = 0;
    for (size_t end = piece.find('\n');; end = piece.find('\n', end + 1)) {
      size_t line_end = end == std::string_view::npos ? piece.size() : end;
      if (line_end - line_start >= kShortestEntryLine) ++candidates;
      if (end == std::string_view::npos) break;
      line_start = end + 1;
    }
    const uint64_t total = std::max<uint64_t>(pieces.size_hint(), piece.size());
    if (!piece.empty()) candidates = static_cast<size_t>(static_cast<double>(candidates) * total / piece.size());
    session.list1.Reserve(candidates, static_cast<size_t>(total), true, [&ticker] { ticker.Now(); });
  };
  try {
    ForEachItem(pieces, make_room, treat);
    add_waiting();
  } catch (const std::bad_alloc&) {
    return session.FinishLoad(OutOfMemory(""), mark);
  }
  return session.FinishLoad(pieces.status(), mark);
}

void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield) {
  WholeData pieces(data);
  // Data in memory is always read to its end: the result is Ok.
  (void)ParseHostsPieces(pieces, session, yield);
}

Status ParseHostsFile(const std::string& path, Session& session, const YieldFn& yield, InputKinds kinds) {
  session.EntriesLoaded = 0;
  FilePieces pieces;
  Status status = pieces.Open(path, kinds);
  if (!status.ok()) return status;
  return AboutSubject(ParseHostsPieces(pieces, session, yield), path);
}

}  // namespace quorvale
