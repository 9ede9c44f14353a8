#pragma once

#include <iterator>
#include <string>
#include <string_view>

#include "core/status.h"

namespace quorvale {

// The privileged helper (quorvale-helper) and the programs that start it share these: its
// steps, its exit codes and the one line in which it tells how a step ended.

namespace helper_steps {
// Replaces the system HOSTS file with the bytes it is given (a HOSTS file as the window
// formats it, without carried lines: the helper puts in those of the file it replaces; the
// input is framed and checked, see helper_input.h).
inline constexpr std::string_view kReplace = "replace";
// Puts the backup copy NAME in place of the system HOSTS file.
inline constexpr std::string_view kRestore = "restore";
// Takes every right on the system HOSTS file from the user who asked, or gives them back.
inline constexpr std::string_view kLock = "lock";
inline constexpr std::string_view kUnlock = "unlock";
// Empties the system's DNS cache.
inline constexpr std::string_view kFlushDns = "flush-dns";
// Writes nothing: prints the HOSTS file it would write and the user it would lock out, one
// per line, so that tests can see which ones it takes.
inline constexpr std::string_view kWhere = "where";
// "on" or "off": the daily update of the sources, the system's own. "on" copies the user's
// sources file, own.txt and allow.txt (its input, as SchedulePieces frames them) to the
// system's folder, then enables the package's timer (Linux) or makes the Task Scheduler task
// on those copies (Windows, as quorvale-cli --schedule daily does); "off" disables the timer
// or removes the task.
inline constexpr std::string_view kSchedule = "schedule";
inline constexpr std::string_view kScheduleOn = "on";
inline constexpr std::string_view kScheduleOff = "off";
}  // namespace helper_steps

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
