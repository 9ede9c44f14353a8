// The lock button: the tool's argument vectors, the wait, the probe of the HOSTS file and
// the caption it leaves.

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "forms/main_form_fixture.h"
#include "support/case_name.h"

namespace quorvale::testing {
namespace {

const std::string kLock = "Verouiller le fichier hosts";
const std::string kUnlock = "Deverouiller le fichier hosts";
#ifdef _WIN32
constexpr char kToolFile[] = "subinacl.exe";
#else
constexpr char kToolFile[] = "subinacl";
#endif

class LockTest : public MainFormTest {
 protected:
  LockTest() { std::filesystem::remove(Path(kToolFile)); }
  std::string Caption() const { return view_.Caption(MainControl::kLockButton); }
  // The tool found by its bare name, with the HOSTS file and the given switch.
  std::vector<std::string> Argv(const std::string& switch_word) const {
    return {"subinacl", "/file", platform_.hosts_path, switch_word};
  }
  // Makes the probe find the file locked or not: on Windows by what reading it gives, on
  // POSIX by what its access list says.
  void SetLocked(bool locked) {
    WriteBytes(platform_.hosts_path, locked ? "" : "127.0.0.1 localhost\r\n");
    platform_.locked_files.assign(locked ? 1 : 0, platform_.hosts_path);
  }
};

#ifdef _WIN32
const char* const kProbeCall[] = {"exists ", ""};
#else
const char* const kProbeCall[] = {"acl ", " alice"};
#endif

#ifdef _WIN32
struct ProbeCase {
  const char* name;
  // The HOSTS file as the probe finds it; nullptr: no file; "<dir>": a folder stands there.
  const char* content;
  size_t size;
  bool locked;
};

void PrintTo(const ProbeCase& c, std::ostream* out) { *out << c.name; }

class LockProbeTest : public LockTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(LockProbeTest, ClickRunsTheCaptionsActionAndTheProbeSetsTheNextOne) {
  const ProbeCase& c = GetParam();
  if (c.content != nullptr && std::string(c.content) == "<dir>") {
    std::filesystem::create_directory(platform_.hosts_path);
  } else if (c.content != nullptr) {
    WriteBytes(platform_.hosts_path, std::string(c.content, c.size));
  }
  EXPECT_EQ(Caption(), kLock);

  form_.ToggleLock();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], Argv("/Deny=alice=F"));
  EXPECT_EQ(platform_.sleeps, std::vector<int>{400});
  EXPECT_EQ(Caption(), c.locked ? kUnlock : kLock);

  // The caption left by the probe decides the next click.
  form_.ToggleLock();
  ASSERT_EQ(platform_.started.size(), 2u);
  EXPECT_EQ(platform_.started[1], Argv(c.locked ? "/Grant=alice=F" : "/Deny=alice=F"));
  EXPECT_EQ(platform_.started_hidden, (std::vector<bool>{true, true}));
  EXPECT_EQ(Caption(), c.locked ? kUnlock : kLock);
  EXPECT_TRUE(prompts_.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Files, LockProbeTest,
    ::testing::Values(ProbeCase{"Missing", nullptr, 0, false}, ProbeCase{"ZeroLength", "", 0, true},
                      ProbeCase{"OnlyByteOrderMark", "\xEF\xBB\xBF", 3, true},
                      ProbeCase{"OneEntry", "127.0.0.1 localhost\r\n", 21, false},
                      ProbeCase{"OnlyALineBreak", "\n", 1, false}, ProbeCase{"BomAndComma", "\xEF\xBB\xBF,", 4, false},
                      ProbeCase{"Unreadable", "<dir>", 0, true}),
    CaseName());
#endif

TEST_F(LockTest, StartsTheToolThenWaitsThenProbes) {
  SetLocked(true);
  std::vector<std::string> calls;
  platform_.watch = [&](const std::string& call) { calls.push_back(call); };
  const std::vector<std::string> expected = {"exists " + Path(kToolFile),
                                             "exists " + Path("../libexec/quorvale/") + kToolFile, "start subinacl",
                                             "sleep 400", kProbeCall[0] + platform_.hosts_path + kProbeCall[1]};
  form_.ToggleLock();
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(Caption(), kUnlock);

  calls.clear();
  form_.ToggleLock();
  EXPECT_EQ(calls, expected);
  EXPECT_EQ(platform_.started.back(), Argv("/Grant=alice=F"));
}

TEST_F(LockTest, TheToolBesideTheProgramComesFirstThenTheInstalledOne) {
  WriteBytes(Path(kToolFile), "");
  form_.ToggleLock();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], (std::vector<std::string>{platform_.CanonicalPath(Path(kToolFile)), "/file",
                                                            platform_.hosts_path, "/Deny=alice=F"}));

  // Without one there, the installed program's libexec/quorvale/ one, by its canonical name.
  platform_.executable_path = Path("bin/quorvale");
  std::filesystem::create_directories(Path("bin"));
  std::filesystem::create_directories(Path("libexec/quorvale"));
  WriteBytes(Path("libexec/quorvale/") + kToolFile, "");
  form_.ToggleLock();
  ASSERT_EQ(platform_.started.size(), 2u);
  EXPECT_EQ(platform_.started[1][0], platform_.CanonicalPath(Path("libexec/quorvale/") + kToolFile));
}

TEST_F(LockTest, AToolThatCannotStartIsReportedAndNothingChanges) {
  SetLocked(true);  // a probe would turn the caption to "Deverouiller"
  platform_.start_program_fails = true;
  prompts_.answers.push_back(Answer::kOk);

  form_.ToggleLock();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Impossible de lancer l'outil subinacl. | OK | critical | Quorvale"});
  // The reason goes in the detail text: here the program that could not be found.
  EXPECT_EQ(prompts_.messages[0].detail, "subinacl");
  EXPECT_EQ(Caption(), kLock);
  EXPECT_TRUE(platform_.sleeps.empty());

  // Also from the unlocked state.
  form_.CheckHostsLock(platform_.hosts_path);
  ASSERT_EQ(Caption(), kUnlock);
  SetLocked(false);
  prompts_.answers.push_back(Answer::kOk);
  form_.ToggleLock();
  EXPECT_EQ(prompts_.messages.size(), 2u);
  EXPECT_EQ(Caption(), kUnlock);
}

TEST_F(LockTest, ACaptionSetByAnotherProbeDecidesTheNextClick) {
  SetLocked(true);
  form_.CheckHostsLock(platform_.hosts_path);
  EXPECT_EQ(Caption(), kUnlock);
  EXPECT_TRUE(platform_.started.empty());

  // Meanwhile the file was unlocked: the grant runs, the probe sees it unlocked.
  SetLocked(false);
  form_.ToggleLock();
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

// Every word is an argument of its own: nothing in the path or the name can split the
// command or run anything (the platform's tests prove that the arguments arrive untouched).
TEST_P(LockNameTest, PathAndUserAreSingleArguments) {
  const NameCase& c = GetParam();
  platform_.user_name = c.user;
  platform_.hosts_path = Path(c.path_name);
  // The HOSTS path is read when the window loads.
  MainForm form(platform_, prompts_);
  FakeMainView view;
  form.Start(&view);
  form.ToggleLock();
  ASSERT_EQ(platform_.started.size(), 1u);
  EXPECT_EQ(platform_.started[0], Argv(c.expected_switch));
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
    CaseName());

}  // namespace
}  // namespace quorvale::testing
