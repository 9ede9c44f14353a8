#include "hosts_parser.h"

#include <algorithm>

#include "item_reader.h"
#include "list_load.h"
#include "name_rules.h"
#include "text.h"

namespace quorvale {

namespace {

// ":::" (four empty hexadecimal groups), a space and the shortest name.
constexpr size_t kShortestEntryLine = 4 + kShortestName;

// The parts of a line that gives an entry; they view the line's working buffer.
struct HostsLineParts {
  std::string_view address;
  std::string_view name;
  std::string_view comment;  // untrimmed
  bool had_www;              // the name came with "www." in front
};

// An accepted line waiting to be added; its texts live in the line's working buffer.
struct PendingEntry {
  EntryList* list;
  std::string_view name;
  std::string_view address;
  std::string_view comment;
  bool listed_with_www;
  uint32_t hash;  // from EntryList::KeyAhead
};

// The HOSTS grammar: whether one line (an item, trimmed of spaces) gives an entry, which
// `parts` then describes. `working` receives the lower-cased copy that the parts view.
bool ReadHostsLine(std::string_view raw, std::string& working, HostsLineParts* parts) {
  working.assign(raw);
  AsciiLowerTabsToSpaces(working.data(), working.size());
  std::string_view line = working;
  if (StartsWith(line, "#")) return false;
  size_t space = line.find(' ');
  if (space == std::string_view::npos) return false;

  std::string_view address = line.substr(0, space);
  if (!IsDottedQuad(address) && !IsHexGroups(address)) return false;

  std::string_view rest = line.substr(space + 1);
  if (!HasLetter(rest)) return false;
  bool had_www = false;
  rest = StripWebPrefixes(TrimSpaces(rest), &had_www);

  // The name is the text before the first "#" with its trailing spaces (tabs became spaces
  // above) removed; the comment runs from the "#" to the end.
  std::string_view name;
  std::string_view comment;
  SplitNameAndComment(rest, " ", &name, &comment);
  name = WithoutPath(name);

  if (!HasNameLength(name)) return false;
  if (!HasOnlyNameBytes(name)) return false;
  if (name == "localhost") return false;

  *parts = {address, name, comment, had_www};
  return true;
}

// Treats one line; returns whether it gave an entry (a duplicate name counts as one), which
// `entry` then describes.
bool TreatHostsLine(std::string_view raw, std::string& working, Session& session, WwwListing www,
                    PendingEntry* entry) {
  HostsLineParts parts;
  if (!ReadHostsLine(raw, working, &parts)) return false;
  const bool blocked = parts.address == "127.0.0.1" || parts.address == "0.0.0.0";
  entry->list = blocked ? &session.blocked : &session.redirected;
  entry->name = parts.name;
  entry->address = parts.address;
  entry->comment = TrimSpaces(parts.comment);
  entry->listed_with_www = www == WwwListing::kFlag && parts.had_www;
  entry->hash = entry->list->KeyAhead(entry->name);
  return true;
}

// Whether a physical line is one that a replace keeps (see LinesToCarry).
bool IsLineToCarry(std::string_view line, std::string& working) {
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos || line[first] == '#') return false;
  ItemReader reader(line, /*at_start=*/false);
  std::string_view item;
  HostsLineParts parts;
  while (reader.Next(&item)) {
    if (ReadHostsLine(TrimSpaces(item), working, &parts)) return false;
  }
  return true;
}

}  // namespace

Status ParseHostsPieces(LinePieces& pieces, Session& session, const YieldFn& yield, WwwListing www) {
  ListLoad load(session);
  YieldTicker ticker(yield);
  bool room_made = false;
  // Accepted lines are added to their lists a batch at a time, in file order, their keys
  // announced (KeyAhead) as they were read; each keeps its working buffer until then.
  constexpr size_t kBatch = 16;
  std::string working[kBatch];
  PendingEntry pending[kBatch];
  size_t waiting = 0;
  auto add_waiting = [&] {
    for (size_t i = 0; i < waiting; ++i) {
      const PendingEntry& entry = pending[i];
      entry.list->AddKeyed(entry.name, entry.address, entry.comment, entry.listed_with_www, entry.hash);
    }
    waiting = 0;
  };
  auto treat = [&](std::string_view item) {
    std::string_view raw = TrimSpaces(item);
    if (TreatHostsLine(raw, working[waiting], session, www, &pending[waiting])) {
      ++session.EntriesLoaded;
      if (++waiting == kBatch) add_waiting();
    } else {
      load.rejected().Add(raw);
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
    session.blocked.Reserve(candidates, static_cast<size_t>(total), true, [&ticker] { ticker.Now(); });
  };
  return load.Run(pieces, [&] {
    ForEachItem(pieces, make_room, treat);
    add_waiting();
  });
}

void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield, WwwListing www) {
  WholeData pieces(data);
  // Data in memory is always read to its end: the result is Ok.
  (void)ParseHostsPieces(pieces, session, yield, www);
}

std::vector<std::string> LinesToCarry(std::string_view hosts_file_bytes) {
  std::vector<std::string> lines;
  std::string working;
  std::string_view rest = WithoutUtf8Bom(hosts_file_bytes);
  while (!rest.empty()) {
    const size_t end = std::min(rest.find_first_of("\r\n"), rest.size());
    const std::string_view line = rest.substr(0, end);
    if (IsLineToCarry(line, working)) lines.emplace_back(line);
    const bool crlf = rest.substr(end, 2) == "\r\n";
    rest.remove_prefix(std::min(rest.size(), end + (crlf ? 2 : 1)));
  }
  return lines;
}

bool GivesOnlyEntries(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos || line[first] == '#') return false;
  ItemReader reader(line, /*at_start=*/false);
  std::string_view item;
  std::string working;
  HostsLineParts parts;
  while (reader.Next(&item)) {
    if (!ReadHostsLine(TrimSpaces(item), working, &parts)) return false;
  }
  return true;
}

}  // namespace quorvale
