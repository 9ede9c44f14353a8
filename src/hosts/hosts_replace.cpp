#include "hosts/hosts_replace.h"

#include <algorithm>
#include <memory>
#include <utility>

#include "core/path_text.h"
#include "core/text.h"
#include "hosts/file_loads.h"

namespace quorvale {

namespace {

// How many names a copy tries when others keep taking them first.
constexpr int kBackupNameAttempts = 100;

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

  std::string Listable() const { return folder.empty() ? std::string(".") : folder; }
  BackupOwner Owner() const { return BackupOwner{own_name, kFileNamesIgnoreCase}; }
};

BackupPlace BackupPlaceOf(Platform& platform, const std::string& hosts_path) {
  BackupPlace place{std::string(FolderPartOf(hosts_path)), ""};
  place.own_name = OwnName(platform, place.Listable(), std::string(FileNameOf(hosts_path)));
  return place;
}

// The copies in the folder that are regular files with known times, in the folder's order;
// an entry the system says nothing about is not counted, so it is never removed.
std::vector<HostsBackup> RegularCopies(Platform& platform, const BackupPlace& place) {
  std::vector<HostsBackup> copies;
  for (std::string& name : platform.ListFolder(place.Listable())) {
    BackupName parsed;
    if (!ParseBackupName(name, place.Owner(), &parsed)) continue;
    std::string path = place.folder + name;
    const Platform::EntryFacts facts = platform.FactsOf(path);
    if (facts.kind != Platform::EntryFacts::Kind::kRegular || facts.modified < 0) continue;
    copies.push_back(HostsBackup{std::move(name), std::move(path), facts.modified, facts.bytes});
  }
  return copies;
}

std::vector<BackupCopy> PolicyView(const std::vector<HostsBackup>& backups) {
  std::vector<BackupCopy> copies;
  for (const HostsBackup& backup : backups) copies.push_back(BackupCopy{backup.name, backup.modified});
  return copies;
}

void RemoveOldBackups(Platform& platform, const BackupPlace& place, std::string_view made, std::string_view kept) {
  const std::vector<BackupCopy> copies = PolicyView(RegularCopies(platform, place));
  for (const std::string& name : CopiesToRemove(copies, place.Owner(), made, kept)) {
    // A copy that will not go away costs some disk space, not the replace.
    (void)platform.RemoveFile(place.folder + name);
  }
}

// Copies the HOSTS file to a new copy named for the second of `now`, numbered after every
// entry of that second that the folder holds (so that the numbers follow the order of the
// copies), and after any name another run takes meanwhile.
Status MakeBackup(Platform& platform, const std::string& hosts_path, const BackupPlace& place, std::time_t now,
                  std::string* backup_path) {
  BackupName made;
  const std::string first = HostsBackupName(place.own_name, now);
  (void)ParseBackupName(first, place.Owner(), &made);
  int last = 0;
  for (const std::string& name : platform.ListFolder(place.Listable())) {
    BackupName parsed;
    if (ParseBackupName(name, place.Owner(), &parsed) && parsed.stamp == made.stamp) {
      last = std::max(last, parsed.number);
    }
  }
  Status status;
  for (int attempt = 1; attempt <= kBackupNameAttempts; ++attempt) {
    *backup_path = place.folder + HostsBackupName(place.own_name, now, last + attempt);
    status = platform.CopyToNewFile(hosts_path, *backup_path);
    if (status.code() != ErrorCode::kExists) break;
  }
  if (!status.ok()) backup_path->clear();
  return status;
}

Status Fail(ReplaceOutcome* outcome, ReplaceStep step, Status status) {
  if (outcome != nullptr) outcome->step = step;
  return status;
}

// Steps 2 to 5 of ReplaceHostsFile, once the lock is held. `restored` is the copy being
// restored ("" for a replace): it survives the pruning, and no lines are carried then.
Status CopyWriteAndPrune(Platform& platform, const std::string& hosts_path, const ReplacementContents& contents,
                         std::time_t now, ReplaceOutcome* outcome, std::string_view restored) {
  const int attributes_before = platform.GetAttributes(hosts_path);
  (void)platform.PrepareReplace(hosts_path);
  std::vector<std::string> carried_lines;
  if (restored.empty()) {
    Status read = ReadLinesToCarry(platform, hosts_path, &carried_lines);
    if (!read.ok()) {
      RestoreAttributesAfterFailure(platform, hosts_path, attributes_before);
      return Fail(outcome, ReplaceStep::kRead, read);
    }
  }

  const BackupPlace place = BackupPlaceOf(platform, hosts_path);
  std::string backup;
  if (platform.PathExists(hosts_path)) {
    Status copied = MakeBackup(platform, hosts_path, place, now, &backup);
    if (!copied.ok()) {
      RestoreAttributesAfterFailure(platform, hosts_path, attributes_before);
      return Fail(outcome, ReplaceStep::kBackup, copied);
    }
  }

  constexpr int kProtected = kAttrReadOnly | kAttrSystem;
  Status written = platform.ReplaceProtectedFile(
      hosts_path, [&](const ByteSink& sink) { return contents(carried_lines, sink); }, kProtected);
  if (!written.ok()) {
    // The old file is still there, unchanged: its copy is not needed.
    if (!backup.empty()) (void)platform.RemoveFile(backup);
    RestoreAttributesAfterFailure(platform, hosts_path, attributes_before);
    return Fail(outcome, ReplaceStep::kWrite, written);
  }
  if (outcome != nullptr) outcome->backup_path = backup;
  RemoveOldBackups(platform, place, FileNameOf(backup), restored);
  Status protected_status = platform.SetAttributes(hosts_path, kProtected);
  if (!protected_status.ok()) return Fail(outcome, ReplaceStep::kAttributes, protected_status);
  return Status::Ok();
}

}  // namespace

Status LockHostsFile(Platform& platform, const std::string& hosts_path, std::unique_ptr<Platform::HeldLock>* lock,
                     ReplaceOutcome* outcome, const YieldFn& waiting) {
  if (outcome != nullptr) *outcome = ReplaceOutcome();
  Status locked = platform.LockForReplace(hosts_path, kReplaceLockTimeoutMilliseconds, waiting, lock);
  if (!locked.ok()) return Fail(outcome, ReplaceStep::kLock, locked);
  return Status::Ok();
}

Status ReplaceLockedHostsFile(Platform& platform, const Platform::HeldLock&, const std::string& hosts_path,
                              const ReplacementContents& contents, std::time_t now, ReplaceOutcome* outcome) {
  if (outcome != nullptr) *outcome = ReplaceOutcome();
  return CopyWriteAndPrune(platform, hosts_path, contents, now, outcome, "");
}

namespace {

// Runs `steps` holding the replace lock of the file.
Status Locked(Platform& platform, const std::string& hosts_path, ReplaceOutcome* outcome, const YieldFn& waiting,
              const std::function<Status()>& steps) {
  std::unique_ptr<Platform::HeldLock> lock;
  if (Status locked = LockHostsFile(platform, hosts_path, &lock, outcome, waiting); !locked.ok()) return locked;
  return steps();
}

}  // namespace

void RestoreAttributesAfterFailure(Platform& platform, const std::string& hosts_path, int attributes_before) {
  if (attributes_before > kAttrNormal) (void)platform.SetAttributes(hosts_path, attributes_before);
}

Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, const ReplacementContents& contents,
                        std::time_t now, ReplaceOutcome* outcome, const YieldFn& waiting) {
  return Locked(platform, hosts_path, outcome, waiting,
                [&] { return CopyWriteAndPrune(platform, hosts_path, contents, now, outcome, ""); });
}

Status ReplaceHostsFile(Platform& platform, const std::string& hosts_path, std::string_view bytes, std::time_t now,
                        ReplaceOutcome* outcome, const YieldFn& waiting) {
  return ReplaceHostsFile(
      platform, hosts_path,
      [bytes](const std::vector<std::string>&, const ByteSink& sink) { return sink(bytes); }, now, outcome,
      waiting);
}

std::vector<HostsBackup> ListHostsBackups(Platform& platform, const std::string& hosts_path) {
  const BackupPlace place = BackupPlaceOf(platform, hosts_path);
  std::vector<HostsBackup> copies = RegularCopies(platform, place);
  const std::vector<size_t> order = OldestFirstOrder(PolicyView(copies), place.Owner());
  std::vector<HostsBackup> newest_first;
  for (auto it = order.rbegin(); it != order.rend(); ++it) newest_first.push_back(std::move(copies[*it]));
  return newest_first;
}

bool SameBackupName(std::string_view a, std::string_view b) {
  return BackupOwner{"", kFileNamesIgnoreCase}.SameName(a, b);
}

Status RestoreHostsBackup(Platform& platform, const std::string& hosts_path, const std::string& backup_name,
                          std::time_t now, ReplaceOutcome* outcome, const YieldFn& waiting) {
  return Locked(platform, hosts_path, outcome, waiting, [&] {
    std::string name = backup_name;
    if (name.empty()) {
      const std::vector<HostsBackup> backups = ListHostsBackups(platform, hosts_path);
      if (backups.empty()) return Fail(outcome, ReplaceStep::kRead, Status(ErrorCode::kNotFound, hosts_path, ""));
      name = backups.front().name;
    }
    const std::string path = std::string(FolderPartOf(hosts_path)) + name;
    std::string bytes;
    Status read = platform.ReadRegularFile(path, &bytes);
    if (!read.ok()) return Fail(outcome, ReplaceStep::kRead, read);
    return CopyWriteAndPrune(
        platform, hosts_path,
        [&bytes](const std::vector<std::string>&, const ByteSink& sink) { return sink(bytes); }, now, outcome, name);
  });
}

}  // namespace quorvale
