#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "entry_list.h"
#include "item_reader.h"
#include "session.h"
#include "sources_file.h"
#include "status.h"
#include "yield.h"

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

// Follows one name through the inputs of an update without loading them: the inputs are read
// a piece at a time, in the order LoadUpdate loads them (own.txt, the copies, then allow.txt),
// and only the lines that hold the name's text (in any case, without "www." and a trailing
// dot) are read as the loads read them, into lists of their own. Every line that gives or
// takes out a row that writes the name holds that text, so that those lists say where the
// name lands as the lists of the whole load would.
class NameTrace {
 public:
  explicit NameTrace(std::string_view name);
  NameTrace(const NameTrace&) = delete;
  NameTrace& operator=(const NameTrace&) = delete;

  // Reads `pieces` to its end as an update reads a list of `kind` (the same items, rules and
  // case handling as its load) and appends to `*lines` the lines that give an entry written
  // as the name (ListWritesName): the lines of "www.example.com" give "example.com" listed
  // with "www.". Offers `yield` as the loads do. A read that fails (its status is returned)
  // adds no line and no entry, as a load that fails.
  Status FindNameLines(LinePieces& pieces, SourceKind kind, const YieldFn& yield, std::vector<NameLine>* lines);

  // Reads an allow list (as ParseNamesToRemovePieces reads one) and appends to `*lines` the
  // lines whose names take out (RemoveNames) the row that writes the name: the row of that
  // key, or the row of a "www." twin. Once it is read whole, its names are taken out of the
  // rows read so far.
  Status FindAllowLines(LinePieces& pieces, const YieldFn& yield, std::vector<NameLine>* lines);

  // Whether a HOSTS write of the lists of the inputs read so far writes the name
  // (ListWritesName), from the blocked list or from the redirected one.
  bool blocked() const { return ListWritesName(rows_.blocked, name_); }
  bool redirected() const { return ListWritesName(rows_.redirected, name_); }

 private:
  std::string name_;
  std::string key_;     // the name without "www.": the row of its twin
  std::string needle_;  // the text every line that gives or takes out one of the rows holds; "" for none
  Session rows_;        // the rows of the lines read that hold needle_
  Session line_rows_;   // the rows of one line alone
};

}  // namespace quorvale
