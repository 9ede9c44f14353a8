#include "core/update_task.h"

#include <array>

#include "core/utf16.h"

namespace quorvale {

namespace {

// Midday: an office machine is on then, and a server any time; a machine that is off misses
// the run until the next one.
constexpr int kUpdateHour = 12;
constexpr int kMinutesPerHour = 60;
constexpr int kDaysPerWeek = 7;
// The days as /D names them, from Monday.
constexpr std::array<const char*, kDaysPerWeek> kTaskDays = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};

std::string TwoDigits(int value) {
  return std::string(1, static_cast<char>('0' + value / 10)) + static_cast<char>('0' + value % 10);
}

}  // namespace

UpdateTime SpreadUpdateTime(bool weekly, std::uint32_t random) {
  UpdateTime time;
  time.weekly = weekly;
  time.hour = kUpdateHour;
  time.minute = static_cast<int>(random % kMinutesPerHour);
  if (weekly) time.weekday = static_cast<int>(random / kMinutesPerHour % kDaysPerWeek);
  return time;
}

std::string ClockText(const UpdateTime& time) { return TwoDigits(time.hour) + ":" + TwoDigits(time.minute); }

std::string UpdateTaskCommand(std::string_view program, std::string_view sources_path) {
  std::string command = "\"";
  command += program;
  command += "\" --sources \"";
  command += sources_path;
  command += "\" --update --replace-hosts --quiet";
  return command;
}

bool TaskCommandFits(std::string_view command) { return Utf16FromUtf8(command).size() <= kLongestTaskCommand; }

std::vector<std::string> CreateUpdateTaskArgs(const std::string& schtasks, const UpdateTime& time,
                                              const std::string& command) {
  std::vector<std::string> args = {schtasks, "/Create", "/F", "/TN", std::string(kUpdateTaskName), "/SC",
                                   time.weekly ? "WEEKLY" : "DAILY"};
  if (time.weekly) args.insert(args.end(), {"/D", kTaskDays[static_cast<size_t>(time.weekday % kDaysPerWeek)]});
  args.insert(args.end(), {"/ST", ClockText(time), "/RU", "SYSTEM", "/RL", "HIGHEST", "/TR", command});
  return args;
}

std::vector<std::string> QueryUpdateTaskArgs(const std::string& schtasks) {
  return {schtasks, "/Query", "/TN", std::string(kUpdateTaskName)};
}

std::vector<std::string> DeleteUpdateTaskArgs(const std::string& schtasks) {
  return {schtasks, "/Delete", "/F", "/TN", std::string(kUpdateTaskName)};
}

}  // namespace quorvale
