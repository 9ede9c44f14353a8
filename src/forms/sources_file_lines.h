#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "core/sources_file.h"

namespace quorvale {

// The sources file as the Sources window edits it: every line kept as it was (comments,
// blank lines, order), with the sources found among them. A source is switched off by a "#"
// written right before its address ("#https://lists.example/hosts"); a "#" followed by a
// blank ("# my lists") or by a line that is not a source is a comment and stays one. A line
// that is neither a comment nor a source is a malformed entry, kept until it is changed or
// removed.
class SourcesFileLines {
 public:
  struct Entry {
    size_t line = 0;  // from 0
    bool enabled = true;
    // For a malformed entry, what the editor starts from: the line without the blanks around
    // it, less its last word when that is a kind.
    Source source;
    SourceFault malformed;  // why the line is no source; kNone for a source
  };

  // Takes the file's text ("" for a file that is not there yet).
  explicit SourcesFileLines(std::string_view text);

  const std::vector<Entry>& entries() const { return entries_; }
  // The line of entry `index` as the file holds it, without the blanks around it.
  std::string_view LineText(size_t index) const;
  // The file's text after the changes: the lines in order, each ended as the file ended its
  // first line (CR LF for a new file).
  std::string Text() const;

  // A new source at the end of the file, switched on.
  void Add(std::string_view address, SourceKind kind);
  // Entry `index` becomes this source, on or off as it was.
  void Change(size_t index, std::string_view address, SourceKind kind);
  void Remove(size_t index);
  // A malformed entry stays switched on.
  void SetEnabled(size_t index, bool enabled);

 private:
  // Finds the sources among the lines again.
  void FindEntries();

  std::vector<std::string> lines_;  // without their line ends
  std::string line_end_;
  bool last_line_ended_ = true;
  std::vector<Entry> entries_;
};

}  // namespace quorvale
