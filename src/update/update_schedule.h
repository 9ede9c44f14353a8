#pragma once

#include <functional>
#include <string>
#include <vector>

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

// Why the scheduled update would not run on `files`: the sources file holds no source, or a
// local one (the system's update takes web addresses only, CheckSystemSources); "" when it
// would.
std::string ScheduledFilesRefusal(const std::string (&files)[kScheduledFileCount]);

// What the schedule's folder held before PutScheduledFiles wrote there: each copy and the
// record, with its bytes or none.
struct ScheduledFolderBefore {
  struct Entry {
    std::string path;
    bool existed = false;
    std::string bytes;
  };
  std::vector<Entry> entries;
};

// Puts `files` in `folder` (made by Platform::MakeAdministratorsFolder) as copies private to
// the process's user (Platform::WritePrivateFileNoFollow), after reading into `before` what
// was there (a link or anything but a regular file there is refused). A copy that others may
// change is removed first, so that the new one does not take its owner and access list. The
// names written are recorded in kScheduleRecordFile there: a file that is now empty is removed
// only when that record lists it, so that a file an administrator put there is never removed.
// Files that ScheduledFilesRefusal refuses give kNotSupported, its text as the reason, with
// nothing touched. After a failure, or when what the copies are for cannot be switched on, the
// caller puts the folder back with PutScheduledFilesBack.
Status PutScheduledFiles(Platform& platform, const std::string& folder,
                         const std::string (&files)[kScheduledFileCount], ScheduledFolderBefore* before);

// Puts back what `before` says the folder held, as far as it can.
void PutScheduledFilesBack(Platform& platform, const ScheduledFolderBefore& before);

#ifdef _WIN32

// The Task Scheduler task, through schtasks.exe.
enum class UpdateFrequency { kDaily, kWeekly, kOff };

// Creates, replaces (kDaily, kWeekly) or removes (kOff) the task that runs `program`
// (quorvale-cli, a full path) as SYSTEM on copies of `files` that it first puts in the
// system's folder (Platform::SystemSourcesFolder) with PutScheduledFiles, and puts back when
// schtasks.exe fails; kOff uses neither the files nor the copies. Refused unless only
// administrators can change `program` (the task would run what another user put there).
// Needs an elevated process. Every message, failure
// or success, goes through `say`; returns whether it worked.
bool ScheduleUpdateTask(Platform& platform, const std::string& program, const std::string (&files)[kScheduledFileCount],
                        UpdateFrequency frequency, const std::function<void(const std::string&)>& say);

#endif

}  // namespace quorvale
