// Replaces and restores of one HOSTS file started at once, and replaces ended by signals.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.h"
#include "core/backup_policy.h"
#include "hosts/file_loads.h"
#include "hosts/hosts_replace.h"
#include "platform/platform.h"
#include "platform/posix_test_util.h"

namespace quorvale::testing {
namespace {

class CliConcurrencyTest : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(etc_);
    std::filesystem::create_directories(bin_);
    // No program that empties the DNS cache: the runs do not wait for one.
    launch_.env = {{"QUORVALE_SYSTEM_DIR", File("System32")}, {"PATH", bin_}};
  }

  // The input of replace `i` and the HOSTS file that replace writes.
  std::string Input(int i, int lines = 1) const {
    std::string bytes;
    for (int line = 0; line < lines; ++line) {
      bytes += "0.0.0.0 run" + std::to_string(i) + "-" + std::to_string(line) + ".example\r\n";
    }
    return Crafted("input" + std::to_string(i) + ".txt", bytes);
  }
  static std::string Version(const std::string& input) {
    Session session;
    session.ResetRejectedLines();
    EXPECT_TRUE(ParseHostsFile(SystemPlatform(), input, session).ok());
    return HostsFileBytes(session, false, "127.0.0.1", false);
  }
  StartedCli Start(const std::vector<std::string>& args, int tag) const {
    return StartCliProgram(args, scratch_.File(".cli" + std::to_string(tag)), launch_);
  }

  // Every entry beside HOSTS is a backup copy holding one of `versions`.
  void ExpectOnlyCompleteCopies(const std::set<std::string>& versions) const {
    auto platform = CreateSystemPlatform();
    for (const std::string& name : platform->ListFolder(etc_)) {
      if (name == "HOSTS") continue;
      BackupName parsed;
      EXPECT_TRUE(ParseBackupName(name, BackupOwner{"HOSTS"}, &parsed)) << "stray file " << name;
      EXPECT_EQ(versions.count(ReadBytes(etc_ + "/" + name)), 1u) << name << " is not a complete version";
    }
    EXPECT_EQ(versions.count(ReadBytes(hosts_)), 1u) << "HOSTS is not a complete version";
  }

  const std::string etc_ = File("System32/drivers/etc");
  const std::string hosts_ = etc_ + "/HOSTS";
  const std::string bin_ = File("bin");
  CliLaunch launch_;
};

constexpr int kConcurrentRuns = 50;

TEST_F(CliConcurrencyTest, ReplacesAndRestoresStartedAtOnceRunOneAfterTheOther) {
  std::set<std::string> versions;
  const std::string original = Version(Input(0));
  versions.insert(original);
  WriteBytes(hosts_, original);
  ASSERT_EQ(Run({"--hosts", Input(1), "--replace-hosts"}, launch_).status, 0);
  versions.insert(Version(Input(1)));

  std::vector<StartedCli> runs;
  for (int i = 0; i < kConcurrentRuns; ++i) {
    if (i % 2 == 0) {
      const std::string input = Input(2 + i);
      versions.insert(Version(input));
      runs.push_back(Start({"--hosts", input, "--replace-hosts"}, i));
    } else {
      runs.push_back(Start({"--restore-backup", "latest"}, i));
    }
  }
  for (const StartedCli& run : runs) {
    const CliResult result = WaitForCli(run);
    if (result.status != 0) {
      EXPECT_EQ(result.status, 2);
      EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ + " n'a pas ete remplace: un autre remplacement est en cours\n");
    }
  }
  ExpectOnlyCompleteCopies(versions);

  // One more replace prunes what the last restore kept: the oldest copy and the five newest.
  ASSERT_EQ(Run({"--hosts", Input(1), "--replace-hosts"}, launch_).status, 0);
  auto platform = CreateSystemPlatform();
  const std::vector<HostsBackup> backups = ListHostsBackups(*platform, hosts_);
  ASSERT_EQ(backups.size(), static_cast<size_t>(kHostsBackupsKept + 1));
  EXPECT_EQ(ReadBytes(backups.back().path), original);
  EXPECT_EQ(ModeOf(backups.back().path), 0644u);
  for (size_t i = 0; i + 1 < backups.size(); ++i) EXPECT_EQ(ModeOf(backups[i].path), 0444u) << backups[i].name;
  EXPECT_EQ(platform->ListFolder(etc_).size(), backups.size() + 1);
}

// Updates started at once decide in turn whether anything changed: one writes, the others
// find what it wrote.
TEST_F(CliConcurrencyTest, UpdatesStartedAtOnceWriteTheFileOnce) {
  WriteBytes(hosts_, "0.0.0.0 old.example\r\n");
  const std::string sources = Crafted("sources.txt", Input(1) + "\n");
  launch_.env.emplace_back("XDG_CACHE_HOME", File("cache"));
  ASSERT_EQ(Run({"--sources", sources, "--update"}, launch_).status, 0);  // the cache is filled
  std::vector<StartedCli> runs;
  for (int i = 0; i < 3; ++i) runs.push_back(Start({"--sources", sources, "--update", "--replace-hosts"}, i));
  int written = 0;
  for (const StartedCli& run : runs) {
    const CliResult result = WaitForCli(run);
    EXPECT_EQ(result.status, 0) << result.err;
    written += result.err.find("; ecrit: " + hosts_ + "\n") != std::string::npos;
  }
  EXPECT_EQ(written, 1);
  EXPECT_EQ(ListHostsBackups(*CreateSystemPlatform(), hosts_).size(), 1u);
}

// A replace of a read-only HOSTS file ended by a signal at any moment leaves the old file or
// the new one, read-only either way, and nothing but complete copies beside it.
TEST_F(CliConcurrencyTest, AReplaceEndedBySignalLeavesTheFileReadOnly) {
  constexpr int kLines = 200'000;
  const std::string old_hosts = "0.0.0.0 old.example\r\n";
  WriteBytes(hosts_, old_hosts);
  ASSERT_EQ(chmod(hosts_.c_str(), 0444), 0);
  const std::string input = Input(1, kLines);
  const std::set<std::string> versions = {old_hosts, Version(input)};
  const int signals[] = {SIGTERM, SIGINT, SIGKILL};
  int tag = 0;
  for (int delay_ms : {0, 10, 30, 60, 100, 150, 250, 400}) {
    for (int signal_number : signals) {
      const StartedCli run = Start({"--hosts", input, "--replace-hosts"}, ++tag);
      std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
      kill(run.pid, signal_number);
      (void)WaitForCli(run);
      EXPECT_EQ(ModeOf(hosts_), 0444u) << "signal " << signal_number << " after " << delay_ms << " ms";
    }
  }
  ExpectOnlyCompleteCopies(versions);
}

}  // namespace
}  // namespace quorvale::testing
