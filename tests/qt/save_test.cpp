// Saving the lists as a HOSTS file and replacing the system HOSTS file: the questions and
// messages in their order, the options window, the attributes, the bytes written, the
// backup copy and the failures that must leave the old file as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QRegularExpression>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/hosts_writer.h"
#include "qt/form1.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale::testing {
namespace {

using Answer = Prompts::Answer;
using Buttons = Prompts::Buttons;
using Icon = Prompts::Icon;

const QString kNothingLoaded = QStringLiteral("vous devez d'abord charger un ficher d'adresse!");
const QString kOverwrite = QStringLiteral("Le fichier existe deja, voulez vous l'ecraser ?");
const QString kComments = QStringLiteral("Voulez vous inclure les commentaire ?");
const QString kSaved = QStringLiteral("Fichier enregistre");
const QString kReplaceQuestion = QStringLiteral("Voulez vous vraiment remplacer le ficher hosts ?");
const QString kReplaced = QStringLiteral("Fichier hosts remplace");
const QString kFailed = QStringLiteral("Echec! le fichier n'a pas pu etre enregistre.");

// Two blocked names (one with a description), one redirection, one line only a replace keeps.
constexpr char kLoaded[] =
    "0.0.0.0 ads.example.com #Tracker\r\n"
    "127.0.0.1 beta.example\r\n"
    "::1 ip6-localhost\r\n"
    "10.1.2.3 intranet.example # Office\r\n";
constexpr char kOldBytes[] = "old content\r\n";

// Every message with its buttons, icon and title, as one readable line.
std::string Describe(const ScriptedPrompts::Shown& shown) {
  const char* buttons = shown.buttons == Buttons::kOk         ? "OK"
                        : shown.buttons == Buttons::kOkCancel ? "OK/Cancel"
                                                              : "Yes/No";
  const char* icon = shown.icon == Icon::kNone ? "none" : shown.icon == Icon::kCritical ? "critical" : "information";
  return shown.text.toStdString() + " | " + buttons + " | " + icon + " | " + shown.title.toStdString();
}

std::string Line(const QString& text, const char* buttons, const char* icon, const char* title) {
  return text.toStdString() + " | " + buttons + " | " + icon + " | " + title;
}

const std::string kNothingLoadedLine = Line(kNothingLoaded, "OK", "none", "Quorvale");
const std::string kOverwriteLine = Line(kOverwrite, "OK/Cancel", "none", "Confirmation");
const std::string kCommentsLine = Line(kComments, "Yes/No", "none", "Quorvale");
const std::string kSavedLine = Line(kSaved, "OK", "none", "Quorvale");
const std::string kReplaceQuestionLine = Line(kReplaceQuestion, "OK/Cancel", "none", "Confirmation");
const std::string kReplacedLine = Line(kReplaced, "OK", "none", "Quorvale");
const std::string kFailedLine = Line(kFailed, "OK", "critical", "Quorvale");

void Click(QDialog* dialog, const char* name) {
  QAbstractButton* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
  ASSERT_NE(button, nullptr) << name;
  button->click();
}

// What the user does in the options window.
void PressOk(QDialog* dialog) { Click(dialog, "Command1"); }
void ChooseZerosWithoutWww(QDialog* dialog) {
  Click(dialog, "Check3");
  Click(dialog, "Check1");
  Click(dialog, "Command1");
}
void PressAnnuler(QDialog* dialog) { Click(dialog, "Command2"); }
void UseCloseBox(QDialog*) {}

// Lets a test look at the window while a file is being written.
class WatchedPlatform : public FakePlatform {
 public:
  std::function<void()> on_write;

  Status WriteFileAtomic(const std::string& path, std::string_view bytes) override {
    if (on_write) on_write();
    return FakePlatform::WriteFileAtomic(path, bytes);
  }
};

class SaveTest : public ::testing::Test {
 protected:
  SaveTest() {
    // The header's date must be the same for the command and for the expected bytes.
    if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH")) saved_epoch_ = epoch, had_epoch_ = true;
    setenv("SOURCE_DATE_EPOCH", "1700000000", 1);
    platform_.executable_path = dir_.File("quorvale");
    platform_.hosts_path = dir_.File("HOSTS");
    platform_.user_data_folder = dir_.File("userdata/");
    form_ = std::make_unique<Form1>(platform_, prompts_);
    form_->show();
  }
  ~SaveTest() override {
    form_.reset();
    if (had_epoch_) {
      setenv("SOURCE_DATE_EPOCH", saved_epoch_.c_str(), 1);
    } else {
      unsetenv("SOURCE_DATE_EPOCH");
    }
  }

  // Loads kLoaded through "Charger le fichier hosts" and forgets what that load recorded.
  void Load() {
    WriteBytes(hosts(), kLoaded);
    Trigger("OpenHostFile");
    ASSERT_EQ(form_->FilesLoaded(), 1);
    ASSERT_EQ(form_->session().RowCount(), 3u);
    platform_.attribute_calls.clear();
    prompts_.messages.clear();
  }

  void Trigger(const char* name) {
    QAction* action = form_->findChild<QAction*>(QString::fromLatin1(name));
    ASSERT_NE(action, nullptr) << name;
    action->trigger();
  }

  // Scripts the options window, the save dialog's choice and the answers, then saves.
  void SaveAs(std::function<void(QDialog*)> options, const std::string& path, std::vector<Answer> answers) {
    prompts_.modal_actions.push_back(std::move(options));
    prompts_.files.push_back({QString::fromStdString(path), -1});
    prompts_.answers.assign(answers.begin(), answers.end());
    Trigger("SaveAs");
  }
  void Replace(std::function<void(QDialog*)> options, std::vector<Answer> answers) {
    prompts_.modal_actions.push_back(std::move(options));
    prompts_.answers.assign(answers.begin(), answers.end());
    Trigger("ReplaceHosts");
  }

  std::vector<std::string> Messages() const {
    std::vector<std::string> lines;
    for (const auto& shown : prompts_.messages) lines.push_back(Describe(shown));
    return lines;
  }

  // The writer's own output for the loaded lists.
  std::string Expected(bool www, const char* address, bool comments, std::vector<std::string> carried_lines = {}) {
    std::string bytes;
    FormatHostsFile(form_->session(), {address, www, comments, carried_lines}, CurrentDateTimeText(), &bytes);
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

  std::string hosts() const { return dir_.File("HOSTS"); }

  // Records whether the window took input during each write.
  void WatchWrites() {
    platform_.on_write = [this] { enabled_while_writing_.push_back(form_->isEnabled()); };
  }

  TempDir dir_;
  WatchedPlatform platform_;
  ScriptedPrompts prompts_;
  std::unique_ptr<Form1> form_;
  std::vector<bool> enabled_while_writing_;
  std::string saved_epoch_;
  bool had_epoch_ = false;
};

TEST_F(SaveTest, SaveAsBeforeAnyLoadOnlySaysSo) {
  prompts_.answers = {Answer::kOk};
  Trigger("SaveAs");
  EXPECT_EQ(Messages(), std::vector<std::string>{kNothingLoadedLine});
  EXPECT_EQ(prompts_.modal_count, 0);
  EXPECT_TRUE(prompts_.dialogs.empty());
}

TEST_F(SaveTest, SaveAsToANewFile) {
  Load();
  WatchWrites();
  const std::string path = dir_.File("new.txt");
  prompts_.modal_actions.push_back(PressOk);
  prompts_.files.push_back({QString::fromStdString(path), 1});
  prompts_.answers = {Answer::kYes, Answer::kOk};
  Trigger("SaveAs");

  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kSavedLine}));
  EXPECT_EQ(prompts_.modal_count, 1);
  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_TRUE(prompts_.dialogs[0].save);
  EXPECT_EQ(prompts_.dialogs[0].title, "quorvale");
  EXPECT_EQ(prompts_.dialogs[0].folder, QString::fromStdString(dir_.path() + "/"));
  EXPECT_EQ(prompts_.dialogs[0].filters, (QStringList{"Fichiers Texte (.txt) (*.txt)", "Tous les fichiers (*.*) (*)"}));
  EXPECT_EQ(prompts_.dialogs[0].filter_index, 0);

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
  // No other command can change the lists while they are written.
  EXPECT_EQ(enabled_while_writing_, std::vector<bool>{false});
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_EQ(form_->session().RowCount(), 3u);

  // The filter picked in this dialog is preselected by the next one, open or save.
  prompts_.files.push_back({QString(), -1});
  Trigger("Ouvrir");
  ASSERT_EQ(prompts_.dialogs.size(), 2u);
  EXPECT_EQ(prompts_.dialogs[1].filter_index, 1);
}

struct OptionsCase {
  const char* name;
  void (*options)(QDialog*);
  Answer comments;
  const char* tail;  // from the count line to the end
};

void PrintTo(const OptionsCase& c, std::ostream* out) { *out << c.name; }

class SaveOptionsTest : public SaveTest, public ::testing::WithParamInterface<OptionsCase> {};

TEST_P(SaveOptionsTest, TheOptionsAndTheCommentsAnswerShapeTheEntries) {
  Load();
  const std::string path = dir_.File("out.txt");
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
        OptionsCase{"DefaultsWithoutComments", PressOk, Answer::kNo,
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
    [](const ::testing::TestParamInfo<OptionsCase>& param_info) { return std::string(param_info.param.name); });

TEST_F(SaveTest, SaveAsOverAReadOnlyFileMakesItNormal) {
  Load();
  const std::string path = dir_.File("old.txt");
  WriteBytes(path, kOldBytes);
  ASSERT_TRUE(platform_.SetFileAttributes(path, kAttrReadOnly | kAttrSystem).ok());
  platform_.attribute_calls.clear();

  SaveAs(PressOk, path, {Answer::kOk, Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kSavedLine}));
  EXPECT_EQ(platform_.attribute_calls, (std::vector<std::pair<std::string, int>>{{path, kAttrNormal}}));
  EXPECT_EQ(ReadBytes(path), Expected(true, "127.0.0.1", false));
  EXPECT_EQ(platform_.GetFileAttributes(path), kAttrNormal);
}

TEST_F(SaveTest, CancelAtTheOverwriteQuestionLeavesTheFile) {
  Load();
  const std::string path = dir_.File("old.txt");
  WriteBytes(path, kOldBytes);
  ASSERT_TRUE(platform_.SetFileAttributes(path, kAttrReadOnly | kAttrSystem).ok());
  platform_.attribute_calls.clear();

  SaveAs(PressOk, path, {Answer::kCancel});
  EXPECT_EQ(Messages(), std::vector<std::string>{kOverwriteLine});
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_EQ(platform_.GetFileAttributes(path), kAttrReadOnly);
}

TEST_F(SaveTest, LeavingTheOptionsWithoutOkBeforeAnyOkWritesNothing) {
  Load();
  for (void (*options)(QDialog*) : {PressAnnuler, UseCloseBox}) {
    prompts_.modal_actions.push_back(options);
    Trigger("SaveAs");
    prompts_.modal_actions.push_back(options);
    Trigger("ReplaceHosts");
  }
  EXPECT_EQ(prompts_.modal_count, 4);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(prompts_.dialogs.empty());
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_EQ(ReadBytes(hosts()), kLoaded);
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SaveTest, TheCloseBoxAfterAnEarlierOkKeepsThatChoice) {
  Load();
  SaveAs(ChooseZerosWithoutWww, dir_.File("first.txt"), {Answer::kNo, Answer::kOk});
  ASSERT_EQ(ReadBytes(dir_.File("first.txt")), Expected(false, "0.0.0.0", false));

  // The window opens again in its design state; closing it keeps the earlier "OK".
  bool design_state = false;
  SaveAs(
      [&design_state](QDialog* dialog) {
        design_state = dialog->findChild<QCheckBox*>("Check1")->isChecked() &&
                       dialog->findChild<QCheckBox*>("Check2")->isChecked() &&
                       !dialog->findChild<QCheckBox*>("Check3")->isChecked();
      },
      dir_.File("second.txt"), {Answer::kNo, Answer::kOk});
  EXPECT_TRUE(design_state);
  EXPECT_EQ(ReadBytes(dir_.File("second.txt")), Expected(false, "0.0.0.0", false));

  // "Annuler" after that earlier "OK" stops the command again.
  prompts_.modal_actions.push_back(PressAnnuler);
  prompts_.messages.clear();
  Trigger("SaveAs");
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(prompts_.dialogs.size(), 2u);
}

TEST_F(SaveTest, CancelledSaveDialogWritesNothing) {
  Load();
  SaveAs(PressOk, "", {});
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_TRUE(platform_.attribute_calls.empty());
}

TEST_F(SaveTest, ANameWithoutExtensionIsWrittenAsTyped) {
  Load();
  SaveAs(PressOk, dir_.File("liste"), {Answer::kYes, Answer::kOk});
  EXPECT_EQ(ReadBytes(dir_.File("liste")), Expected(true, "127.0.0.1", true));
  EXPECT_FALSE(platform_.PathFileExists(dir_.File("liste.txt")));
}

TEST_F(SaveTest, AFailedSaveSaysSoAndKeepsTheOldFile) {
  Load();
  const std::string path = dir_.File("old.txt");
  WriteBytes(path, kOldBytes);
  platform_.failing_writes = {path};
  SaveAs(PressOk, path, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_TRUE(form_->isEnabled());

  // A folder that does not exist: a real failure of the file system.
  const std::string nowhere = dir_.File("missing/out.txt");
  SaveAs(PressOk, nowhere, {Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine, kCommentsLine,
                                                  kFailedLine}));
  EXPECT_FALSE(platform_.PathFileExists(nowhere));
}

TEST_F(SaveTest, SaveAsIntoAReadOnlyFolderKeepsTheOldFile) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Load();
  const std::string folder = dir_.File("locked");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  const std::string path = folder + "/old.txt";
  WriteBytes(path, kOldBytes);
  ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
  SaveAs(PressOk, path, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(ReadBytes(path), kOldBytes);
  EXPECT_EQ(platform_.ListFolder(folder), std::vector<std::string>{"old.txt"});
}

TEST_F(SaveTest, ReplaceWithoutAHostsFileCreatesItWithoutAsking) {
  Load();
  ASSERT_EQ(std::remove(hosts().c_str()), 0);
  Replace(PressOk, {Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kReplacedLine}));
  EXPECT_EQ(ReadBytes(hosts()), Expected(true, "127.0.0.1", true));
  // Made normal (which fails quietly on a missing file), written, then read-only and system.
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, kAttrReadOnly | kAttrSystem}));
  EXPECT_EQ(platform_.GetFileAttributes(hosts()), kAttrReadOnly);
  EXPECT_TRUE(Backups().empty());
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(SaveTest, CancelAtTheReplaceQuestionOnlyHidesTheFile) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  Replace(PressOk, {Answer::kCancel});
  EXPECT_EQ(Messages(), std::vector<std::string>{kReplaceQuestionLine});
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrReadOnly | kAttrHidden | kAttrSystem}));
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  EXPECT_EQ(platform_.GetFileAttributes(hosts()), kAttrReadOnly);
  EXPECT_TRUE(Backups().empty());
}

TEST_F(SaveTest, ReplaceKeepsACopyOfTheOldFile) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  ASSERT_TRUE(platform_.SetFileAttributes(hosts(), kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  platform_.attribute_calls.clear();
  WatchWrites();

  Replace(ChooseZerosWithoutWww, {Answer::kOk, Answer::kNo, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kReplacedLine}));
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, kAttrReadOnly | kAttrSystem}));
  EXPECT_EQ(ReadBytes(hosts()), Expected(false, "0.0.0.0", false, {"old content"}));
  EXPECT_EQ(platform_.GetFileAttributes(hosts()), kAttrReadOnly);

  const std::vector<std::string> backups = Backups();
  ASSERT_EQ(backups.size(), 1u);
  EXPECT_TRUE(QRegularExpression("^HOSTS\\.\\d{8}-\\d{6}\\.bak$").match(QString::fromStdString(backups[0])).hasMatch())
      << backups[0];
  EXPECT_EQ(ReadBytes(dir_.File(backups[0])), kOldBytes);
  EXPECT_EQ(enabled_while_writing_, std::vector<bool>{false});
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_EQ(form_->session().RowCount(), 3u);
}

TEST_F(SaveTest, AHostsFileThatCannotBeWrittenStaysAsItWas) {
  Load();
  WriteBytes(hosts(), kOldBytes);
  ASSERT_TRUE(platform_.SetFileAttributes(hosts(), kAttrReadOnly | kAttrHidden | kAttrSystem).ok());
  platform_.attribute_calls.clear();
  platform_.failing_writes = {hosts()};
  Replace(PressOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  // It gets back the attributes it had before the command (read-only is what POSIX keeps).
  EXPECT_EQ(platform_.attribute_calls, Attributes({kAttrNormal, kAttrNormal, kAttrReadOnly}));
  EXPECT_EQ(platform_.GetFileAttributes(hosts()), kAttrReadOnly);
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(SaveTest, ReplaceInAReadOnlyFolderStopsBeforeWriting) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Load();
  WriteBytes(hosts(), kOldBytes);
  ASSERT_EQ(chmod(dir_.path().c_str(), 0555), 0);
  Replace(PressOk, {Answer::kOk, Answer::kYes, Answer::kOk});
  chmod(dir_.path().c_str(), 0755);
  EXPECT_EQ(Messages(), (std::vector<std::string>{kReplaceQuestionLine, kCommentsLine, kFailedLine}));
  EXPECT_EQ(ReadBytes(hosts()), kOldBytes);
  EXPECT_TRUE(Backups().empty());
}

}  // namespace
}  // namespace quorvale::testing
