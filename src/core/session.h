#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "entry_list.h"
#include "sort_buffer.h"
#include "status.h"

namespace quorvale {

// The program-wide state, owned by the main window (or by the command-line tool) for the
// whole run. The variable names are the program's own.
struct Session {
  // Blocked names (redirected to "127.0.0.1" or "0.0.0.0", and every plain-list name).
  EntryList blocked;
  // Names redirected to any other address.
  EntryList redirected;
  // Names taken out of the lists by allow.txt or a list of names to remove, kept so that a
  // zone that blocks the names around them can still let them through.
  EntryList allowed;

  // Lines of the last load that gave no entry. Each load resets it to one empty element.
  std::vector<std::string> RejectedLines;
  // Entries accepted by the parse that is running or ran last.
  int32_t EntriesLoaded = 0;
  // The options window's last choice.
  std::string RedirectAddress;
  bool AddWwwLines = false;
  bool OptionsAccepted = false;
  SortBuffer SortArray;

  void ResetRejectedLines() { RejectedLines.assign(1, std::string()); }
  size_t RowCount() const { return blocked.size() + redirected.size(); }
};

}  // namespace quorvale
