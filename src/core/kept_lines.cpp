#include "kept_lines.h"

#include <algorithm>

#include "hosts_parser.h"
#include "name_removal.h"

namespace quorvale {

namespace {

// The comment line above the lines kept by one replace, before its date.
constexpr std::string_view kKeptComment = "# Lignes du fichier hosts gardees par la mise a jour du ";
constexpr std::string_view kLineEnd = "\r\n";
// The addresses whose lines the load puts in the first list.
constexpr std::string_view kBlockingAddresses[] = {"127.0.0.1", "0.0.0.0"};

// Whether a physical line surely gives no redirection: blank, a comment, or a single item
// (no comma) that starts with a blocking address and a blank. Most lines of a big HOSTS file
// are such lines, and are not parsed at all.
bool SurelyNoRedirection(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos || line[first] == '#') return true;
  line.remove_prefix(first);
  if (line.find(',') != std::string_view::npos) return false;
  for (std::string_view address : kBlockingAddresses) {
    if (line.size() > address.size() && line.starts_with(address) &&
        (line[address.size()] == ' ' || line[address.size()] == '\t')) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::vector<KeptLine> RedirectionsToKeep(std::string_view hosts_bytes, const Session& lists, const EntryList& allowed) {
  // The lines that may give a redirection, each parsed as in the whole file: an item never
  // depends on another line.
  std::string candidates;
  for (size_t start = 0; start < hosts_bytes.size();) {
    const size_t end = std::min(hosts_bytes.find_first_of("\r\n", start), hosts_bytes.size());
    const std::string_view line = hosts_bytes.substr(start, end - start);
    if (!SurelyNoRedirection(line)) {
      candidates.append(line);
      candidates += '\n';
    }
    start = end + 1;
  }
  Session current;
  current.ResetRejectedLines();
  ParseHostsData(candidates, current);
  RemoveNames(current, allowed);
  std::vector<KeptLine> kept;
  current.redirected.ForEachRow([&](const EntryList::RowTexts& row) {
    if (!lists.blocked.Contains(row.name) && !lists.redirected.Contains(row.name)) {
      kept.push_back({std::string(row.address), std::string(row.name), std::string(row.description)});
    }
    return true;
  });
  return kept;
}

std::string OwnFileWithKeptLines(std::string_view own, const std::vector<KeptLine>& kept, std::string_view date_text) {
  std::string out(own);
  if (!out.empty() && out.back() != '\n') out += kLineEnd;
  out += kKeptComment;
  out += date_text;
  out += kLineEnd;
  for (const KeptLine& line : kept) {
    out += line.address + ' ' + line.name;
    if (!line.description.empty()) out += ' ' + line.description;
    out += kLineEnd;
  }
  return out;
}

}  // namespace quorvale
