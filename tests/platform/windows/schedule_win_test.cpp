// --schedule on Windows, run in-process against a stand-in schtasks.exe in a system folder of
// the test's own: what schtasks.exe receives, once its command line is split as it splits
// it, and what the user is told.

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "core/utf16.h"
#include "support/fake_platform.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

using Calls = std::vector<std::vector<std::string>>;

class ScheduleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    schtasks_ = system_.path() + "\\schtasks.exe";
    ASSERT_TRUE(CopyFileW(WideFromUtf8(TestProgramFolder() + "quorvale_schtasks_probe.exe").c_str(),
                          WideFromUtf8(schtasks_).c_str(), FALSE));
    ASSERT_TRUE(CreateDirectoryW((WideFromUtf8(files_.path()) + L"\\H\u00E9l\u00E8ne avec blancs").c_str(), nullptr));
    sources_ = files_.path() + "\\H\xC3\xA9l\xC3\xA8ne avec blancs\\sources.txt";
    WriteBytes(sources_, "# rien\r\n");
    platform_.system_dir = system_.path();
    platform_.executable_path = "C:\\Program Files\\Quorvale\\quorvale-cli.exe";
    platform_.elevated = true;
    platform_.run_programs = true;
  }

  // quorvale-cli --sources <sources> --schedule <frequency>; its messages go to err_.
  int Schedule(const std::string& frequency) {
    const std::string err_path = files_.path() + "\\err.txt";
    std::FILE* err = _wfopen(WideFromUtf8(err_path).c_str(), L"wb");
    const int status = RunCli({"--sources", sources_, "--schedule", frequency}, platform_, stdout, err);
    std::fclose(err);
    err_ = ReadBytes(err_path);
    return status;
  }
  // The stand-in's calls since the last look, without the program's own path.
  Calls TakeCalls() const {
    const std::string path = system_.path() + "\\calls.txt";
    Calls calls;
    if (GetFileAttributesW(WideFromUtf8(path).c_str()) == INVALID_FILE_ATTRIBUTES) return calls;
    const std::string text = ReadBytes(path);
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
      std::vector<std::string> args = SplitAsWindows(text.substr(start, end - start));
      EXPECT_EQ(args.at(0), schtasks_);
      calls.emplace_back(args.begin() + 1, args.end());
    }
    DeleteFileW(WideFromUtf8(path).c_str());
    return calls;
  }
  void ExitCode(const std::string& verb, int code) const {
    WriteBytes(system_.path() + "\\" + verb + ".exit", std::to_string(code));
  }
  Calls CreateCall(const std::vector<std::string>& when) const {
    std::vector<std::string> args = {"/Create", "/F", "/TN", "Quorvale update", "/SC"};
    args.insert(args.end(), when.begin(), when.end());
    args.insert(args.end(), {"/RU", "SYSTEM", "/RL", "HIGHEST", "/TR",
                             "\"C:\\Program Files\\Quorvale\\quorvale-cli.exe\" --sources \"" + sources_ +
                                 "\" --update --replace-hosts --quiet"});
    return {kQuery, args};
  }

  const std::vector<std::string> kQuery = {"/Query", "/TN", "Quorvale update"};
  TempDir system_;
  TempDir files_;
  std::string schtasks_;
  std::string sources_;
  FakePlatform platform_;
  std::string err_;
};

TEST_F(ScheduleTest, CreatesReplacesAndRemovesTheTask) {
  std::smatch time;
  ExitCode("Query", 1);
  EXPECT_EQ(Schedule("daily"), 0);
  ASSERT_TRUE(std::regex_match(
      err_, time, std::regex("quorvale-cli: tache planifiee \"Quorvale update\" creee: chaque jour a (12:[0-5][0-9])\n")))
      << err_;
  EXPECT_EQ(TakeCalls(), CreateCall({"DAILY", "/ST", time[1].str()}));

  const std::vector<std::string> days = {"lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi", "dimanche"};
  const std::vector<std::string> codes = {"MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN"};
  ExitCode("Query", 0);
  EXPECT_EQ(Schedule("weekly"), 0);
  ASSERT_TRUE(std::regex_match(err_, time, std::regex("quorvale-cli: tache planifiee \"Quorvale update\" remplacee: "
                                                      "chaque ([a-z]+) a (12:[0-5][0-9])\n")))
      << err_;
  const size_t day = std::find(days.begin(), days.end(), time[1].str()) - days.begin();
  ASSERT_LT(day, days.size());
  EXPECT_EQ(TakeCalls(), CreateCall({"WEEKLY", "/D", codes[day], "/ST", time[2].str()}));

  EXPECT_EQ(Schedule("off"), 0);
  EXPECT_EQ(err_, "quorvale-cli: tache planifiee \"Quorvale update\" supprimee\n");
  EXPECT_EQ(TakeCalls(), (Calls{kQuery, {"/Delete", "/F", "/TN", "Quorvale update"}}));
  ExitCode("Query", 1);
  EXPECT_EQ(Schedule("off"), 0);
  EXPECT_EQ(err_, "quorvale-cli: aucune tache planifiee \"Quorvale update\": rien a supprimer\n");
  EXPECT_EQ(TakeCalls(), Calls{kQuery});
}

TEST_F(ScheduleTest, RefusalsAndFailuresExitWithTwo) {
  platform_.elevated = false;
  EXPECT_EQ(Schedule("daily"), 2);
  EXPECT_EQ(err_, "quorvale-cli: la planification demande une console ouverte en administrateur\n");
  EXPECT_TRUE(platform_.started.empty());
  platform_.elevated = true;

  ExitCode("Query", 1);
  ExitCode("Create", 5);
  EXPECT_EQ(Schedule("daily"), 2);
  EXPECT_EQ(err_, "quorvale-cli: tache planifiee \"Quorvale update\" non creee: schtasks.exe a echoue (code de sortie 5)\n");
  ExitCode("Query", 0);
  ExitCode("Delete", 1);
  EXPECT_EQ(Schedule("off"), 2);
  EXPECT_EQ(err_, "quorvale-cli: tache planifiee \"Quorvale update\" non supprimee: schtasks.exe a echoue (code de sortie 1)\n");
  EXPECT_EQ(TakeCalls().size(), 4u);

  DeleteFileW(WideFromUtf8(sources_).c_str());
  EXPECT_EQ(Schedule("weekly"), 2);
  EXPECT_EQ(err_.rfind("quorvale-cli: fichier de sources illisible: " + sources_ + ": ", 0), 0u) << err_;
  DeleteFileW(WideFromUtf8(schtasks_).c_str());
  EXPECT_EQ(Schedule("off"), 2);
  EXPECT_EQ(err_.rfind("quorvale-cli: " + schtasks_ + " n'a pas pu etre lance: ", 0), 0u) << err_;
  EXPECT_EQ(platform_.started.size(), 5u);
}

}  // namespace
}  // namespace quorvale::testing
