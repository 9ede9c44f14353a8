// Starting programs: the command line as the started program sees it, and no waiting.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/win_command_line.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class StartProgramTest : public ::testing::Test {
 protected:
  // The argument probe copied into a folder whose name has blanks, under the name of the
  // access-control tool.
  std::string InstallProbe() {
    const std::string folder = dir_.path() + "\\Program Files (x86)\\Quorvale";
    CreateDirectoryA((dir_.path() + "\\Program Files (x86)").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    const std::string tool = folder + "\\subinacl.exe";
    const std::string probe = TestProgramFolder() + "quorvale_argv_probe.exe";
    EXPECT_TRUE(CopyFileA(probe.c_str(), tool.c_str(), FALSE)) << probe;
    output_ = folder + "\\argv.txt";
    return tool;
  }

  // Before the folder goes: a program still running from it would keep it.
  void TearDown() override {
    SetEnvironmentVariableA("QUORVALE_PROBE_GATE", nullptr);
    EXPECT_TRUE(EndChildren()) << "a started program was still running";
  }

  std::unique_ptr<Platform> platform_ = CreateSystemPlatform();
  TempDir dir_;
  std::string output_;
};

TEST_F(StartProgramTest, CommandInterpreterCreatesAFile) {
  const std::string made = dir_.path() + "\\made.txt";
  Status status = platform_->StartProgram({"cmd.exe", "/c", "echo", "started>" + made}, true);
  ASSERT_TRUE(status.ok()) << status.ToString();
  ASSERT_TRUE(WaitForFile(made, 30000));
  // cmd may still be writing: wait for the line to be complete.
  for (int i = 0; i < 100 && ReadBytes(made) != "started\r\n"; ++i) Sleep(50);
  EXPECT_EQ(ReadBytes(made), "started\r\n");
}

// The probe waits for a file that the test makes only after StartProgram has returned: a
// platform that waited for the program would let the probe's wait run out.
TEST_F(StartProgramTest, DoesNotWaitForTheProgram) {
  const std::string tool = InstallProbe();
  const std::string gate = dir_.path() + "\\gate";
  SetEnvironmentVariableA("QUORVALE_PROBE_GATE", gate.c_str());
  Status status = platform_->StartProgram({tool, "one"}, true);
  ASSERT_TRUE(status.ok()) << status.ToString();
  WriteBytes(gate, "");
  ASSERT_TRUE(WaitForFile(output_, 30000));
  EXPECT_EQ(Lines(ReadBytes(output_)), (std::vector<std::string>{"gate open", "one"}));
}

// The access-control tool's words, as the lock command passes them: a HOSTS path and a
// user name with blanks each arrive whole, quotes and backslashes as they were.
TEST_F(StartProgramTest, LockToolReceivesEachWordWhole) {
  const std::string tool = InstallProbe();
  const std::vector<std::string> argv = {tool, "/file", "C:\\Program Files\\etc dir\\HOSTS", "/Deny=Jean Dupont=F"};
  ASSERT_TRUE(platform_->StartProgram(argv, true).ok());
  ASSERT_TRUE(WaitForFile(output_, 30000));
  EXPECT_EQ(Lines(ReadBytes(output_)), (std::vector<std::string>(argv.begin() + 1, argv.end())));
}

TEST_F(StartProgramTest, AwkwardArgumentsArriveUnchanged) {
  const std::string tool = InstallProbe();
  const std::vector<std::string> argv = {tool,          "",
                                         "C:\\dir with blanks\\",
                                         "say \"hi\"",  "a\\\\\"b",
                                         "tab\there",   "trailing\\\\",
                                         "&|<>^%PATH%", "/Grant=H\xC3\xA9l\xC3\xA8ne=F"};
  // Hidden: a console window of its own, which Wine makes slowly under load, proves nothing
  // about the arguments.
  const Status status = platform_->StartProgram(argv, true);
  ASSERT_TRUE(status.ok()) << status.ToString();
  ASSERT_TRUE(WaitForFile(output_, 30000));
  EXPECT_EQ(Lines(ReadBytes(output_)), (std::vector<std::string>(argv.begin() + 1, argv.end())));
}

// A bare name without ".exe" is found in the starting program's own folder first, as the
// lock command relies on when the tool is installed beside the program.
TEST_F(StartProgramTest, BareNameIsFoundBesideTheProgram) {
  const std::string folder = TestProgramFolder();
  const std::string copy = folder + "quorvale_bare_probe.exe";
  output_ = folder + "argv.txt";
  DeleteFileA(output_.c_str());
  ASSERT_TRUE(CopyFileA((folder + "quorvale_argv_probe.exe").c_str(), copy.c_str(), FALSE));
  Status status = platform_->StartProgram({"quorvale_bare_probe", "/file", "a b"}, true);
  const bool written = status.ok() && WaitForFile(output_, 30000);
  const std::string lines = written ? ReadBytes(output_) : std::string();
  DeleteFileA(output_.c_str());
  // The probe may still be closing: its file is removed once it has gone.
  for (int i = 0; i < 100 && !DeleteFileA(copy.c_str()); ++i) Sleep(50);
  ASSERT_TRUE(status.ok()) << status.ToString();
  ASSERT_TRUE(written);
  EXPECT_EQ(Lines(lines), (std::vector<std::string>{"/file", "a b"}));
}

// A program still running when RunProgram's wait ends goes on alone (exit codes: cli_win_test).
TEST_F(StartProgramTest, RunProgramWaitsAtMostTheTimeGiven) {
  const std::string tool = InstallProbe();
  SetEnvironmentVariableA("QUORVALE_PROBE_GATE", (dir_.path() + "\\gate").c_str());
  int exit_code = -1;
  EXPECT_EQ(platform_->RunProgram({tool, "late"}, 100, &exit_code).code(), ErrorCode::kBusy);
  WriteBytes(dir_.path() + "\\gate", "");
  ASSERT_TRUE(WaitForFile(output_, 30000));
  EXPECT_EQ(Lines(ReadBytes(output_)), (std::vector<std::string>{"gate open", "late"}));
}

TEST_F(StartProgramTest, MissingProgramIsReported) {
  EXPECT_EQ(platform_->StartProgram({dir_.path() + "\\absent.exe"}, true).code(), ErrorCode::kNotFound);
  EXPECT_EQ(platform_->StartProgram({}, true).code(), ErrorCode::kNotFound);
  EXPECT_EQ(platform_->StartProgram({""}, true).code(), ErrorCode::kNotFound);
}

// The built line split by the system's own parser gives back every argument.
class CommandLineSplitTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(CommandLineSplitTest, SystemSplitsItBack) {
  std::vector<std::string> argv = {"C:\\Program Files\\Quorvale\\subinacl.exe"};
  argv.insert(argv.end(), GetParam().begin(), GetParam().end());
  EXPECT_EQ(SplitAsWindows(BuildWindowsCommandLine(argv)), argv);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CommandLineSplitTest,
    ::testing::Values(std::vector<std::string>{"/file", "C:\\WINDOWS\\system32\\drivers\\etc\\HOSTS", "/Deny=bob=F"},
                      std::vector<std::string>{"/file", "C:\\Mes Documents\\etc\\HOSTS", "/Grant=Jean Dupont=F"},
                      std::vector<std::string>{"", "\"", "\\", "\\\"", "a b\\", "a\\\\b c", "\"quoted\" word"},
                      std::vector<std::string>{"new\nline", "v\vtab", "   ", "x\"\"y", "end\\\\"}));

}  // namespace
}  // namespace quorvale::testing
