#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// The scheduled update on Windows: one Task Scheduler task, made, changed and removed by
// schtasks.exe, that runs quorvale-cli on the sources file as the SYSTEM account.

// On Linux the package's systemd timer; its service reads the sources from kUpdateTimerFolder
// (platform/platform.h).
inline constexpr std::string_view kUpdateTimerName = "quorvale-update.timer";

inline constexpr std::string_view kUpdateTaskName = "Quorvale update";
// schtasks.exe refuses a /TR value longer than this, in UTF-16 code units.
inline constexpr size_t kLongestTaskCommand = 261;

// When the task runs: every day, or every week on `weekday` (0 Monday ... 6 Sunday), at
// hour:minute local time.
struct UpdateTime {
  bool weekly = false;
  int weekday = 0;
  int hour = 0;
  int minute = 0;
};

// The time of a new task, from a random number: a fixed hour, and the minute (and the day
// of a weekly run) taken from `random`, so that many machines do not ask the sources'
// servers at the same moment.
UpdateTime SpreadUpdateTime(bool weekly, std::uint32_t random);

// "HH:MM", as /ST takes it.
std::string ClockText(const UpdateTime& time);

// The command line of the task: the program and the sources file always in double quotes.
// A Windows path holds no double quote, and the absolute path of a file does not end with
// a backslash, so the quotes are all the quoting the program's own command-line splitting
// needs.
std::string UpdateTaskCommand(std::string_view program, std::string_view sources_path);
// Whether `command` is short enough for schtasks.exe.
bool TaskCommandFits(std::string_view command);

// The argument vectors of `schtasks` (its full path) for the task: made, or replaced when it
// exists, to run `command` at `time` as SYSTEM with the highest rights; looked up (exit code
// 0 when it exists); removed.
std::vector<std::string> CreateUpdateTaskArgs(const std::string& schtasks, const UpdateTime& time,
                                              const std::string& command);
std::vector<std::string> QueryUpdateTaskArgs(const std::string& schtasks);
std::vector<std::string> DeleteUpdateTaskArgs(const std::string& schtasks);

}  // namespace quorvale
