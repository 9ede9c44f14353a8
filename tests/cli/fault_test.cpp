// Faults around the files quorvale-cli reads and writes, each run as an ordinary user (the
// tests themselves may run as root): every one must end with the program's message and exit
// status, the old file byte for byte as it was, and no temporary file left behind.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "platform/platform.h"
#include "platform/posix_test_util.h"

namespace quorvale::testing {
namespace {

std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names = CreateSystemPlatform()->ListFolder(folder);
  std::sort(names.begin(), names.end());
  return names;
}

class CliFaultTest : public CliTest {
 protected:
  void SetUp() override {
    // The unprivileged program must reach its inputs and the folders of the test.
    GiveToTestUser(dir_.path());
    hosts_input_ = Crafted("hosts.txt", "0.0.0.0 a.example.com #ads\r\n10.0.0.1 lan.example.org\r\n# note\r\n");
    domains_input_ = Crafted("domains.txt", "b.example.com #[list]\r\nwww.c.example.com\r\n");
    launch_.as_test_user = true;
  }

  // A folder of the test with `mode`, owned by root when the tests run as root (so the
  // unprivileged program gets only what `mode` gives others).
  std::string Folder(const std::string& name, mode_t mode) {
    const std::string path = File(name);
    std::filesystem::create_directory(path);
    chmod(path.c_str(), mode);
    return path;
  }

  std::string hosts_input_;
  std::string domains_input_;
  CliLaunch launch_;
};

// {the writing action}
struct WriteCase {
  const char* action;
};

void PrintTo(const WriteCase& c, std::ostream* out) { *out << c.action; }

class CliOutputFolderTest : public CliFaultTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(CliOutputFolderTest, FolderThatRefusesWritesKeepsTheOldFile) {
  const std::string folder = Folder("out", 0755);
  const std::string target = folder + "/target.txt";
  WriteBytes(target, "old\r\n");
  // The file itself may be written: only the folder refuses.
  chmod(target.c_str(), 0666);
  chmod(folder.c_str(), 0555);
  CliResult result = Run({"--hosts", hosts_input_, "--domain-only", domains_input_, "--sort", "--comments",
                          GetParam().action, target},
                         launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + target + " n'a pas pu etre enregistre: Permission denied\n");
  EXPECT_EQ(ReadBytes(target), "old\r\n");
  EXPECT_EQ(Listing(folder), std::vector<std::string>{"target.txt"});
}

TEST_P(CliOutputFolderTest, FolderThatRefusesWritesGetsNoNewFile) {
  const std::string folder = Folder("out", 0555);
  const std::string target = folder + "/new.txt";
  CliResult result = Run({"--hosts", hosts_input_, GetParam().action, target}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + target + " n'a pas pu etre enregistre: Permission denied\n");
  EXPECT_EQ(Listing(folder), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Writers, CliOutputFolderTest,
                         ::testing::Values(WriteCase{"--write-hosts"}, WriteCase{"--write-sorted-hosts"},
                                           WriteCase{"--export"}, WriteCase{"--write-sorted-names"},
                                           WriteCase{"--report"}));

// {the loads, the action, the file written}: each output is bigger than the file-size limit,
// so the disk "fills" in the middle of the write.
struct DiskFullCase {
  std::vector<std::string> loads;
  const char* action;
};

void PrintTo(const DiskFullCase& c, std::ostream* out) { *out << c.action; }

class CliDiskFullTest : public CliFaultTest, public ::testing::WithParamInterface<DiskFullCase> {};

TEST_P(CliDiskFullTest, WriteCutShortKeepsTheOldFile) {
  const std::string target = File("target.txt");
  WriteBytes(target, "old\r\n");
  GiveToTestUser(target);
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().loads) args.push_back(arg.starts_with("@") ? RealFile(arg.substr(1)) : arg);
  args.push_back(GetParam().action);
  args.push_back(target);
  launch_.file_size_limit = 64 * 1024;
  CliResult result = Run(args, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + target + " n'a pas pu etre enregistre: File too large\n");
  EXPECT_EQ(ReadBytes(target), "old\r\n");
  EXPECT_EQ(Listing(dir_.path()), (std::vector<std::string>{"domains.txt", "hosts.txt", "target.txt"}));
}

INSTANTIATE_TEST_SUITE_P(
    Writers, CliDiskFullTest,
    ::testing::Values(
        DiskFullCase{{"--domain-only", "@blocklistproject__Lists__alt-version_drugs-nl.txt", "--sort"},
                     "--write-sorted-hosts"},
        DiskFullCase{{"--domain-only", "@blocklistproject__Lists__alt-version_drugs-nl.txt"}, "--write-sorted-names"},
        DiskFullCase{{"--hosts", "@AdAway__adaway.github.io__hosts.txt"}, "--write-hosts"},
        DiskFullCase{{"--domains", "@blocklistproject__Lists__alt-version_drugs-nl.txt"}, "--export"},
        // Every line of a HOSTS file is a rejected line of a plain list: a big report.
        DiskFullCase{{"--domains", "@AdAway__adaway.github.io__hosts.txt"}, "--report"}));

// {the load option}
class CliUnreadableInputTest : public CliFaultTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliUnreadableInputTest, UnreadableFileStopsTheRunBeforeAnyWrite) {
  const std::string input = Crafted("private.txt", "0.0.0.0 a.example.com\r\n");
  chmod(input.c_str(), 0000);
  const std::string target = File("target.txt");
  WriteBytes(target, "old\r\n");
  GiveToTestUser(target);
  CliResult result = Run({"--hosts", hosts_input_, GetParam(), input, "--write-hosts", target}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + input + " n'a pas pu etre lu: Permission denied\n");
  EXPECT_EQ(ReadBytes(target), "old\r\n");
}

// The file was chosen, then deleted before its turn came: only a link to it is left.
TEST_P(CliUnreadableInputTest, FileDeletedAfterItWasChosen) {
  const std::string input = Crafted("chosen.txt", "0.0.0.0 a.example.com\r\n");
  const std::string link = File("link.txt");
  std::filesystem::create_symlink(input, link);
  std::filesystem::remove(input);
  const std::string target = File("target.txt");
  WriteBytes(target, "old\r\n");
  GiveToTestUser(target);
  CliResult result = Run({"--hosts", hosts_input_, GetParam(), link, "--write-hosts", target}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + link + " n'a pas pu etre lu: No such file or directory\n");
  EXPECT_EQ(ReadBytes(target), "old\r\n");
}

INSTANTIATE_TEST_SUITE_P(Loads, CliUnreadableInputTest, ::testing::Values("--hosts", "--domains", "--domain-only"));

class CliReplaceFaultTest : public CliFaultTest {
 protected:
  void SetUp() override {
    CliFaultTest::SetUp();
    system_dir_ = File("System32");
    etc_ = system_dir_ + "/drivers/etc";
    hosts_ = etc_ + "/HOSTS";
    std::filesystem::create_directories(etc_);
    WriteBytes(hosts_, kOldHosts);
    launch_.env = {{"QUORVALE_SYSTEM_DIR", system_dir_}};
  }

  CliResult Replace() { return Run({"--hosts", hosts_input_, "--replace-hosts"}, launch_); }

  // The HOSTS file is unchanged, and nothing beside it: a replace that fails removes the
  // copy it made.
  void ExpectOldFileKept() {
    EXPECT_EQ(ReadBytes(hosts_), kOldHosts);
    EXPECT_EQ(Listing(etc_), std::vector<std::string>{"HOSTS"});
  }

  static constexpr const char* kOldHosts = "127.0.0.1\tlocalhost\r\n0.0.0.0\told.example.com\r\n";
  std::string system_dir_;
  std::string etc_;
  std::string hosts_;
};

// A read-only HOSTS file in a folder the user may not write: no copy can be made, so
// nothing is written.
TEST_F(CliReplaceFaultTest, ReadOnlyFileInAProtectedFolder) {
  chmod(hosts_.c_str(), 0444);
  chmod(etc_.c_str(), 0555);
  CliResult result = Replace();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err.rfind("quorvale-cli: " + hosts_ + " n'a pas ete remplace: copie de sauvegarde impossible: ", 0),
            0u)
      << result.err;
  EXPECT_TRUE(result.err.ends_with(": Permission denied; droits d'administrateur necessaires (sudo)\n")) << result.err;
  ExpectOldFileKept();
}

// A read-only HOSTS file that the user may not make writable (it belongs to the system): the
// write is refused.
TEST_F(CliReplaceFaultTest, ReadOnlyFileOfAnotherUser) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs a file that belongs to another user";
  chmod(hosts_.c_str(), 0444);
  GiveToTestUser(etc_);
  CliResult result = Replace();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ +
                            " n'a pas pu etre enregistre: Permission denied; droits d'administrateur necessaires (sudo)\n");
  ExpectOldFileKept();
}

// Locked by the access-control tool: an access list entry takes writing away from the user
// while the mode bits would allow it.
TEST_F(CliReplaceFaultTest, FileLockedByAnAccessList) {
  if (!RunningAsRoot()) GTEST_SKIP() << "an access list cannot deny the file's own owner; needs root";
  chmod(hosts_.c_str(), 0666);
  ASSERT_TRUE(SetAcl(hosts_, "user::rw-,user:" + std::to_string(TestUserId()) + ":r--,group::rw-,mask::rw-,other::rw-"));
  GiveToTestUser(etc_);
  CliResult result = Replace();
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ +
                            " n'a pas pu etre enregistre: Permission denied; droits d'administrateur necessaires (sudo)\n");
  ExpectOldFileKept();
}

TEST_F(CliReplaceFaultTest, UnreadableFileIsNotReplaced) {
  chmod(hosts_.c_str(), 0000);
  CliResult result = Replace();
  chmod(hosts_.c_str(), 0644);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ + " n'a pas pu etre lu: Permission denied\n");
  ExpectOldFileKept();
}

// The disk fills while the new HOSTS file is written: the file stays as it was, read-only.
TEST_F(CliReplaceFaultTest, DiskFullDuringTheWrite) {
  GiveToTestUser(etc_);
  GiveToTestUser(hosts_);
  chmod(hosts_.c_str(), 0444);
  launch_.file_size_limit = 64 * 1024;
  CliResult result = Run({"--hosts", RealFile("AdAway__adaway.github.io__hosts.txt"), "--replace-hosts"}, launch_);
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.err, "quorvale-cli: " + hosts_ + " n'a pas pu etre enregistre: File too large\n");
  ExpectOldFileKept();
  EXPECT_EQ(ModeOf(hosts_), 0444u);
}

// Names that a shell would split or run: nothing here goes through one.
TEST_F(CliFaultTest, PathsWithBlanksQuotesSemicolonsAndCommandsAreJustNames) {
  const std::string odd = "a b;'c\"$(touch ran)`touch ran2`|&";
  const std::string folder = File(odd);
  std::filesystem::create_directory(folder);
  GiveToTestUser(folder);
  const std::string input = folder + "/" + odd + ".txt";
  WriteBytes(input, "0.0.0.0 a.example.com\r\n");
  launch_.working_dir = folder;
  CliResult result =
      Run({"--hosts", input, "--write-hosts", folder + "/" + odd + ".hosts", "--report", folder + "/$(id).txt"},
          launch_);
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(Listing(folder), (std::vector<std::string>{"$(id).txt", odd + ".hosts", odd + ".txt"}));
}

// Hostile sizes through the whole program: it reads each file once, and its memory stays
// within a small multiple of the file's size. Sanitizer builds keep shadow memory and freed
// blocks around, so their peak says nothing about the program and is not checked; they are
// also several times slower, so they get smaller inputs.

// Peak resident size of the programs this test process waited for, in bytes. Each test runs
// in its own process under ctest, so that is the one program it ran.
long long ChildPeakBytes() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<long long>(usage.ru_maxrss) * 1024;
}

// Memory that runs out in the middle of a load ends the run with the program's message,
// never with an abort: a short list, then gigabytes of a hole that read as one endless line.
TEST_F(CliFaultTest, LoadThatRunsOutOfMemoryEndsWithStatusTwo) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";
  const std::string input = Crafted("endless.txt", "0.0.0.0 a.example\nb.example\n");
  std::filesystem::resize_file(input, size_t{8} << 30);
  launch_.address_space_limit = 512L << 20;
  for (const char* load : {"--hosts", "--domains", "--domain-only"}) {
    CliResult result = Run({load, input, "--dump"}, launch_);
    EXPECT_EQ(result.status, 2) << load;
    EXPECT_EQ(result.err, "quorvale-cli: " + input + " n'a pas pu etre lu: memoire insuffisante\n") << load;
    EXPECT_EQ(result.out, "");
  }
}

// Ten million lines (two million under the sanitizers).
TEST_F(CliFaultTest, MillionsOfShortLines) {
  constexpr size_t kLines = kSanitized ? 2'000'000 : 10'000'000;
  const std::string input = File("many.txt");
  {
    std::string data;
    data.reserve(kLines * 14);
    const std::string line = "0.0.0.0 ab.cd\n";
    for (size_t i = 0; i < kLines; ++i) data += line;
    WriteBytes(input, data);
  }
  const std::string output = File("out.txt");
  CliResult result = Run({"--hosts", input, "--write-hosts", output, "--report", File("report.txt")});
  ASSERT_EQ(result.status, 0) << result.err;
  Session session;
  session.ResetRejectedLines();
  session.blocked.Add("ab.cd", "0.0.0.0", "");
  EXPECT_EQ(ReadBytes(output), HostsFileBytes(session, false, "127.0.0.1", false));
  EXPECT_EQ(ReadBytes(File("report.txt")),
            "Liste des erreurs: \r\n\r\n\r\n---------------------------------\r\n"
            "---------------------------------\r\n\r\n\r\n");
  if (!kSanitized) {
    EXPECT_LT(ChildPeakBytes(), 4LL * static_cast<long long>(kLines * 14) + (64LL << 20));
  }
}

// A line of 100 MiB (20 MiB under the sanitizers).
TEST_F(CliFaultTest, HundredMegabyteLine) {
  constexpr size_t kSize = (kSanitized ? 20u : 100u) << 20;
  const std::string input = File("long.txt");
  WriteBytes(input, "0.0.0.0 " + std::string(kSize, 'a'));
  const std::string report = File("report.txt");
  CliResult result = Run({"--hosts", input, "--report", report});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string text = ReadBytes(report);
  // The heading, the line with its CR LF, the two rules and the closing empty lines.
  EXPECT_EQ(text.size(), 25 + 8 + kSize + 2 + 74);
  EXPECT_EQ(text.substr(0, 34), "Liste des erreurs: \r\n\r\n\r\n0.0.0.0 a");
  if (!kSanitized) {
    EXPECT_LT(ChildPeakBytes(), 5LL * static_cast<long long>(kSize) + (64LL << 20));
  }
}

}  // namespace
}  // namespace quorvale::testing
