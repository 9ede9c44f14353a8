// Parses arbitrary bytes as a HOSTS file, writes both lists with their descriptions, and
// parses the result into a fresh session: the same rows must come back.
//
// Two kinds of row cannot come back, by the file format's own rules:
// - a name holding a comma (only a quoted line can carry one; written out unquoted, the
//   comma splits the line, and the second half may even become a row of its own), so inputs
//   that produce one are only parsed and written, not compared (a description begins with
//   "#", and a comment keeps its commas);
// - a row whose name and description hold no letter a-z: the parser only looks at lines with
//   a letter after the address, and the first time the letter may have been in a part it
//   then dropped ("0.0.0.0 1234/abc" gives the name "1234"). With the "www." lines such a
//   row does come back, from its "www." twin, so then every row must.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/hosts_parser.h"
#include "core/hosts_writer.h"
#include "core/session.h"
#include "core/text.h"
#include "fuzz_check.h"

namespace {

using Row = std::tuple<std::string, std::string, std::string>;

std::vector<Row> Rows(const quorvale::EntryList& list, std::string_view address_override, bool all) {
  std::vector<Row> rows;
  for (size_t row = 0; row < list.size(); ++row) {
    std::string_view name = list.Name(row);
    std::string_view description = list.Description(row);
    if (!all && !quorvale::HasLetter(name) && !quorvale::HasLetter(description)) continue;
    rows.emplace_back(name, description, address_override.empty() ? list.Address(row) : address_override);
  }
  return rows;
}

bool HasComma(const quorvale::EntryList& list) {
  for (size_t row = 0; row < list.size(); ++row) {
    if (list.Name(row).find(',') != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  const std::string_view data(reinterpret_cast<const char*>(bytes), size);
  quorvale::Session first;
  first.ResetRejectedLines();
  quorvale::ParseHostsData(data, first);
  const bool comparable = !HasComma(first.blocked) && !HasComma(first.redirected);

  for (bool www : {false, true}) {
    for (std::string_view redirect : {"127.0.0.1", "0.0.0.0"}) {
      std::string written;
      quorvale::FormatHostsFile(first, {std::string(redirect), www, true}, "01/01/70 00:00:00", &written);
      quorvale::Session second;
      second.ResetRejectedLines();
      quorvale::ParseHostsData(written, second);
      if (!comparable) continue;
      const std::vector<Row> blocked = Rows(first.blocked, redirect, www);
      const std::vector<Row> redirected = Rows(first.redirected, {}, www);
      FUZZ_CHECK(Rows(second.blocked, {}, true) == blocked);
      FUZZ_CHECK(Rows(second.redirected, {}, true) == redirected);
    }
  }
  return 0;
}
