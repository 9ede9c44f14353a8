#include "hosts_parser.h"

#include <algorithm>

#include "item_reader.h"
#include "text.h"

namespace quorvale {

namespace {

// Treats one line; returns whether it gave an entry (a duplicate name counts as one).
bool TreatHostsLine(std::string_view raw, std::string& working, Session& session) {
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
  std::string_view name = rest;
  std::string_view comment;
  size_t hash = rest.find('#');
  if (hash != std::string_view::npos) {
    comment = rest.substr(hash);
    name = rest.substr(0, hash);
    size_t last = name.find_last_not_of(' ');
    name = last == std::string_view::npos ? std::string_view() : name.substr(0, last + 1);
  }
  size_t slash = name.find('/');
  if (slash != std::string_view::npos) name = name.substr(0, slash);

  if (name.size() < 4 || name.size() > 128) return false;
  if (StartsWith(name, "#")) return false;
  if (name.find(' ') != std::string_view::npos) return false;
  if (name == "localhost") return false;

  EntryList& list = blocked ? session.list1 : session.list2;
  list.Add(name, address, TrimSpaces(comment));
  return true;
}

}  // namespace

void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  // Most lines of a big file are blocked names: make room for them at once.
  size_t lines = static_cast<size_t>(std::count(data.begin(), data.end(), '\n')) + 1;
  session.list1.Reserve(lines, data.size(), true);
  RejectedLineSink rejected(session.RejectedLines);
  YieldTicker ticker(yield);
  ItemReader reader(data);
  std::string working;
  // The loop body runs at least once: an empty file is one empty, rejected line.
  do {
    std::string_view item;
    reader.Next(&item);
    std::string_view raw = TrimSpaces(item);
    if (TreatHostsLine(raw, working, session)) {
      ++session.EntriesLoaded;
    } else {
      rejected.Add(raw);
    }
    ticker.Tick();
  } while (!reader.AtEnd());
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
