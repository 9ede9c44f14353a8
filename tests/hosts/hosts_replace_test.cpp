#include "hosts/hosts_replace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/path_text.h"
#include "core/text.h"
#include "platform/posix_test_util.h"
#include "support/fake_platform.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

// 2023-11-14 22:13:20 UTC.
constexpr std::time_t kMoment = 1700000000;
constexpr const char* kStamp = "20231114-221320";

std::vector<std::string> SortedNames(Platform& platform, const std::string& folder) {
  std::vector<std::string> names = platform.ListFolder(folder);
  std::sort(names.begin(), names.end());
  return names;
}

class HostsReplaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_tz_ = tz, had_tz_ = true;
    setenv("TZ", "UTC", 1);
    tzset();
    folder_ = dir_.path() + "/drivers/etc";
    std::filesystem::create_directories(folder_);
    hosts_ = folder_ + "/HOSTS";
  }
  void TearDown() override {
    if (had_tz_) {
      setenv("TZ", saved_tz_.c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

  std::string Backup(const std::string& stamp) const { return folder_ + "/HOSTS." + stamp + ".bak"; }

  TempDir dir_;
  std::string folder_;
  std::string hosts_;
  std::string saved_tz_;
  bool had_tz_ = false;
};

TEST_F(HostsReplaceTest, MissingFileIsCreatedReadOnlyWithoutBackup) {
  FakePlatform platform;
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new\r\n", kMoment, &outcome).ok());
  EXPECT_EQ(ReadBytes(hosts_), "new\r\n");
  EXPECT_EQ(platform.GetAttributes(hosts_), kAttrReadOnly);
  EXPECT_EQ(SortedNames(platform, folder_), std::vector<std::string>{"HOSTS"});
  EXPECT_EQ(outcome.step, ReplaceStep::kDone);
  EXPECT_EQ(outcome.backup_path, "");
  const std::vector<std::pair<std::string, int>> calls = {{hosts_, 0}, {hosts_, 5}};
  EXPECT_EQ(platform.attribute_calls, calls);
}

TEST_F(HostsReplaceTest, ReadOnlyFileIsCopiedThenReplacedAndProtectedAgain) {
  WriteBytes(hosts_, "127.0.0.1\told.example\r\n");
  chmod(hosts_.c_str(), 0444);
  FakePlatform platform;
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new\r\n", kMoment, &outcome).ok());
  EXPECT_EQ(ReadBytes(hosts_), "new\r\n");
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "127.0.0.1\told.example\r\n");
  EXPECT_EQ(outcome.backup_path, Backup(kStamp));
  EXPECT_EQ(platform.GetAttributes(hosts_), kAttrReadOnly);
  const std::vector<std::pair<std::string, int>> calls = {{hosts_, 0}, {hosts_, 5}};
  EXPECT_EQ(platform.attribute_calls, calls);
  EXPECT_EQ(SortedNames(platform, folder_), (std::vector<std::string>{"HOSTS", "HOSTS.20231114-221320.bak"}));
}

// Entries named as copies that are not regular files (a dangling link named as the oldest
// copy, a link to another file, a folder, a pipe) are never counted, removed or listed.
TEST_F(HostsReplaceTest, TheOldestAndTheFiveNewestCopiesStayAndOtherEntriesAreLeftAlone) {
  WriteBytes(hosts_, "old");
  for (const char* stamp : {"20190101-000000", "20200101-000000", "20210101-000000", "20220101-000000",
                            "20230101-000000", "20231114-221319"}) {
    WriteBytes(Backup(stamp), stamp);
  }
  WriteBytes(folder_ + "/HOSTS.bak", "keep");
  ASSERT_EQ(symlink("/nonexistent", Backup("20000101-000000").c_str()), 0);
  ASSERT_EQ(symlink(Backup("20190101-000000").c_str(), Backup("20000102-000000").c_str()), 0);
  ASSERT_EQ(mkdir(Backup("20000103-000000").c_str(), 0755), 0);
  ASSERT_EQ(mkfifo(Backup("20000104-000000").c_str(), 0644), 0);

  FakePlatform platform;
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment).ok());

  EXPECT_EQ(SortedNames(platform, folder_),
            (std::vector<std::string>{"HOSTS", "HOSTS.20000101-000000.bak", "HOSTS.20000102-000000.bak",
                                      "HOSTS.20000103-000000.bak", "HOSTS.20000104-000000.bak", "HOSTS.20190101-000000.bak",
                                      "HOSTS.20231114-221319.bak", "HOSTS.20231114-221320-2.bak",
                                      "HOSTS.20231114-221320-3.bak", "HOSTS.20231114-221320-4.bak",
                                      "HOSTS.20231114-221320.bak", "HOSTS.bak"}));
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "old");
  std::vector<std::string> listed;
  for (const HostsBackup& backup : ListHostsBackups(platform, hosts_)) listed.push_back(backup.name);
  EXPECT_EQ(listed, (std::vector<std::string>{"HOSTS.20231114-221320-4.bak", "HOSTS.20231114-221320-3.bak",
                                              "HOSTS.20231114-221320-2.bak", "HOSTS.20231114-221320.bak",
                                              "HOSTS.20231114-221319.bak", "HOSTS.20190101-000000.bak"}));
}

// Every replace keeps its own copy, numbered within its second; the first and the five
// newest stay.
TEST_F(HostsReplaceTest, TenReplacesInOneSecondKeepTheirCopies) {
  WriteBytes(hosts_, "v0");
  FakePlatform platform;
  for (int i = 1; i <= 10; ++i) ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "v" + std::to_string(i), kMoment).ok());
  std::vector<std::string> expected = {"HOSTS", "HOSTS.20231114-221320.bak"};
  for (int i = 6; i <= 10; ++i) expected.push_back("HOSTS.20231114-221320-" + std::to_string(i) + ".bak");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedNames(platform, folder_), expected);
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "v0");
  EXPECT_EQ(ReadBytes(Backup(std::string(kStamp) + "-10")), "v9");
}

// Copies named in UTC at 16:00 to 22:00, dated later the earlier their names (the clock was
// ahead), then a replace in New York: its copy stays, although its name sorts among the
// others and its date is the oldest; the others go by their dates. It has the file's owner,
// group and mode.
TEST_F(HostsReplaceTest, PruningGoesByModificationTimesAndKeepsTheNewCopy) {
  WriteBytes(hosts_, "old");
  testing::GiveToTestUser(hosts_);
  ASSERT_EQ(chmod(hosts_.c_str(), 0604), 0);
  for (int hour = 16; hour <= 22; ++hour) {
    const std::string copy = Backup("20231114-" + std::to_string(hour) + "0000");
    const timespec times[2] = {{4102444800 - hour, 0}, {4102444800 - hour, 0}};  // in 2100
    WriteBytes(copy, "x");
    ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
  }
  setenv("TZ", "America/New_York", 1);
  tzset();
  testing::ScopedUmask mask(077);
  FakePlatform platform;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment).ok());
  EXPECT_EQ(SortedNames(platform, folder_),
            (std::vector<std::string>{"HOSTS", "HOSTS.20231114-160000.bak", "HOSTS.20231114-170000.bak",
                                      "HOSTS.20231114-171320.bak", "HOSTS.20231114-180000.bak",
                                      "HOSTS.20231114-190000.bak", "HOSTS.20231114-220000.bak"}));
  struct stat copy {};
  ASSERT_EQ(stat(Backup("20231114-171320").c_str(), &copy), 0);
  EXPECT_EQ(std::tuple(copy.st_mode & 07777, copy.st_uid, copy.st_gid),
            std::tuple(0604u, testing::TestUserId(), testing::TestGroupId()));
}

// The folder-listing name is the one the copies use, as on a system whose names ignore case:
// every path reaches the file through its lower-case name.
class CaseBlindPlatform : public FakePlatform {
 public:
  static std::string Fold(const std::string& path) {
    return std::string(FolderPartOf(path)) + AsciiLower(FileNameOf(path));
  }
  Status SetAttributes(const std::string& path, int attributes) override {
    return FakePlatform::SetAttributes(Fold(path), attributes);
  }
  bool PathExists(const std::string& path) override { return FakePlatform::PathExists(Fold(path)); }
  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    copies.emplace_back(from, to);
    return FakePlatform::CopyToNewFile(Fold(from), Fold(to));
  }
  Status PrepareReplace(const std::string& path) override { return FakePlatform::PrepareReplace(Fold(path)); }
  Status ReplaceProtectedFile(const std::string& path, const FileContents& contents, int attributes) override {
    return FakePlatform::ReplaceProtectedFile(Fold(path), contents, attributes);
  }
  EntryFacts FactsOf(const std::string& path) override { return FakePlatform::FactsOf(Fold(path)); }
  Status RemoveFile(const std::string& path) override { return FakePlatform::RemoveFile(Fold(path)); }
  std::vector<std::pair<std::string, std::string>> copies;
};

TEST_F(HostsReplaceTest, CopyIsNamedAfterTheNameTheFolderLists) {
  const std::string lower = folder_ + "/hosts";
  WriteBytes(lower, "old");
  for (const char* stamp : {"20170101-000000", "20180101-000000", "20190101-000000", "20200101-000000",
                            "20210101-000000"}) {
    WriteBytes(folder_ + "/hosts." + stamp + ".bak", "x");
  }
  CaseBlindPlatform platform;
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome).ok());
  ASSERT_EQ(platform.copies.size(), 1u);
  EXPECT_EQ(platform.copies[0].second, folder_ + "/hosts.20231114-221320.bak");
  EXPECT_EQ(outcome.backup_path, folder_ + "/hosts.20231114-221320.bak");
  EXPECT_EQ(ReadBytes(folder_ + "/hosts.20231114-221320.bak"), "old");
  EXPECT_EQ(ReadBytes(lower), "new");
  EXPECT_EQ(SortedNames(platform, folder_),
            (std::vector<std::string>{"hosts", "hosts.20170101-000000.bak", "hosts.20180101-000000.bak",
                                      "hosts.20190101-000000.bak",
                                      "hosts.20200101-000000.bak", "hosts.20210101-000000.bak",
                                      "hosts.20231114-221320.bak"}));
}

// Copies dated in the order of their names but the last, dated first: the list goes by the
// dates. The second oldest comes back byte for byte and outlives the pruning that the copy
// of the file it replaces brings.
TEST_F(HostsReplaceTest, BackupsAreListedNewestFirstAndRestoredByteForByte) {
  WriteBytes(hosts_, "current\r\n");
  const char* stamps[] = {"20190101-000000", "20200101-000000", "20210101-000000",
                          "20220101-000000", "20230101-000000", "20231114-221319"};
  for (int i = 0; i < 6; ++i) {
    WriteBytes(Backup(stamps[i]), std::string(i + 1, 'x'));
    const std::time_t at = i < 5 ? kMoment - 100 + 10 * i : kMoment - 200;
    const timespec times[2] = {{at, 0}, {at, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Backup(stamps[i]).c_str(), times, 0), 0);
  }
  WriteBytes(folder_ + "/HOSTS.bak", "not a copy");
  FakePlatform platform;
  const std::vector<HostsBackup> backups = ListHostsBackups(platform, hosts_);
  std::vector<std::tuple<std::string, std::string, std::int64_t>> listed;
  for (const HostsBackup& b : backups) listed.emplace_back(b.name, BackupTimeText(b.modified), b.bytes);
  EXPECT_EQ(listed, (std::vector<std::tuple<std::string, std::string, std::int64_t>>{
                        {"HOSTS.20230101-000000.bak", "2023-11-14 22:12:20", 5},
                        {"HOSTS.20220101-000000.bak", "2023-11-14 22:12:10", 4},
                        {"HOSTS.20210101-000000.bak", "2023-11-14 22:12:00", 3},
                        {"HOSTS.20200101-000000.bak", "2023-11-14 22:11:50", 2},
                        {"HOSTS.20190101-000000.bak", "2023-11-14 22:11:40", 1},
                        {"HOSTS.20231114-221319.bak", "2023-11-14 22:10:00", 6}}));
  EXPECT_EQ(backups[0].path, Backup(stamps[4]));
  EXPECT_EQ(BackupTimeText(-1), "");

  ReplaceOutcome outcome;
  ASSERT_TRUE(RestoreHostsBackup(platform, hosts_, backups[4].name, kMoment, &outcome).ok());
  EXPECT_EQ(ReadBytes(hosts_), "x");
  EXPECT_EQ(platform.GetAttributes(hosts_), kAttrReadOnly);
  EXPECT_EQ(outcome.backup_path, Backup(kStamp));
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "current\r\n");
  EXPECT_EQ(ListHostsBackups(platform, hosts_).size(), 7u);
  // "" is the newest copy: the one just made.
  ASSERT_TRUE(RestoreHostsBackup(platform, hosts_, "", kMoment, &outcome).ok());
  EXPECT_EQ(ReadBytes(hosts_), "current\r\n");

  // A link named as a copy, to a file only its owner may read, is not restored.
  WriteBytes(dir_.File("secret"), "secret");
  ASSERT_EQ(chmod(dir_.File("secret").c_str(), 0600), 0);
  ASSERT_EQ(symlink(dir_.File("secret").c_str(), Backup("20000101-000000").c_str()), 0);
  for (const char* name : {"HOSTS.20000101-000000.bak", "HOSTS.19990101-000000.bak"}) {
    const Status status = RestoreHostsBackup(platform, hosts_, name, kMoment, &outcome);
    EXPECT_EQ(outcome.step, ReplaceStep::kRead) << name;
    EXPECT_EQ(status.subject(), folder_ + "/" + name);
  }
  EXPECT_EQ(ReadBytes(hosts_), "current\r\n");
}

class FailingPlatform : public FakePlatform {
 public:
  bool fail_copy = false;
  bool fail_protect = false;
  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    if (fail_copy) return Status(ErrorCode::kNoSpace, to, "No space left on device");
    return FakePlatform::CopyToNewFile(from, to);
  }
  Status SetAttributes(const std::string& path, int attributes) override {
    Status status = FakePlatform::SetAttributes(path, attributes);
    if (fail_protect && attributes == (kAttrReadOnly | kAttrSystem)) {
      return Status(ErrorCode::kAccessDenied, path, "denied");
    }
    return status;
  }
};

TEST_F(HostsReplaceTest, FailedCopyStopsBeforeAnythingIsWritten) {
  WriteBytes(hosts_, "old");
  FailingPlatform platform;
  platform.fail_copy = true;
  ReplaceOutcome outcome;
  Status status = ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome);
  EXPECT_EQ(status.code(), ErrorCode::kNoSpace);
  EXPECT_EQ(status.subject(), Backup(kStamp));
  EXPECT_EQ(status.reason(), "No space left on device");
  EXPECT_EQ(outcome.step, ReplaceStep::kBackup);
  EXPECT_EQ(ReadBytes(hosts_), "old");
  EXPECT_EQ(SortedNames(platform, folder_), std::vector<std::string>{"HOSTS"});
  const std::vector<std::pair<std::string, int>> calls = {{hosts_, 0}};
  EXPECT_EQ(platform.attribute_calls, calls);
}

// Five versions, then five replaces that cannot write: each removes the copy it made and
// prunes nothing, so every version is still there.
TEST_F(HostsReplaceTest, FailedWritesKeepEveryVersion) {
  WriteBytes(hosts_, "v0");
  FakePlatform platform;
  for (int i = 1; i <= 5; ++i) ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "v" + std::to_string(i), kMoment).ok());
  chmod(hosts_.c_str(), 0644);
  platform.failing_writes = {hosts_};
  platform.attribute_calls.clear();
  for (int i = 6; i <= 10; ++i) {
    ReplaceOutcome outcome;
    EXPECT_EQ(ReplaceHostsFile(platform, hosts_, "v" + std::to_string(i), kMoment, &outcome).code(),
              ErrorCode::kAccessDenied);
    EXPECT_EQ(outcome.step, ReplaceStep::kWrite);
    EXPECT_EQ(outcome.backup_path, "");
  }
  EXPECT_EQ(ReadBytes(hosts_), "v5");
  std::vector<std::string> versions;
  for (const HostsBackup& backup : ListHostsBackups(platform, hosts_)) versions.push_back(ReadBytes(backup.path));
  EXPECT_EQ(versions, (std::vector<std::string>{"v4", "v3", "v2", "v1", "v0"}));
  EXPECT_EQ(SortedNames(platform, folder_).size(), 6u);
  EXPECT_EQ(platform.attribute_calls.size(), 5u) << "only the preparing calls: nothing to put back";
}

// Another run takes the copy's name between the listing and the copy: the next number is
// taken instead, and the other run's file is left as it is.
class RacingPlatform : public FakePlatform {
 public:
  Status CopyToNewFile(const std::string& from, const std::string& to) override {
    if (!raced) {
      raced = true;
      WriteBytes(to, "other run");
    }
    return FakePlatform::CopyToNewFile(from, to);
  }
  bool raced = false;
};

TEST_F(HostsReplaceTest, ATakenNameGivesTheNextNumber) {
  WriteBytes(hosts_, "old");
  RacingPlatform platform;
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome).ok());
  EXPECT_EQ(outcome.backup_path, Backup(std::string(kStamp) + "-2"));
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "other run");
  EXPECT_EQ(ReadBytes(Backup(std::string(kStamp) + "-2")), "old");
}

TEST_F(HostsReplaceTest, ABusyLockWritesNothing) {
  WriteBytes(hosts_, "old");
  FakePlatform platform;
  platform.replace_lock_busy = true;
  int waits = 0;
  ReplaceOutcome outcome;
  const Status status = ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome, [&] { ++waits; });
  EXPECT_EQ(status.code(), ErrorCode::kBusy);
  EXPECT_EQ(outcome.step, ReplaceStep::kLock);
  EXPECT_EQ(waits, 1);
  EXPECT_EQ(RestoreHostsBackup(platform, hosts_, "", kMoment, &outcome).code(), ErrorCode::kBusy);
  EXPECT_EQ(SortedNames(platform, folder_), std::vector<std::string>{"HOSTS"});
  EXPECT_TRUE(platform.attribute_calls.empty());
}

TEST_F(HostsReplaceTest, FailedProtectionIsReportedAfterTheWrite) {
  WriteBytes(hosts_, "old");
  FailingPlatform platform;
  platform.fail_protect = true;
  ReplaceOutcome outcome;
  Status status = ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome);
  EXPECT_EQ(status.code(), ErrorCode::kAccessDenied);
  EXPECT_EQ(outcome.step, ReplaceStep::kAttributes);
  EXPECT_EQ(ReadBytes(hosts_), "new");
}

// A real fault rather than an injected one: the folder cannot take the copy.
TEST_F(HostsReplaceTest, FolderThatRefusesTheCopyKeepsTheFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  WriteBytes(hosts_, "old");
  chmod(folder_.c_str(), 0555);
  FakePlatform platform;
  ReplaceOutcome outcome;
  Status status = ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome);
  chmod(folder_.c_str(), 0755);
  EXPECT_EQ(status.code(), ErrorCode::kAccessDenied);
  EXPECT_EQ(outcome.step, ReplaceStep::kBackup);
  EXPECT_EQ(ReadBytes(hosts_), "old");
  EXPECT_EQ(SortedNames(platform, folder_), std::vector<std::string>{"HOSTS"});
}

}  // namespace
}  // namespace quorvale
