#include "platform/hosts_replace.h"

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <tuple>
#include <vector>

#include "core/item_reader.h"
#include "core/path_text.h"
#include "core/text.h"

namespace quorvale {

namespace {

constexpr std::string_view kBackupSuffix = ".bak";
// "yyyymmdd-hhmmss"
constexpr size_t kStampLength = 15;
// More copies in one second than this many digits can count are not ours.
constexpr size_t kMaxNumberDigits = 9;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A copy as the pruning sees it: ordered by its modification time, then by its name's stamp
// and number (copies made within the clock's resolution have the same time).
struct Backup {
  std::string name;
  std::int64_t modified = 0;
  std::string_view stamp;
  int number = 1;

  bool operator<(const Backup& other) const {
    return std::tie(modified, stamp, number) < std::tie(other.modified, other.stamp, other.number);
  }
};

// Reads a name made by HostsBackupName for `own_name` into `backup`'s stamp and number.
bool IsBackupOf(std::string_view name, std::string_view own_name, Backup* backup) {
  if (name.size() < own_name.size() + 1 + kStampLength + kBackupSuffix.size()) return false;
  if (name.substr(0, own_name.size()) != own_name || name[own_name.size()] != '.') return false;
  if (!name.ends_with(kBackupSuffix)) return false;
  std::string_view stamp = name.substr(own_name.size() + 1, kStampLength);
  for (size_t i = 0; i < stamp.size(); ++i) {
    if (i == 8 ? stamp[i] != '-' : !IsDigit(stamp[i])) return false;
  }
  std::string_view rest = name.substr(own_name.size() + 1 + kStampLength);
  rest.remove_suffix(kBackupSuffix.size());
  int number = 1;
  if (!rest.empty()) {
    // "-N": a number from 2 on, without leading zeros.
    if (rest[0] != '-' || rest.size() < 2 || rest.size() > 1 + kMaxNumberDigits || rest[1] == '0') return false;
    number = 0;
    for (char c : rest.substr(1)) {
      if (!IsDigit(c)) return false;
      number = number * 10 + (c - '0');
    }
    if (number < 2) return false;
  }
  backup->stamp = stamp;
  backup->number = number;
  return true;
}

// The name under which the folder lists the file: the one spelled exactly as asked when
// there is one, otherwise the one that differs only in case.
std::string OwnName(Platform& platform, const std::string& folder, const std::string& asked) {
  std::string found;
  for (std::string& name : platform.ListFolder(folder)) {
    if (name == asked) return asked;
    if (found.empty() && EqualsIgnoreAsciiCase(name, asked)) found = std::move(name);
  }
  return found.empty() ? asked : found;
}

// Where the copies of the HOSTS file at `hosts_path` are: `folder` is "" or ends with its
// separator, so that folder + name is a path.
struct BackupPlace {
  std::string folder;
  std::string own_name;
};

BackupPlace BackupPlaceOf(Platform& platform, const std::string& hosts_path) {
  BackupPlace place{std::string(FolderPartOf(hosts_path)), ""};
  place.own_name =
      OwnName(platform, place.folder.empty() ? std::string(".") : place.folder, std::string(FileNameOf(hosts_path)));
  return place;
}

// The copy just made (`made`) stays whatever its time says (the clock may have been put
// back); so do `kept` (a copy being restored) and the oldest of the others, the file as it
// was before the first replace.
void RemoveOldBackups(Platform& platform, const BackupPlace& place, std::string_view made, std::string_view kept) {
  const std::string& folder = place.folder;
  std::vector<std::string> names = platform.ListFolder(folder.empty() ? std::string(".") : folder);
  std::vector<Backup> others;
  for (const std::string& name : names) {
    Backup backup;
    if (name == made || name == kept || !IsBackupOf(name, place.own_name, &backup)) continue;
    backup.name = name;
    backup.modified = platform.FileModifiedTime(folder + name);
    others.push_back(backup);
  }
  const size_t newest_kept = kHostsBackupsKept - 1;
  if (others.size() <= newest_kept + 1) return;
  std::sort(others.begin(), others.end());
  for (size_t i = 1; i + newest_kept < others.size(); ++i) {
    // A copy that will not go away costs some disk space, not the replace.
    (void)platform.RemoveFile(folder + others[i].name);
  }
}

// The path of the next copy made in the second of `now`: numbered after every copy of that
// second that the folder holds, so that the numbers follow the order of the copies.
std::string NextBackupPath(Platform& platform, const std::string& folder, std::string_view own_name, std::time_t now) {
  const std::string first = HostsBackupName(own_name, now);
  Backup made;
  (void)IsBackupOf(first, own_name, &made);
  int last = 0;
  for (const std::string& name : platform.ListFolder(folder.empty() ? std::string(".") : folder)) {
    Backup backup;
    if (IsBackupOf(name, own_name, &backup) && backup.stamp == made.stamp) last = std::max(last, backup.number);
  }
  std::string path = folder + HostsBackupName(own_name, now, last + 1);
  for (int number = last + 2; platform.PathFileExists(path); ++number) {
    path = folder + HostsBackupName(own_name, now, number);
  }
  return path;
}

Status Fail(ReplaceOutcome* outcome, ReplaceStep step, Status status) {
  if (outcome != nullptr) outcome->step = step;
  return status;
}

// Steps 2 to 4 of ReplaceHostsFile; the copy named `kept` survives the pruning.
Status CopyWriteAndProtect(Platform& platform, const std::string& hosts_path, const FileContents& contents,
                           std::time_t now, ReplaceOutcome* outcome, std::string_view kept) {
  if (platform.PathFileExists(hosts_path)) {
    const BackupPlace place = BackupPlaceOf(platform, hosts_path);
    std::string backup = NextBackupPath(platform, place.folder, place.own_name, now);
    Status copied = platform.CopyFile(hosts_path, backup);
    if (!copied.ok()) return Fail(outcome, ReplaceStep::kBackup, copied);
    if (outcome != nullptr) outcome->backup_path = backup;
    RemoveOldBackups(platform, place, FileNameOf(backup), kept);
  }

  Status written = platform.WriteFileAtomicInPieces(hosts_path, contents);
  if (!written.ok()) return Fail(outcome, ReplaceStep::kWrite, written);
  Status protected_status = platform.SetFileAttributes(hosts_path, kAttrReadOnly | kAttrSystem);
  if (!protected_status.ok()) return Fail(outcome, ReplaceStep::kAttributes, protected_status);
  return Status::Ok();
}

}  // namespace

std::string HostsBackupName(std::string_view hosts_name, std::time_t now, int number) {
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  char stamp[32];
  size_t length = std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string name(hosts_name);
  name += '.';
  name.append(stamp, length);
  if (number > 1) name += "-" + std::to_string(number);
  name += kBackupSuffix;
  return name;
}

void RestoreAttributesAfterFailure(Platform& platform, const std::string& hosts_path, int attributes_before) {
  if (attributes_before > kAttrNormal) (void)platform.SetFileAttributes(hosts_path, attributes_before);
}

// ReplaceHostsFile, keeping the copy named `kept` from the pruning.
Status Replace(Platform& platform, const std::string& hosts_path, const FileContents& contents, std::time_t now,
               ReplaceOutcome* outcome, std::string_view kept) {
  if (outcome != nullptr) *outcome = ReplaceOutcome();
  const int attributes_before = platform.GetFileAttributes(hosts_path);
  (void)platform.SetFileAttributes(hosts_path, kAttrNormal);
  Status status = CopyWriteAndProtect(platform, hosts_path, contents, now, outcome, kept);
  if (!status.ok()) RestoreAttributesAfterFailure(platform, hosts_path, attributes_before);
  return status;
}

Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const FileContents& contents,
                        std::time_t now, ReplaceOutcome* outcome) {
  return Replace(platform, hosts_path, contents, now, outcome, "");
}

std::vector<HostsBackup> ListHostsBackups(Platform& platform, const std::string& hosts_path) {
  const BackupPlace place = BackupPlaceOf(platform, hosts_path);
  // The stamps view these names.
  const std::vector<std::string> names = platform.ListFolder(place.folder.empty() ? std::string(".") : place.folder);
  std::vector<Backup> found;
  for (const std::string& name : names) {
    Backup backup;
    if (!IsBackupOf(name, place.own_name, &backup)) continue;
    backup.name = name;
    backup.modified = platform.FileModifiedTime(place.folder + name);
    found.push_back(backup);
  }
  std::sort(found.begin(), found.end());
  std::vector<HostsBackup> backups;
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    std::string path = place.folder + it->name;
    const std::int64_t bytes = platform.FileSize(path);
    backups.push_back(HostsBackup{it->name, std::move(path), it->modified, bytes});
  }
  return backups;
}

std::string BackupTimeText(std::int64_t modified) {
  if (modified < 0) return std::string();
  const std::time_t seconds = static_cast<std::time_t>(modified / 1'000'000'000);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[32];
  const size_t length = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return std::string(text, length);
}

Status RestoreHostsBackup(Platform& platform, const std::string& hosts_path, const std::string& backup_path,
                          std::time_t now, ReplaceOutcome* outcome) {
  std::string bytes;
  Status read = ReadFileBytes(backup_path, &bytes, ReadAs::kBytes);
  if (!read.ok()) {
    if (outcome != nullptr) *outcome = ReplaceOutcome();
    return Fail(outcome, ReplaceStep::kRead, read);
  }
  return Replace(platform, hosts_path, WholeContents(bytes), now, outcome, FileNameOf(backup_path));
}

}  // namespace quorvale
