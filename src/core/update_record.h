#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// What an update remembers between runs, in its cache folder: which file each write made
// from which inputs (so that the next update with the same inputs writes nothing), and the
// log of the last updates.

namespace quorvale {

// The version of what an update writes from the same inputs and options. Whenever a writer
// gives other bytes for the same lists, it goes up, so that the first update after the
// change writes.
inline constexpr int kOutputFormatVersion = 2;

struct WrittenFile {
  std::string target;         // the path written (as given, or the system HOSTS file's)
  std::string inputs_digest;  // of every input and of the write's options
  std::string file_digest;    // Sha256Hex of the bytes written
  std::int64_t entries = -1;  // the rows written, for the summary of a run that writes nothing
};

// One line per target, tab-separated (the entries last); unknown or broken lines are skipped
// when read.
std::string FormatWrittenFiles(const std::vector<WrittenFile>& files);
std::vector<WrittenFile> ParseWrittenFiles(std::string_view text);
// `files` with `file` in place of the record of the same target (or added).
void RecordWrittenFile(std::vector<WrittenFile>* files, const WrittenFile& file);

// How many lines update.log keeps.
inline constexpr std::size_t kUpdateLogLines = 100;
// `log` with `line` (no line end) added at the end, keeping the last `keep` lines.
std::string AppendLogLine(std::string_view log, std::string_view line, std::size_t keep = kUpdateLogLines);

}  // namespace quorvale
