// The lock button: the tool's argument vectors, the wait, the probe of the HOSTS file and
// the caption it leaves.

#include <gtest/gtest.h>

#include <QPushButton>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "qt/form1.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale::testing {
namespace {

const QString kLock = QStringLiteral("Verouiller le fichier hosts");
const QString kUnlock = QStringLiteral("Deverouiller le fichier hosts");

// Records the order of the calls the lock command makes.
class LoggingPlatform : public FakePlatform {
 public:
  std::vector<std::string> log;

  bool PathFileExists(const std::string& path) override {
    log.push_back("exists " + path);
    return FakePlatform::PathFileExists(path);
  }
  void Sleep(int milliseconds) override {
    log.push_back("sleep " + std::to_string(milliseconds));
    FakePlatform::Sleep(milliseconds);
  }
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override {
    log.push_back("start " + (argv.empty() ? std::string() : argv[0]));
    return FakePlatform::StartProgram(argv, hidden);
  }
};

class LockTest : public ::testing::Test {
 protected:
  LockTest() { platform_.hosts_path = dir_.File("hosts"); }

  Form1& Form() {
    if (!form_) form_ = std::make_unique<Form1>(platform_, prompts_);
    return *form_;
  }
  QString Caption() { return Form().findChild<QPushButton*>(QStringLiteral("Command5"))->text(); }
  void Click() { Form().findChild<QPushButton*>(QStringLiteral("Command5"))->click(); }
  std::vector<std::string> Argv(const std::string& switch_word) {
    return {"subinacl", "/file", platform_.hosts_path, switch_word};
  }

  TempDir dir_;
  LoggingPlatform platform_;
  ScriptedPrompts prompts_;
  std::unique_ptr<Form1> form_;
};

struct ProbeCase {
  const char* name;
  // The HOSTS file as the probe finds it; nullptr: no file; "<dir>": a folder stands there.
  const char* content;
  size_t size;
  bool locked;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class LockProbeTest : public LockTest, public ::testing::WithParamInterface<ProbeCase> {
 protected:
  void Prepare() {
    const ProbeCase& c = GetParam();
    if (c.content == nullptr) return;
    if (std::string(c.content) == "<dir>") {
      std::filesystem::create_directory(platform_.hosts_path);
    } else {
      WriteBytes(platform_.hosts_path, std::string(c.content, c.size));
    }
  }
};

TEST_P(LockProbeTest, ClickRunsTheCaptionsActionAndTheProbeSetsTheNextOne) {
  Prepare();
  EXPECT_EQ(Caption(), kLock);

  Click();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], Argv("/Deny=alice=F"));
  EXPECT_EQ(platform_.started_hidden[0], true);
  EXPECT_EQ(platform_.sleeps, std::vector<int>{400});
  EXPECT_EQ(Caption(), GetParam().locked ? kUnlock : kLock);

  // The caption left by the probe decides the next click.
  Click();
  ASSERT_EQ(platform_.started.size(), 2u);
  EXPECT_EQ(platform_.started[1], Argv(GetParam().locked ? "/Grant=alice=F" : "/Deny=alice=F"));
  EXPECT_EQ(platform_.started_hidden[1], true);
  EXPECT_EQ(Caption(), GetParam().locked ? kUnlock : kLock);
  EXPECT_TRUE(prompts_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LockProbeTest,
    ::testing::Values(ProbeCase{"Missing", nullptr, 0, false},
                      ProbeCase{"ZeroLength", "", 0, true},
                      ProbeCase{"OnlyByteOrderMark", "\xEF\xBB\xBF", 3, true},
                      ProbeCase{"OneEntry", "127.0.0.1 localhost\r\n", 21, false},
                      ProbeCase{"OnlyALineBreak", "\n", 1, false},
                      ProbeCase{"BomAndComma", "\xEF\xBB\xBF,", 4, false},
                      ProbeCase{"Unreadable", "<dir>", 0, true}),
    [](const ::testing::TestParamInfo<ProbeCase>& param_info) { return std::string(param_info.param.name); });

TEST_F(LockTest, StartsTheToolThenWaitsThenProbes) {
  WriteBytes(platform_.hosts_path, "");
  Form();
  platform_.log.clear();
  const std::vector<std::string> log = {"exists /opt/quorvale/subinacl",
                                        "exists /opt/quorvale/../libexec/quorvale/subinacl", "start subinacl",
                                        "sleep 400", "exists " + platform_.hosts_path};

  Click();
  EXPECT_EQ(platform_.log, log);
  EXPECT_EQ(Caption(), kUnlock);

  platform_.log.clear();
  Click();
  EXPECT_EQ(platform_.log, log);
  EXPECT_EQ(platform_.started.back(), Argv("/Grant=alice=F"));
}

TEST_F(LockTest, TheToolBesideTheProgramComesFirst) {
  platform_.executable_path = dir_.File("quorvale");
  WriteBytes(dir_.File("subinacl"), "");
  Click();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0],
            (std::vector<std::string>{dir_.File("subinacl"), "/file", platform_.hosts_path, "/Deny=alice=F"}));
}

// Without one there, the installed program's libexec/quorvale/ one.
TEST_F(LockTest, TheInstalledToolComesNext) {
  platform_.executable_path = dir_.File("bin/quorvale");
  std::filesystem::create_directories(dir_.File("bin"));
  std::filesystem::create_directories(dir_.File("libexec/quorvale"));
  WriteBytes(dir_.File("libexec/quorvale/subinacl"), "");
  Click();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0][0], dir_.File("bin/../libexec/quorvale/subinacl"));
}

TEST_F(LockTest, AToolThatCannotStartIsReportedAndNothingChanges) {
  WriteBytes(platform_.hosts_path, "");  // a probe would turn the caption to "Deverouiller"
  platform_.start_program_fails = true;
  prompts_.answers.push_back(Prompts::Answer::kOk);

  Click();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, QStringLiteral("Impossible de lancer l'outil subinacl.\nsubinacl"));
  EXPECT_EQ(prompts_.messages[0].buttons, Prompts::Buttons::kOk);
  EXPECT_EQ(prompts_.messages[0].icon, Prompts::Icon::kCritical);
  EXPECT_EQ(prompts_.messages[0].title, QStringLiteral("Quorvale"));
  EXPECT_EQ(Caption(), kLock);
  EXPECT_TRUE(platform_.sleeps.empty());

  // Also from the unlocked state.
  Form().CheckHostsLock(platform_.hosts_path);
  ASSERT_EQ(Caption(), kUnlock);
  WriteBytes(platform_.hosts_path, "x\r\n");
  prompts_.answers.push_back(Prompts::Answer::kOk);
  Click();
  EXPECT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(Caption(), kUnlock);
}

TEST_F(LockTest, ACaptionSetByAnotherProbeDecidesTheNextClick) {
  WriteBytes(platform_.hosts_path, "");
  Form().CheckHostsLock(platform_.hosts_path);
  EXPECT_EQ(Caption(), kUnlock);
  EXPECT_TRUE(platform_.started.empty());

  // Meanwhile the file became readable: the grant runs, the probe sees it unlocked.
  WriteBytes(platform_.hosts_path, "127.0.0.1 localhost\r\n");
  Click();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], Argv("/Grant=alice=F"));
  EXPECT_EQ(Caption(), kLock);
}

struct NameCase {
  const char* name;
  std::string user;
  std::string path_name;  // file name of the HOSTS file in the test folder
  std::string expected_switch;
};

void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

class LockNameTest : public LockTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(LockNameTest, PathAndUserAreSingleArguments) {
  const NameCase& c = GetParam();
  platform_.user_name = c.user;
  platform_.hosts_path = dir_.File(c.path_name);
  Click();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], Argv(c.expected_switch));
  EXPECT_EQ(platform_.started[0].size(), 4u);
}

INSTANTIATE_TEST_SUITE_P(
    Names, LockNameTest,
    ::testing::Values(NameCase{"Plain", "alice", "hosts", "/Deny=alice=F"},
                      NameCase{"EmptyUser", "", "hosts", "/Deny==F"},
                      NameCase{"Blanks", "Jean Dupont", "etc hosts", "/Deny=Jean Dupont=F"},
                      NameCase{"ShellCharacters", "x$(id)`id`;rm -rf /", "h $(touch pwned); \"q\" 'r' | s",
                               "/Deny=x$(id)`id`;rm -rf /=F"},
                      NameCase{"NulInName", std::string("bob\0evil", 8), "hosts", "/Deny=bob=F"},
                      NameCase{"Accents", "Élodie", "hôtes", "/Deny=Élodie=F"}),
    [](const ::testing::TestParamInfo<NameCase>& param_info) { return std::string(param_info.param.name); });

#ifndef _WIN32
// The real program start: a stand-in tool beside the program writes down the arguments it
// got, one a line, so that nothing but separate arguments can reach it and no shell runs.
class RealStartPlatform : public FakePlatform {
 public:
  Status StartProgram(const std::vector<std::string>& argv, bool hidden) override {
    (void)FakePlatform::StartProgram(argv, hidden);  // records the call; the real start answers
    return real_->StartProgram(argv, hidden);
  }

 private:
  std::unique_ptr<Platform> real_ = CreateSystemPlatform();
};

TEST(LockRealStartTest, ShellCharactersReachTheToolUntouched) {
  TempDir dir;
  RealStartPlatform platform;
  platform.executable_path = dir.File("quorvale");
  platform.hosts_path = dir.File("h $(touch pwned); `touch pwned2` \"q\" *");
  platform.user_name = "Jean $(touch pwned3)";
  WriteBytes(platform.hosts_path, "127.0.0.1 localhost\r\n");
  const std::string tool = dir.File("subinacl");
  WriteBytes(tool, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\nmv \"$0.tmp\" \"$0.args\"\n");
  std::filesystem::permissions(tool, std::filesystem::perms::owner_all);
  ScriptedPrompts prompts;
  Form1 form(platform, prompts);

  form.findChild<QPushButton*>(QStringLiteral("Command5"))->click();
  EXPECT_TRUE(prompts.messages.empty());

  // The tool is not awaited by the program; the test waits for it.
  const std::string args_file = tool + ".args";
  for (int i = 0; i < 1000 && !std::filesystem::exists(args_file); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(ReadBytes(args_file), "/file\n" + platform.hosts_path + "\n/Deny=Jean $(touch pwned3)=F\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("pwned")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("pwned2")));
  EXPECT_FALSE(std::filesystem::exists("pwned3"));
}
#endif

}  // namespace
}  // namespace quorvale::testing
