#pragma once

#include <iterator>
#include <string>
#include <string_view>

#include "core/status.h"

namespace quorvale {

// The privileged helper (quorvale-helper) and the programs that start it share these: its
// exit codes and the one line in which it tells how a step ended.

inline constexpr int kHelperExitDone = 0;
inline constexpr int kHelperExitFailed = 2;   // refused, or a step failed
inline constexpr int kHelperExitBusy = 3;     // another replace held the lock too long

// What became of the DNS cache after a replace or a restore.
enum class DnsCacheResult { kNotTried, kFlushed, kStarted, kNotDone };

struct HelperOutcome {
  int exit_code = kHelperExitDone;
  // "" when done; else the step that failed: "usage" (the arguments were refused), "lock",
  // "read", "backup", "write", "attributes" (the replace's steps) or "access" (the lock tool).
  std::string failed_step;
  Status failure;  // code, subject and the system's reason
  DnsCacheResult dns = DnsCacheResult::kNotTried;
  Status dns_why;  // for kNotDone
};

// One line, ending with a line feed: the fields above separated by tabs, a tab, a line end
// or a backslash inside a field written as \t, \n, \r or \\.
std::string FormatHelperOutcome(const HelperOutcome& outcome);
// Reads a line of FormatHelperOutcome (with or without its line feed); false for any other.
bool ParseHelperOutcome(std::string_view line, HelperOutcome* outcome);

// The files the schedule step copies, in the order of its input.
inline constexpr const char* kScheduledFiles[] = {"sources.txt", "own.txt", "allow.txt"};
inline constexpr size_t kScheduledFileCount = std::size(kScheduledFiles);
// The record, in the same folder, of which of those files the schedule step wrote there, one
// name a line: the step removes only those, and so does the package's purge.
inline constexpr const char* kScheduleRecordFile = "helper-written.txt";

// The schedule step's input: each file's bytes after a line "LENGTH\n" (an empty file, or a
// missing one, is "0\n").
std::string SchedulePieces(const std::string (&files)[kScheduledFileCount]);
// Reads SchedulePieces' bytes back; false when they are not exactly that.
bool SplitSchedulePieces(std::string_view bytes, std::string (&files)[kScheduledFileCount]);

}  // namespace quorvale
