#pragma once

#include <string>
#include <vector>

#include "core/update_status.h"
#include "platform/platform.h"
#include "update/source_update.h"

// The status files of updates (core/update_status.h): one in the cache folder of each sources
// file, and one that the update of the system's sources file leaves where every user's window
// can read it, since its own cache is the administrators' alone.

namespace quorvale {

// Whether `places` is the system's sources file, the one the scheduled update reads.
bool IsSystemSourcesFile(Platform& platform, const UpdatePlaces& places);

// The folder of the system's status file, with a trailing separator: POSIX /var/lib/quorvale/
// (in the tree of QUORVALE_SYSTEM_DIR when the system's folders are there), Windows
// %ProgramData%\Quorvale\. "" when there is none.
std::string SystemStatusFolder(Platform& platform);

// Writes what became of each of `results`, now, as the status file of the cache folder of
// `places`, and for the system's sources file also in SystemStatusFolder, readable by all.
// `loaded`: the update loaded the copies, so each result's entries are known; otherwise the
// entries of a copy in use are those of the last status. A failed write changes nothing else.
void SaveUpdateStatus(Platform& platform, const UpdatePlaces& places, const std::vector<SourceResult>& results,
                      bool loaded);

// The last status of each source of `places`: of the cache folder's and the system's file
// (whose update runs on a copy of the user's sources), the newer one for each address.
std::vector<SourceStatus> ReadUpdateStatus(Platform& platform, const UpdatePlaces& places);

}  // namespace quorvale
