#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// Number of the newest backup copies of the HOSTS file kept beside it; the oldest copy (the
// file as it was before the first replace) is kept too.
inline constexpr int kHostsBackupsKept = 5;

// The name of the `number`th copy made in the second of `now` (local time) of the file
// called `hosts_name`: "<hosts_name>.<yyyymmdd-hhmmss>.bak" for the first,
// "<hosts_name>.<yyyymmdd-hhmmss>-<number>.bak" from the second on.
std::string HostsBackupName(std::string_view hosts_name, std::time_t now, int number = 1);

// Whose copies a backup name is about: the HOSTS file's own name, and whether the file
// system tells names apart by case (on Windows "hosts.<stamp>.bak" and "HOSTS.<stamp>.BAK"
// are one name).
struct BackupOwner {
  std::string_view hosts_name;
  bool names_ignore_case = false;

  // Whether two file names are one name on that file system.
  bool SameName(std::string_view a, std::string_view b) const;
};

// What a name made by HostsBackupName for the owner's file says: its stamp and its number.
struct BackupName {
  std::string_view stamp;  // "yyyymmdd-hhmmss"
  int number = 1;
};
// Reads `name` as HostsBackupName makes them for the owner's file; false for any other name.
bool ParseBackupName(std::string_view name, const BackupOwner& owner, BackupName* parsed);

// A backup copy as the policy sees it: a regular file whose modification time is known.
struct BackupCopy {
  std::string name;
  std::int64_t modified = 0;  // as Platform::EntryFacts gives it
};

// The positions of `copies` oldest first: by modification time, then, for copies made
// within the clock's resolution, by their names' stamps and numbers.
std::vector<size_t> OldestFirstOrder(const std::vector<BackupCopy>& copies, const BackupOwner& owner);

// The names of the copies to remove so that, besides `made` (the copy just made) and `kept`
// (a copy being restored; "" for none), there stay the oldest copy and the newest ones that
// make kHostsBackupsKept with `made`. `made` and `kept` stay whatever their times say (the
// clock may have been put back).
std::vector<std::string> CopiesToRemove(std::vector<BackupCopy> copies, const BackupOwner& owner,
                                        std::string_view made, std::string_view kept);

// A modification time of Platform::EntryFacts as local date and time, "yyyy-mm-dd hh:mm:ss";
// "" for an unknown time (negative).
std::string BackupTimeText(std::int64_t modified);

}  // namespace quorvale
