// subinacl.exe started as the lock command starts it, with the rights it denies read back from
// the file's access list (which Wine turns into the Unix mode and back: file rights only).

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <string>

#include "core/utf16.h"
#include "platform/platform.h"
#include "platform/win_command_line.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

// Every right that is specific to files: reading, writing, appending, running...
constexpr ACCESS_MASK kFileRights = FILE_ALL_ACCESS & SPECIFIC_RIGHTS_ALL;

// The rights that the file's access list denies the running user, taken together.
ACCESS_MASK DeniedRights(const std::string& path) {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD size = 0;
  OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
  EXPECT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &size));
  CloseHandle(token);
  PACL acl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  EXPECT_EQ(GetNamedSecurityInfoW(WideFromUtf8(path).c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                  nullptr, &acl, nullptr, &descriptor),
            0u);
  ACCESS_MASK denied = 0;
  ACCESS_DENIED_ACE* ace = nullptr;
  for (DWORD i = 0; acl != nullptr && GetAce(acl, i, reinterpret_cast<void**>(&ace)); ++i) {
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    if (ace->Header.AceType == ACCESS_DENIED_ACE_TYPE && EqualSid(&ace->SidStart, sid)) denied |= ace->Mask;
  }
  LocalFree(descriptor);
  return denied;
}

class SubinaclWinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryW((WideFromUtf8(dir_.path()) + L"\\H\u00E9l\u00E8ne").c_str(), nullptr));
    WriteBytes(path_, "127.0.0.1 localhost\r\n");
    ASSERT_EQ(DeniedRights(path_), 0u);
  }
  ProcessResult Tool(const std::string& path, const std::string& access_switch) const {
    const std::string tool = TestProgramFolder() + "subinacl.exe";
    return RunAndWait(BuildWindowsCommandLine({tool, "/file", path, access_switch}), scratch_.path());
  }

  TempDir dir_;
  TempDir scratch_;
  const std::string path_ = dir_.path() + "\\H\xC3\xA9l\xC3\xA8ne\\HOSTS";
  const std::string user_ = CreateSystemPlatform()->GetCurrentUserName();
};

// Each switch twice is the same as once.
TEST_F(SubinaclWinTest, DenyTakesEveryFileRightAndGrantGivesThemBack) {
  for (const auto& [access_switch, denied] :
       {std::pair{"/Deny=", kFileRights}, {"/Deny=", kFileRights}, {"/Grant=", 0ul}, {"/Grant=", 0ul}}) {
    ProcessResult result = Tool(path_, access_switch + user_ + "=F");
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(DeniedRights(path_) & kFileRights, denied) << access_switch;
  }
  EXPECT_EQ(ReadBytes(path_), "127.0.0.1 localhost\r\n");
}

TEST_F(SubinaclWinTest, UnknownUserAndMissingFileFail) {
  ProcessResult unknown = Tool(path_, "/Deny=quorvale-no-such-user=F");
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.err, "subinacl: unknown user \"quorvale-no-such-user\"\r\n");
  EXPECT_EQ(DeniedRights(path_), 0u);
  const std::string missing = dir_.path() + "\\absent \xC3\xA9";
  ProcessResult absent = Tool(missing, "/Deny=" + user_ + "=F");
  EXPECT_EQ(absent.status, 3);
  EXPECT_TRUE(absent.err.starts_with("subinacl: " + missing + ": ")) << absent.err;
}

}  // namespace
}  // namespace quorvale::testing
