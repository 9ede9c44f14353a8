#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "posix_test_util.h"
#include "support/case_name.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::AclText;
using testing::GiveToTestUser;
using testing::ModeOf;
using testing::ReadBytes;
using testing::RefuseUnnamedFiles;
using testing::RunInChild;
using testing::RunningAsRoot;
using testing::ScopedUmask;
using testing::SetAcl;
using testing::TempDir;
using testing::WriteBytes;

constexpr char kOldBytes[] = "127.0.0.1 localhost\r\n0.0.0.0 old.example\r\n";
const std::string kNewBytes("0.0.0.0 new.example\r\n\0binary\rtail", 33);

std::vector<std::string> Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Exit codes of the children: which status WriteFileAtomic gave.
int ExitCodeFor(const Status& status) {
  switch (status.code()) {
    case ErrorCode::kOk:
      return 0;
    case ErrorCode::kAccessDenied:
      return 1;
    case ErrorCode::kNoSpace:
      return 2;
    case ErrorCode::kNotFound:
      return 3;
    default:
      return 4;
  }
}

class WriteFileAtomicTest : public ::testing::Test {
 protected:
  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();
  TempDir dir_;
};

TEST_F(WriteFileAtomicTest, WritesExactBytesAndReplacesOldOnes) {
  const std::string path = dir_.File("HOSTS");
  ASSERT_TRUE(platform_->WriteFileAtomic(path, kNewBytes).ok());
  EXPECT_EQ(ReadBytes(path), kNewBytes);
  ASSERT_TRUE(platform_->WriteFileAtomic(path, "").ok());
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
}

// The temporary file's name is cut to fit beside a target whose name is as long as allowed.
TEST_F(WriteFileAtomicTest, TargetOfTheLongestNameIsWritten) {
  ASSERT_TRUE(platform_->WriteFileAtomic(dir_.File(std::string(NAME_MAX, 'h')), kNewBytes).ok());
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{std::string(NAME_MAX, 'h')});
}

// Contents made while they are written: the pieces land in order, and the old file is
// replaced only once the producer went to the end.
TEST_F(WriteFileAtomicTest, PiecesAreWrittenInOrderAndReplaceTheFileWhole) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  const std::string big(3 << 20, 'b');
  ASSERT_TRUE(platform_
                  ->WriteFileAtomicInPieces(path,
                                            [&](const ByteSink& sink) {
                                              // The old file is still whole while the new one is made.
                                              EXPECT_EQ(ReadBytes(path), kOldBytes);
                                              return sink("first\r\n") && sink("") && sink(big) && sink(kNewBytes);
                                            })
                  .ok());
  EXPECT_EQ(ReadBytes(path), "first\r\n" + big + kNewBytes);
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
}

TEST_F(WriteFileAtomicTest, ProducerThatStopsLeavesTheOldFile) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  const Status status = platform_->WriteFileAtomicInPieces(path, [](const ByteSink& sink) {
    (void)sink("half of it");
    return false;
  });
  EXPECT_EQ(status.code(), ErrorCode::kIoError);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
  // A new file is not created either.
  EXPECT_FALSE(platform_->WriteFileAtomicInPieces(dir_.File("new.txt"), [](const ByteSink&) { return false; }).ok());
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
}

struct UmaskCase {
  const char* name;
  mode_t umask;
  mode_t expected_mode;
};
void PrintTo(const UmaskCase& c, std::ostream* out) { *out << c.name; }

class NewFileModeTest : public WriteFileAtomicTest, public ::testing::WithParamInterface<UmaskCase> {};

TEST_P(NewFileModeTest, FollowsUmask) {
  ScopedUmask mask(GetParam().umask);
  const std::string path = dir_.File("new.txt");
  ASSERT_TRUE(platform_->WriteFileAtomic(path, kNewBytes).ok());
  EXPECT_EQ(ModeOf(path), GetParam().expected_mode);
  EXPECT_EQ(ReadBytes(path), kNewBytes);
}

INSTANTIATE_TEST_SUITE_P(Umasks, NewFileModeTest,
                         ::testing::Values(UmaskCase{"Umask022", 022, 0644}, UmaskCase{"Umask027", 027, 0640},
                                           UmaskCase{"Umask077", 077, 0600}, UmaskCase{"Umask002", 002, 0664},
                                           UmaskCase{"Umask000", 0, 0666}),
                         testing::CaseName());

TEST_F(WriteFileAtomicTest, NewFileTakesTheFolderDefaultAcl) {
  ASSERT_TRUE(SetAcl(dir_.path(), "u::rwx,u:nobody:rw-,g::r-x,m::rwx,o::---", /*default_acl=*/true));
  ScopedUmask mask(077);  // a default access list overrides the umask
  const std::string path = dir_.File("new.txt");
  ASSERT_TRUE(platform_->WriteFileAtomic(path, kNewBytes).ok());
  EXPECT_EQ(AclText(path), "user::rw-,user:nobody:rw-,group::r-x,mask::rw-,other::---");
}

class ExistingModeTest : public WriteFileAtomicTest, public ::testing::WithParamInterface<mode_t> {};

TEST_P(ExistingModeTest, KeepsModeAndOwner) {
  ScopedUmask mask(077);
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  GiveToTestUser(path);
  ASSERT_EQ(chmod(path.c_str(), GetParam()), 0);
  struct stat before;
  ASSERT_EQ(stat(path.c_str(), &before), 0);

  ASSERT_TRUE(platform_->WriteFileAtomic(path, kNewBytes).ok());
  struct stat after;
  ASSERT_EQ(stat(path.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 07777, GetParam());
  EXPECT_EQ(after.st_uid, before.st_uid);
  EXPECT_EQ(after.st_gid, before.st_gid);
  EXPECT_NE(after.st_ino, before.st_ino) << "the file must be replaced, not rewritten in place";
  EXPECT_EQ(ReadBytes(path), kNewBytes);
}

INSTANTIATE_TEST_SUITE_P(Modes, ExistingModeTest, ::testing::Values(0644, 0600, 0640, 0604, 0755, 0664, 02755));

// A new file, here in place of a planted link, is owned like its model; the link's file stays.
TEST_F(WriteFileAtomicTest, ANewFileIsOwnedLikeItsModel) {
  const std::string model = dir_.File("sources.txt"), path = dir_.File("own.txt");
  WriteBytes(model, kOldBytes);
  GiveToTestUser(model);
  ASSERT_EQ(chmod(model.c_str(), 0640), 0);
  ASSERT_EQ(symlink(model.c_str(), path.c_str()), 0);
  ASSERT_TRUE(platform_->WriteFileAtomicNoFollowOwnedLike(path, kNewBytes, model).ok());
  struct stat made, wanted;
  ASSERT_EQ(lstat(path.c_str(), &made) | stat(model.c_str(), &wanted), 0);
  EXPECT_EQ(std::vector<unsigned>({made.st_uid, made.st_gid, made.st_mode & 07777}),
            std::vector<unsigned>({wanted.st_uid, wanted.st_gid, 0640}));
  EXPECT_EQ(ReadBytes(path) + ReadBytes(model), kNewBytes + kOldBytes);
}

TEST_F(WriteFileAtomicTest, KeepsAccessAcl) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  const std::string acl = "user::rw-,user:daemon:rw-,user:nobody:---,group::r--,mask::rw-,other::r--";
  ASSERT_TRUE(SetAcl(path, acl));
  ASSERT_EQ(AclText(path), acl);

  ASSERT_TRUE(platform_->WriteFileAtomic(path, kNewBytes).ok());
  EXPECT_EQ(AclText(path), acl);
  EXPECT_EQ(ModeOf(path), 0664u);
  EXPECT_EQ(ReadBytes(path), kNewBytes);
}

// Access lists larger than a page exist on file systems that allow them (tmpfs, XFS);
// ext4 refuses them, so the test needs a tmpfs.
TEST(WriteFileAtomicLargeAcl, KeepsAnAclLargerThanFourKilobytes) {
  if (!std::filesystem::is_directory("/dev/shm")) GTEST_SKIP() << "no /dev/shm";
  std::string folder = "/dev/shm/quorvale-acl-XXXXXX";
  ASSERT_NE(mkdtemp(folder.data()), nullptr);
  const std::string path = folder + "/HOSTS";
  WriteBytes(path, kOldBytes);
  std::string acl = "u::rw-,g::r--,o::r--,m::r--";
  for (int uid = 20000; uid < 20600; ++uid) acl += ",u:" + std::to_string(uid) + ":r--";
  bool set = SetAcl(path, acl);
  std::string before = set ? AclText(path) : std::string();
  Status status = set ? CreateSystemPlatform()->WriteFileAtomic(path, kNewBytes) : Status::Ok();
  std::string after = AclText(path);
  std::string bytes = ReadBytes(path);
  std::filesystem::remove_all(folder);
  if (!set) GTEST_SKIP() << "this /dev/shm refuses large access lists";

  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_GT(before.size(), 4096u);
  EXPECT_TRUE(after == before) << "the access list changed; it now reads " << after.size() << " bytes of text";
  EXPECT_EQ(bytes, kNewBytes);
}

TEST_F(WriteFileAtomicTest, ReplacesTheFileBehindASymlink) {
  ASSERT_EQ(mkdir(dir_.File("real").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir_.File("etc").c_str(), 0755), 0);
  const std::string target = dir_.File("real/hosts");
  WriteBytes(target, kOldBytes);
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  const std::string link = dir_.File("etc/hosts");
  const std::string second_link = dir_.File("etc/hosts2");
  ASSERT_EQ(symlink("../real/hosts", link.c_str()), 0);
  ASSERT_EQ(symlink("hosts", second_link.c_str()), 0);

  ASSERT_TRUE(platform_->WriteFileAtomic(second_link, kNewBytes).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(std::filesystem::is_symlink(second_link));
  EXPECT_EQ(std::filesystem::read_symlink(link), "../real/hosts");
  EXPECT_EQ(std::filesystem::read_symlink(second_link), "hosts");
  EXPECT_EQ(ReadBytes(target), kNewBytes);
  EXPECT_EQ(ModeOf(target), 0640u);
  EXPECT_EQ(Sorted(platform_->ListFolder(dir_.File("real"))), std::vector<std::string>{"hosts"});
  EXPECT_EQ(Sorted(platform_->ListFolder(dir_.File("etc"))), (std::vector<std::string>{"hosts", "hosts2"}));
}

TEST_F(WriteFileAtomicTest, DanglingSymlinkCreatesItsTarget) {
  const std::string link = dir_.File("hosts");
  ASSERT_EQ(symlink("missing-target", link.c_str()), 0);
  ASSERT_TRUE(platform_->WriteFileAtomic(link, kNewBytes).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(ReadBytes(dir_.File("missing-target")), kNewBytes);
}

TEST_F(WriteFileAtomicTest, SymlinkLoopFails) {
  const std::string a = dir_.File("a");
  const std::string b = dir_.File("b");
  ASSERT_EQ(symlink("b", a.c_str()), 0);
  ASSERT_EQ(symlink("a", b.c_str()), 0);
  EXPECT_FALSE(platform_->WriteFileAtomic(a, kNewBytes).ok());
  EXPECT_EQ(Sorted(platform_->ListFolder(dir_.path())), (std::vector<std::string>{"a", "b"}));
}

TEST_F(WriteFileAtomicTest, FolderAsTargetFailsAndStays) {
  ASSERT_EQ(mkdir(dir_.File("sub").c_str(), 0755), 0);
  EXPECT_FALSE(platform_->WriteFileAtomic(dir_.File("sub"), kNewBytes).ok());
  EXPECT_TRUE(std::filesystem::is_directory(dir_.File("sub")));
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"sub"});
}

TEST_F(WriteFileAtomicTest, MissingFolderIsNotFound) {
  Status status = platform_->WriteFileAtomic(dir_.File("no/such/HOSTS"), kNewBytes);
  EXPECT_EQ(status.code(), ErrorCode::kNotFound);
  EXPECT_TRUE(platform_->ListFolder(dir_.path()).empty());
}

// The refusals below are checked by an unprivileged child (nobody when the tests run as
// root, who would pass every permission check).
class WriteFileAtomicRefusalTest : public WriteFileAtomicTest {
 protected:
  void SetUp() override { ASSERT_EQ(chmod(dir_.path().c_str(), 0755), 0); }

  // A folder of its own, given to the test user, holding "HOSTS" with the old bytes.
  std::string MakeFolderWithHosts(mode_t file_mode) {
    const std::string folder = dir_.File("etc");
    EXPECT_EQ(mkdir(folder.c_str(), 0755), 0);
    GiveToTestUser(folder);
    const std::string path = folder + "/HOSTS";
    WriteBytes(path, kOldBytes);
    GiveToTestUser(path);
    EXPECT_EQ(chmod(path.c_str(), file_mode), 0);
    return path;
  }

  int WriteInChild(const std::string& path) {
    return RunInChild([&] { return ExitCodeFor(platform_->WriteFileAtomic(path, kNewBytes)); });
  }
};

TEST_F(WriteFileAtomicRefusalTest, ReadOnlyTargetFailsAndStaysIntact) {
  const std::string path = MakeFolderWithHosts(0444);
  EXPECT_EQ(WriteInChild(path), 1);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
}

TEST_F(WriteFileAtomicRefusalTest, WritableTargetInTheSameSetUpSucceeds) {
  const std::string path = MakeFolderWithHosts(0644);
  EXPECT_EQ(WriteInChild(path), 0);
  EXPECT_EQ(ReadBytes(path), kNewBytes);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
}

// A protected replace of a read-only file by its owner: the file is never made writable, the
// new one is read-only before it takes the old one's place. Another user, or a user locked
// out by an access list, is refused as before.
TEST_F(WriteFileAtomicRefusalTest, ProtectedReplaceNeedsNoWriteBitButTheRightToGiveIt) {
  const std::string path = MakeFolderWithHosts(0444);
  auto replace = [&] {
    return RunInChild([&] {
      return ExitCodeFor(platform_->ReplaceProtectedFile(path, WholeContents(kNewBytes), kAttrReadOnly | kAttrSystem));
    });
  };
  EXPECT_EQ(replace(), 0);
  EXPECT_EQ(ReadBytes(path), kNewBytes);
  EXPECT_EQ(ModeOf(path), 0444u);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
  if (!RunningAsRoot()) return;
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
  EXPECT_EQ(replace(), 1);
  ASSERT_EQ(chmod(path.c_str(), 0666), 0);
  ASSERT_TRUE(SetAcl(path, "user::rw-,user:nobody:r--,group::rw-,mask::rw-,other::rw-"));
  EXPECT_EQ(replace(), 1);
  EXPECT_EQ(ReadBytes(path), kNewBytes);
}

TEST_F(WriteFileAtomicRefusalTest, AclDenyOnTargetFailsAndStaysIntact) {
  if (!RunningAsRoot()) GTEST_SKIP() << "an access list cannot deny the file's own owner; needs root";
  const std::string path = MakeFolderWithHosts(0666);
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
  const std::string acl = "user::rw-,user:nobody:r--,group::rw-,mask::rw-,other::rw-";
  ASSERT_TRUE(SetAcl(path, acl));

  EXPECT_EQ(WriteInChild(path), 1);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(AclText(path), acl);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
}

TEST_F(WriteFileAtomicRefusalTest, ReadOnlyFolderFailsWithoutTempFile) {
  const std::string path = MakeFolderWithHosts(0644);
  // As root the folder goes back to root: nobody still owns and may write the file, but
  // cannot create the temporary file beside it.
  if (RunningAsRoot()) {
    ASSERT_EQ(chown(dir_.File("etc").c_str(), 0, 0), 0);
  } else {
    ASSERT_EQ(chmod(dir_.File("etc").c_str(), 0555), 0);
  }
  EXPECT_EQ(WriteInChild(path), 1);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
  EXPECT_EQ(WriteInChild(dir_.File("etc/other.txt")), 1);
  EXPECT_EQ(platform_->ListFolder(dir_.File("etc")), std::vector<std::string>{"HOSTS"});
}

// The disk fills up in the middle of the write: a child limits the size of the files it may
// write and ignores SIGXFSZ, so the write fails with EFBIG as it would with ENOSPC.
int WriteWithSizeLimit(const std::string& path, size_t size) {
  return RunInChild(
      [&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 9;
        std::string big(size, 'x');
        return ExitCodeFor(CreateSystemPlatform()->WriteFileAtomic(path, big));
      },
      /*unprivileged=*/false);
}

// The same with the contents written in pieces of 16 KiB: the sink refuses the piece that
// crosses the limit and the producer stops there.
int WritePiecesWithSizeLimit(const std::string& path, size_t pieces) {
  return RunInChild(
      [&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {64 * 1024, 64 * 1024};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) return 9;
        const std::string piece(16 * 1024, 'p');
        size_t written = 0;
        Status status = CreateSystemPlatform()->WriteFileAtomicInPieces(path, [&](const ByteSink& sink) {
          for (; written < pieces; ++written) {
            if (!sink(piece)) return false;
          }
          return true;
        });
        // 2 for "no space" when the fifth piece was the one refused.
        return ExitCodeFor(status) + (status.ok() || written == 4 ? 0 : 10);
      },
      /*unprivileged=*/false);
}

TEST_F(WriteFileAtomicTest, DiskFullLeavesOldFileIntact) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  EXPECT_EQ(WriteWithSizeLimit(path, 1 << 20), 2);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(ModeOf(path), 0640u);
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
  // Under the limit the same child succeeds, so the failure above came from the limit.
  EXPECT_EQ(WriteWithSizeLimit(path, 1000), 0);
  EXPECT_EQ(ReadBytes(path), std::string(1000, 'x'));
}

TEST_F(WriteFileAtomicTest, DiskFullInTheMiddleOfThePiecesLeavesOldFileIntact) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  EXPECT_EQ(WritePiecesWithSizeLimit(path, 8), 2);
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(platform_->ListFolder(dir_.path()), std::vector<std::string>{"HOSTS"});
  EXPECT_EQ(WritePiecesWithSizeLimit(path, 4), 0);
  EXPECT_EQ(ReadBytes(path), std::string(64 * 1024, 'p'));
}

// A signal ends the program in the middle of a write: only a kill -9 of a write whose
// temporary file has a name (the file system refuses files without one) leaves it behind.
TEST_F(WriteFileAtomicTest, InterruptedWriteLeavesTheOldFileAndNoTemporaryFileThatCouldGo) {
  const std::string path = dir_.File("HOSTS");
  WriteBytes(path, kOldBytes);
  // {the signal, whether the temporary file has a name, the temporary files left}
  const struct { int signal_number; bool named_temp; size_t left; } cases[] = {
      {SIGKILL, false, 0}, {SIGINT, true, 0}, {SIGTERM, true, 0}, {SIGHUP, true, 0}, {SIGKILL, true, 1}};
  for (const auto& c : cases) {
    const int ended_by = RunInChild(
        [&] {
          signal(c.signal_number, SIG_DFL);
          GuardWritesAgainstSignals();
          if (c.named_temp && !RefuseUnnamedFiles()) return 9;
          return ExitCodeFor(CreateSystemPlatform()->WriteFileAtomicInPieces(path, [&](const ByteSink& sink) {
            return sink(kNewBytes) && raise(c.signal_number) == 0 && sink(kNewBytes);
          }));
        },
        /*unprivileged=*/false);
    EXPECT_EQ(ended_by, 100 + c.signal_number);
    EXPECT_EQ(ReadBytes(path), kOldBytes);
    EXPECT_EQ(platform_->ListFolder(dir_.path()).size(), 1 + c.left) << c.signal_number << " " << c.named_temp;
  }
}

TEST_F(WriteFileAtomicTest, DiskFullLeavesNoNewFile) {
  EXPECT_EQ(WriteWithSizeLimit(dir_.File("new.txt"), 1 << 20), 2);
  EXPECT_TRUE(platform_->ListFolder(dir_.path()).empty());
}

}  // namespace
}  // namespace quorvale
