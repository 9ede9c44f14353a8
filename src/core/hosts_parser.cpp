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
  uint32_t hash;
};

// Treats one line; returns whether it gave an entry (a duplicate name counts as one), which
// `entry` then describes.
bool TreatHostsLine(std::string_view raw, std::string& working, Session& session, PendingEntry* entry) {
  working.assign(raw);
  for (char& c : working) {
    if (c == '\t') {
      c = ' ';
    } else {
      c = AsciiLower(c);
    }
  }
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
  entry->hash = EntryList::KeyHash(name);
  entry->list->Prefetch(entry->hash);
  return true;
}

}  // namespace

void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  // Most lines of a big file are blocked names: make room for them at once. Lines too short
  // to hold an address, a space and a 4-character name are not counted, so that a file of
  // blank lines does not reserve a row for each.
  size_t candidates = 0;
  size_t line_start = 0;
  for (size_t end = data.find('\n'); ; end = data.find('\n', end + 1)) {
    size_t line_end = end == std::string_view::npos ? data.size() : end;
    if (line_end - line_start >= kShortestEntryLine) ++candidates;
    if (end == std::string_view::npos) break;
    line_start = end + 1;
  }
  session.list1.Reserve(candidates, data.size(), true);
  RejectedLineSink rejected(session.RejectedLines);
  YieldTicker ticker(yield);
  ItemReader reader(data);
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
  // The loop body runs at least once: an empty file is one empty, rejected line.
  do {
    std::string_view item;
    reader.Next(&item);
    std::string_view raw = TrimSpaces(item);
    if (TreatHostsLine(raw, working[waiting], session, &pending[waiting])) {
      ++session.EntriesLoaded;
      if (++waiting == kBatch) add_waiting();
    } else {
      rejected.Add(raw);
    }
    ticker.Tick();
  } while (!reader.AtEnd());
  add_waiting();
}

Status ParseHostsFile(const std::string& path, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  std::string data;
  Status status = ReadFileBytes(path, &data);
  if (!status.ok()) return status;
  ParseHostsData(data, session, yield);
  return Status::Ok();
}

}  // namespace quorvale
