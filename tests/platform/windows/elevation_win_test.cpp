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

#include "core/helper_outcome.h"
#include "core/utf16.h"
#include "platform/hosts_replace.h"
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
  const std::string header = "#\r\n# Nombre d'entrees: 1\r\n#\r\n";
  const FileContents input = [&](const ByteSink& sink) { return sink(header) && sink("0.0.0.0\tads.example\r\n"); };
  const ElevatedRun run = platform->RunElevated(helper, {"replace"}, &input, [&] { ++waits; });
  ASSERT_EQ(run.kind, ElevatedRun::Kind::kEnded) << run.why.ToString();
  EXPECT_EQ(run.exit_code, 0);
  HelperOutcome outcome;
  ASSERT_TRUE(ParseHelperOutcome(run.output, &outcome)) << run.output;
  EXPECT_EQ(outcome.exit_code, 0) << run.output;
  EXPECT_EQ(ReadBytes(hosts), header + "# Lignes conservees du fichier hosts precedent\r\nkept line\r\n"
                                       "0.0.0.0\tads.example\r\n");
  // Refused by the helper: the exit code and the line come back.
  const ElevatedRun refused = platform->RunElevated(helper, {"replace", hosts}, nullptr, {});
  EXPECT_EQ(refused.exit_code, kHelperExitFailed);
  EXPECT_EQ(refused.output, "2\tusage\t6\t\twrong number of arguments for replace\tnone\t0\t\t\n");
  EXPECT_TRUE(EndChildren());
  // The copies are newest first: those made here come before the ones that were there.
  const std::vector<HostsBackup> backups_after = ListHostsBackups(*platform, hosts);
  for (size_t i = 0; i + backups_before.size() < backups_after.size(); ++i) {
    (void)platform->RemoveFile(backups_after[i].path);
  }
  SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(platform->WriteFileAtomic(hosts, saved).ok());
}

// The owner and the access list in SDDL form, as written by SetNamedSecurityInfoW.
bool SetSecurity(const std::string& path, const wchar_t* sddl) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) return false;
  PSID owner = nullptr;
  PACL acl = nullptr;
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  GetSecurityDescriptorOwner(descriptor, &owner, &defaulted);
  GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted);
  std::wstring wide = WideFromUtf8(path);
  const DWORD err = SetNamedSecurityInfoW(
      wide.data(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      owner, nullptr, acl, nullptr);
  LocalFree(descriptor);
  return err == ERROR_SUCCESS;
}

std::string SecurityOf(const std::string& path,
                       SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(WideFromUtf8(path).c_str(), SE_FILE_OBJECT, what, nullptr, nullptr, nullptr, nullptr,
                            &descriptor) != ERROR_SUCCESS) {
    return "unreadable";
  }
  wchar_t* text = nullptr;
  ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, what, &text, nullptr);
  const std::string sddl = text != nullptr ? Utf8FromWide(text) : "";
  LocalFree(text);
  LocalFree(descriptor);
  return sddl;
}

// Administrators, SYSTEM and TrustedInstaller may change them, the users only read them.
constexpr const wchar_t* kAdminsOnly = L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)";

// Whether files keep the owner and access list they are given: Wine derives both from the
// Unix owner and mode instead.
bool FilesKeepAccessLists(const std::string& path) {
  return SetSecurity(path, kAdminsOnly) && SecurityOf(path) == "O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)";
}

// The rule on each of the helper and its folder: another owner, or a right that changes them
// given to someone else, is refused; entries for new files only are not theirs.
TEST(Elevation, OnlyTheAdministratorsMayChange) {
  const std::string trusted_installer = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  for (const auto& [sddl, only] : std::vector<std::pair<std::string, bool>>{
           {"O:BAD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x1200a9;;;BU)", true},
           // Program Files: TrustedInstaller's, and modify for new files' owners only.
           {"O:" + trusted_installer + "D:P(A;;FA;;;" + trusted_installer + ")(A;;0x1301bf;;;SY)(A;OICIIO;GA;;;CO)"
            "(A;OICIIO;GXGR;;;BU)(A;;0x1200a9;;;BU)", true},
           {"O:BAD:P(A;;FA;;;BA)(D;;FA;;;WD)", true},
           {"O:BAD:P(A;;FA;;;BA)(A;;0x2;;;BU)", false},       // a user may add a file
           {"O:BAD:P(A;;FA;;;BA)(A;;0x40;;;AU)", false},      // or delete one
           {"O:BAD:P(A;;FA;;;BA)(A;;0x10000;;;WD)", false},   // or delete it
           {"O:BAD:P(A;;FA;;;BA)(A;;0x40000;;;IU)", false},   // or change its access list
           {"O:BAD:P(A;;FA;;;BA)(A;;GW;;;BU)", false},
           {"O:BUD:P(A;;FA;;;BA)", false},                     // the users' own
           {"O:S-1-5-21-1-2-3-1000D:P(A;;FA;;;BA)", false},
       }) {
    EXPECT_EQ(SddlLeavesChangesToAdministrators(sddl), only) << sddl;
  }
}

// The same on real files: a user's folder is refused; one that the test gives to the
// administrators passes, as long as its helper is theirs too.
TEST(Elevation, TheHelperAndItsFolderAreRead) {
  TempDir dir;
  const std::string folder = dir.File("Quorvale"), helper = folder + "\\quorvale-helper.exe";
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  WriteBytes(helper, "MZ");
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  EXPECT_FALSE(platform->OnlyAdministratorsCanChange(helper)) << SecurityOf(folder);
  EXPECT_FALSE(platform->OnlyAdministratorsCanChange(folder + "\\missing.exe"));
  if (!FilesKeepAccessLists(folder)) GTEST_SKIP() << "files keep no access list here: " << SecurityOf(folder);
  ASSERT_TRUE(SetSecurity(helper, kAdminsOnly));
  EXPECT_TRUE(platform->OnlyAdministratorsCanChange(helper));
  ASSERT_TRUE(SetSecurity(folder, L"O:BAD:P(A;;FA;;;BA)(A;;0x2;;;BU)"));
  EXPECT_FALSE(platform->OnlyAdministratorsCanChange(helper));
  ASSERT_TRUE(SetSecurity(folder, L"O:BAD:P(A;OICI;FA;;;BA)"));
}

// The scheduled update's folder: made, or taken back from a user, for SYSTEM and the
// Administrators alone; where files keep no access list, it is refused.
TEST(Elevation, TheSystemFolderIsTheAdministratorsAlone) {
  TempDir dir;
  const std::string made = dir.File("made"), taken = dir.File("taken");
  ASSERT_TRUE(CreateDirectoryA(taken.c_str(), nullptr));
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  if (!FilesKeepAccessLists(taken)) {
    EXPECT_EQ(platform->MakeAdministratorsFolder(made + "\\").ToString(),
              made + "\\: others than the administrators may change it");
    GTEST_SKIP() << "files keep no access list here: " << SecurityOf(made);
  }
  ASSERT_TRUE(SetSecurity(taken, L"O:BUD:P(A;OICI;FA;;;BU)(A;OICI;FA;;;WD)"));
  for (const std::string& folder : {made, taken}) {
    ASSERT_TRUE(platform->MakeAdministratorsFolder(folder + "\\").ok()) << folder;
    EXPECT_EQ(SecurityOf(folder), "O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)");
  }
  WriteBytes(made + "\\new.txt", "x");
  EXPECT_EQ(SecurityOf(made + "\\new.txt", DACL_SECURITY_INFORMATION), "D:(A;ID;FA;;;SY)(A;ID;FA;;;BA)");
}

// A process of this user without the Administrators group (a filtered token, as a
// non-elevated one is), started with CreateProcessAsUser: the argument probe writes beside
// itself in an ordinary folder, and cannot in the administrators' folder.
TEST(Elevation, AProcessWithoutTheAdministratorsCannotWriteTheirFolder) {
  TempDir dir;
  const std::string open = dir.File("open"), closed = dir.File("closed");
  ASSERT_TRUE(CreateDirectoryA(open.c_str(), nullptr));
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, &token));
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD sid_size = sizeof sid;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &sid_size));
  SID_AND_ATTRIBUTES administrators = {sid, 0};
  HANDLE filtered = nullptr;
  ASSERT_TRUE(CreateRestrictedToken(token, DISABLE_MAX_PRIVILEGE, 1, &administrators, 0, nullptr, 0, nullptr, &filtered));
  CloseHandle(token);
  const bool keeps = CreateSystemPlatform()->MakeAdministratorsFolder(closed).ok();
  for (const std::string& folder : {open, closed}) {
    if (folder == closed && !keeps) break;
    const std::string probe = folder + "\\quorvale_argv_probe.exe";
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "quorvale_argv_probe.exe").c_str(), probe.c_str(), FALSE));
    std::string command = "\"" + probe + "\" x";
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessAsUserA(filtered, probe.c_str(), command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                     nullptr, nullptr, &startup, &process))
        << GetLastError();
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(filtered);
  EXPECT_EQ(ReadBytes(open + "\\argv.txt"), "x\n");
  if (!keeps) GTEST_SKIP() << "files keep no access list here: the filtered process ran, with nothing to refuse it";
  EXPECT_FALSE(GetFileAttributesA((closed + "\\argv.txt").c_str()) != INVALID_FILE_ATTRIBUTES);
}

}  // namespace
}  // namespace quorvale::testing
