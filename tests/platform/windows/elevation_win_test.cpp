// Rights asked for per step: the window program asks for none at start, and the helper is
// started through ShellExecuteExW "runas" with a pipe that carries its input and outcome.

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/hosts_writer.h"
#include "core/utf16.h"
#include "hosts/hosts_replace.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

TEST(Elevation, TheWindowProgramRunsAsInvoker) {
  const std::string program = TestProgramFolder() + "quorvale.exe";
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << program;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
      << manifest;
}

TEST(Elevation, TheHelperRunsThroughRunasWithItsPipe) {
  // The test prefix's own HOSTS file, put back as it was at the end.
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  const std::string hosts = platform->HostsPath();
  const std::vector<HostsBackup> backups_before = ListHostsBackups(*platform, hosts);
  const std::string saved = ReadBytes(hosts);
  SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(platform->WriteFileAtomic(hosts, "kept line\r\n").ok());
  const std::string helper = TestProgramFolder() + "quorvale-helper.exe";
  int waits = 0;
  std::string header;
  FormatHostsFile(Session(), {"0.0.0.0"}, "01/02/2026 10:00:00", &header);
  const FileContents input = FramedContents([&](const ByteSink& sink) {
    return sink(header) && sink("0.0.0.0\tads.example\r\n");
  });
  const ElevatedRun run = platform->RunElevated(helper, {"replace"}, &input, [&] { ++waits; });
  ASSERT_EQ(run.kind, ElevatedRun::Kind::kEnded) << run.why.ToString();
  EXPECT_EQ(run.exit_code, 0);
  HelperOutcome outcome;
  ASSERT_TRUE(ParseHelperOutcome(run.output, &outcome)) << run.output;
  EXPECT_EQ(outcome.exit_code, 0) << run.output;
  EXPECT_EQ(ReadBytes(hosts), header + "# Lignes conservees du fichier hosts precedent\r\nkept line\r\n"
                                       "0.0.0.0\tads.example\r\n");
  // Refused by the helper: the exit code and the line come back, also when the helper stops
  // reading an input far bigger than the pipe holds.
  const ElevatedRun refused = platform->RunElevated(helper, {"replace", hosts}, nullptr, {});
  EXPECT_EQ(refused.exit_code, kHelperExitFailed);
  EXPECT_EQ(refused.output, "2\tusage\t6\t\twrong number of arguments for replace\tnone\t0\t\t\n");
  const std::string one_long_line(8 << 20, 'x');
  const FileContents not_hosts = FramedContents(WholeContents(one_long_line));
  const ElevatedRun cut = platform->RunElevated(helper, {"replace"}, &not_hosts, {});
  EXPECT_EQ(cut.exit_code, kHelperExitFailed);
  EXPECT_EQ(cut.output, "2\tinput\t6\t\tline 1: too long\tnone\t0\t\t\n");
  EXPECT_TRUE(EndChildren());
  // The copies are newest first: those made here come before the ones that were there.
  const std::vector<HostsBackup> backups_after = ListHostsBackups(*platform, hosts);
  for (size_t i = 0; i + backups_before.size() < backups_after.size(); ++i) {
    (void)platform->RemoveFile(backups_after[i].path);
  }
  SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(platform->WriteFileAtomic(hosts, saved).ok());
}

// The running user's SID in SDDL form.
std::string CurrentUserSid() {
  HANDLE token = nullptr;
  alignas(TOKEN_USER) BYTE user[SECURITY_MAX_SID_SIZE + sizeof(TOKEN_USER)];
  DWORD size = 0;
  wchar_t* text = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    if (GetTokenInformation(token, TokenUser, user, sizeof user, &size)) {
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &text);
    }
    CloseHandle(token);
  }
  const std::string sid = text != nullptr ? Utf8FromWide(text) : "";
  LocalFree(text);
  return sid;
}

// Gives `path` the owner and protected access list of `sddl`, and reads them back.
std::string SetAndReadSecurity(const std::string& path, const wchar_t* sddl) {
  constexpr SECURITY_INFORMATION kWhat = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  PSID owner = nullptr;
  PACL acl = nullptr;
  BOOL present = FALSE, defaulted = FALSE;
  std::wstring wide = WideFromUtf8(path);
  if (sddl != nullptr && ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, 1, &descriptor, nullptr) &&
      GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) &&
      GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted)) {
    SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, kWhat | PROTECTED_DACL_SECURITY_INFORMATION, owner, nullptr, acl,
                          nullptr);
  }
  LocalFree(descriptor);
  wchar_t* text = nullptr;
  if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, kWhat, nullptr, nullptr, nullptr, nullptr, &descriptor) == 0) {
    ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, 1, kWhat, &text, nullptr);
    LocalFree(descriptor);
  }
  const std::string read = text != nullptr ? Utf8FromWide(text) : "";
  LocalFree(text);
  return read;
}

// The rule on the helper and its folder; entries for new files only are not the folder's own.
TEST(Elevation, OnlyTheAdministratorsMayChange) {
  for (const auto& [sddl, only] : std::vector<std::pair<std::string, bool>>{
           {"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)(D;;FA;;;AN)", true},
           {"O:S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464D:P(A;;FA;;;SY)(A;OICIIO;GA;;;CO)"
            "(A;OICIIO;GA;;;BU)", true},
           {"O:BAD:P(A;;FA;;;BA)(A;;0x2;;;BU)", false}, {"O:BAD:P(A;;FA;;;BA)(A;;0x40;;;AU)", false},
           {"O:BAD:P(A;;FA;;;BA)(A;;0x10000;;;WD)", false}, {"O:BAD:P(A;;FA;;;BA)(A;;0x40000;;;IU)", false},
           {"O:BAD:P(A;;FA;;;BA)(A;;GW;;;BU)", false}, {"O:BAD:P(A;;FA;;;BA)(A;;0x2000000;;;BU)", false},
           {"O:BUD:P(A;;FA;;;BA)", false}}) {
    EXPECT_EQ(SddlLeavesChangesToAdministrators(sddl), only) << sddl;
  }
}

// A user-writable folder is refused, then taken back for the administrators. Where files keep
// no access list (Wine derives it from the Unix owner and mode), the folder made is refused.
TEST(Elevation, TheAdministratorsFolderIsMadeAndRead) {
  TempDir dir;
  const std::string folder = dir.File("Quorvale"), helper = folder + "\\quorvale-helper.exe";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  WriteBytes(helper, "MZ");
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  if (SetAndReadSecurity(helper, L"O:BAD:P(A;;FA;;;BA)") != "O:BAD:P(A;;FA;;;BA)") {
    EXPECT_EQ(platform->MakeAdministratorsFolder(folder).reason(), "others than the administrators may change it");
    GTEST_SKIP() << "files keep no access list here: " << SetAndReadSecurity(helper, nullptr);
  }
  EXPECT_EQ(SetAndReadSecurity(folder, L"O:BAD:P(A;;FA;;;BA)(A;;0x2;;;BU)"), "O:BAD:P(A;;FA;;;BA)(A;;0x2;;;BU)");
  EXPECT_FALSE(platform->OnlyAdministratorsCanChange(helper));
  ASSERT_TRUE(platform->MakeAdministratorsFolder(folder).ok());
  EXPECT_EQ(SetAndReadSecurity(folder, nullptr), "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  EXPECT_TRUE(platform->OnlyAdministratorsCanChange(helper));
}

// An elevated run's replace lock is in the administrators' folder. Where files keep no access
// list (Wine), the folder made reads back as the running user's: the lock, elevated, trusts
// that user, the rule for the programs run with rights never does.
TEST(Elevation, AnElevatedRunsLockIsInTheAdministratorsFolder) {
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  if (!platform->IsElevated()) GTEST_SKIP() << "not elevated";
  TempDir dir;
  std::unique_ptr<Platform::HeldLock> lock;
  ASSERT_TRUE(platform->LockForReplace(dir.File("HOSTS"), 0, {}, &lock).ok());
  std::string folder = platform->SystemSourcesFolder();
  folder.pop_back();
  const std::string read = SetAndReadSecurity(folder, nullptr);
  const std::string self = CurrentUserSid();
  const std::string wine = "O:" + self + "D:(A;OICI;FA;;;SY)(A;OICI;FA;;;" + self + ")";
  EXPECT_TRUE(read == "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)" || read == wine) << read;
  EXPECT_EQ(SddlLeavesChangesToAdministrators(read), read != wine);
}

}  // namespace
}  // namespace quorvale::testing
