#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "entry_list.h"
#include "sources_file.h"

// Where a name comes from: the lines of a list that give an entry of that name.

namespace quorvale {

struct NameLine {
  int line_number = 0;  // from 1; lines end at LF, CR LF or CR
  std::string line;     // without its line end
};

// Whether a HOSTS write of `list` without the "www." option writes `name`: a row has it as its
// key (compared as the lists compare keys), or it is the "www." twin of a row listed with
// "www.".
bool ListWritesName(const EntryList& list, std::string_view name);

// The lines of `data`, read as an update reads a list of `kind` (the same items, rules and case
// handling as the loads), that give an entry written as `name` (ListWritesName): the lines
// of "www.example.com" give "example.com" listed with "www.".
std::vector<NameLine> FindNameLines(std::string_view data, SourceKind kind, std::string_view name);

// The lines of an allow list (read as ParseNamesToRemovePieces reads one) whose names take out
// (RemoveNames) the row that writes `name`: the row of that key, or the row of a "www." twin.
std::vector<NameLine> FindAllowLines(std::string_view data, std::string_view name);

}  // namespace quorvale
