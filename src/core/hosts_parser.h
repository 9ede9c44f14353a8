#pragma once

#include <string>
#include <string_view>

#include "item_reader.h"
#include "session.h"
#include "status.h"
#include "yield.h"

namespace quorvale {

// Parses a HOSTS-format file into the session's lists. Lines redirected to exactly
// "127.0.0.1" or "0.0.0.0" go to list1, any other valid address to list2; every line that
// gives no entry is stored, trimmed of spaces, in RejectedLines from index 0 (the caller has
// reset it to one empty element). EntriesLoaded counts the accepted lines, duplicates
// included. Fails only when the file cannot be read; then nothing is added.
Status ParseHostsFile(const std::string& path, Session& session, const YieldFn& yield = {});

// The same over data already in memory.
void ParseHostsData(std::string_view data, Session& session, const YieldFn& yield = {});

// The same over a file read a piece at a time. When reading fails half-way, the lists, the
// rejected lines (back to one empty element) and the count are as if nothing had been read,
// and the read error is returned.
Status ParseHostsPieces(LinePieces& pieces, Session& session, const YieldFn& yield = {});

// Stores a rejected line at the next index of RejectedLines (overwriting the initial empty
// element first), as the parsers do.
class RejectedLineSink {
 public:
  explicit RejectedLineSink(std::vector<std::string>& lines) : lines_(lines) {}
  void Add(std::string_view line) {
    if (next_ < lines_.size()) {
      lines_[next_].assign(line);
    } else {
      lines_.emplace_back(line);
    }
    ++next_;
  }

 private:
  std::vector<std::string>& lines_;
  size_t next_ = 0;
};

}  // namespace quorvale
