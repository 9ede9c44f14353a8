// The Windows platform against a real file system: a Windows machine or a Wine prefix.

#include <windows.h>
#include <aclapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "core/utf16.h"
#include "hosts/hosts_replace.h"
#include "platform/platform.h"
#include "support/case_name.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

constexpr DWORD kDosBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(tolower(c)); });
  return text;
}

std::wstring Wide(const std::string& path) { return WideFromUtf8(path); }

class WindowsPlatformTest : public ::testing::Test {
 protected:
  // The files are in a folder "Hélène", made from its UTF-16 name, reached by UTF-8 paths.
  void SetUp() override { ASSERT_TRUE(CreateDirectoryW((Wide(dir_.path()) + L"\\H\u00E9l\u00E8ne").c_str(), nullptr)); }
  // Backslashes only, as the program's own paths are.
  std::string File(const std::string& name) const { return folder_ + "\\" + name; }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names = platform_->ListFolder(folder_);
    std::sort(names.begin(), names.end());
    return names;
  }
  // Files left read-only would stop the temporary folder from going away.
  void TearDown() override {
    for (const std::string& name : Listing()) SetFileAttributesW(Wide(File(name)).c_str(), FILE_ATTRIBUTE_NORMAL);
  }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();
  TempDir dir_;
  const std::string folder_ = dir_.path() + "\\H\xC3\xA9l\xC3\xA8ne";
};

TEST_F(WindowsPlatformTest, SystemDirectoryAndHostsPath) {
  char raw[MAX_PATH] = {};
  UINT length = GetSystemDirectoryA(raw, MAX_PATH);
  ASSERT_GT(length, 0u);
  const std::string system_dir = platform_->GetSystemDir();
  EXPECT_EQ(system_dir, std::string(raw, length));
  EXPECT_EQ(Lower(system_dir.substr(system_dir.size() - 9)), "\\system32");
  EXPECT_TRUE(platform_->PathExists(system_dir));

  const std::string hosts = platform_->HostsPath();
  EXPECT_EQ(hosts, system_dir + "\\drivers\\etc\\HOSTS");
  // The file exists under whatever case the system stores it ("hosts" on Wine).
  EXPECT_TRUE(platform_->PathExists(hosts));
}

TEST_F(WindowsPlatformTest, ProgramPathAndUserFolder) {
  const std::string path = platform_->ExecutablePath();
  EXPECT_EQ(Lower(path.substr(path.find_last_of('\\') + 1)), "windows_tests.exe");

  const std::string folder = platform_->UserDataFolder();
  ASSERT_GE(folder.size(), 10u);
  EXPECT_EQ(folder.substr(folder.size() - 10), "\\Quorvale\\");
  DWORD attributes = GetFileAttributesA(folder.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The header's date in the user's regional settings: the short date, one space, the long
// time, whatever the C runtime's locale.
TEST_F(WindowsPlatformTest, HeaderDateIsTheUsersShortDateAndLongTime) {
  wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
  GetUserDefaultLocaleName(locale, LOCALE_NAME_MAX_LENGTH);
  if (std::wstring(locale) != L"fr-FR") GTEST_SKIP() << "needs French (France) regional settings";
  _putenv_s("SOURCE_DATE_EPOCH", "1796811930");
  const std::string text = platform_->LocalDateTimeText();
  _putenv_s("SOURCE_DATE_EPOCH", "");
  EXPECT_EQ(text, "09/12/2026 10:25:30");
}

TEST_F(WindowsPlatformTest, UserNameIsTheLogonName) {
  char raw[256] = {};
  DWORD size = sizeof raw;
  ASSERT_TRUE(GetUserNameA(raw, &size));
  const std::string name = platform_->GetCurrentUserName();
  EXPECT_FALSE(name.empty());
  EXPECT_EQ(name, std::string(raw));
  EXPECT_EQ(name.find('\0'), std::string::npos);
}

TEST_F(WindowsPlatformTest, MakeFoldersMakesEveryMissingLevel) {
  ASSERT_TRUE(platform_->MakeFolders(File("un\\deux/trois \xC3\xA9t\xC3\xA9\\")).ok());
  EXPECT_TRUE(platform_->MakeFolders(File("un\\deux\\trois \xC3\xA9t\xC3\xA9")).ok());
  WriteBytes(File("un\\deux\\trois \xC3\xA9t\xC3\xA9\\fichier"), "x");
  EXPECT_EQ(platform_->MakeFolders(File("un\\deux\\trois \xC3\xA9t\xC3\xA9\\fichier\\dessous")).code(), ErrorCode::kExists);
}

TEST_F(WindowsPlatformTest, PathFileExistsForFilesFoldersAndMissingPaths) {
  WriteBytes(File("present.txt"), "x");
  EXPECT_TRUE(platform_->PathExists(File("present.txt")));
  EXPECT_TRUE(platform_->PathExists(folder_));
  EXPECT_FALSE(platform_->PathExists(File("absent.txt")));
  EXPECT_FALSE(platform_->PathExists(File("absent\\present.txt")));
  EXPECT_FALSE(platform_->PathExists(""));
}

struct AttributeCase {
  const char* name;
  int value;
  DWORD dos_bits;  // what GetFileAttributesA reports of read-only, hidden and system
};
void PrintTo(const AttributeCase& c, std::ostream* out) { *out << c.name; }

class AttributeTest : public WindowsPlatformTest, public ::testing::WithParamInterface<AttributeCase> {};

// Each value is set over a file that holds every other value first, so a bit that is not
// cleared shows.
TEST_P(AttributeTest, ValueReadsBackFromTheFileSystem) {
  const AttributeCase& c = GetParam();
  const std::string path = File("attributes.txt");
  for (int before : {0, 7, 5}) {
    WriteBytes(path, "data");
    ASSERT_TRUE(
        SetFileAttributesW(Wide(path).c_str(), before == 0 ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(before)));
    Status status = platform_->SetAttributes(path, c.value);
    ASSERT_TRUE(status.ok()) << status.ToString();
    DWORD raw = GetFileAttributesW(Wide(path).c_str());
    ASSERT_NE(raw, INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(raw & kDosBits, c.dos_bits) << "over " << before;
    EXPECT_EQ(platform_->GetAttributes(path), static_cast<int>(c.dos_bits)) << "over " << before;
    ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(DeleteFileW(Wide(path).c_str()));
  }
}

INSTANTIATE_TEST_SUITE_P(Values, AttributeTest,
                         ::testing::Values(AttributeCase{"Normal", 0, 0},
                                           AttributeCase{"ReadOnlySystem", 5,
                                                         FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_SYSTEM},
                                           AttributeCase{"ReadOnlyHiddenSystem", 7, kDosBits}),
                         CaseName());

TEST_F(WindowsPlatformTest, AttributesOfAMissingFile) {
  EXPECT_EQ(platform_->GetAttributes(File("absent.txt")), -1);
  Status status = platform_->SetAttributes(File("absent.txt"), 5);
  EXPECT_EQ(status.code(), ErrorCode::kNotFound);
  EXPECT_EQ(status.subject(), File("absent.txt")) << status.ToString();
}

TEST_F(WindowsPlatformTest, ReadOnlyFileRefusesAWrite) {
  const std::string path = File("locked.txt");
  WriteBytes(path, "old");
  ASSERT_TRUE(platform_->SetAttributes(path, kAttrReadOnly | kAttrSystem).ok());
  Status status = platform_->WriteFileAtomic(path, "new");
  EXPECT_EQ(status.code(), ErrorCode::kAccessDenied);
  SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(Listing(), std::vector<std::string>{"locked.txt"});
}

TEST_F(WindowsPlatformTest, WriteFileAtomicCreatesAndReplaces) {
  const std::string path = File("liste \xC3\xA9.txt");
  const std::string first = std::string("127.0.0.1\tlocalhost\r\n\0\xff", 24);
  ASSERT_TRUE(platform_->WriteFileAtomic(path, first).ok());
  EXPECT_EQ(ReadBytes(path), first);
  ASSERT_TRUE(platform_->WriteFileAtomic(path, "second").ok());
  EXPECT_EQ(ReadBytes(path), "second");
  ASSERT_TRUE(platform_->WriteFileAtomic(path, "").ok());
  EXPECT_EQ(ReadBytes(path), "");
  EXPECT_EQ(Listing(), std::vector<std::string>{"liste \xC3\xA9.txt"});
}

TEST_F(WindowsPlatformTest, WriteFileAtomicInPiecesReplacesOnlyAWholeFile) {
  const std::string path = File("hosts");
  WriteBytes(path, "old");
  const std::string big(3 << 20, 'b');
  ASSERT_TRUE(platform_
                  ->WriteFileAtomicInPieces(path,
                                            [&](const ByteSink& sink) {
                                              EXPECT_EQ(ReadBytes(path), "old");
                                              return sink("first\r\n") && sink("") && sink(big);
                                            })
                  .ok());
  EXPECT_EQ(ReadBytes(path), "first\r\n" + big);
  // A producer that stops leaves the file as it was and no temporary file behind.
  Status stopped = platform_->WriteFileAtomicInPieces(path, [](const ByteSink& sink) {
    (void)sink("half");
    return false;
  });
  EXPECT_EQ(stopped.code(), ErrorCode::kIoError);
  EXPECT_EQ(ReadBytes(path), "first\r\n" + big);
  EXPECT_EQ(Listing(), std::vector<std::string>{"hosts"});
}

TEST_F(WindowsPlatformTest, WriteFileAtomicKeepsHiddenAndSystem) {
  const std::string path = File("hosts");
  WriteBytes(path, "old");
  ASSERT_TRUE(SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  Status status = platform_->WriteFileAtomic(path, "new");
  ASSERT_TRUE(status.ok()) << status.ToString();
  EXPECT_EQ(ReadBytes(path), "new");
  EXPECT_EQ(platform_->GetAttributes(path), kAttrHidden | kAttrSystem);
}

// Another program holds the file open without sharing it: the replace cannot happen, and
// the old bytes are still there once that program lets go.
TEST_F(WindowsPlatformTest, WriteFileAtomicLeavesAFileHeldByAnotherHandleIntact) {
  const std::string path = File("hosts");
  WriteBytes(path, "old bytes");
  HANDLE held =
      CreateFileW(Wide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  Status status = platform_->WriteFileAtomic(path, "new bytes");
  CloseHandle(held);
  EXPECT_EQ(status.code(), ErrorCode::kAccessDenied) << status.ToString();
  EXPECT_EQ(ReadBytes(path), "old bytes");
  EXPECT_EQ(Listing(), std::vector<std::string>{"hosts"});
}

TEST_F(WindowsPlatformTest, WriteFileAtomicRefusesFoldersAndMissingFolders) {
  ASSERT_TRUE(CreateDirectoryW(Wide(File("sub")).c_str(), nullptr));
  EXPECT_EQ(platform_->WriteFileAtomic(File("sub"), "x").code(), ErrorCode::kAccessDenied);
  EXPECT_EQ(platform_->WriteFileAtomic(File("absent\\file.txt"), "x").code(), ErrorCode::kNotFound);
  EXPECT_EQ(Listing(), std::vector<std::string>{"sub"});
}

TEST_F(WindowsPlatformTest, CopyRemoveAndList) {
  const std::string bytes = std::string("a\r\nb\0c", 6);
  WriteBytes(File("from.txt"), bytes);
  ASSERT_TRUE(platform_->CopyToNewFile(File("from.txt"), File("to.txt")).ok());
  EXPECT_EQ(ReadBytes(File("to.txt")), bytes);
  EXPECT_EQ(platform_->FileSize(File("to.txt")), 6);
  EXPECT_EQ(platform_->FileSize(File("absent.txt")), -1);
  EXPECT_EQ(platform_->CopyToNewFile(File("to.txt"), File("from.txt")).code(), ErrorCode::kExists);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"from.txt", "to.txt"}));
  EXPECT_EQ(platform_->CopyToNewFile(File("absent.txt"), File("copy.txt")).code(), ErrorCode::kNotFound);

  std::string read;
  ASSERT_TRUE(platform_->ReadRegularFile(File("to.txt"), &read).ok());
  EXPECT_EQ(read, bytes);
  EXPECT_EQ(platform_->FactsOf(File("to.txt")).kind, Platform::EntryFacts::Kind::kRegular);
  EXPECT_EQ(platform_->FactsOf(File("to.txt")).bytes, 6);
  ASSERT_TRUE(CreateDirectoryW(Wide(File("sub")).c_str(), nullptr));
  EXPECT_EQ(platform_->ReadRegularFile(File("sub"), &read).reason(), "not a regular file");
  EXPECT_EQ(platform_->FactsOf(File("sub")).kind, Platform::EntryFacts::Kind::kOther);
  EXPECT_EQ(platform_->FactsOf(File("absent.txt")).kind, Platform::EntryFacts::Kind::kMissing);
  RemoveDirectoryW(Wide(File("sub")).c_str());

  ASSERT_TRUE(platform_->RemoveFile(File("from.txt")).ok());
  EXPECT_EQ(platform_->RemoveFile(File("from.txt")).code(), ErrorCode::kNotFound);
  EXPECT_EQ(Listing(), std::vector<std::string>{"to.txt"});
  EXPECT_TRUE(platform_->ListFolder(File("absent")).empty());
}

// The lock is a file named after the path in any case: held by another thread (as by
// another process), it makes a second run wait and give up with kBusy.
TEST_F(WindowsPlatformTest, TheReplaceLockIsHeldByOneAtATime) {
  HANDLE taken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    std::unique_ptr<Platform::HeldLock> lock;
    if (platform_->LockForReplace(File("HOSTS"), 0, {}, &lock).ok()) SetEvent(taken);
    WaitForSingleObject(done, INFINITE);
  });
  ASSERT_EQ(WaitForSingleObject(taken, 10000), WAIT_OBJECT_0);
  int waits = 0;
  std::unique_ptr<Platform::HeldLock> second;
  EXPECT_EQ(platform_->LockForReplace(Lower(File("HOSTS")), 200, [&] { ++waits; }, &second).code(), ErrorCode::kBusy);
  EXPECT_GE(waits, 1);
  SetEvent(done);
  holder.join();
  EXPECT_TRUE(platform_->LockForReplace(File("HOSTS"), 0, {}, &second).ok());
  CloseHandle(taken);
  CloseHandle(done);
}

// Ctrl+C in the console of a command line whose replace took the attributes off: they come
// back before the program ends. The child of the death test runs this body again from the
// start in a fixture of its own: it finds the parent's file through the environment.
TEST_F(WindowsPlatformTest, CtrlCPutsBackTheAttributesThatAReplaceTookOff) {
  constexpr const char* kFileVariable = "QUORVALE_TEST_CTRL_C_FILE";
  std::string hosts;
  if (const char* given = std::getenv(kFileVariable)) {
    hosts = given;
  } else {
    hosts = File("HOSTS");
    WriteBytes(hosts, "old");
    ASSERT_TRUE(SetFileAttributesW(Wide(hosts).c_str(), kDosBits));
    ASSERT_EQ(_putenv_s(kFileVariable, hosts.c_str()), 0);
  }
  EXPECT_EXIT(
      {
        // A console of its own, which the event reaches under Wine too.
        FreeConsole();
        AllocConsole();
        GuardWritesAgainstSignals();
        if (!platform_->PrepareReplace(hosts).ok()) std::_Exit(3);
        if ((GetFileAttributesW(Wide(hosts).c_str()) & kDosBits) != 0) std::_Exit(4);
        GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        ::Sleep(3000);
        std::_Exit(5);
      },
      [](int exit_code) { return exit_code != 3 && exit_code != 4 && exit_code != 5; }, "");
  _putenv_s(kFileVariable, "");
  EXPECT_EQ(GetFileAttributesW(Wide(hosts).c_str()) & kDosBits, kDosBits);
}

// The copy of a replaced file is named after the file as the folder lists it, accents and all.
TEST_F(WindowsPlatformTest, ReplaceKeepsACopyBesideAnAccentedFile) {
  const std::string name = "liste \xC3\xA9.txt";
  constexpr std::time_t kNow = 1700000000;
  WriteBytes(File(name), "0.0.0.0 old.example\r\n");
  ReplaceOutcome outcome;
  ASSERT_TRUE(ReplaceHostsFile(*platform_, File(name), "0.0.0.0 new.example\r\n", kNow, &outcome).ok());
  const std::string backup = HostsBackupName(name, kNow);
  EXPECT_EQ(outcome.backup_path, File(backup));
  EXPECT_EQ(Listing(), (std::vector<std::string>{name, backup}));
  EXPECT_EQ(ReadBytes(File(name)), "0.0.0.0 new.example\r\n");
  EXPECT_EQ(ReadBytes(File(backup)), "0.0.0.0 old.example\r\n");
  EXPECT_EQ(platform_->GetAttributes(File(name)), kAttrReadOnly | kAttrSystem);
}

// "hosts" replaced as "HOSTS" keeps its name; its copies count in any case: listed, numbered
// after each other within a second, and restored by a name in another case.
TEST_F(WindowsPlatformTest, BackupNamesAreMatchedWithoutRegardToCase) {
  constexpr std::time_t kNow = 1700000000;
  const std::string stamp = HostsBackupName("hosts", kNow);
  WriteBytes(File("hosts"), "v0");
  WriteBytes(File("HOSTS.20200101-000000.BAK"), "old");
  WriteBytes(File(stamp), "v-1");
  ASSERT_TRUE(ReplaceHostsFile(*platform_, File("HOSTS"), "v1", kNow).ok());
  const std::string second = HostsBackupName("hosts", kNow, 2);
  EXPECT_EQ(Listing(), (std::vector<std::string>{"HOSTS.20200101-000000.BAK", "hosts", second, stamp}));
  EXPECT_EQ(ListHostsBackups(*platform_, File("HOSTS")).size(), 3u);
  ASSERT_TRUE(RestoreHostsBackup(*platform_, File("HOSTS"), "hosts.20200101-000000.bak", kNow).ok());
  EXPECT_EQ(ReadBytes(File("hosts")), "old");
  EXPECT_TRUE(SameBackupName("HOSTS.20200101-000000.BAK", "hosts.20200101-000000.bak"));
}

}  // namespace
}  // namespace quorvale::testing
