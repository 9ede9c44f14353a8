#pragma once

#include <string>

#include "forms/privileged_step.h"

namespace quorvale {

class Platform;
struct UpdatePlaces;

// The daily update of the sources, the system's own, on copies of the user's files in the
// system's folder: Linux, the package's systemd timer on /etc/quorvale/; Windows, the Task
// Scheduler task of quorvale-cli --schedule on %ProgramData%\Quorvale\.

// Whether it is on: the timer is enabled (systemctl is-enabled), or the task exists
// (schtasks /Query). False when that cannot be asked.
bool DailyUpdateIsOn(Platform& platform);

// What the schedule step takes to turn it on: the sources file, own.txt and allow.txt of
// `places`, a missing one as empty.
Status ReadDailyUpdateInput(Platform& platform, const UpdatePlaces& places, std::string* input);

// Turns it on or off in this process, which has administrator rights, with the helper's own
// step: `input` as ReadDailyUpdateInput makes it.
HelperStepResult SwitchDailyUpdateInPlace(Platform& platform, bool on, const std::string& input);

}  // namespace quorvale
