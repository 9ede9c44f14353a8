#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/backup_policy.h"
#include "core/byte_sink.h"
#include "core/status.h"
#include "core/yield.h"
#include "platform/platform.h"

namespace quorvale {

// How long a replace or a restore waits for another one of the same file to end.
inline constexpr int kReplaceLockTimeoutMilliseconds = 10'000;

// Puts back the attributes that a replace found on the HOSTS file (as GetAttributes
// read them) once the replace failed; a normal or missing file needs nothing.
void RestoreAttributesAfterFailure(Platform& platform, const std::string& hosts_path, int attributes_before);

// Where a replace stopped, for callers that tell the user more than "it failed".
// kLock: another replace or restore of the file kept it for kReplaceLockTimeoutMilliseconds
// (kBusy), or the lock could not be taken; kRead: the old file (for its lines to carry) or
// the backup copy to restore could not be read. Nothing was written after either.
enum class ReplaceStep { kDone, kLock, kRead, kBackup, kWrite, kAttributes };

struct ReplaceOutcome {
  ReplaceStep step = ReplaceStep::kDone;
  // Full path of the backup copy that holds the old file; "" when there was no old file (or
  // the replace failed and its copy was removed again).
  std::string backup_path;
};

// Makes the new HOSTS file's bytes; `carried_lines` are the lines of the old file that the
// lists cannot hold (LinesToCarry). False when the bytes could not all be made.
using ReplacementContents = std::function<bool(const std::vector<std::string>& carried_lines, const ByteSink& sink)>;

// Writes a new HOSTS file the way the replace command does, without asking:
//  1. it waits (calling `waiting` now and then) until no other replace or restore of the
//     file runs, and holds that lock to the end;
//  2. the file is made ready to be replaced (Platform::PrepareReplace), and the lines of the
//     old file to carry over are read;
//  3. when it exists, a copy of it is made beside it under HostsBackupName, the own name
//     being the file's name as the folder lists it (on a system whose names ignore case,
//     "HOSTS" may be stored as "hosts"), numbered after the copies already made in the same
//     second; a copy never takes the place of an entry already there. A copy that cannot be
//     made stops everything: nothing is written;
//  4. the contents are made and written atomically (the old file survives any failure), the
//     file taking the read-only and system attributes (5);
//  5. of the copies, the one just made, the oldest and the newest ones stay (see
//     CopiesToRemove); only regular files whose times could be read count, and nothing else
//     is ever removed.
// The first failing step gives the result, as the platform reported it; the file then gets
// back the attributes it had, the copy made for the replace is removed again and nothing is
// pruned. `outcome`, when given, says which step it was.
Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const ReplacementContents& contents,
                        std::time_t now, ReplaceOutcome* outcome = nullptr, const YieldFn& waiting = {});
// Takes the lock of step 1 as ReplaceHostsFile does (kLock in `outcome` when it fails), for a
// caller that decides under it whether to replace at all; ReplaceLockedHostsFile then
// replaces while it is held.
Status LockHostsFile(Platform& platform, const std::string& hosts_path, std::unique_ptr<Platform::HeldLock>* lock,
                     ReplaceOutcome* outcome = nullptr, const YieldFn& waiting = {});
// Steps 2 to 5 of ReplaceHostsFile, by a caller that holds `lock` from LockHostsFile.
Status ReplaceLockedHostsFile(Platform& platform, const Platform::HeldLock& lock, const std::string& hosts_path,
                              const ReplacementContents& contents, std::time_t now, ReplaceOutcome* outcome = nullptr);
// The same with fixed bytes, carrying nothing over.
Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, std::string_view bytes, std::time_t now,
                        ReplaceOutcome* outcome = nullptr, const YieldFn& waiting = {});

// A backup copy of the HOSTS file, as ReplaceHostsFile leaves them beside it.
struct HostsBackup {
  std::string name;            // the file name, made by HostsBackupName
  std::string path;            // its full path
  std::int64_t modified = -1;  // when it was written, as Platform::FactsOf says
  std::int64_t bytes = -1;     // its size
};

// The backup copies of the HOSTS file at `hosts_path` (named after the file as its folder
// lists it, as ReplaceHostsFile names them), newest first (OldestFirstOrder, reversed). Only
// regular files are backups: links, folders and devices of such a name are left out.
std::vector<HostsBackup> ListHostsBackups(Platform& platform, const std::string& hosts_path);

// Whether two names are one backup's name in the HOSTS file's folder (without regard to case
// where the file system ignores it).
bool SameBackupName(std::string_view a, std::string_view b);

// Puts the backup copy named `backup_name` (a name of ListHostsBackups; "" for the newest
// copy, chosen once the lock is held) in place of the HOSTS file byte for byte, as
// ReplaceHostsFile replaces it: the current file is kept as a new backup copy first, the
// write is atomic and the file ends read-only and system. The copy restored is not pruned by
// that replace. A copy that is missing, not a regular file or cannot be read stops
// everything (step kRead).
Status RestoreHostsBackup(Platform& platform, const std::string& hosts_path, const std::string& backup_name,
                          std::time_t now, ReplaceOutcome* outcome = nullptr, const YieldFn& waiting = {});

}  // namespace quorvale
