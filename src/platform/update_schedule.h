#pragma once

#include <functional>
#include <string>

#include "platform/platform.h"

namespace quorvale {

// The scheduled update on Windows: the Task Scheduler task, through schtasks.exe.
enum class UpdateFrequency { kDaily, kWeekly, kOff };

// Creates, replaces (kDaily, kWeekly) or removes (kOff) the task that runs `program`
// (quorvale-cli, a full path) on the sources file `sources` (a full path, read beforehand;
// kOff does not use it). Needs an elevated process. Every message, failure or success, goes
// through `say`; returns whether it worked. Windows only.
bool ScheduleUpdateTask(Platform& platform, const std::string& program, const std::string& sources,
                        UpdateFrequency frequency, const std::function<void(const std::string&)>& say);

}  // namespace quorvale
