#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "core/status.h"
#include "platform/platform.h"

namespace quorvale {

// Number of the newest backup copies of the HOSTS file kept beside it; the oldest copy is
// kept too.
inline constexpr int kHostsBackupsKept = 5;

// The name of the `number`th copy made in the second of `now` (local time) of the file
// called `hosts_name`: "<hosts_name>.<yyyymmdd-hhmmss>.bak" for the first,
// "<hosts_name>.<yyyymmdd-hhmmss>-<number>.bak" from the second on.
std::string HostsBackupName(std::string_view hosts_name, std::time_t now, int number = 1);

// Puts back the attributes that a replace found on the HOSTS file (as GetFileAttributes
// read them) once the replace failed; a normal or missing file needs nothing.
void RestoreAttributesAfterFailure(Platform& platform, const std::string& hosts_path, int attributes_before);

// Where a replace stopped, for callers that tell the user more than "it failed".
// kRead: the backup copy to restore could not be read (nothing was done).
enum class ReplaceStep { kDone, kRead, kBackup, kWrite, kAttributes };

struct ReplaceOutcome {
  ReplaceStep step = ReplaceStep::kDone;
  // Full path of the backup copy that holds the old file; "" when there was no old file.
  std::string backup_path;
};

// Writes `contents` over the HOSTS file the way the replace command does, without asking:
//  1. its attributes are made normal (a failure here is ignored: the write will tell);
//  2. when it exists, a copy of it is kept beside it under HostsBackupName, the own name
//     being the file's name as the folder lists it (on a system whose names ignore case,
//     "HOSTS" may be stored as "hosts"), numbered after the copies already made in the same
//     second. Of the other copies, the oldest and the newest ones stay, by the files'
//     modification times (not by their names, nor by the clock), so that with the new copy
//     there are kHostsBackupsKept newest ones. A copy that cannot be made stops everything:
//     nothing is written;
//  3. the contents are made and written atomically (the old file survives any failure);
//  4. its attributes become read-only and system (5).
// The first failing step gives the result, as the platform reported it, and the file gets
// back the attributes it had; `outcome`, when given, says which step it was.
Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const FileContents& contents,
                        std::time_t now, ReplaceOutcome* outcome = nullptr);
inline Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, std::string_view bytes,
                               std::time_t now, ReplaceOutcome* outcome = nullptr) {
  return ReplaceHostsFile(
      platform, hosts_path, WholeContents(bytes), now, outcome);
}

// A backup copy of the HOSTS file, as ReplaceHostsFile leaves them beside it.
struct HostsBackup {
  std::string name;            // the file name, made by HostsBackupName
  std::string path;            // its full path
  std::int64_t modified = -1;  // when it was written, as Platform::FileModifiedTime says
  std::int64_t bytes = -1;     // its size, as Platform::FileSize says
};

// The backup copies of the HOSTS file at `hosts_path` (named after the file as its folder
// lists it, as ReplaceHostsFile names them), newest first by modification time; copies of
// the same time come by their names' stamps and numbers, the last made first.
std::vector<HostsBackup> ListHostsBackups(Platform& platform, const std::string& hosts_path);

// A modification time of Platform::FileModifiedTime as local date and time,
// "yyyy-mm-dd hh:mm:ss"; "" for an unknown time (negative).
std::string BackupTimeText(std::int64_t modified);

// Puts the backup copy at `backup_path` in place of the HOSTS file byte for byte, through
// ReplaceHostsFile: the current file is kept as a new backup copy first, the write is
// atomic and the file ends read-only and system. The copy restored is not pruned by that
// replace. A copy that cannot be read stops everything (step kRead).
Status RestoreHostsBackup(Platform& platform, const std::string& hosts_path, const std::string& backup_path,
                          std::time_t now, ReplaceOutcome* outcome = nullptr);

}  // namespace quorvale
