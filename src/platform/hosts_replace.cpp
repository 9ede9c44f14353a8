#include "platform/hosts_replace.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <vector>

#include "core/path_text.h"
#include "core/text.h"

namespace quorvale {

namespace {

// "<own name>.yyyymmdd-hhmmss.bak"
bool IsBackupOf(std::string_view name, std::string_view own_name) {
  constexpr std::string_view kSuffix = ".bak";
  constexpr size_t kStampLength = 15;
  if (name.size() != own_name.size() + 1 + kStampLength + kSuffix.size()) return false;
  if (name.substr(0, own_name.size()) != own_name || name[own_name.size()] != '.') return false;
  if (name.substr(name.size() - kSuffix.size()) != kSuffix) return false;
  std::string_view stamp = name.substr(own_name.size() + 1, kStampLength);
  for (size_t i = 0; i < stamp.size(); ++i) {
    const bool digit = stamp[i] >= '0' && stamp[i] <= '9';
    if (i == 8 ? stamp[i] != '-' : !digit) return false;
  }
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

// `folder` is "" or ends with its separator.
void RemoveOldBackups(Platform& platform, const std::string& folder, const std::string& own_name) {
  std::vector<std::string> backups;
  for (std::string& name : platform.ListFolder(folder.empty() ? std::string(".") : folder)) {
    if (IsBackupOf(name, own_name)) backups.push_back(std::move(name));
  }
  if (backups.size() <= static_cast<size_t>(kHostsBackupsKept)) return;
  // The stamps order the names as they order the moments.
  std::sort(backups.begin(), backups.end(), std::greater<>());
  for (size_t i = kHostsBackupsKept; i < backups.size(); ++i) {
    // A copy that will not go away costs some disk space, not the replace.
    (void)platform.RemoveFile(folder + backups[i]);
  }
}

Status Fail(ReplaceOutcome* outcome, ReplaceStep step, Status status) {
  if (outcome != nullptr) outcome->step = step;
  return status;
}

}  // namespace

std::string HostsBackupName(std::string_view hosts_name, std::time_t now) {
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
  name += ".bak";
  return name;
}

Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const FileContents& contents,
                        std::time_t now, ReplaceOutcome* outcome) {
  if (outcome != nullptr) *outcome = ReplaceOutcome();
  (void)platform.SetFileAttributes(hosts_path, kAttrNormal);

  if (platform.PathFileExists(hosts_path)) {
    // folder keeps its trailing separator, so folder + name is a path.
    const std::string folder(FolderPartOf(hosts_path));
    const std::string asked(FileNameOf(hosts_path));
    std::string own_name = OwnName(platform, folder.empty() ? std::string(".") : folder, asked);
    std::string backup = folder + HostsBackupName(own_name, now);
    if (!platform.PathFileExists(backup)) {
      Status copied = platform.CopyFile(hosts_path, backup);
      if (!copied.ok()) return Fail(outcome, ReplaceStep::kBackup, copied);
    }
    if (outcome != nullptr) outcome->backup_path = backup;
    RemoveOldBackups(platform, folder, own_name);
  }

  Status written = platform.WriteFileAtomicInPieces(hosts_path, contents);
  if (!written.ok()) return Fail(outcome, ReplaceStep::kWrite, written);
  Status protected_status = platform.SetFileAttributes(hosts_path, kAttrReadOnly | kAttrSystem);
  if (!protected_status.ok()) return Fail(outcome, ReplaceStep::kAttributes, protected_status);
  return Status::Ok();
}

}  // namespace quorvale
