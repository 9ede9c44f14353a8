#pragma once

#include <functional>
#include <string>

#include "core/helper_outcome.h"
#include "platform/platform.h"

namespace quorvale {

struct UpdatePlaces;

// The scheduled update, the system's own, runs as root or SYSTEM on copies of the user's
// sources file, own.txt and allow.txt (kScheduledFiles' order) in the system's folder, which
// only administrators can change.

// Reads the sources file, own.txt and allow.txt of `places` into `files`, a missing one as
// empty.
Status ReadScheduledFiles(Platform& platform, const UpdatePlaces& places, std::string (&files)[kScheduledFileCount]);

// Puts `files` in `folder` (made by Platform::MakeAdministratorsFolder), each through a
// temporary file and a rename. The names
// written are recorded in kScheduleRecordFile there: a file that is now empty is removed only when
// that record lists it, so that a file an administrator put there is never removed. A copy
// that others may change is removed before it is written again, so that the new one does not
// take its owner and access list. Refused (kNotFound) without a sources file.
Status PutScheduledFiles(Platform& platform, const std::string& folder,
                         const std::string (&files)[kScheduledFileCount]);

#ifdef _WIN32

// The Task Scheduler task, through schtasks.exe.
enum class UpdateFrequency { kDaily, kWeekly, kOff };

// Creates, replaces (kDaily, kWeekly) or removes (kOff) the task that runs `program`
// (quorvale-cli, a full path) as SYSTEM on copies of `files` that it first puts in the
// system's folder (Platform::SystemSourcesFolder) with PutScheduledFiles; kOff uses neither
// the files nor the copies. Refused unless only administrators can change `program` (the task
// would run what another user put there). Needs an elevated process. Every message, failure
// or success, goes through `say`; returns whether it worked.
bool ScheduleUpdateTask(Platform& platform, const std::string& program, const std::string (&files)[kScheduledFileCount],
                        UpdateFrequency frequency, const std::function<void(const std::string&)>& say);

#endif

}  // namespace quorvale
