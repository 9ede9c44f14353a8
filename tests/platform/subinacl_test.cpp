// The access-control stand-in, run as the program runs it: a separate process with an
// argument vector.

#include <gtest/gtest.h>
#include <pwd.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_test_util.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::AclText;
using testing::ModeOf;
using testing::ReadBytes;
using testing::RunAndWait;
using testing::RunInChild;
using testing::RunningAsRoot;
using testing::SetAcl;
using testing::TempDir;
using testing::WriteBytes;

const std::string kTool = std::string(QUORVALE_BIN_DIR) + "/subinacl";
constexpr char kHostsBytes[] = "127.0.0.1 localhost\r\n";
constexpr char kUsage[] =
    "usage: subinacl /file PATH /Deny=USER=F\n"
    "       subinacl /file PATH /Grant=USER=F\n";

class SubinaclTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const passwd* nobody = getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    // nobody is the user the tool works on; an access list cannot deny a file's owner.
    if (geteuid() == nobody->pw_uid) GTEST_SKIP() << "the tests run as nobody";
    // The unprivileged reader must be able to reach the file: every folder on the way is
    // 0755, and the names hold blanks.
    ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0);
    ASSERT_EQ(mkdir(dir_.File("drivers etc").c_str(), 0755), 0);
    path_ = dir_.File("drivers etc/HOSTS file");
    WriteBytes(path_, kHostsBytes);
    ASSERT_EQ(chmod(path_.c_str(), 0644), 0);
  }

  int Tool(const std::string& access_switch, std::string* err = nullptr) {
    return RunAndWait({kTool, "/file", path_, access_switch}, err);
  }

  // 0 when nobody may open the file with `flags`, 1 when refused.
  int OpenAsNobody(int flags) {
    return RunInChild([&] {
      const int fd = open(path_.c_str(), flags);
      return fd >= 0 ? (close(fd), 0) : errno == EACCES ? 1 : 2;
    });
  }
  bool LockedForNobody() { return testing::SystemPlatform().LockedByAccessList(path_, "nobody").value_or(false); }

  TempDir dir_;
  std::string path_;
};

// The lock takes writing and keeps reading (the user's programs still resolve names through
// the file); the probe sees it in the access list.
TEST_F(SubinaclTest, DenyTakesWritingKeepsReadingAndGrantGivesWritingBack) {
  if (!RunningAsRoot()) GTEST_SKIP() << "needs root to act as another user";
  ASSERT_EQ(chmod(path_.c_str(), 0666), 0);
  ASSERT_EQ(OpenAsNobody(O_WRONLY), 0);
  EXPECT_FALSE(LockedForNobody());

  std::string err;
  ASSERT_EQ(Tool("/Deny=nobody=F", &err), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(OpenAsNobody(O_WRONLY), 1);
  EXPECT_EQ(OpenAsNobody(O_RDONLY), 0);
  EXPECT_TRUE(LockedForNobody());
  EXPECT_EQ(ReadBytes(path_), kHostsBytes);

  ASSERT_EQ(Tool("/Grant=nobody=F", &err), 0) << err;
  EXPECT_EQ(err, "");
  EXPECT_EQ(OpenAsNobody(O_WRONLY), 0);
  EXPECT_FALSE(LockedForNobody());
}

TEST_F(SubinaclTest, DenyAddsAReadOnlyEntryAndGrantRemovesIt) {
  ASSERT_EQ(Tool("/Deny=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,user:nobody:r--,group::r--,mask::r--,other::r--");
  EXPECT_EQ(ModeOf(path_), 0644u);
  // Twice is the same as once.
  ASSERT_EQ(Tool("/Deny=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,user:nobody:r--,group::r--,mask::r--,other::r--");

  ASSERT_EQ(Tool("/Grant=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
  EXPECT_EQ(ModeOf(path_), 0644u);
  // Granting a user without an entry changes nothing.
  ASSERT_EQ(Tool("/Grant=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
  EXPECT_EQ(ReadBytes(path_), kHostsBytes);
}

// Where others may not read, the entry gives nobody reading either.
TEST_F(SubinaclTest, GrantLeavesOtherEntriesAndTheMaskAlone) {
  const std::string acl = "user::rw-,user:daemon:r--,group::r--,group:daemon:rw-,mask::r--,other::---";
  ASSERT_TRUE(SetAcl(path_, acl));
  ASSERT_EQ(Tool("/Deny=nobody=F"), 0);
  EXPECT_EQ(AclText(path_),
            "user::rw-,user:daemon:r--,user:nobody:---,group::r--,group:daemon:rw-,mask::r--,other::---");
  ASSERT_EQ(Tool("/Grant=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), acl);
}

TEST_F(SubinaclTest, GrantNeverWidensRights) {
  // nobody could write through a named entry, but the mask held everyone in the group class
  // to reading. After deny and grant, nobody has only what "other" gives, and the owning
  // group does not inherit the mask's wider bits.
  ASSERT_TRUE(SetAcl(path_, "user::rw-,user:nobody:rw-,group::r--,mask::r--,other::r--"));
  ASSERT_EQ(Tool("/Deny=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,user:nobody:r--,group::r--,mask::r--,other::r--");
  ASSERT_EQ(Tool("/Grant=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
  EXPECT_EQ(ModeOf(path_), 0644u);

  ASSERT_TRUE(SetAcl(path_, "user::rw-,user:nobody:rw-,group::r--,mask::rw-,other::---"));
  ASSERT_EQ(Tool("/Deny=nobody=F"), 0);
  ASSERT_EQ(Tool("/Grant=nobody=F"), 0);
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::---");
  EXPECT_EQ(ModeOf(path_), 0640u);
}

TEST_F(SubinaclTest, OwnerCannotBeDenied) {
  const std::string owner = getpwuid(geteuid())->pw_name;
  std::string err;
  EXPECT_EQ(Tool("/Deny=" + owner + "=F", &err), 3);
  EXPECT_NE(err.find("cannot deny \"" + owner + "\""), std::string::npos) << err;
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
}

TEST_F(SubinaclTest, UnknownUserFails) {
  std::string err;
  EXPECT_EQ(Tool("/Deny=quorvale-no-such-user=F", &err), 2);
  EXPECT_EQ(err, "subinacl: unknown user \"quorvale-no-such-user\"\n");
  EXPECT_EQ(Tool("/Grant=quorvale-no-such-user=F"), 2);
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
}

TEST_F(SubinaclTest, MissingFileFails) {
  std::string err;
  EXPECT_EQ(RunAndWait({kTool, "/file", dir_.File("missing"), "/Deny=nobody=F"}, &err), 3);
  EXPECT_EQ(err, "subinacl: " + dir_.File("missing") + ": No such file or directory\n");
}

// Anything but the two exact command lines is refused with the usage text, and the file is
// not touched. "{path}" stands for the test file.
class SubinaclUsageTest : public SubinaclTest, public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(SubinaclUsageTest, BadCommandLineShowsUsage) {
  std::vector<std::string> argv = {kTool};
  for (const std::string& arg : GetParam()) argv.push_back(arg == "{path}" ? path_ : arg);
  std::string err;
  EXPECT_EQ(RunAndWait(argv, &err), 1);
  EXPECT_TRUE(err.starts_with("subinacl: ")) << err;
  EXPECT_TRUE(err.ends_with(kUsage)) << err;
  EXPECT_EQ(AclText(path_), "user::rw-,group::r--,other::r--");
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, SubinaclUsageTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"/file"},
                      std::vector<std::string>{"/file", "{path}"},
                      std::vector<std::string>{"/File", "{path}", "/Deny=nobody=F"},
                      std::vector<std::string>{"/file", "{path}", "/deny=nobody=F"},
                      std::vector<std::string>{"/file", "{path}", "/Deny=nobody"},
                      std::vector<std::string>{"/file", "{path}", "/Deny=nobody=R"},
                      std::vector<std::string>{"/file", "{path}", "/Deny==F"},
                      std::vector<std::string>{"/file", "{path}", "/Allow=nobody=F"},
                      std::vector<std::string>{"/file", "{path}", "/Deny=nobody=F", "/Grant=nobody=F"},
                      std::vector<std::string>{"/file", "", "/Deny=nobody=F"},
                      std::vector<std::string>{"{path}", "/Deny=nobody=F", "/file"}));

}  // namespace
}  // namespace quorvale
