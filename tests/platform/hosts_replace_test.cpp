#include "platform/hosts_replace.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "core/path_text.h"
#include "core/text.h"
#include "posix_test_util.h"
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

TEST_F(HostsReplaceTest, BackupNameCarriesTheFileOwnNameAndLocalStamp) {
  EXPECT_EQ(HostsBackupName("HOSTS", kMoment), "HOSTS.20231114-221320.bak");
  EXPECT_EQ(HostsBackupName("hosts", kMoment + 3600 * 2 + 61), "hosts.20231115-001421.bak");
  setenv("TZ", "CET-1", 1);
  tzset();
  EXPECT_EQ(HostsBackupName("Hosts", kMoment), "Hosts.20231114-231320.bak");
}

TEST_F(HostsReplaceTest, MissingFileIsCreatedReadOnlyWithoutBackup) {
  FakePlatform platform;
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new\r\n", kMoment, &outcome).ok());
  EXPECT_EQ(ReadBytes(hosts_), "new\r\n");
  EXPECT_EQ(platform.GetFileAttributes(hosts_), kAttrReadOnly);
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
  EXPECT_EQ(platform.GetFileAttributes(hosts_), kAttrReadOnly);
  const std::vector<std::pair<std::string, int>> calls = {{hosts_, 0}, {hosts_, 5}};
  EXPECT_EQ(platform.attribute_calls, calls);
  EXPECT_EQ(SortedNames(platform, folder_), (std::vector<std::string>{"HOSTS", "HOSTS.20231114-221320.bak"}));
}

TEST_F(HostsReplaceTest, TheOldestAndTheFiveNewestCopiesStayAndOtherFilesAreLeftAlone) {
  WriteBytes(hosts_, "old");
  for (const char* stamp : {"20190101-000000", "20200101-000000", "20210101-000000", "20220101-000000",
                            "20230101-000000", "20231114-221319"}) {
    WriteBytes(Backup(stamp), stamp);
  }
  const std::vector<std::string> unrelated = {
      "HOSTS.bak", "HOSTS.20180101-000000.bak.old", "HOSTS.2018010-10000000.bak", "HOSTS.20180101_000000.bak",
      "hosts.20180101-000000.bak", "XHOSTS.20180101-000000.bak", "HOSTS.20180101-000000.BAK",
      "HOSTS.20180101-000000-1.bak", "HOSTS.20180101-000000-02.bak", "HOSTS.20180101-000000-.bak"};
  for (const std::string& name : unrelated) WriteBytes(folder_ + "/" + name, "keep");

  FakePlatform platform;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment).ok());

  std::vector<std::string> expected = unrelated;
  for (const char* name : {"HOSTS", "HOSTS.20190101-000000.bak", "HOSTS.20210101-000000.bak",
                           "HOSTS.20220101-000000.bak", "HOSTS.20230101-000000.bak", "HOSTS.20231114-221319.bak",
                           "HOSTS.20231114-221320.bak"}) {
    expected.push_back(name);
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedNames(platform, folder_), expected);
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "old");
  EXPECT_EQ(ReadBytes(Backup("20210101-000000")), "20210101-000000");
}

// Every replace keeps its own copy, numbered within its second; the pruning keeps the first.
TEST_F(HostsReplaceTest, TenReplacesInOneSecondKeepTheirCopies) {
  WriteBytes(hosts_, "v0");
  FakePlatform platform;
  for (int i = 1; i <= 10; ++i) {
    ReplaceOutcome outcome;
    ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "v" + std::to_string(i), kMoment, &outcome).ok());
    EXPECT_EQ(outcome.backup_path, Backup(std::string(kStamp) + (i == 1 ? "" : "-" + std::to_string(i))));
  }
  std::vector<std::string> expected = {"HOSTS", "HOSTS.20231114-221320.bak"};
  for (int i = 6; i <= 10; ++i) {
    expected.push_back("HOSTS.20231114-221320-" + std::to_string(i) + ".bak");
    EXPECT_EQ(ReadBytes(folder_ + "/" + expected.back()), "v" + std::to_string(i - 1));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedNames(platform, folder_), expected);
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "v0");
}

// {time zone of the replace, the copies there before as (stamp, modification time), the
// stamps left besides the new copy's, the new copy's stamp}
struct PruneCase {
  const char* name;
  const char* tz;
  std::vector<std::pair<std::string, std::time_t>> copies;
  std::vector<std::string> left;
  std::string made;
};

void PrintTo(const PruneCase& c, std::ostream* out) { *out << c.name; }

class BackupPruningTest : public HostsReplaceTest, public ::testing::WithParamInterface<PruneCase> {};

TEST_P(BackupPruningTest, GoesByModificationTimesAndKeepsTheNewCopy) {
  WriteBytes(hosts_, "old");
  for (const auto& [stamp, moment] : GetParam().copies) {
    WriteBytes(Backup(stamp), stamp);
    const timespec times[2] = {{moment, 0}, {moment, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, Backup(stamp).c_str(), times, 0), 0);
  }
  setenv("TZ", GetParam().tz, 1);
  tzset();
  FakePlatform platform;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment).ok());
  std::vector<std::string> expected = {"HOSTS", "HOSTS." + GetParam().made + ".bak"};
  for (const std::string& stamp : GetParam().left) expected.push_back("HOSTS." + stamp + ".bak");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(SortedNames(platform, folder_), expected);
  EXPECT_EQ(ReadBytes(Backup(GetParam().made)), "old");
}

constexpr std::time_t kHour = 3600;
// 2100-01-01 00:00:00 UTC: copies made while the clock was ahead.
constexpr std::time_t kFuture = 4102444800;

INSTANTIATE_TEST_SUITE_P(
    Cases, BackupPruningTest,
    ::testing::Values(
        PruneCase{"UtcCopiesThenNewYork", "America/New_York",
                  {{"20231114-170000", kMoment - 5 * kHour}, {"20231114-180000", kMoment - 4 * kHour},
                   {"20231114-190000", kMoment - 3 * kHour}, {"20231114-200000", kMoment - 2 * kHour},
                   {"20231114-210000", kMoment - kHour}, {"20231114-220000", kMoment - 800}},
                  {"20231114-170000", "20231114-190000", "20231114-200000", "20231114-210000", "20231114-220000"},
                  "20231114-171320"},
        PruneCase{"ClockPutBack", "UTC",
                  {{"21000101-000000", kFuture}, {"21000101-000001", kFuture + 1}, {"21000101-000002", kFuture + 2},
                   {"21000101-000003", kFuture + 3}, {"21000101-000004", kFuture + 4},
                   {"21000101-000005", kFuture + 5}, {"21000101-000006", kFuture + 6}},
                  {"21000101-000000", "21000101-000003", "21000101-000004", "21000101-000005", "21000101-000006"},
                  kStamp},
        PruneCase{"TimesAgainstNames", "UTC",
                  {{"20230101-000000", kMoment - 1}, {"20230102-000000", kMoment - 2}, {"20230103-000000", kMoment - 3},
                   {"20230104-000000", kMoment - 4}, {"20230105-000000", kMoment - 5}, {"20230106-000000", kMoment - 6},
                   {"20230107-000000", kMoment - 7}},
                  {"20230101-000000", "20230102-000000", "20230103-000000", "20230104-000000", "20230107-000000"},
                  kStamp}));

// {mode of the HOSTS file}: the copy has the owner, group and mode of the file it copies.
class BackupRightsTest : public HostsReplaceTest, public ::testing::WithParamInterface<mode_t> {};

TEST_P(BackupRightsTest, CopyKeepsOwnerGroupAndMode) {
  testing::ScopedUmask mask(077);
  WriteBytes(hosts_, "old");
  testing::GiveToTestUser(hosts_);
  ASSERT_EQ(chmod(hosts_.c_str(), GetParam()), 0);
  FakePlatform platform;
  ASSERT_TRUE(ReplaceHostsFile(platform, hosts_, "new", kMoment).ok());
  struct stat copy {};
  ASSERT_EQ(stat(Backup(kStamp).c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mode & 07777, GetParam());
  EXPECT_EQ(copy.st_uid, testing::TestUserId());
  EXPECT_EQ(copy.st_gid, testing::TestGroupId());
}

INSTANTIATE_TEST_SUITE_P(Modes, BackupRightsTest, ::testing::Values(0644, 0640, 0604, 0600));

// The folder-listing name is the one the copies use, as on a system whose names ignore case:
// every path reaches the file through its lower-case name.
class CaseBlindPlatform : public FakePlatform {
 public:
  static std::string Fold(const std::string& path) {
    return std::string(FolderPartOf(path)) + AsciiLower(FileNameOf(path));
  }
  Status SetFileAttributes(const std::string& path, int attributes) override {
    return FakePlatform::SetFileAttributes(Fold(path), attributes);
  }
  bool PathFileExists(const std::string& path) override { return FakePlatform::PathFileExists(Fold(path)); }
  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    return FakePlatform::WriteFileAtomic(Fold(path), bytes);
  }
  Status CopyFile(const std::string& from, const std::string& to) override {
    copies.emplace_back(from, to);
    return FakePlatform::CopyFile(Fold(from), Fold(to));
  }
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

class FailingPlatform : public FakePlatform {
 public:
  bool fail_copy = false;
  bool fail_protect = false;
  Status CopyFile(const std::string& from, const std::string& to) override {
    if (fail_copy) return Status(ErrorCode::kNoSpace, to, "No space left on device");
    return FakePlatform::CopyFile(from, to);
  }
  Status SetFileAttributes(const std::string& path, int attributes) override {
    Status status = FakePlatform::SetFileAttributes(path, attributes);
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

TEST_F(HostsReplaceTest, FailedWriteLeavesTheOldFileAndItsCopyAndTheAttributes) {
  WriteBytes(hosts_, "old");
  chmod(hosts_.c_str(), 0444);
  FakePlatform platform;
  platform.failing_writes = {hosts_};
  ReplaceOutcome outcome;
  Status status = ReplaceHostsFile(platform, hosts_, "new", kMoment, &outcome);
  EXPECT_EQ(status.code(), ErrorCode::kAccessDenied);
  EXPECT_EQ(outcome.step, ReplaceStep::kWrite);
  EXPECT_EQ(ReadBytes(hosts_), "old");
  EXPECT_EQ(ReadBytes(Backup(kStamp)), "old");
  const std::vector<std::pair<std::string, int>> calls = {{hosts_, 0}, {hosts_, kAttrReadOnly}};
  EXPECT_EQ(platform.attribute_calls, calls);
  EXPECT_EQ(testing::ModeOf(hosts_), 0444u);
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
