#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <regex>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "hosts/file_loads.h"
#include "platform/platform.h"
#include "support/case_name.h"

namespace quorvale::testing {
namespace {

std::vector<std::string> SortedNames(const std::string& folder) {
  std::vector<std::string> names = CreateSystemPlatform()->ListFolder(folder);
  std::sort(names.begin(), names.end());
  return names;
}

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

// {args with "@" standing for the test folder, message after "quorvale-cli: "}
struct FileCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};
void PrintTo(const FileCase& c, std::ostream* out) { *out << c.name; }

class CliFileFailureTest : public CliTest, public ::testing::WithParamInterface<FileCase> {};

TEST_P(CliFileFailureTest, StopsWithStatusTwoAndNamesTheFile) {
  WriteBytes(File("good.txt"), "0.0.0.0 a.example.com\n");
  WriteBytes(File("empty.txt"), "");
  std::filesystem::create_directory(File("folder"));
  std::filesystem::create_symlink("none/out.txt", File("link.txt"));
  auto expand = [&](std::string text) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + 1)) {
      text.replace(at, 1, dir_.path());
    }
    return text;
  };
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) args.push_back(expand(arg));
  // Nothing after the failing action runs.
  args.push_back("--report");
  args.push_back(File("after.txt"));

  CliResult result = Run(args);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "quorvale-cli: " + expand(GetParam().message) + "\n");
  EXPECT_FALSE(Exists(File("after.txt")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, CliFileFailureTest,
    ::testing::Values(
        FileCase{"HostsMissing", {"--hosts", "@/missing.txt"},
                 "@/missing.txt n'a pas pu etre lu: No such file or directory"},
        FileCase{"DomainsMissing", {"--domains", "@/missing.txt"},
                 "@/missing.txt n'a pas pu etre lu: No such file or directory"},
        FileCase{"DomainOnlyMissing", {"--domain-only", "@/missing.txt"},
                 "@/missing.txt n'a pas pu etre lu: No such file or directory"},
        FileCase{"RemoveNamesMissing", {"--remove-names", "@/missing.txt"},
                 "@/missing.txt n'a pas pu etre lu: No such file or directory"},
        FileCase{"HostsUnderAFile", {"--hosts", "@/good.txt/x"}, "@/good.txt/x n'a pas pu etre lu: Not a directory"},
        FileCase{"HostsFolder", {"--hosts", "@/folder"}, "@/folder n'a pas pu etre lu: Is a directory"},
        // A device may never end: /dev/zero would fill the memory.
        FileCase{"HostsDevice", {"--hosts", "/dev/zero"}, "/dev/zero n'a pas pu etre lu: not a regular file"},
        FileCase{"DomainsDevice", {"--domains", "/dev/zero"}, "/dev/zero n'a pas pu etre lu: not a regular file"},
        FileCase{"DomainOnlyDevice", {"--domain-only", "/dev/null"},
                 "/dev/null n'a pas pu etre lu: not a regular file"},
        FileCase{"DomainOnlyEmpty", {"--domain-only", "@/empty.txt"}, "@/empty.txt n'a pas pu etre lu: fichier vide"},
        FileCase{"DomainOnlyEmptyAfterHosts", {"--hosts", "@/good.txt", "--domain-only", "@/empty.txt"},
                 "@/empty.txt n'a pas pu etre lu: fichier vide"}),
    CaseName());

INSTANTIATE_TEST_SUITE_P(
    Outputs, CliFileFailureTest,
    ::testing::Values(
        FileCase{"WriteHostsMissingFolder", {"--hosts", "@/good.txt", "--write-hosts", "@/none/out.txt"},
                 "@/none/out.txt n'a pas pu etre enregistre: No such file or directory"},
        FileCase{"WriteSortedHostsFolder", {"--write-sorted-hosts", "@/folder"},
                 "@/folder n'a pas pu etre enregistre: Is a directory"},
        FileCase{"ExportUnderAFile", {"--export", "@/good.txt/x"},
                 "@/good.txt/x n'a pas pu etre enregistre: Not a directory"},
        FileCase{"WriteSortedNamesMissingFolder", {"--write-sorted-names", "@/none/out.txt"},
                 "@/none/out.txt n'a pas pu etre enregistre: No such file or directory"},
        FileCase{"ReportMissingFolder", {"--report", "@/none/out.txt"},
                 "@/none/out.txt n'a pas pu etre enregistre: No such file or directory"},
        // The file behind a link is named too.
        FileCase{"ReportBrokenLink", {"--report", "@/link.txt"},
                 "@/link.txt n'a pas pu etre enregistre: @/none/out.txt: No such file or directory"}),
    CaseName());

// A real fault in the middle of the write: the file size limit is smaller than the output.
TEST_F(CliTest, WriteCutShortLeavesTheOldFileAndNoTemporaryFile) {
  const std::string input = RealFile("AdAway__adaway.github.io__hosts.txt");
  const std::string target = File("out.hosts");
  WriteBytes(target, "old content\r\n");
  CliLaunch launch;
  launch.file_size_limit = 64 * 1024;
  for (const char* action : {"--write-hosts", "--export"}) {
    CliResult result = Run({"--hosts", input, action, target}, launch);
    EXPECT_EQ(result.status, 2) << action;
    EXPECT_EQ(result.err, "quorvale-cli: " + target + " n'a pas pu etre enregistre: File too large\n");
    EXPECT_EQ(ReadBytes(target), "old content\r\n");
    EXPECT_EQ(SortedNames(dir_.path()), std::vector<std::string>{"out.hosts"});
  }
}

// Not even by the superuser, whom the permissions do not bind.
TEST_F(CliTest, ReadOnlyTargetIsNotOverwritten) {
  const std::string target = File("out.txt");
  WriteBytes(target, "old");
  chmod(target.c_str(), 0444);
  CliResult result = Run({"--write-sorted-names", target});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + target + " n'a pas pu etre enregistre: Permission denied\n");
  EXPECT_EQ(ReadBytes(target), "old");
}

TEST_F(CliTest, StandardOutputThatCannotBeWrittenIsAFailure) {
  const std::string hosts = Crafted("hosts.txt", "0.0.0.0 a.example.com\n");
  CliLaunch launch;
  launch.stdout_path = "/dev/full";
  for (const char* output : {"--dump", "--export=-"}) {
    CliResult result = Run({"--hosts", hosts, output}, launch);
    EXPECT_EQ(result.status, 2);
    EXPECT_EQ(result.err, "quorvale-cli: sortie standard: No space left on device\n");
  }
}

// "-" and the program's own streams take the bytes in the order of the actions, after what
// --dump printed; a device is written in place, not replaced.
TEST_F(CliTest, StandardOutputAndDevicesAreWrittenInPlace) {
  const std::string hosts = Crafted("hosts.txt", "0.0.0.0 a.example.com\n");
  CliResult result = Run({"--hosts", hosts, "--export", "-", "--dump", "--export", "/dev/stdout", "--export",
                          "/dev/null", "--write-sorted-names", "-"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "a.example.com\r\n1\ta.example.com\t\t0.0.0.0\na.example.com\r\n");
  EXPECT_EQ(SortedNames(dir_.path()), std::vector<std::string>{"hosts.txt"});
}

class CliReplaceTest : public CliTest {
 protected:
  void SetUp() override {
    system_dir_ = File("System32");
    etc_ = system_dir_ + "/drivers/etc";
    hosts_ = etc_ + "/HOSTS";
    std::filesystem::create_directories(etc_);
    std::filesystem::create_directories(bin_);
    // The programs that empty the DNS cache are the test's, if any.
    launch_.env = {{"QUORVALE_SYSTEM_DIR", system_dir_}, {"PATH", bin_}};
  }

  const std::string bin_ = File("bin");
  std::string system_dir_;
  std::string etc_;
  std::string hosts_;
  CliLaunch launch_;
};

TEST_F(CliReplaceTest, ReplacesTheSystemFileKeepingACopyOfTheOldOne) {
  const std::string input = RealFile("semi0naut__dotfiles__windows_hosts");
  const std::string old_hosts = "127.0.0.1\tlocalhost\n127.0.1.1\tmypc.lan\tmypc\n\n# IPv6\n"
                                "::1  localhost ip6-localhost\n0.0.0.0 old.example\n";
  WriteBytes(hosts_, old_hosts);
  chmod(hosts_.c_str(), 0444);
  CliResult result =
      Run({"--hosts", input, "--www", "--comments", "--redirect", "0.0.0.0", "--replace-hosts"}, launch_);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "quorvale-cli: cache DNS non vide: aucun cache DNS connu sur ce systeme\n");

  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), input, session).ok());
  EXPECT_EQ(ReadBytes(hosts_), HostsFileBytes(session, true, "0.0.0.0", true,
                                              {"127.0.1.1\tmypc.lan\tmypc", "::1  localhost ip6-localhost"}));
  struct stat info {};
  ASSERT_EQ(stat(hosts_.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0222, 0u) << "the replaced file is read-only";

  std::vector<std::string> names = SortedNames(etc_);
  ASSERT_EQ(names.size(), 2u);
  EXPECT_EQ(names[0], "HOSTS");
  EXPECT_TRUE(std::regex_match(names[1], std::regex(R"(HOSTS\.\d{8}-\d{6}\.bak)"))) << names[1];
  EXPECT_EQ(ReadBytes(etc_ + "/" + names[1]), old_hosts);
}

TEST_F(CliReplaceTest, MissingSystemFileIsCreatedWithoutCopy) {
  const std::string hosts = Crafted("list.txt", "0.0.0.0 a.example.com\n");
  CliResult result = Run({"--hosts", hosts, "--replace-hosts"}, launch_);
  ASSERT_EQ(result.status, 0) << result.err;
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), hosts, session).ok());
  EXPECT_EQ(ReadBytes(hosts_), HostsFileBytes(session, false, "127.0.0.1", false));
  EXPECT_EQ(SortedNames(etc_), std::vector<std::string>{"HOSTS"});
}

TEST_F(CliReplaceTest, NothingLoadedLeavesTheSystemFileAlone) {
  WriteBytes(hosts_, "old hosts\r\n");
  const std::string rejected_only = Crafted("list.txt", "# nothing usable\n");
  CliResult result = Run({"--hosts", rejected_only, "--replace-hosts", "--report", File("after.txt")}, launch_);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.err, "quorvale-cli: vous devez d'abord charger un ficher d'adresse!\n");
  EXPECT_EQ(ReadBytes(hosts_), "old hosts\r\n");
  EXPECT_EQ(SortedNames(etc_), std::vector<std::string>{"HOSTS"});
  EXPECT_FALSE(Exists(File("after.txt")));
}

TEST_F(CliReplaceTest, SystemFolderThatCannotBeWrittenIsAFailure) {
  std::filesystem::remove_all(system_dir_ + "/drivers");
  const std::string hosts = Crafted("list.txt", "0.0.0.0 a.example.com\n");
  CliResult result = Run({"--hosts", hosts, "--replace-hosts"}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ + " n'a pas pu etre enregistre: No such file or directory\n");
}

TEST_F(CliReplaceTest, CopyThatCannotBeMadeStopsTheReplace) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  WriteBytes(hosts_, "old hosts\r\n");
  chmod(etc_.c_str(), 0555);
  const std::string hosts = Crafted("list.txt", "0.0.0.0 a.example.com\n");
  CliResult result = Run({"--hosts", hosts, "--replace-hosts"}, launch_);
  chmod(etc_.c_str(), 0755);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err.rfind("quorvale-cli: " + hosts_ + " n'a pas ete remplace: copie de sauvegarde impossible: ", 0),
            0u)
      << result.err;
  EXPECT_EQ(ReadBytes(hosts_), "old hosts\r\n");
}

TEST_F(CliReplaceTest, RestoreWithoutAnyCopyIsAFailure) {
  CliResult result = Run({"--restore-backup", "latest"}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: aucune copie de sauvegarde de " + hosts_ + "\n");
}

struct BackupCase {
  std::vector<std::string> args;
  int resolvectl_exit;  // of the test's resolvectl, -1 for none
  int status;
  std::string out;
  std::string err;  // after "quorvale-cli: ", "@" standing for the HOSTS path
  std::string hosts;
};

void PrintTo(const BackupCase& c, std::ostream* out) { *out << c.args[0]; }

// Two copies, the one named last dated first.
class CliBackupTest : public CliReplaceTest, public ::testing::WithParamInterface<BackupCase> {};

TEST_P(CliBackupTest, ListsAndRestoresTheCopies) {
  const BackupCase& c = GetParam();
  WriteBytes(hosts_, "current\r\n");
  for (int year : {2019, 2020}) {
    const std::string copy = etc_ + "/HOSTS." + std::to_string(year) + "0101-000000.bak";
    WriteBytes(copy, "old " + std::to_string(year) + "\n");
    const std::time_t at = 1700000000 - 100 * (year - 2018);
    const timespec times[2] = {{at, 0}, {at, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, copy.c_str(), times, 0), 0);
  }
  if (c.resolvectl_exit >= 0) {
    WriteBytes(bin_ + "/resolvectl", "#!/bin/sh\nexit " + std::to_string(c.resolvectl_exit) + "\n");
    chmod((bin_ + "/resolvectl").c_str(), 0755);
  }
  CliResult result = Run(c.args, launch_);
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, c.out);
  std::string err = c.err.empty() ? "" : "quorvale-cli: " + c.err + "\n";
  if (size_t at = err.find('@'); at != std::string::npos) err.replace(at, 1, hosts_);
  EXPECT_EQ(result.err, err);
  EXPECT_EQ(ReadBytes(hosts_), c.hosts);
  // A restore keeps a copy of the file it replaces.
  EXPECT_EQ(SortedNames(etc_).size(), c.hosts == "current\r\n" ? 3u : 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CliBackupTest,
    ::testing::Values(
        BackupCase{{"--list-backups"}, -1, 0,
                   "HOSTS.20190101-000000.bak\t2023-11-14 22:11:40\t9\n"
                   "HOSTS.20200101-000000.bak\t2023-11-14 22:10:00\t9\n", "", "current\r\n"},
        BackupCase{{"--restore-backup", "latest"}, 0, 0, "", "cache DNS vide (resolvectl flush-caches)", "old 2019\n"},
        BackupCase{{"--restore-backup=HOSTS.20200101-000000.bak"}, 1, 0, "",
                   "cache DNS non vide: resolvectl flush-caches a echoue (code 1)", "old 2020\n"},
        BackupCase{{"--restore-backup", "HOSTS"}, -1, 2, "",
                   "HOSTS: pas de copie de sauvegarde de ce nom pour @ (voir --list-backups)", "current\r\n"}));

}  // namespace
}  // namespace quorvale::testing
