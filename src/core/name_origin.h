#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "sources_file.h"

// Where a name comes from: the lines of a list that give an entry of that name.

namespace quorvale {

struct NameLine {
  int line_number = 0;  // from 1; lines end at LF, CR LF or CR
  std::string line;     // without its line end
};

// The lines of `data`, read as a list of `kind` reads it (the same items, rules and case
// handling as the loads), that give an entry named `name` (compared as the lists compare
// keys).
std::vector<NameLine> FindNameLines(std::string_view data, SourceKind kind, std::string_view name);

}  // namespace quorvale
