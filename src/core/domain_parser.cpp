#include "domain_parser.h"

#include <algorithm>

#include "hosts_parser.h"
#include "item_reader.h"
#include "text.h"

namespace quorvale {

namespace {

constexpr std::string_view kPlainListAddress = "127.0.0.1";

// Treats one item of a plain list; returns whether it gave an entry (a duplicate name
// counts as one).
bool TreatDomainLine(std::string_view raw, Session& session) {
  if (StartsWith(raw, "#")) return false;
  std::string_view name = TrimSpaces(raw);
  // The prefixes are compared exactly: "WWW." and "HTTP://" stay.
  while (StartsWith(name, "www.") || StartsWith(name, "http://")) {
    if (StartsWith(name, "www.")) name.remove_prefix(4);
    if (StartsWith(name, "http://")) name.remove_prefix(7);
  }
  if (!HasLetter(name)) return false;

  // The name is the text before the first "#" without its trailing spaces and tabs; the
  // comment runs from the "#" to the end.
  std::string_view comment;
  SplitNameAndComment(name, " \t", &name, &comment);
  if (name.size() < 4 || name.size() > 128) return false;
  if (name.find_first_of(" \t#[]") != std::string_view::npos) return false;

  session.list1.Add(name, kPlainListAddress, TrimSpaces(comment));
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

}  // namespace

void ParseDomainListData(std::string_view data, Session& session, const YieldFn& yield) {
  session.EntriesLoaded = 0;
  RejectedLineSink rejected(session.RejectedLines);
  YieldTicker ticker(yield);
  ticker.Now();
  ItemReader reader(data);
  // The loop body runs at least once: an empty file is one empty, rejected line.
  do {
    std::string_view raw;
    reader.Next(&raw);
    if (TreatDomainLine(raw, session)) {
      ++session.EntriesLoaded;
    } else {
      rejected.Add(raw);
    }
    ticker.Tick();
  } while (!reader.AtEnd());
}

Status ParseDomainList(const std::string& path, Session& session, const YieldFn& yield) {
  std::string data;
  Status status = ReadFileBytes(path, &data);
  if (!status.ok()) data.clear();
  ParseDomainListData(data, session, yield);
  return status;
}

Status LoadDomainOnlyData(std::string_view data, SortBuffer& buffer, const YieldFn& yield) {
  ItemReader reader(data);
  if (reader.AtEnd()) return Status(ErrorCode::kEmpty, "nothing to read");

  // One line is at most one entry and no entry is longer than its line: reserving for the
  // whole file spares the regrowth copies.
  buffer.Reserve(static_cast<size_t>(std::count(data.begin(), data.end(), '\n')) + 1, data.size());
  YieldTicker ticker(yield);
  std::string working;
  do {
    std::string_view item;
    reader.Next(&item);
    std::string_view entry;
    if (TreatDomainOnlyLine(item, working, &entry)) buffer.Append(entry);
    ticker.Tick();
  } while (!reader.AtEnd());
  ticker.Now();
  return Status::Ok();
}

Status LoadDomainOnlyFile(const std::string& path, SortBuffer& buffer, const YieldFn& yield) {
  std::string data;
  Status status = ReadFileBytes(path, &data);
  if (!status.ok()) return status;
  status = LoadDomainOnlyData(data, buffer, yield);
  if (!status.ok()) return Status(status.code(), path + ": " + status.detail());
  return status;
}

}  // namespace quorvale
