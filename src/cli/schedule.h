#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/platform.h"

namespace quorvale {

// --schedule: creates, changes or removes the scheduled update of the sources file
// `sources_path` ("daily", "weekly" or "off"; "off" does not look at the file, which may be
// ""). Windows: the Task Scheduler task, through schtasks.exe, in an elevated process only,
// on copies of that file and of the own.txt and allow.txt beside it in the system's folder;
// Linux: says which systemctl commands enable or disable the package's timer, and runs
// nothing. Every message goes through `say` (without the program's name). Returns the exit
// status.
int ScheduleUpdate(Platform& platform, const std::string& sources_path, std::string_view frequency,
                   const std::function<void(const std::string&)>& say);

}  // namespace quorvale
