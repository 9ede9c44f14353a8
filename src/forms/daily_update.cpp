#include "forms/daily_update.h"

#include <vector>

#include "core/helper_outcome.h"
#include "core/update_task.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"
#include "update/update_schedule.h"

namespace quorvale {

namespace {

// How long systemctl or schtasks.exe is given to say whether the update is on.
constexpr int kQueryWaitMilliseconds = 10'000;

}  // namespace

bool DailyUpdateIsOn(Platform& platform) {
#ifdef _WIN32
  const std::string system_dir = platform.GetSystemDir();
  if (system_dir.empty()) return false;
  const std::vector<std::string> argv = QueryUpdateTaskArgs(system_dir + "\\schtasks.exe");
#else
  // systemctl found on the search path, as the helper finds it under pkexec.
  const std::vector<std::string> argv = {std::string(kSystemctl), "is-enabled", std::string(kUpdateTimerName)};
#endif
  int exit_code = 0;
  return platform.RunProgram(argv, kQueryWaitMilliseconds, &exit_code).ok() && exit_code == 0;
}

Status ReadDailyUpdateInput(Platform& platform, const UpdatePlaces& places, std::string* input) {
  std::string files[kScheduledFileCount];
  if (Status read = ReadScheduledFiles(platform, places, files); !read.ok()) return read;
  *input = SchedulePieces(files);
  return Status::Ok();
}

HelperStepResult SwitchDailyUpdateInPlace(Platform& platform, bool on, const std::string& input) {
  StepContext context;
#ifdef _WIN32
  context.cli_program = CompanionProgram(platform, kCliProgramFile);
#else
  context.schedule_folder = kUpdateTimerFolder;
  context.systemctl = kSystemctl;
#endif
  context.read_input = [&input](std::string* bytes) {
    *bytes = input;
    return Status::Ok();
  };
  const std::vector<std::string> args = {std::string(helper_steps::kSchedule),
                                         std::string(on ? helper_steps::kScheduleOn : helper_steps::kScheduleOff)};
  std::string printed;
  const HelperOutcome outcome = RunPrivilegedStep(platform, args, context, &printed);
  HelperStepResult result;
  result.kind = outcome.exit_code == kHelperExitDone ? HelperStepResult::Kind::kDone : HelperStepResult::Kind::kFailed;
  result.failure = outcome.failure;
  return result;
}

}  // namespace quorvale
