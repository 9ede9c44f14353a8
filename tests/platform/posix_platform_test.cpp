#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_test_util.h"
#include "support/case_name.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::CaseName;
using testing::EndChildren;
using testing::ModeOf;
using testing::ReadBytes;
using testing::ScopedEnv;
using testing::ScopedUmask;
using testing::TempDir;
using testing::WaitForFile;
using testing::WriteBytes;

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// --- System directory and HOSTS path ---

struct HostsPathCase {
  const char* name;
  std::optional<std::string> system_dir;
  std::string expected_system_dir;
  std::string expected_hosts;
};
void PrintTo(const HostsPathCase& c, std::ostream* out) { *out << c.name; }

class HostsPathTest : public ::testing::TestWithParam<HostsPathCase> {};

TEST_P(HostsPathTest, FollowsQuorvaleSystemDir) {
  ScopedEnv env("QUORVALE_SYSTEM_DIR", GetParam().system_dir);
  auto platform = CreateSystemPlatform();
  EXPECT_EQ(platform->GetSystemDir(), GetParam().expected_system_dir);
  EXPECT_EQ(platform->HostsPath(), GetParam().expected_hosts);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HostsPathTest,
    ::testing::Values(HostsPathCase{"Unset", std::nullopt, "", "/etc/hosts"},
                      HostsPathCase{"Empty", "", "", "/etc/hosts"},
                      HostsPathCase{"System32", "/mnt/win/Windows/System32", "/mnt/win/Windows/System32",
                                    "/mnt/win/Windows/System32/drivers/etc/HOSTS"},
                      HostsPathCase{"FolderWithABlank", "/media/My Disk/WINDOWS/system32",
                                    "/media/My Disk/WINDOWS/system32",
                                    "/media/My Disk/WINDOWS/system32/drivers/etc/HOSTS"}),
    CaseName());

// --- The program and its user ---

TEST(PosixPlatformTest, ExecutablePath) {
  auto platform = CreateSystemPlatform();
  const std::string path = platform->ExecutablePath();
  EXPECT_EQ(std::filesystem::path(path).filename(), "platform_tests");
  EXPECT_TRUE(std::filesystem::path(path).is_absolute());
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST(PosixPlatformTest, CurrentUserIsTheEffectiveUserNotTheEnvironment) {
  ScopedEnv user("USER", "someone-else");
  ScopedEnv logname("LOGNAME", "someone-else");
  const passwd* me = getpwuid(geteuid());
  ASSERT_NE(me, nullptr);
  EXPECT_EQ(CreateSystemPlatform()->GetCurrentUserName(), me->pw_name);
}

TEST(PosixPlatformTest, NoSystemInformationTool) { EXPECT_EQ(CreateSystemPlatform()->SystemInfoToolPath(), ""); }

// --- The per-user data folder ---

TEST(UserDataFolderTest, UsesXdgDataHomeAndCreatesIt) {
  TempDir dir;
  ScopedEnv xdg("XDG_DATA_HOME", dir.File("data home/deeper"));
  ScopedUmask mask(022);
  EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), dir.File("data home/deeper/quorvale/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("data home/deeper/quorvale")));
  EXPECT_EQ(ModeOf(dir.File("data home/deeper/quorvale")), 0700u);
  // A second call finds the folder that is already there.
  EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), dir.File("data home/deeper/quorvale/"));
}

TEST(UserDataFolderTest, FallsBackToHomeWhenXdgIsUnsetOrRelative) {
  TempDir dir;
  ScopedEnv home("HOME", dir.path());
  {
    ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
    EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), dir.File(".local/share/quorvale/"));
  }
  ScopedEnv xdg("XDG_DATA_HOME", "relative/data");
  EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), dir.File(".local/share/quorvale/"));
  EXPECT_FALSE(std::filesystem::exists("relative"));
}

TEST(UserDataFolderTest, EmptyWhenThereIsNoHome) {
  ScopedEnv xdg("XDG_DATA_HOME", std::nullopt);
  ScopedEnv home("HOME", std::nullopt);
  EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), "");
}

TEST(UserDataFolderTest, EmptyWhenTheFolderIsAFile) {
  TempDir dir;
  WriteBytes(dir.File("quorvale"), "not a folder");
  ScopedEnv xdg("XDG_DATA_HOME", dir.path());
  EXPECT_EQ(CreateSystemPlatform()->UserDataFolder(), "");
}

// --- File attributes ---

struct AttributeCase {
  const char* name;
  mode_t initial;
  int attributes;
  mode_t expected;
  int read_back;
};
void PrintTo(const AttributeCase& c, std::ostream* out) { *out << c.name; }

class FileAttributesTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(FileAttributesTest, MapsToWriteBits) {
  TempDir dir;
  const std::string path = dir.File("HOSTS");
  WriteBytes(path, "x");
  ASSERT_EQ(chmod(path.c_str(), GetParam().initial), 0);
  auto platform = CreateSystemPlatform();
  Status status = platform->SetAttributes(path, GetParam().attributes);
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(ModeOf(path), GetParam().expected);
  EXPECT_EQ(platform->GetAttributes(path), GetParam().read_back);
  if (GetParam().expected & S_IRUSR) {
    EXPECT_EQ(ReadBytes(path), "x");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileAttributesTest,
    ::testing::Values(AttributeCase{"ReadOnlySystemOver664", 0664, kAttrReadOnly | kAttrSystem, 0444, kAttrReadOnly},
                      AttributeCase{"AllThreeOver664", 0664, kAttrReadOnly | kAttrHidden | kAttrSystem, 0444,
                                    kAttrReadOnly},
                      AttributeCase{"AllThreeOver600", 0600, kAttrReadOnly | kAttrHidden | kAttrSystem, 0400,
                                    kAttrReadOnly},
                      AttributeCase{"ReadOnlySystemOver777", 0777, kAttrReadOnly | kAttrSystem, 0555, kAttrReadOnly},
                      AttributeCase{"ReadOnlySystemOver444", 0444, kAttrReadOnly | kAttrSystem, 0444, kAttrReadOnly},
                      // Normal gives the owner write access back, and only the owner.
                      AttributeCase{"NormalOver444", 0444, kAttrNormal, 0644, kAttrNormal},
                      AttributeCase{"NormalOver400", 0400, kAttrNormal, 0600, kAttrNormal},
                      AttributeCase{"NormalOver000", 0000, kAttrNormal, 0200, kAttrNormal},
                      AttributeCase{"NormalOver640", 0640, kAttrNormal, 0640, kAttrNormal},
                      // Group write alone still counts as writable.
                      AttributeCase{"NormalOver464", 0464, kAttrNormal, 0664, kAttrNormal}),
    CaseName());

TEST(FileAttributesMissingTest, MissingFileIsNotFound) {
  TempDir dir;
  auto platform = CreateSystemPlatform();
  for (int attributes : {kAttrNormal, kAttrReadOnly | kAttrSystem, kAttrReadOnly | kAttrHidden | kAttrSystem}) {
    EXPECT_EQ(platform->SetAttributes(dir.File("missing"), attributes).code(), ErrorCode::kNotFound) << attributes;
  }
  EXPECT_EQ(platform->GetAttributes(dir.File("missing")), -1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(PathFileExistsTest, FilesFoldersAndMissingPaths) {
  TempDir dir;
  WriteBytes(dir.File("a file"), "");
  ASSERT_EQ(symlink("nowhere", dir.File("dangling").c_str()), 0);
  auto platform = CreateSystemPlatform();
  EXPECT_TRUE(platform->PathExists(dir.File("a file")));
  EXPECT_TRUE(platform->PathExists(dir.path()));
  EXPECT_FALSE(platform->PathExists(dir.File("missing")));
  EXPECT_FALSE(platform->PathExists(dir.File("dangling")));
  EXPECT_FALSE(platform->PathExists(""));
}

// --- Folder listing, copy, removal ---

TEST(FileOperationsTest, ListFolderGivesNamesOnly) {
  TempDir dir;
  WriteBytes(dir.File("HOSTS"), "a");
  WriteBytes(dir.File("HOSTS.20240101-120000.bak"), "b");
  WriteBytes(dir.File(".hidden"), "c");
  ASSERT_EQ(mkdir(dir.File("sub").c_str(), 0755), 0);
  auto platform = CreateSystemPlatform();
  EXPECT_EQ(Sorted(platform->ListFolder(dir.path())),
            (std::vector<std::string>{".hidden", "HOSTS", "HOSTS.20240101-120000.bak", "sub"}));
  EXPECT_TRUE(platform->ListFolder(dir.File("sub")).empty());
  EXPECT_TRUE(platform->ListFolder(dir.File("missing")).empty());
}

TEST(FileOperationsTest, CopyIsByteExactKeepsSourcePermissionsAndNeverReplaces) {
  TempDir dir;
  ScopedUmask mask(022);
  const std::string bytes("line one\r\n\0\xff\xfe tail", 18);
  WriteBytes(dir.File("HOSTS"), bytes);
  ASSERT_EQ(chmod(dir.File("HOSTS").c_str(), 0600), 0);
  auto platform = CreateSystemPlatform();
  ASSERT_TRUE(platform->CopyToNewFile(dir.File("HOSTS"), dir.File("HOSTS.bak")).ok());
  EXPECT_EQ(ReadBytes(dir.File("HOSTS.bak")), bytes);
  EXPECT_EQ(platform->FileSize(dir.File("HOSTS.bak")), 18);
  EXPECT_EQ(platform->FileSize(dir.File("missing")), -1);
  EXPECT_EQ(ModeOf(dir.File("HOSTS.bak")), 0600u) << "a copy of a private file must stay private";
  EXPECT_EQ(ReadBytes(dir.File("HOSTS")), bytes);

  // A name already taken, by a file or by a link (dangling or not), stays as it was.
  WriteBytes(dir.File("other"), "other");
  ASSERT_EQ(symlink(dir.File("other").c_str(), dir.File("link.bak").c_str()), 0);
  ASSERT_EQ(symlink("/nonexistent", dir.File("dangling.bak").c_str()), 0);
  for (const char* taken : {"HOSTS.bak", "link.bak", "dangling.bak"}) {
    EXPECT_EQ(platform->CopyToNewFile(dir.File("other"), dir.File(taken)).code(), ErrorCode::kExists) << taken;
  }
  EXPECT_EQ(ReadBytes(dir.File("HOSTS.bak")), bytes);
  EXPECT_EQ(ReadBytes(dir.File("other")), "other");
  EXPECT_EQ(Sorted(platform->ListFolder(dir.path())),
            (std::vector<std::string>{"HOSTS", "HOSTS.bak", "dangling.bak", "link.bak", "other"}));
}

TEST(FileOperationsTest, CopyOfMissingFileFailsAndCreatesNothing) {
  TempDir dir;
  auto platform = CreateSystemPlatform();
  EXPECT_EQ(platform->CopyToNewFile(dir.File("missing"), dir.File("copy")).code(), ErrorCode::kNotFound);
  EXPECT_TRUE(platform->ListFolder(dir.path()).empty());
}

// Only a regular file is read, or said to be one: links are not followed.
TEST(FileOperationsTest, RegularFilesOnlyAreReadAndDescribed) {
  TempDir dir;
  WriteBytes(dir.File("file"), "bytes");
  ASSERT_EQ(symlink(dir.File("file").c_str(), dir.File("link").c_str()), 0);
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0644), 0);
  ASSERT_EQ(mkdir(dir.File("folder").c_str(), 0755), 0);
  auto platform = CreateSystemPlatform();
  std::string bytes;
  ASSERT_TRUE(platform->ReadRegularFile(dir.File("file"), &bytes).ok());
  EXPECT_EQ(bytes, "bytes");
  using Kind = Platform::EntryFacts::Kind;
  const Platform::EntryFacts facts = platform->FactsOf(dir.File("file"));
  EXPECT_EQ(facts.kind, Kind::kRegular);
  EXPECT_EQ(facts.bytes, 5);
  EXPECT_EQ(facts.modified, platform->FileModifiedTime(dir.File("file")));
  for (const char* name : {"link", "fifo", "folder"}) {
    const Status status = platform->ReadRegularFile(dir.File(name), &bytes);
    EXPECT_EQ(status.reason(), "not a regular file") << name;
    EXPECT_EQ(bytes, "");
    EXPECT_EQ(platform->FactsOf(dir.File(name)).kind, Kind::kOther) << name;
  }
  EXPECT_EQ(platform->ReadRegularFile(dir.File("missing"), &bytes).code(), ErrorCode::kNotFound);
  EXPECT_EQ(platform->FactsOf(dir.File("missing")).kind, Kind::kMissing);
}

// One lock per file: a second holder waits, calling back, and gives up with kBusy;
// once the first lets go, it is free.
TEST(FileOperationsTest, TheReplaceLockIsHeldByOneAtATime) {
  TempDir dir;
  auto platform = CreateSystemPlatform();
  std::unique_ptr<Platform::HeldLock> first;
  ASSERT_TRUE(platform->LockForReplace(dir.File("HOSTS"), 0, {}, &first).ok());
  int waits = 0;
  std::unique_ptr<Platform::HeldLock> second;
  const Status busy = platform->LockForReplace(dir.File("HOSTS"), 200, [&] { ++waits; }, &second);
  EXPECT_EQ(busy.code(), ErrorCode::kBusy);
  EXPECT_EQ(busy.subject(), dir.File("HOSTS"));
  EXPECT_GE(waits, 1);
  EXPECT_EQ(second, nullptr);
  // Another file's lock is another lock.
  TempDir other;
  EXPECT_TRUE(platform->LockForReplace(other.File("HOSTS"), 0, {}, &second).ok());
  first.reset();
  EXPECT_TRUE(platform->LockForReplace(dir.File("HOSTS"), 0, {}, &second).ok());
  EXPECT_EQ(platform->LockForReplace(dir.File("missing/HOSTS"), 0, {}, &first).code(), ErrorCode::kNotFound);
}

// A lock on the HOSTS file's folder, which any user who may open it can take, holds up no
// replace: the replace lock lives in a folder only this user may open (root's is 0700).
TEST(FileOperationsTest, ALockOnTheFolderDoesNotHoldUpAReplace) {
  TempDir dir;
  const int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(flock(folder, LOCK_SH), 0);
  std::unique_ptr<Platform::HeldLock> lock;
  EXPECT_TRUE(CreateSystemPlatform()->LockForReplace(dir.File("HOSTS"), 0, {}, &lock).ok());
  EXPECT_TRUE(!testing::RunningAsRoot() || ModeOf("/run/quorvale") == 0700u);
  close(folder);
}

TEST(FileOperationsTest, RemoveFile) {
  TempDir dir;
  WriteBytes(dir.File("old.bak"), "x");
  auto platform = CreateSystemPlatform();
  ASSERT_TRUE(platform->RemoveFile(dir.File("old.bak")).ok());
  EXPECT_FALSE(std::filesystem::exists(dir.File("old.bak")));
  EXPECT_EQ(platform->RemoveFile(dir.File("old.bak")).code(), ErrorCode::kNotFound);
}

// --- Starting programs ---

class StartProgramTest : public ::testing::Test {
 protected:
  // Before the folder goes: a program waiting for a file there would wait forever.
  void TearDown() override { EXPECT_TRUE(EndChildren()) << "a started program was still running"; }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();
  TempDir dir_;
};

// Each argument must reach the program as one argument, byte for byte: no shell splits,
// expands or runs any of it. "{dir}" stands for the test's folder.
class StartProgramArgumentTest : public StartProgramTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(StartProgramArgumentTest, ArgumentArrivesUntouched) {
  std::string argument = GetParam();
  for (size_t at; (at = argument.find("{dir}")) != std::string::npos;) argument.replace(at, 5, dir_.path());
  const std::string out = dir_.File("out");
  ASSERT_TRUE(platform_
                  ->StartProgram({"/bin/sh", "-c", "printf %s \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\"", "sh",
                                  argument, out},
                                 true)
                  .ok());
  std::optional<std::string> got = WaitForFile(out);
  ASSERT_TRUE(got.has_value()) << "the program did not run";
  EXPECT_EQ(*got, argument);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("pwned")));
}

INSTANTIATE_TEST_SUITE_P(Arguments, StartProgramArgumentTest,
                         ::testing::Values("C:\\Windows\\System32\\drivers\\etc\\HOSTS", "/home/jo/My Hosts/HOSTS",
                                           "/Deny=Jean Dupont=F", "say \"hi\"; touch {dir}/pwned",
                                           "$(touch {dir}/pwned)", "`touch {dir}/pwned`", "a'b' && touch {dir}/pwned",
                                           "* ? [a-z] ~ > < | &", "tab\there\nnewline", ""));

TEST_F(StartProgramTest, PathIsSearchedForBareNames) {
  const std::string bin = dir_.File("bin");
  ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
  WriteBytes(bin + "/quorvale-test-tool", "#!/bin/sh\nprintf '%s' \"$1\" > \"$2.tmp\" && mv \"$2.tmp\" \"$2\"\n");
  ASSERT_EQ(chmod((bin + "/quorvale-test-tool").c_str(), 0755), 0);
  ScopedEnv path("PATH", bin + ":/usr/bin:/bin");
  ASSERT_TRUE(platform_->StartProgram({"quorvale-test-tool", "found", dir_.File("out")}, false).ok());
  EXPECT_EQ(WaitForFile(dir_.File("out")), "found");
}

TEST_F(StartProgramTest, MissingOrUnusableProgramFails) {
  // A PATH folder the user may not search would turn "not found" into "access denied".
  ScopedEnv path("PATH", "/usr/bin:/bin");
  EXPECT_EQ(platform_->StartProgram({"quorvale-no-such-program"}, true).code(), ErrorCode::kNotFound);
  EXPECT_EQ(platform_->StartProgram({dir_.File("no-such-program")}, true).code(), ErrorCode::kNotFound);
  EXPECT_FALSE(platform_->StartProgram({}, true).ok());
  EXPECT_FALSE(platform_->StartProgram({""}, true).ok());
  WriteBytes(dir_.File("not-executable"), "#!/bin/sh\n");
  ASSERT_EQ(chmod(dir_.File("not-executable").c_str(), 0644), 0);
  EXPECT_EQ(platform_->StartProgram({dir_.File("not-executable")}, true).code(), ErrorCode::kAccessDenied);
}

// Only what the program printed on its standard output, and only after a clean end.
TEST_F(StartProgramTest, ProgramOutputIsReadWithAnEmptyEnvironment) {
  ScopedEnv variable("QUORVALE_SYSTEM_DIR", dir_.path());
  std::string out;
  EXPECT_TRUE(platform_->ReadProgramOutput({"/usr/bin/env"}, 10'000, &out).ok() && out.empty()) << out;
  const Status failed = platform_->ReadProgramOutput({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"}, 10'000, &out);
  EXPECT_EQ(failed.ToString() + "|" + out, Status(ErrorCode::kIoError, "/bin/sh", "exit code 3").ToString() + "|out\n");
  EXPECT_EQ(platform_->ReadProgramOutput({"/bin/sleep", "60"}, 0, &out).code(), ErrorCode::kBusy);
}

// xdg-open is replaced by a script that records its arguments, one per line, after their
// count.
class ViewerTest : public StartProgramTest {
 protected:
  void SetUp() override {
    const std::string bin = dir_.File("bin");
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    const std::string record = dir_.File("record");
    WriteBytes(bin + "/xdg-open", "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + record + ".tmp' && mv '" + record +
                                      ".tmp' '" + record + "'\n");
    ASSERT_EQ(chmod((bin + "/xdg-open").c_str(), 0755), 0);
    path_ = std::make_unique<ScopedEnv>("PATH", bin + ":/usr/bin:/bin");
  }

  std::optional<std::string> Record() { return WaitForFile(dir_.File("record")); }

  std::unique_ptr<ScopedEnv> path_;
};

TEST_F(ViewerTest, ShowTextFileOpensThePathWithXdgOpen) {
  const std::string report = dir_.File("my folder/Rapport $(touch pwned).txt");
  ASSERT_TRUE(platform_->ShowTextFile(report).ok());
  EXPECT_EQ(Record(), "1\n" + report + "\n");
}

TEST_F(ViewerTest, OpenUrlOpensTheAddressWithXdgOpen) {
  const std::string url = "https://fr.wikipedia.org/wiki/Hosts?a=1&b=2;c";
  ASSERT_TRUE(platform_->OpenUrl(url).ok());
  EXPECT_EQ(Record(), "1\n" + url + "\n");
}

TEST(ViewerMissingTest, NoXdgOpenIsNotFound) {
  TempDir empty;
  ScopedEnv path("PATH", empty.path());
  EXPECT_EQ(CreateSystemPlatform()->ShowTextFile("/tmp/Rapport.txt").code(), ErrorCode::kNotFound);
}

// --- Emptying the DNS cache ---

struct DnsFlushCase {
  int resolvectl_exit;  // -1: no resolvectl on PATH
  bool nscd_on_path;
  bool nscd_runs;
  int wait_milliseconds;
  std::string started;  // "command=exit code;" for each program started ("=running": not ended)
};

// PATH holds only scripts that write down their command lines; the nscd that runs is a
// sleep named so. Not waited for, resolvectl waits for the test's "go" (and the fixture for
// its end). The cases run one after the other in one test: whether nscd runs is read from
// the whole system, so a case run beside another one's nscd would see it.
TEST_F(StartProgramTest, DnsFlushStartsWhatTheSystemHas) {
  const DnsFlushCase cases[] = {{-1, false, false, 10000, ""},
                                {0, true, false, 10000, "resolvectl flush-caches=0;"},
                                {-1, false, true, 10000, ""},
                                {3, true, true, 10000, "resolvectl flush-caches=3;nscd -i hosts=0;"},
                                {0, false, false, 0, "resolvectl flush-caches=running;"}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    const DnsFlushCase& c = cases[i];
    SCOPED_TRACE(c.started + " case " + std::to_string(i));
    const std::string folder = dir_.File("case" + std::to_string(i));
    ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
    const std::string bin = folder + "/bin", go = folder + "/go";
    ASSERT_EQ(mkdir(bin.c_str(), 0755), 0);
    auto tool = [&](const std::string& name, const std::string& end) {
      WriteBytes(bin + "/" + name, "#!/bin/sh\necho \"" + name + " $*\" > '" + folder + "/" + name + ".run'\n" + end + "\n");
      ASSERT_EQ(chmod((bin + "/" + name).c_str(), 0755), 0);
    };
    const std::string blocked = "until [ -e '" + go + "' ]; do /bin/sleep 0.01; done";
    if (c.resolvectl_exit >= 0) {
      tool("resolvectl", c.wait_milliseconds > 0 ? "exit " + std::to_string(c.resolvectl_exit) : blocked);
    }
    if (c.nscd_on_path) tool("nscd", "exit 0");
    ScopedEnv path("PATH", bin);
    pid_t nscd = 0;
    if (c.nscd_runs) {
      std::filesystem::create_symlink("/bin/sleep", folder + "/nscd");
      nscd = fork();
      if (nscd == 0) {
        execl((folder + "/nscd").c_str(), "nscd", "30", static_cast<char*>(nullptr));
        _exit(127);
      }
      for (int tries = 0; tries < 10000 && ReadBytes("/proc/" + std::to_string(nscd) + "/comm") != "nscd\n"; ++tries) {
        usleep(1000);
      }
    }
    const DnsFlushOutcome outcome = platform_->FlushDnsCache(c.wait_milliseconds);
    WriteBytes(go, "");
    if (nscd > 0) {
      kill(nscd, SIGKILL);
      waitpid(nscd, nullptr, 0);
    }

    std::string started;
    for (const DnsFlushOutcome::Program& program : outcome.programs) {
      std::string command;
      for (const std::string& arg : program.argv) command += (command.empty() ? "" : " ") + arg;
      started += command + "=" + (program.ended ? std::to_string(program.exit_code) : "running") + ";";
      if (program.ended) {
        EXPECT_EQ(ReadBytes(folder + "/" + program.argv[0] + ".run"), command + "\n");
      }
    }
    EXPECT_EQ(started, c.started);
    EXPECT_EQ(outcome.kind, c.started.empty() ? DnsFlushOutcome::Kind::kNotDone : DnsFlushOutcome::Kind::kStarted);
    EXPECT_EQ(outcome.why.code(), c.started.empty() ? ErrorCode::kNotSupported : ErrorCode::kOk);
  }
}

}  // namespace
}  // namespace quorvale
