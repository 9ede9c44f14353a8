#pragma once

#include <ctime>
#include <string>
#include <string_view>

#include "core/status.h"
#include "platform/platform.h"

namespace quorvale {

// Number of backup copies of the HOSTS file kept beside it.
inline constexpr int kHostsBackupsKept = 5;

// The name of the copy made at `now` (local time) of the file called `hosts_name`:
// "<hosts_name>.<yyyymmdd-hhmmss>.bak".
std::string HostsBackupName(std::string_view hosts_name, std::time_t now);

// Where a replace stopped, for callers that tell the user more than "it failed".
enum class ReplaceStep { kDone, kBackup, kWrite, kAttributes };

struct ReplaceOutcome {
  ReplaceStep step = ReplaceStep::kDone;
  // Full path of the backup copy that holds the old file; "" when there was no old file.
  std::string backup_path;
};

// Writes `contents` over the HOSTS file the way the replace command does, without asking:
//  1. its attributes are made normal (a failure here is ignored: the write will tell);
//  2. when it exists, a copy of it is kept beside it as "<own name>.<yyyymmdd-hhmmss>.bak",
//     the own name being the file's name as the folder lists it (on a system whose names
//     ignore case, "HOSTS" may be stored as "hosts"). Only the five newest copies stay. A
//     copy that cannot be made stops everything: nothing is written. A copy made in the
//     same second as an earlier one keeps the earlier one, which holds the older content;
//  3. the contents are made and written atomically (the old file survives any failure);
//  4. its attributes become read-only and system (5).
// The first failing step gives the result, as the platform reported it; `outcome`, when
// given, says which step it was.
Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const FileContents& contents,
                        std::time_t now, ReplaceOutcome* outcome = nullptr);
inline Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, std::string_view bytes,
                               std::time_t now, ReplaceOutcome* outcome = nullptr) {
  return ReplaceHostsFile(
      platform, hosts_path, WholeContents(bytes), now, outcome);
}

}  // namespace quorvale
