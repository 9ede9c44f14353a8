#include "hosts_parser.h"

#include <algorithm>

#include "item_reader.h"
#include "text.h"

namespace quorvale {

namespace {

// ":::" (four empty hexadecimal groups), a space and a 4-character name.
constexpr size_t kShortestEntryLine = 8;

// An accepted line waiting to be added; its texts live in the line's working buffer.
struct PendingEntry {
  EntryList* list;
  std::string_view name;
  std::string_view address;
  std::string_view comment;
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
  rest = TrimSpaces(rest);
  while (StartsWith(rest, "www.") || StartsWith(rest, "http://")) {
    if (StartsWith(rest, "www.")) rest.remove_prefix(4);
    if (StartsWith(rest, "http://")) rest.remove_prefix(7);
  }

  // The name is the text before the first "#" with its trailing spaces (tabs became spaces
  // above) removed; the comment runs from the "#" to the end.
  std::string_view name;
  std::string_view comment;
  SplitNameAndComment(rest, " ", &name, &comment);
  size_t slash = name.find('/');
  if (slash != std::string_view::npos) name = name.substr(0, slash);

  if (name.size() < 4 || name.size() > 128) return false;
  if (StartsWith(name, "#")) return false;
  if (name.find(' ') != std::string_view::npos) return false;
  if (name == "localhost") return false;

  entry->list = blocked ? &session.list1 : &session.list2;
  entry->name = name;
  entry->address = address;
  entry->comment = TrimSpaces(comment);
  return true;
}

}  // namespace

Status ParseHostsPieces(LinePieces& pieces, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  const EntryList::Mark mark1 = session.list1.MarkNow();
  const EntryList::Mark mark2 = session.list2.MarkNow();
  RejectedLineSink rejected(session.RejectedLines);
  YieldTicker ticker(yield);
  bool room_made = false;
  // Accepted lines are added to their lists a batch at a time, in file order (AddRows looks
  // the keys of a batch up ahead of adding them); each keeps its working buffer until then.
  constexpr size_t kBatch = 64;
  std::string working[kBatch];
  PendingEntry pending[kBatch];
  size_t waiting = 0;
  auto add_waiting = [&] {
    EntryList::NewRow rows1[kBatch];
    EntryList::NewRow rows2[kBatch];
    size_t count1 = 0;
    size_t count2 = 0;
    for (size_t i = 0; i < waiting; ++i) {
      const PendingEntry& entry = pending[i];
      const EntryList::NewRow row{entry.name, entry.address, entry.comment};
      if (entry.list == &session.list1) {
        rows1[count1++] = row;
      } else {
        rows2[count2++] = row;
      }
    }
    session.list1.AddRows({rows1, count1});
    session.list2.AddRows({rows2, count2});
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
  ForEachItem(pieces, make_room, treat);
  add_waiting();
  if (!pieces.status().ok()) {
    // A file that could not be read to its end adds nothing.
    session.list1.RollBack(mark1);
    session.list2.RollBack(mark2);
    session.RejectedLines.assign(1, std::string());
    session.EntriesLoaded = 0;
  }
  return pieces.status();
}

void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield) {
  WholeData pieces(data);
  ParseHostsPieces(pieces, session, yield);
}

Status ParseHostsFile(const std::string& path, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  FilePieces pieces;
  Status status = pieces.Open(path);
  if (!status.ok()) return status;
  return ParseHostsPieces(pieces, session, yield);
}

}  // namespace quorvale
