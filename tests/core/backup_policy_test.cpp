#include "core/backup_policy.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "core/text.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

// 2023-11-14 22:13:20 UTC.
constexpr std::time_t kMoment = 1700000000;

// The local time of `tz` for the life of the object.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    env_.emplace("TZ", tz);
    tzset();
  }
  ~ScopedTimeZone() {
    env_.reset();
    tzset();
  }

 private:
  std::optional<testing::ScopedEnv> env_;
};

TEST(BackupPolicyTest, NamesCarryTheFileOwnNameTheLocalStampAndTheNumber) {
  {
    ScopedTimeZone utc("UTC");
    EXPECT_EQ(HostsBackupName("HOSTS", kMoment), "HOSTS.20231114-221320.bak");
    EXPECT_EQ(HostsBackupName("hosts", kMoment + 3600 * 2 + 61, 3), "hosts.20231115-001421-3.bak");
    EXPECT_EQ(BackupTimeText(kMoment * 1'000'000'000LL + 999), "2023-11-14 22:13:20");
    EXPECT_EQ(BackupTimeText(-1), "");
  }
  ScopedTimeZone paris("CET-1");
  EXPECT_EQ(HostsBackupName("Hosts", kMoment), "Hosts.20231114-231320.bak");
}

const BackupOwner kHosts{"HOSTS", false};
// As on Windows, where names that differ only in case are one.
const BackupOwner kCaseBlindHosts{"HOSTS", true};

TEST(BackupPolicyTest, OnlyNamesOfTheFileOwnCopiesAreRead) {
  BackupName parsed;
  ASSERT_TRUE(ParseBackupName("HOSTS.20231114-221320-12.bak", kHosts, &parsed));
  EXPECT_EQ(parsed.stamp, "20231114-221320");
  EXPECT_EQ(parsed.number, 12);
  ASSERT_TRUE(ParseBackupName("HOSTS.20231114-221320.bak", kHosts, &parsed));
  EXPECT_EQ(parsed.number, 1);
  for (const char* name : {"hosts.20231114-221320-3.bak", "Hosts.20231114-221320-3.BAK"}) {
    EXPECT_FALSE(ParseBackupName(name, kHosts, &parsed)) << name;
    ASSERT_TRUE(ParseBackupName(name, kCaseBlindHosts, &parsed)) << name;
    EXPECT_EQ(parsed.number, 3);
  }
  for (const char* name : {"HOSTS.bak", "HOSTS.20180101-000000.bak.old", "HOSTS.2018010-10000000.bak",
                           "HOSTS.20180101_000000.bak", "hosts.20180101-000000.bak", "XHOSTS.20180101-000000.bak",
                           "HOSTS.20180101-000000.BAK", "HOSTS.20180101-000000-1.bak", "HOSTS.20180101-000000-02.bak",
                           "HOSTS.20180101-000000-.bak", "HOSTS.20180101-000000-1234567890.bak"}) {
    EXPECT_FALSE(ParseBackupName(name, kHosts, &parsed)) << name;
  }
}

std::string Copy(int year) { return "HOSTS." + std::to_string(year) + "0101-000000.bak"; }

// The times decide, not the names: each copy here is dated in the order opposite to its name
// but for the last two, which share a time and go by their numbers.
TEST(BackupPolicyTest, TheOldestAndTheNewestStayWithTheCopyJustMadeAndTheOneRestored) {
  std::vector<BackupCopy> copies;
  for (int year = 2010; year <= 2019; ++year) copies.push_back({Copy(year), 3000 - year});
  copies.push_back({"HOSTS.20200101-000000-2.bak", 100});
  copies.push_back({"HOSTS.20200101-000000-3.bak", 100});
  // Oldest first: -2 and -3 (time 100), then 2019 (981) ... 2010 (990).
  const std::vector<size_t> order = OldestFirstOrder(copies, kHosts);
  EXPECT_EQ(order, (std::vector<size_t>{10, 11, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));

  // Kept: the oldest (-2) and, with the copy just made (2015), the four newest (2010-2013).
  EXPECT_EQ(CopiesToRemove(copies, kHosts, Copy(2015), ""),
            (std::vector<std::string>{"HOSTS.20200101-000000-3.bak", Copy(2019), Copy(2018), Copy(2017),
                                      Copy(2016), Copy(2014)}));
  // The copy being restored (2018) stays too, named in any case where case does not count.
  EXPECT_EQ(CopiesToRemove(copies, kCaseBlindHosts, Copy(2015), AsciiLower(Copy(2018))),
            (std::vector<std::string>{"HOSTS.20200101-000000-3.bak", Copy(2019), Copy(2017), Copy(2016), Copy(2014)}));
  copies.resize(6);
  EXPECT_TRUE(CopiesToRemove(copies, kHosts, Copy(2015), "").empty());
}

}  // namespace
}  // namespace quorvale
