// quorvale-cli.exe run as Windows runs it: its own command line parsing, CRLF files, and
// the replace of the system's HOSTS file with its backup copy and attributes.

#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "cli/text_output.h"
#include "core/hosts_writer.h"
#include "core/session.h"
#include "core/utf16.h"
#include "hosts/file_loads.h"
#include "platform/platform.h"
#include "update/source_update.h"
#include "platform/win_command_line.h"
#include "support/fake_platform.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

constexpr std::string_view kCraftedHosts =
    "# comment line\r\n"
    "0.0.0.0 Zeta.example.com #Ads Here\r\n"
    "127.0.0.1\talpha.example.org\r\n"
    "10.0.0.1 intranet.example\r\n"
    "127.0.0.1 localhost\r\n";

class WindowsCliTest : public ::testing::Test {
 protected:
  // The program and the in-process writers date their header from the same fixed moment.
  static void SetUpTestSuite() { _putenv_s("SOURCE_DATE_EPOCH", "1700000000"); }
  static void TearDownTestSuite() { _putenv_s("SOURCE_DATE_EPOCH", ""); }

  // The files are in a folder "Hélène avec blancs", made from its UTF-16 name.
  void SetUp() override {
    folder_ = dir_.path() + "\\H\xC3\xA9l\xC3\xA8ne avec blancs";
    ASSERT_TRUE(CreateDirectoryW((WideFromUtf8(dir_.path()) + L"\\H\u00E9l\u00E8ne avec blancs").c_str(), nullptr));
  }

  ProcessResult Run(const std::vector<std::string>& args) const {
    std::vector<std::string> argv = {TestProgramFolder() + "quorvale-cli.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunAndWait(BuildWindowsCommandLine(argv), scratch_.path());
  }
  std::string Crafted(const std::string& name, std::string_view bytes) const {
    const std::string path = folder_ + "\\" + name;
    WriteBytes(path, bytes);
    return path;
  }
  static std::string ExpectedHosts(const std::string& input, bool www, std::string_view redirect, bool comments) {
    Session session;
    session.ResetRejectedLines();
    EXPECT_TRUE(ParseHostsFile(SystemPlatform(), input, session).ok());
    std::string out;
    FormatHostsFile(session, {std::string(redirect), www, comments}, CreateSystemPlatform()->LocalDateTimeText(),
                    &out);
    return out;
  }

  TempDir dir_;
  TempDir scratch_;
  std::string folder_;
};

TEST_F(WindowsCliTest, VersionEndsWithABareLineFeed) {
  ProcessResult result = Run({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "quorvale-cli " QUORVALE_VERSION "\n");
  EXPECT_EQ(result.err, "");
}

// Paths with blanks and accents reach the program whole; the file it writes is byte for
// byte the writer's, header date included.
TEST_F(WindowsCliTest, WritesTheExactFilesAtPathsWithBlanks) {
  const std::string input = Crafted("liste \xC3\xA9.txt", kCraftedHosts);
  const std::string output = folder_ + "\\sortie d'h\xC3\xB4tes.txt";
  ProcessResult result = Run({"--hosts", input, "--www", "--comments", "--redirect", "0.0.0.0", "--write-hosts", output});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  const std::string bytes = ReadBytes(output);
  EXPECT_EQ(bytes, ExpectedHosts(input, true, "0.0.0.0", true));
  // The short date and the long time of the French regional settings of the test prefix.
  EXPECT_NE(bytes.find("# Genere par: Quorvale @ 14/11/2023 22:13:20\r\n"), std::string::npos) << bytes;
  EXPECT_NE(bytes.find("\r\n0.0.0.0\tzeta.example.com\t#ads here\r\n0.0.0.0\twww.alpha.example.org\r\n"),
            std::string::npos)
      << bytes;
}

TEST_F(WindowsCliTest, DumpLinesEndWithALineFeedOnly) {
  const std::string input = Crafted("hosts.txt", kCraftedHosts);
  ProcessResult result = Run({"--hosts", input, "--dump"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1\talpha.example.org\t\t127.0.0.1\n"
            "1\tzeta.example.com\t#ads here\t0.0.0.0\n"
            "2\tintranet.example\t\t10.0.0.1\n");
}

// The reason is the system's, in the user's language, and the message UTF-8 in a file.
TEST_F(WindowsCliTest, MissingInputStopsWithStatusTwoAndTheSystemsReason) {
  const std::string missing = folder_ + "\\absent \xC3\xA9t\xC3\xA9.txt";
  ProcessResult result = Run({"--hosts", missing, "--write-hosts", folder_ + "\\out.txt"});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err,
            "quorvale-cli: " + missing + " n'a pas pu etre lu: " + WindowsErrorText(ERROR_FILE_NOT_FOUND) + "\r\n");
  EXPECT_FALSE(CreateSystemPlatform()->PathExists(folder_ + "\\out.txt"));
}

// Works on the machine's own HOSTS file (in a Wine prefix, the prefix's), which is put back
// as it was afterwards, backup copies included.
// Names as the system compares them, without regard to case (Wine keeps the case of the
// last name a file was written under: "hosts" may come back as "HOSTS").
bool SameName(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool HasName(const std::vector<std::string>& names, const std::string& name) {
  return std::any_of(names.begin(), names.end(), [&](const std::string& other) { return SameName(name, other); });
}

// A file:// address of a path: separators as "/", every byte but letters, digits and "/:._-"
// as %XX.
std::string FileAddress(const std::string& path) {
  std::string address = "file:///";
  for (unsigned char c : path) {
    if (c == '\\') {
      address += '/';
    } else if (std::isalnum(c) || std::string_view("/:._-").find(static_cast<char>(c)) != std::string_view::npos) {
      address += static_cast<char>(c);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      address += hex;
    }
  }
  return address;
}

// A real list that run-windows-tests' server serves from tests/data/real.
constexpr const char* kServedList = "Perflyst__PiHoleBlocklist__SmartTV.txt";

// An update from a file:// address with blanks and accents and from a path beside the sources
// file, in the cache folder of Windows.
TEST_F(WindowsCliTest, UpdatesFromFilesAndWritesOnlyWhatChanged) {
  const std::string a = Crafted("a.hosts", "0.0.0.0 ads.example\r\n");
  const std::string b = Crafted("b.txt", "track.example\r\n");
  std::string lines = FileAddress(a) + "\r\nb.txt domains\r\n";
  // Over WinHTTP too, from the tests' server on loopback when run-windows-tests started it.
  const char* port = std::getenv("QUORVALE_TEST_HTTP_PORT");
  if (port != nullptr) lines += "http://127.0.0.1:" + std::string(port) + "/files/" + kServedList + " domains\r\n";
  const std::string sources = Crafted("sources.txt", lines);
  const std::string out = folder_ + "\\out.hosts";
  const std::vector<std::string> update = {"--sources", sources, "--update", "--write-hosts", out};
  ProcessResult first = Run(update);
  EXPECT_EQ(first.status, 0) << first.err;
  std::vector<std::string> by_hand = {"--hosts", a, "--domains", b};
  if (port != nullptr) by_hand.insert(by_hand.end(), {"--domains", RealFile(kServedList)});
  by_hand.insert(by_hand.end(), {"--write-hosts", folder_ + "\\manual.hosts"});
  ProcessResult manual = Run(by_hand);
  // The served list names two hosts with "www.": the update writes them as listed, a load by
  // hand does not.
  std::string expected = ReadBytes(folder_ + "\\manual.hosts");
  if (port != nullptr) expected += "127.0.0.1\twww.samsungotn.net\r\n127.0.0.1\twww.samsungrm.net\r\n";
  EXPECT_EQ(ReadBytes(out), expected);
  ProcessResult second = Run(update);
  EXPECT_EQ(second.status, 0);
  EXPECT_NE(second.err.find("rien n'a change, rien n'est ecrit"), std::string::npos)
      << second.err;
  // The cache folder of this sources file goes with the test.
  const std::string cache = PlacesOf(SystemPlatform(), sources).cache_folder;
  ASSERT_FALSE(cache.empty());
  EXPECT_TRUE(SystemPlatform().PathExists(cache + "update.log"));
  std::error_code error;
  std::filesystem::remove_all(std::filesystem::path(WideFromUtf8(cache)), error);
}

class WindowsCliReplaceTest : public WindowsCliTest {
 protected:
  void SetUp() override {
    WindowsCliTest::SetUp();
    if (HasFatalFailure()) return;
    hosts_ = platform_->HostsPath();
    etc_ = hosts_.substr(0, hosts_.find_last_of('\\'));
    HANDLE probe = CreateFileA(hosts_.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) GTEST_SKIP() << "the system HOSTS file cannot be written here";
    CloseHandle(probe);
    saved_ = ReadBytes(hosts_);
    saved_attributes_ = GetFileAttributesA(hosts_.c_str());
    before_ = Names();
  }
  void TearDown() override {
    if (hosts_.empty() || IsSkipped()) return;
    SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
    WriteBytes(hosts_, saved_);
    SetFileAttributesA(hosts_.c_str(), saved_attributes_);
    for (const std::string& name : Names()) {
      if (!HasName(before_, name)) {
        SetFileAttributesA((etc_ + "\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA((etc_ + "\\" + name).c_str());
      }
    }
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names = platform_->ListFolder(etc_);
    std::sort(names.begin(), names.end());
    return names;
  }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();
  std::string hosts_;
  std::string etc_;
  std::string saved_;
  DWORD saved_attributes_ = 0;
  std::vector<std::string> before_;
};

TEST_F(WindowsCliReplaceTest, ReplacesTheSystemFileKeepingACopyOfTheOldOne) {
  // A read-only, hidden and system file is what a locked-down machine has.
  SetFileAttributesA(hosts_.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteBytes(hosts_, "0.0.0.0 old.example\r\n");
  ASSERT_TRUE(platform_->SetAttributes(hosts_, kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  const std::string input = Crafted("liste.txt", kCraftedHosts);

  ProcessResult result = Run({"--hosts", input, "--www", "--comments", "--replace-hosts"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  // dnsapi.dll's DnsFlushResolverCache answered.
  EXPECT_EQ(result.err, "quorvale-cli: cache DNS vide\r\n");
  EXPECT_EQ(platform_->GetAttributes(hosts_), kAttrReadOnly | kAttrSystem);
  EXPECT_EQ(ReadBytes(hosts_), ExpectedHosts(input, true, "127.0.0.1", true));

  std::vector<std::string> added;
  for (const std::string& name : Names()) {
    if (!HasName(before_, name)) added.push_back(name);
  }
  ASSERT_EQ(added.size(), 1u) << ::testing::PrintToString(Names());
  // The copy is named after the file as the folder listed it ("hosts" in a Wine prefix).
  std::smatch match;
  ASSERT_TRUE(std::regex_match(added[0], match, std::regex(R"((.*)\.\d{8}-\d{6}\.bak)"))) << added[0];
  EXPECT_TRUE(SameName(match[1], "HOSTS")) << added[0];
  EXPECT_TRUE(std::find(before_.begin(), before_.end(), match[1].str()) != before_.end()) << added[0];
  EXPECT_EQ(ReadBytes(etc_ + "\\" + added[0]), "0.0.0.0 old.example\r\n");
}

TEST_F(WindowsCliReplaceTest, NothingLoadedLeavesTheSystemFileAlone) {
  const std::string input = Crafted("liste.txt", "# nothing usable\r\n");
  ProcessResult result = Run({"--hosts", input, "--replace-hosts"});
  EXPECT_EQ(result.status, 1);
  // Standard error stays in text mode: its lines end with CR LF.
  EXPECT_EQ(result.err, "quorvale-cli: vous devez d'abord charger un ficher d'adresse!\r\n");
  EXPECT_EQ(ReadBytes(hosts_), saved_);
  EXPECT_EQ(Names().size(), before_.size());
}

// What quorvale-cli writes to a console arrives as characters whatever the console's code
// page; to a pipe, as its UTF-8 bytes. Both get a character cut between two writes whole.
TEST(TextOutputTest, AConsoleGetsCharactersAndAPipeTheBytes) {
  constexpr std::string_view kLine = "absent \xC3\xA9t\xC3\xA9.txt\n";
  const auto write_cut = [&kLine](std::FILE* stream) {
    TextOutput output(stream);
    EXPECT_TRUE(output.Write(kLine.substr(0, 8)));
    EXPECT_TRUE(output.Write(kLine.substr(8)));
    EXPECT_TRUE(output.Flush());
  };

  HANDLE pipe_in = nullptr;
  HANDLE pipe_out = nullptr;
  ASSERT_TRUE(CreatePipe(&pipe_in, &pipe_out, nullptr, 0));
  std::FILE* pipe = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(pipe_out), _O_BINARY), "wb");
  write_cut(pipe);
  std::fclose(pipe);
  char bytes[64];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(pipe_in, bytes, sizeof bytes, &got, nullptr));
  CloseHandle(pipe_in);
  EXPECT_EQ(std::string_view(bytes, got), kLine);

  // A screen of its own in the process's console, or in one made for the test when the
  // process has none that works (Wine starts it with a bare one), in the Western European
  // OEM code page of a French console.
  bool made_console = false;
  if (GetConsoleOutputCP() == 0) {
    FreeConsole();
    made_console = AllocConsole() != FALSE;
    ASSERT_TRUE(made_console);
  }
  const UINT code_page = GetConsoleOutputCP();
  ASSERT_TRUE(SetConsoleOutputCP(850));
  HANDLE screen = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
  ASSERT_NE(screen, INVALID_HANDLE_VALUE);
  std::FILE* console = _fdopen(_open_osfhandle(reinterpret_cast<intptr_t>(screen), _O_BINARY), "wb");
  write_cut(console);
  wchar_t shown[32] = {};
  DWORD count = 0;
  EXPECT_TRUE(ReadConsoleOutputCharacterW(screen, shown, 16, {0, 0}, &count));
  EXPECT_EQ(std::wstring(shown, count), L"absent \u00E9t\u00E9.txt  ");
  std::fclose(console);
  SetConsoleOutputCP(code_page);
  if (made_console) FreeConsole();
}

// --schedule, in-process, with a stand-in schtasks.exe in a system folder of the test's own.
class ScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CopyFileA((TestProgramFolder() + "quorvale_schtasks_probe.exe").c_str(), schtasks_.c_str(), FALSE));
    WriteBytes(sources_, "https://a.example/h\r\n");
    platform_.system_dir = dir_.path();
    platform_.system_sources_folder = copies_;
    platform_.executable_path = "C:\\Program Files\\Quorvale\\quorvale-cli.exe";
    platform_.elevated = platform_.run_programs = true;
  }
  // /Query ends with `query_exit`, /Create with `create_exit`.
  int Schedule(const std::string& frequency, int query_exit, int create_exit = 0) {
    WriteBytes(dir_.File("Query.exit"), std::to_string(query_exit));
    WriteBytes(dir_.File("Create.exit"), std::to_string(create_exit));
    std::FILE* err = std::fopen(dir_.File("err.txt").c_str(), "wb");
    const int status = RunCli({"--sources", sources_, "--schedule", frequency}, platform_, stdout, err);
    std::fclose(err);
    err_ = ReadBytes(dir_.File("err.txt"));
    calls_ = platform_.PathExists(dir_.File("calls.txt")) ? ReadBytes(dir_.File("calls.txt")) : "";
    (void)platform_.RemoveFile(dir_.File("calls.txt"));
    return status;
  }

  TempDir dir_;
  const std::string schtasks_ = dir_.path() + "\\schtasks.exe", sources_ = dir_.path() + "\\mes sources.txt";
  const std::string copies_ = dir_.path() + "\\Quorvale\\";
  FakePlatform platform_;
  std::string err_, calls_;  // the messages; the stand-in's arguments, a line a call
};

TEST_F(ScheduleTest, CreatesReplacesAndRemovesTheTaskOrSaysWhyNot) {
  const std::string query = "/Query\t/TN\tQuorvale update\n", create = query + "/Create\t/F\t/TN\tQuorvale update\t/SC\t";
  const std::string task = "\t/RU\tSYSTEM\t/RL\tHIGHEST\t/TR\t\"C:\\Program Files\\Quorvale\\quorvale-cli.exe\" --sources \"" +
                           copies_ + "sources.txt\" --update --replace-hosts --quiet\n";
  const std::string done = "quorvale-cli: tache planifiee \"Quorvale update\" ";
  std::smatch when;
  EXPECT_EQ(Schedule("daily", 1), 0);
  ASSERT_TRUE(std::regex_match(err_, when, std::regex(done + "creee: chaque jour a (12:[0-5][0-9])\n"))) << err_;
  EXPECT_EQ(calls_, create + "DAILY\t/ST\t" + when[1].str() + task);
  // The task reads the copies (none of a missing own.txt or allow.txt) in the administrators' folder.
  const std::string copied = "https://a.example/h\r\nsources.txt\n";
  EXPECT_EQ(ReadBytes(copies_ + "sources.txt") + ReadBytes(copies_ + "helper-written.txt"), copied);
  EXPECT_EQ(Schedule("weekly", 0), 0);
  ASSERT_TRUE(std::regex_match(err_, when, std::regex(done + "remplacee: chaque ([a-z]+) a (12:[0-5][0-9])\n"))) << err_;
  const std::string day = calls_.substr(calls_.find("/D\t") + 3, 3);
  EXPECT_NE(std::string("lundiMON mardiTUE mercrediWED jeudiTHU vendrediFRI samediSAT dimancheSUN").find(when[1].str() + day),
            std::string::npos);
  EXPECT_EQ(calls_, create + "WEEKLY\t/D\t" + day + "\t/ST\t" + when[2].str() + task);
  EXPECT_EQ(Schedule("off", 0), 0);
  EXPECT_EQ(err_ + calls_, done + "supprimee\n" + query + "/Delete\t/F\t/TN\tQuorvale update\n");
  EXPECT_EQ(Schedule("off", 1), 0);
  EXPECT_EQ(err_ + calls_, "quorvale-cli: aucune tache planifiee \"Quorvale update\": rien a supprimer\n" + query);

  // A failing schtasks.exe leaves the copies as they were; a local source is refused first.
  WriteBytes(sources_, "https://b.example/h\r\n");
  EXPECT_EQ(Schedule("daily", 1, 5), 2);
  EXPECT_EQ(err_, done + "non creee: schtasks.exe a echoue (code de sortie 5)\n");
  EXPECT_EQ(ReadBytes(copies_ + "sources.txt") + ReadBytes(copies_ + "helper-written.txt"), copied);
  WriteBytes(sources_, "C:\\x.txt\r\n");
  EXPECT_EQ(Schedule("daily", 1), 2);
  EXPECT_EQ(err_ + calls_, "quorvale-cli: sources non copiees dans " + copies_ +
                               ": ligne 1: source locale refusee pour la mise a jour du systeme: C:\\x.txt\n");
  // A quorvale-cli.exe that others may change is never run as SYSTEM.
  platform_.changeable_by_others = {platform_.executable_path};
  EXPECT_EQ(Schedule("daily", 1), 2);
  EXPECT_EQ(err_ + calls_, "quorvale-cli: C:\\Program Files\\Quorvale\\quorvale-cli.exe: d'autres utilisateurs que les "
                           "administrateurs peuvent modifier ce programme ou son dossier, et la tache planifiee le "
                           "lancerait en SYSTEM: installez Quorvale avec l'installateur MSI ou dans Program Files\n");
  platform_.elevated = false;
  EXPECT_EQ(Schedule("daily", 1), 2);
  EXPECT_EQ(err_ + calls_, "quorvale-cli: la planification demande une console ouverte en administrateur\n");
}

}  // namespace
}  // namespace quorvale::testing
