// Saving the lists as a HOSTS file and replacing the system HOSTS file: the questions and
// messages in their order, the options window, the attributes, the bytes written, the
// backup copy and the failures that must leave the old file as it was.

#include <filesystem>
#include <functional>
#include <ostream>
#include <regex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/helper_outcome.h"
#include "core/hosts_writer.h"
#include "forms/main_form_fixture.h"
#include "forms/privileged_step.h"
#include "support/case_name.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quorvale::testing {
namespace {

// Two blocked names (one with a description), one redirection, one line only a replace keeps.
constexpr char kLoaded[] =
    "0.0.0.0 ads.example.com #Tracker\r\n"
    "127.0.0.1 beta.example\r\n"
    "::1 ip6-localhost\r\n"
    "10.1.2.3 intranet.example # Office\r\n";
constexpr char kOldBytes[] = "old content\r\n";
const std::string kReplaceQuestionLine =
    "Voulez vous vraiment remplacer le ficher hosts ? | OK/Cancel | none | Confirmation";
const std::string kReplacedLine = "Fichier hosts remplace | OK | none | Quorvale";

// What the user does in the options window.
using OptionsScript = void (*)(OptionsForm&, FakeOptionsView&);
void ChooseZerosWithoutWww(OptionsForm& form, FakeOptionsView& view) {
  view.Click(OptionsBox::kZeroAddress);
  view.Click(OptionsBox::kWwwLines);
  form.Accept();
}
void UseCloseBox(OptionsForm&, FakeOptionsView&) {}

// The attributes a file keeps of those asked for: POSIX keeps only whether it may be written.
int Kept(int attributes) {
#ifdef _WIN32
  return attributes;
#else
  return attributes & kAttrReadOnly;
#endif
}

class SaveTest : public MainFormTest {
 protected:
  // Loads kLoaded through "Charger le fichier hosts" and forgets what that load recorded.
  void Load() {
    LoadHosts(kLoaded);
    ASSERT_TRUE(LoadCounted());
    ASSERT_EQ(form_.session().RowCount(), 3u);
    platform_.attribute_calls.clear();
    prompts_.messages.clear();
  }
  // Scripts the options window, the save dialog's choice and the answers, then saves.
  void SaveAs(std::function<void(OptionsForm&, FakeOptionsView&)> options, const std::string& path,
              std::vector<Answer> answers) {
    view_.options_scripts.push_back(options);
    ChooseFile(path);
    prompts_.answers.assign(answers.begin(), answers.end());
    form_.SaveAsHosts();
  }
  void Replace(OptionsScript options, std::vector<Answer> answers) {
    view_.options_scripts.push_back(options);
    prompts_.answers.assign(answers.begin(), answers.end());
    form_.ReplaceHosts();
  }
  // The writer's own output for the loaded lists.
  std::string Expected(bool www, const char* address, bool comments, std::vector<std::string> carried_lines = {}) {
    std::string bytes;
    FormatHostsFile(form_.session(), {address, www, comments, carried_lines}, platform_.LocalDateTimeText(), &bytes);
    return bytes;
  }
  std::vector<std::pair<std::string, int>> Attributes(std::vector<int> values) const {
    std::vector<std::pair<std::string, int>> calls;
    for (int value : values) calls.emplace_back(hosts(), value);
    return calls;
  }
  // Names of the backup copies beside the HOSTS file.
  std::vector<std::string> Backups() {
    std::vector<std::string> names;
    for (const std::string& name : platform_.ListFolder(dir_.path())) {
      if (name.rfind("HOSTS.", 0) == 0) names.push_back(name);
    }
    return names;
  }
  std::string hosts() const { return Path("HOSTS"); }
};

TEST_F(SaveTest, SaveAsToANewFile) {
  Load();
  const std::string path = Path("new.txt");
  view_.options_scripts.push_back(ClickOk);
  ChooseFile(path, 1);
  prompts_.answers = {Answer::kYes, Answer::kOk};
  form_.SaveAsHosts();
  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kSavedLine}));
  EXPECT_TRUE(view_.options_scripts.empty());
  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  const auto& dialog = prompts_.dialogs[0];
  EXPECT_TRUE(dialog.save);
  EXPECT_EQ(dialog.filter_index, 0);

  const std::string written = ReadBytes(path);
  EXPECT_EQ(written, Expected(true, "127.0.0.1", true));
  const std::string tail =
      "# Nombre d'entrees: 3 * 2 avec les lignes 'www.'\r\n#\r\n"
      "10.1.2.3\tintranet.example\t# office\r\n"
      "10.1.2.3\twww.intranet.example\t# office\r\n"
      "127.0.0.1\tads.example.com\t#tracker\r\n"
      "127.0.0.1\tbeta.example\r\n"
      "127.0.0.1\twww.ads.example.com\t#tracker\r\n"
      "127.0.0.1\twww.beta.example\r\n";
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_EQ(form_.session().RowCount(), 3u);

  // The filter picked in this dialog is preselected by the next one, open or save.
  CancelDialog();
  form_.LoadHostsFile();
  ASSERT_EQ(prompts_.dialogs.size(), 2u);
  EXPECT_EQ(prompts_.dialogs[1].filter_index, 1);
}

struct OptionsCase {
  const char* name;
  OptionsScript options;
  Answer comments;
  const char* tail;  // from the count line to the end
};

void PrintTo(const OptionsCase& c, std::ostream* out) { *out << c.name; }

class SaveOptionsTest : public SaveTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(SaveOptionsTest, TheOptionsAndTheCommentsAnswerShapeTheEntries) {
  Load();
  const std::string path = Path("out.txt");
  SaveAs(GetParam().options, path, {GetParam().comments, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kSavedLine}));
  const std::string written = ReadBytes(path);
  const std::string tail = GetParam().tail;
  ASSERT_GE(written.size(), tail.size());
  EXPECT_EQ(written.substr(written.size() - tail.size()), tail);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SaveOptionsTest,
    ::testing::Values(
        OptionsCase{"DefaultsWithoutComments", ClickOk, Answer::kNo,
                    "# Nombre d'entrees: 3 * 2 avec les lignes 'www.'\r\n#\r\n"
                    "10.1.2.3\tintranet.example\r\n10.1.2.3\twww.intranet.example\r\n"
                    "127.0.0.1\tads.example.com\r\n127.0.0.1\tbeta.example\r\n"
                    "127.0.0.1\twww.ads.example.com\r\n127.0.0.1\twww.beta.example\r\n"},
        OptionsCase{"ZerosWithoutWwwWithComments", ChooseZerosWithoutWww, Answer::kYes,
                    "#\r\n# Nombre d'entrees: 3\r\n#\r\n"
                    "10.1.2.3\tintranet.example\t# office\r\n"
                    "0.0.0.0\tads.example.com\t#tracker\r\n0.0.0.0\tbeta.example\r\n"},
        OptionsCase{"ZerosWithoutWwwWithoutComments", ChooseZerosWithoutWww, Answer::kNo,
                    "#\r\n# Nombre d'entrees: 3\r\n#\r\n"
                    "10.1.2.3\tintranet.example\r\n0.0.0.0\tads.example.com\r\n0.0.0.0\tbeta.example\r\n"}),
    CaseName());

TEST_F(SaveTest, SaveAsOverAReadOnlyFileAsksThenMakesItNormal) {
  Load();
  const std::string path = Path("old.txt");
  WriteBytes(path, kOldBytes);
  ASSERT_TRUE(platform_.SetAttributes(path, kAttrReadOnly | kAttrSystem).ok());
  platform_.attribute_calls.clear();

  // Cancel at the question leaves the file as it was.
  SaveAs(ClickOk, path, {Answer::kCancel});
  EXPECT_EQ(Messages(), std::vector<std::string>{kOverwriteLine});
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_EQ(platform_.GetAttributes(path), Kept(kAttrReadOnly | kAttrSystem));

  SaveAs(ClickOk, path, {Answer::kOk, Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kOverwriteLine, kCommentsLine, kSavedLine}));
  EXPECT_EQ(platform_.attribute_calls, (std::vector<std::pair<std::string, int>>{{path, kAttrNormal}}));
  EXPECT_EQ(ReadBytes(path), Expected(true, "127.0.0.1", false));
  EXPECT_EQ(platform_.GetAttributes(path), kAttrNormal);
}

TEST_F(SaveTest, LeavingTheOptionsWithoutOkOrTheDialogWritesNothing) {
  Load();
  for (OptionsScript options : {ClickCancel, UseCloseBox}) {
    for (void (MainForm::*click)() : {&MainForm::SaveAsHosts, &MainForm::ReplaceHosts, &MainForm::SaveSortedAsHosts}) {
      view_.options_scripts.push_back(options);
      (form_.*click)();
    }
  }
  EXPECT_TRUE(view_.options_scripts.empty());
  EXPECT_TRUE(prompts_.dialogs.empty());
  SaveAs(ClickOk, "", {});
  EXPECT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_EQ(ReadBytes(hosts()), kLoaded);
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SaveTest, TheCloseBoxAfterAnEarlierOkKeepsThatChoice) {
  Load();
  SaveAs(ChooseZerosWithoutWww, Path("first.txt"), {Answer::kNo, Answer::kOk});
  ASSERT_EQ(ReadBytes(Path("first.txt")), Expected(false, "0.0.0.0", false));

  // The window opens again in its design state; whatever is ticked, its close box keeps the
  // earlier "OK".
  std::string state;
  SaveAs(
      [&state](OptionsForm&, FakeOptionsView& view) {
        state = view.Checked();
        view.Click(OptionsBox::kLoopbackAddress);
      },
      Path("second.txt"), {Answer::kNo, Answer::kOk});
  EXPECT_EQ(state, "127.0.0.1,www");
  EXPECT_EQ(ReadBytes(Path("second.txt")), Expected(false, "0.0.0.0", false));

  // "Annuler" after that earlier "OK" stops the command again.
  view_.options_scripts.push_back(ClickCancel);
  prompts_.messages.clear();
  form_.SaveAsHosts();
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(prompts_.dialogs.size(), 2u);
}

TEST_F(SaveTest, AFailedSaveSaysWhyAndKeepsTheOldFile) {
  Load();
  const std::string path = Path("old.txt");
  WriteBytes(path, kOldBytes);
  platform_.failing_writes = {path};
  SaveAs(ClickOk, path, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, path + ": refused by the test");
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_TRUE(view_.window_enabled);

  // A folder that does not exist: a real failure of the file system, named in the detail.
  const std::string nowhere = Path("missing/out.txt");
  SaveAs(ClickOk, nowhere, {Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine, kCommentsLine,
                                                  kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail.rfind(nowhere + ": ", 0), 0u) << prompts_.messages.back().detail;
  EXPECT_FALSE(platform_.PathExists(nowhere));
}

#ifndef _WIN32
// Only POSIX folders refuse new files by their permissions.
class ReadOnlyFolderTest : public SaveTest {
 protected:
  void SetUp() override {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    Load();
  }
  void Lock(const std::string& folder) {
    std::filesystem::permissions(folder, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                             std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
  }
};

TEST_F(ReadOnlyFolderTest, SaveAsKeepsTheOldFileAndSaysWhy) {
  const std::string folder = Path("locked");
  std::filesystem::create_directory(folder);
  const std::string path = folder + "/old.txt";
  WriteBytes(path, kOldBytes);
  Lock(folder);
  SaveAs(ClickOk, path, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, path + ": Permission denied");
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(platform_.ListFolder(folder), std::vector<std::string>{"old.txt"});
}

TEST_F(ReadOnlyFolderTest, ReplaceStopsBeforeWriting) {
  WriteBytes(hosts(), kOldBytes);
  Lock(dir_.path());
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  EXPECT_TRUE(Backups().empty());
}
#endif

TEST_F(SaveTest, ReplaceWithoutAHostsFileCreatesItWithoutAsking) {
  Load();
  ASSERT_TRUE(std::filesystem::remove(hosts()));
  Replace(ClickOk, {Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kReplacedLine}));
  EXPECT_EQ(ReadBytes(hosts()), Expected(true, "127.0.0.1", true));
  // Made normal (which fails quietly on a missing file), written, then read-only and system.
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, kAttrReadOnly | kAttrSystem}));
  EXPECT_EQ(platform_.GetAttributes(hosts()), Kept(kAttrReadOnly | kAttrSystem));
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SaveTest, CancelAtTheReplaceQuestionOnlyHidesTheFile) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  Replace(ClickOk, {Answer::kCancel});
  EXPECT_EQ(Messages(), std::vector<std::string>{kReplaceQuestionLine});
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrReadOnly | kAttrHidden | kAttrSystem}));
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  EXPECT_EQ(platform_.GetAttributes(hosts()), Kept(kAttrReadOnly | kAttrHidden | kAttrSystem));
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SaveTest, ReplaceKeepsACopyOfTheOldFile) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  ASSERT_TRUE(platform_.SetAttributes(hosts(), kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  platform_.attribute_calls.clear();

  Replace(ChooseZerosWithoutWww, {Answer::kOk, Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kReplacedLine}));
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, kAttrReadOnly | kAttrSystem}));
  EXPECT_EQ(ReadBytes(hosts()), Expected(false, "0.0.0.0", false, {"old content"}));
  EXPECT_EQ(platform_.GetAttributes(hosts()), Kept(kAttrReadOnly | kAttrSystem));

  const std::vector<std::string> backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(std::regex_match(backups[0], std::regex(R"(HOSTS\.\d{8}-\d{6}\.bak)"))) << backups[0];
  EXPECT_EQ(ReadBytes(Path(backups[0])), kOldBytes);
  EXPECT_EQ(form_.session().RowCount(), 3u);
}

TEST_F(SaveTest, AHostsFileThatCannotBeWrittenStaysAsItWas) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  ASSERT_TRUE(platform_.SetAttributes(hosts(), kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  platform_.attribute_calls.clear();
  platform_.failing_writes = {hosts()};
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, hosts() + ": refused by the test");
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  // It gets back the attributes it had before the command.
  const int before = Kept(kAttrReadOnly | kAttrHidden | kAttrSystem);
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, before}));
  EXPECT_EQ(platform_.GetAttributes(hosts()), before);
  EXPECT_TRUE(view_.window_enabled);

  // Another replace keeps the file for too long: the same failure, with the reason.
  platform_.failing_writes.clear();
  platform_.replace_lock_busy = true;
  prompts_.messages.clear();
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, "un autre remplacement est en cours");
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
}

// A request for rights that the user cancelled, as UAC or pkexec reports it: the failure with
// its detail, and the file untouched, its attributes included.
TEST_F(SaveTest, ACancelledRequestForRightsChangesNothing) {
  Load();
  WriteBytes(hosts(), kOldBytes);
#ifdef _WIN32
  WriteBytes(Path("quorvale-helper.exe"), "");
#else
  WriteBytes(Path("quorvale-helper"), "");
#endif
  platform_.replace_in_place = false;
  platform_.elevated_run = [] { return ElevatedRun{ElevatedRun::Kind::kRefused, -1, "", {}}; };
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, "Authentification refusee ou annulee.");
  EXPECT_EQ(platform_.elevated_runs, std::vector<std::vector<std::string>>{{"replace"}});
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  EXPECT_TRUE(platform_.attribute_calls.empty());
}

// A helper that others than the administrators may change gets no rights: the window says
// how to go on.
TEST_F(SaveTest, AHelperOthersMayChangeGetsNoRights) {
  Load();
  const std::string helper_file = Path(kFileNamesIgnoreCase ? "quorvale-helper.exe" : "quorvale-helper");
  WriteBytes(helper_file, "");
  const std::string helper = platform_.CanonicalPath(helper_file);  // on Windows, with backslashes
  platform_.replace_in_place = false;
  platform_.changeable_by_others = {helper};
  platform_.elevated_run = [] { return ElevatedRun{ElevatedRun::Kind::kEnded, 0, "", {}}; };
  Replace(ClickOk, {Answer::kOk});
  EXPECT_EQ(Messages(), std::vector<std::string>{kFailedLine});
  EXPECT_EQ(prompts_.messages.back().detail,
            kFileNamesIgnoreCase ? "Droits d'administrateur necessaires, et ils ne peuvent pas etre demandes ici: "
                                   "Quorvale ne les demande que pour un quorvale-helper.exe place dans un dossier que "
                                   "seuls les administrateurs peuvent modifier. Installez Quorvale avec l'installateur "
                                   "MSI, ou decompressez-le dans Program Files, ou lancez la meme operation dans une "
                                   "console d'administrateur: quorvale-cli --hosts FICHIER --replace-hosts"
                                 : "Droits d'administrateur necessaires, et ils ne peuvent pas etre demandes ici. Meme "
                                   "operation: sudo quorvale-cli --hosts FICHIER --replace-hosts");
}

// The helper's answer and exit code together: done only when both say so; whatever the
// output holds (blank lines, pkexec's own lines), it is read to its start.
TEST_F(SaveTest, AStepIsDoneOnlyWhenTheHelperSaysSoAndExitsZero) {
  const std::string helper_file = Path(kFileNamesIgnoreCase ? "quorvale-helper.exe" : "quorvale-helper");
  WriteBytes(helper_file, "");
  const std::string helper = platform_.CanonicalPath(helper_file);  // on Windows, with backslashes
  const std::string done = FormatHelperOutcome({});
  HelperOutcome failed;
  failed.exit_code = kHelperExitFailed;
  failed.failure = Status(ErrorCode::kNotSupported, "", "line 3: x");
  const std::string refused = FormatHelperOutcome(failed);
  for (const auto& [output, exit_code, detail] : std::vector<std::tuple<std::string, int, std::string>>{
           {"\n", 0, helper + ": exit code 0"},
           {done, 2, helper + ": exit code 2"},
           {"pkexec: note\n" + refused + "\n", 2, "line 3: x"},
           {"pkexec: note\n\n" + done + "\n", 0, ""}}) {
    platform_.elevated_run = [&] { return ElevatedRun{ElevatedRun::Kind::kEnded, exit_code, output, {}}; };
    const HelperStepResult result = RunStepInHelper(platform_, {"flush-dns"}, nullptr, {});
    EXPECT_EQ(result.kind, detail.empty() ? HelperStepResult::Kind::kDone : HelperStepResult::Kind::kFailed);
    EXPECT_EQ(StepFailureDetail(result), detail);
  }
}

#ifndef _WIN32
// The helper writes another HOSTS file than the window's (one of QUORVALE_SYSTEM_DIR's): no
// step asks for the rights, and each says why.
TEST_F(SaveTest, NoRightsAreAskedForAnotherHostsFile) {
  Load();
  WriteBytes(Path("quorvale-helper"), "");
  WriteBytes(Path("HOSTS.20240101-000000.bak"), "");
  platform_.replace_in_place = false;
  platform_.elevated_run = [] { return ElevatedRun{}; };
  platform_.program_output = "/etc/hosts\n";
  Replace(ClickOk, {Answer::kOk});
  view_.backups_scripts.push_back([&](BackupsForm& form, FakeBackupsView& view) {
    view.selected = 0;
    form.RestoreSelected();
  });
  prompts_.answers = {Answer::kOk, Answer::kOk};
  form_.RestoreBackup();
  form_.ToggleLock();
  const std::string why = "Le fichier hosts affiche n'est pas celui du systeme: les droits d'administrateur ne "
                          "peuvent pas etre demandes pour lui.";
  const std::string lock_line = "Impossible de lancer l'outil subinacl. | OK | critical | Quorvale";
  EXPECT_EQ(Messages(), (std::vector<std::string>{kFailedLine, kFailedLine, lock_line}));
  for (const auto& message : prompts_.messages) EXPECT_EQ(message.detail, why);
  EXPECT_TRUE(platform_.elevated_runs.empty());
  EXPECT_EQ(view_.options_scripts.size(), 1u);
}

// A process that may not write the HOSTS file replaces it through pkexec and the built
// helper; `pkexec` is a script on PATH. The helper's system folder leads to the test's.
class PkexecTest : public SaveTest {
 protected:
  PkexecTest() {
    std::filesystem::create_directories(Path("system/drivers"));
    std::filesystem::create_directory_symlink(dir_.path(), Path("system/drivers/etc"));
    std::filesystem::create_symlink(QUORVALE_BIN_DIR "/quorvale-helper", Path("quorvale-helper"));
    std::filesystem::create_directory(Path("path"));
    platform_.replace_in_place = false;
  }
  void FakePkexec(const std::string& body) {
    WriteBytes(Path("path/pkexec"), "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(Path("path/pkexec"), std::filesystem::perms::owner_all);
  }
  ScopedEnv system_dir_{"QUORVALE_SYSTEM_DIR", Path("system")};
  ScopedEnv path_{"PATH", Path("path")};
};

TEST_F(PkexecTest, AcceptedRefusedAndMissing) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  FakePkexec("exit 126");
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(prompts_.messages.back().detail, "Authentification refusee ou annulee.");
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  // Cancelled at the question: no rights asked for, no attribute touched.
  prompts_.messages.clear();
  Replace(ClickOk, {Answer::kCancel});
  EXPECT_EQ(Messages(), std::vector<std::string>{kReplaceQuestionLine});
  EXPECT_EQ(platform_.elevated_runs, std::vector<std::vector<std::string>>{{"replace"}});

  FakePkexec("exec \"$@\"");
  prompts_.messages.clear();
  Replace(ClickOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kReplacedLine}));
  EXPECT_EQ(ReadBytes(hosts()), Expected(true, "127.0.0.1", true, {"old content"}));
  EXPECT_EQ(Backups().size(), 1u);
  EXPECT_TRUE(platform_.attribute_calls.empty());

  // No pkexec: said at once, before the options window.
  std::filesystem::remove(Path("path/pkexec"));
  prompts_.messages.clear();
  Replace(ClickOk, {Answer::kOk});
  EXPECT_EQ(Messages(), std::vector<std::string>{kFailedLine});
  EXPECT_EQ(prompts_.messages.back().detail,
            "Droits d'administrateur necessaires, et ils ne peuvent pas etre demandes ici. Meme operation: "
            "sudo quorvale-cli --hosts FICHIER --replace-hosts");
  EXPECT_EQ(view_.options_scripts.size(), 1u);
}

TEST_F(PkexecTest, TheRestoreGoesThroughTheHelper) {
  WriteBytes(hosts(), kOldBytes);
  WriteBytes(Path("HOSTS.20240101-000000.bak"), "0.0.0.0 restored.example\r\n");
  FakePkexec("exec \"$@\"");
  view_.backups_scripts.push_back([&](BackupsForm& form, FakeBackupsView& view) {
    view.selected = 0;
    prompts_.answers = {Answer::kYes, Answer::kOk};
    form.RestoreSelected();
  });
  form_.RestoreBackup();
  EXPECT_EQ(ReadBytes(hosts()), "0.0.0.0 restored.example\r\n");
  EXPECT_EQ(platform_.elevated_runs,
            (std::vector<std::vector<std::string>>{{"restore", "HOSTS.20240101-000000.bak"}}));
  EXPECT_EQ(Backups().size(), 2u);
}

TEST_F(PkexecTest, TheLockGoesThroughTheHelper) {
  FakePkexec("echo \"$@\" >>" + Path("asked") + "; exit 126");
  prompts_.answers = {Answer::kOk};
  form_.ToggleLock();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Authentification refusee ou annulee. | OK | critical | Quorvale"});
  EXPECT_EQ(prompts_.messages.back().detail, "");
  // The helper by the name its link leads to, which the system's policy names.
  EXPECT_EQ(ReadBytes(Path("asked")), QUORVALE_BIN_DIR "/quorvale-helper lock\n");
  EXPECT_TRUE(platform_.started.empty());

  // The tool fails in the helper (the file's owner cannot be locked out): said, with why.
  WriteBytes(hosts(), kOldBytes);
  FakePkexec("PKEXEC_UID=" + std::to_string(geteuid()) + " exec \"$@\"");
  prompts_.answers = {Answer::kOk};
  form_.ToggleLock();
  EXPECT_EQ(Messages()[1], "L'outil subinacl a echoue. | OK | critical | Quorvale");
  EXPECT_EQ(prompts_.messages.back().detail, QUORVALE_BIN_DIR "/subinacl: exit code 3");
}
#endif

}  // namespace
}  // namespace quorvale::testing
