// The domain-list commands of the main window: the plain-list load, the domain-only load into
// the sort buffer, "Trier", the export of names and the two saves of the buffer.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QHeaderView>
#include <QPushButton>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "support/list_rows.h"
#include "qt/form1.h"
#include "qt/form3.h"
#include "support/fake_platform.h"
#include "support/scripted_prompts.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::FakePlatform;
using testing::ReadBytes;
using testing::RealFile;
using testing::ScriptedPrompts;
using testing::TempDir;
using testing::WriteBytes;
using Answer = Prompts::Answer;
using Buttons = Prompts::Buttons;
using Icon = Prompts::Icon;

constexpr char kReportHead[] = "Liste des erreurs: \r\n\r\n\r\n";
constexpr char kReportTail[] = "---------------------------------\r\n---------------------------------\r\n\r\n\r\n";
const QString kOverwrite = QStringLiteral("Le fichier existe deja, voulez vous l'ecraser ?");
const QString kComments = QStringLiteral("Voulez vous inclure les commentaire ?");
const QString kSaved = QStringLiteral("Fichier enregistre");
const QString kFailed = QStringLiteral("Echec! le fichier n'a pas pu etre enregistre.");

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

bool ProgressVisible() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (qobject_cast<Form3*>(widget) != nullptr && widget->isVisible()) return true;
  }
  return false;
}

// Records what the screen looked like whenever the commands clear attributes or wait.
class WatchingPlatform : public FakePlatform {
 public:
  struct Moment {
    bool main_visible;
    bool progress_visible;
  };
  Form1* form = nullptr;
  std::vector<Moment> at_attributes;
  std::vector<Moment> at_sleeps;

  Status SetFileAttributes(const std::string& path, int attributes) override {
    at_attributes.push_back(Now());
    return FakePlatform::SetFileAttributes(path, attributes);
  }
  void Sleep(int milliseconds) override {
    at_sleeps.push_back(Now());
    FakePlatform::Sleep(milliseconds);
  }

 private:
  Moment Now() const { return {form != nullptr && form->isVisible(), ProgressVisible()}; }
};

class DomainsTest : public ::testing::Test {
 protected:
  DomainsTest() {
    platform_.executable_path = dir_.File("quorvale");
    platform_.hosts_path = dir_.File("HOSTS");
    form_ = std::make_unique<Form1>(platform_, prompts_);
    platform_.form = form_.get();
    form_->show();
  }

  template <typename T>
  T* Find(const char* name) {
    T* found = form_->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
  }
  QAction* Action(const char* name) { return Find<QAction>(name); }
  QPushButton* Button(const char* name) { return Find<QPushButton>(name); }
  ReportListView* View(const char* name) { return Find<ReportListView>(name); }
  // The rows of a list view, top to bottom, as "name|description|address".
  QStringList Rows(const char* view) {
    QAbstractItemModel* model = View(view)->model();
    QStringList rows;
    for (int row = 0; row < model->rowCount(); ++row) {
      QStringList cells;
      for (int column = 0; column < 3; ++column) cells << model->data(model->index(row, column)).toString();
      rows << cells.join('|');
    }
    return rows;
  }
  std::vector<std::string> Buffer() { return testing::Entries(form_->session().SortArray); }
  std::string Report() { return ReadBytes(dir_.File("Rapport.txt")); }
  std::string Path(const char* name) { return dir_.File(name); }

  void ChooseFile(const std::string& path) { prompts_.files.push_back({QString::fromStdString(path), -1}); }
  void CancelDialog() { prompts_.files.push_back({QString(), -1}); }
  // Loads `content` as a plain list through the menu.
  void LoadPlainList(const char* name, std::string_view content) {
    WriteBytes(Path(name), content);
    ChooseFile(Path(name));
    Action("ChargerDom")->trigger();
  }
  // Loads `content` into the sort buffer through the button.
  void LoadDomainOnly(const char* name, std::string_view content) {
    WriteBytes(Path(name), content);
    ChooseFile(Path(name));
    Button("Command6")->click();
  }
  void LoadAndSort(std::string_view content) {
    LoadDomainOnly("buffer.txt", content);
    form_->Command2_Click();
  }
  void ExpectMessage(size_t index, const QString& text, Buttons buttons, Icon icon,
                     const QString& title = QStringLiteral("Quorvale")) {
    ASSERT_LT(index, prompts_.messages.size()) << text.toStdString();
    const auto& shown = prompts_.messages[index];
    EXPECT_EQ(shown.text, text);
    EXPECT_EQ(shown.buttons, buttons) << text.toStdString();
    EXPECT_EQ(shown.icon, icon) << text.toStdString();
    EXPECT_EQ(shown.title, title) << text.toStdString();
  }
  void ExpectButtons(std::initializer_list<const char*> names, bool enabled) {
    for (const char* name : names) EXPECT_EQ(Button(name)->isEnabled(), enabled) << name;
  }

  TempDir dir_;
  WatchingPlatform platform_;
  ScriptedPrompts prompts_;
  std::unique_ptr<Form1> form_;
};

// --- Loading a plain list (ChargerDom) ---

TEST_F(DomainsTest, PlainListLoadFillsTheBlockedListAndOpensTheReport) {
  LoadPlainList("list.txt",
                "# Liste de test\n"
                "www.ads.example.com #ads\n"
                "http://www.Tracker.example.net\r\n"
                "example.org\t#tab comment\n"
                "bad name.com\n"
                "#commented.example.com\n"
                "[x].example\n"
                "\n"
                "WWW.UPPER.COM\n"
                "ab.c\n"
                "example.com#inline\n"
                "Ads.Example.com\n");

  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  EXPECT_FALSE(prompts_.dialogs[0].save);
  EXPECT_EQ(prompts_.dialogs[0].filters, (QStringList{"Fichiers Texte (.txt) (*.txt)", "Tous les fichiers (*.*) (*)"}));
  EXPECT_EQ(form_->CurrentFile(), Path("list.txt"));
  EXPECT_EQ(Rows("ListView1"), (QStringList{"Tracker.example.net||127.0.0.1", "ab.c||127.0.0.1",
                                            "ads.example.com|#ads|127.0.0.1", "example.com|#inline|127.0.0.1",
                                            "example.org|#tab comment|127.0.0.1"}));
  EXPECT_TRUE(Rows("ListView2").isEmpty());
  // The differently cased repeat adds no row but counts as accepted.
  EXPECT_EQ(form_->session().EntriesLoaded, 6);
  EXPECT_EQ(form_->StatusText(), "5 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 1);
  for (const char* name : {"SaveAs", "ExportDom", "Reset", "ReplaceHosts"}) EXPECT_TRUE(Action(name)->isEnabled()) << name;
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_FALSE(ProgressVisible());

  // The main window hides behind the progress window before the file is touched; the pause
  // of 100 x 10 ms comes after the progress window closed, with the main window still hidden.
  ASSERT_EQ(platform_.attribute_calls.size(), 1u);
  EXPECT_EQ(platform_.attribute_calls[0], std::make_pair(Path("list.txt"), 0));
  ASSERT_EQ(platform_.at_attributes.size(), 1u);
  EXPECT_FALSE(platform_.at_attributes[0].main_visible);
  EXPECT_TRUE(platform_.at_attributes[0].progress_visible);
  EXPECT_EQ(platform_.sleeps, std::vector<int>(100, 10));
  for (const auto& moment : platform_.at_sleeps) {
    EXPECT_FALSE(moment.main_visible);
    EXPECT_FALSE(moment.progress_visible);
  }

  EXPECT_EQ(Report(), std::string(kReportHead) +
                          "# Liste de test\r\nbad name.com\r\n#commented.example.com\r\n[x].example\r\n"
                          "WWW.UPPER.COM\r\n" +
                          kReportTail);
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{Path("Rapport.txt")});
  EXPECT_TRUE(prompts_.messages.empty());

  // A list whose names are all present adds nothing, still counts as a load, and its report
  // holds only its own rejected lines.
  LoadPlainList("again.txt", "ab.c\nEXAMPLE.org\n# second\n");
  EXPECT_EQ(Rows("ListView1").size(), 5);
  EXPECT_EQ(form_->StatusText(), "5 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 2);
  EXPECT_EQ(Report(), std::string(kReportHead) + "# second\r\n" + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
}

TEST_F(DomainsTest, PlainListLoadThatEndsEarlyChangesNothing) {
  // Cancelled dialog: no progress window, no report, nothing counted.
  CancelDialog();
  Action("ChargerDom")->trigger();
  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_TRUE(platform_.attribute_calls.empty());
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());

  // A typed name of a missing file: the attributes cannot be cleared, the load ends quietly.
  ChooseFile(Path("missing.txt"));
  Action("ChargerDom")->trigger();
  EXPECT_EQ(platform_.attribute_calls.size(), 1u);
  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_TRUE(form_->isVisible());
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_FALSE(ProgressVisible());

  EXPECT_TRUE(platform_.sleeps.empty());
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(DomainsTest, PlainListWithoutUsableNamesStillCountsButLeavesTheMenus) {
  LoadPlainList("none.txt", "# only comments\nlocalhost x\n");
  EXPECT_EQ(form_->FilesLoaded(), 1);
  EXPECT_EQ(form_->StatusText(), "0 Adresse(s) chargée(s)");
  EXPECT_FALSE(Action("Reset")->isEnabled());
  EXPECT_FALSE(Action("ReplaceHosts")->isEnabled());
  EXPECT_EQ(Report(), std::string(kReportHead) + "# only comments\r\nlocalhost x\r\n" + kReportTail);

  // An empty file is one empty line: nothing to report, and still a completed load.
  LoadPlainList("empty.txt", "");
  EXPECT_EQ(form_->FilesLoaded(), 2);
  EXPECT_EQ(Report(), std::string(kReportHead) + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
}

TEST_F(DomainsTest, RealPlainListWithInlineCommentsAndCommas) {
  // Counted independently with awk over the items (split at commas before any "#", leading
  // blanks skipped): 245 names accepted, all distinct, and 101 non-empty rejected items.
  WriteBytes(Path("smarttv.txt"), ReadBytes(RealFile("Perflyst__PiHoleBlocklist__SmartTV.txt")));
  ChooseFile(Path("smarttv.txt"));
  Action("ChargerDom")->trigger();

  EXPECT_EQ(form_->StatusText(), "245 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->session().EntriesLoaded, 245);
  std::map<QString, QString> descriptions;
  for (const QString& row : Rows("ListView1")) {
    QStringList cells = row.split('|');
    descriptions[cells[0]] = cells[1];
    EXPECT_EQ(cells[2], "127.0.0.1");
  }
  EXPECT_EQ(descriptions.size(), 245u);
  EXPECT_EQ(descriptions["connecttv.pelmorex.com"], "# weather app tracking");
  EXPECT_EQ(descriptions["api.thetake.com"], "# https://thetake.ai/");
  EXPECT_EQ(descriptions.count("Coordinator-Production-28516768.us-east-1.elb.amazonaws.com"), 1u);
  EXPECT_EQ(descriptions["0077777700140002.myhomescreen.tv"], "");

  std::string report = Report();
  ASSERT_EQ(report.rfind(kReportHead, 0), 0u);
  ASSERT_EQ(report.size() - report.rfind(kReportTail), std::string(kReportTail).size());
  std::string body = report.substr(std::string(kReportHead).size(),
                                   report.size() - std::string(kReportHead).size() - std::string(kReportTail).size());
  size_t lines = 0;
  for (size_t at = body.find("\r\n"); at != std::string::npos; at = body.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 101u);
  EXPECT_NE(body.find("\r\n#apicache.vudu.com # needed for Vudu's app, see issue22\r\n"), std::string::npos);
}

// --- Inputs that the four loads must not read whole ---

// {the command; after a device and a named pipe, the loads counted and the reports opened
// (the plain list reads a refused file as an empty one, the HOSTS load always reports);
// the same after memory then ran out with a row listed}
struct InputCase {
  const char* command;
  int refused_counted;
  size_t refused_reports;
  int counted;
  size_t reports;
};
void PrintTo(const InputCase& c, std::ostream* out) { *out << c.command; }

class LoadInputTest : public DomainsTest, public ::testing::WithParamInterface<InputCase> {
 protected:
  // Runs the command on `path` and returns the path it loads ("OpenHostFile" loads the HOSTS
  // file, made a link to `path`).
  std::string LoadFrom(const std::string& path) {
    const std::string command = GetParam().command;
    if (command == "OpenHostFile") {
      std::filesystem::remove(Path("HOSTS"));
      std::filesystem::create_symlink(path, Path("HOSTS"));
    } else {
      ChooseFile(path);
    }
    command == "Command6" ? Button("Command6")->click() : Action(command.c_str())->trigger();
    return command == "OpenHostFile" ? Path("HOSTS") : path;
  }
};

TEST_P(LoadInputTest, RefusedInputsAndMemoryRunningOutEndTheLoad) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  for (const std::string& path : {std::string("/dev/zero"), Path("pipe")}) LoadFrom(path);
  const InputCase& c = GetParam();
  EXPECT_EQ(form_->FilesLoaded(), c.refused_counted);
  EXPECT_EQ(platform_.shown_files.size(), c.refused_reports);
  EXPECT_EQ(form_->session().RowCount() + Buffer().size(), 0u);
  if (testing::kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";

  // The load runs in a child process with little address space; its exit status has a bit
  // for each thing found wrong.
  const std::string input = Path("endless.txt");
  WriteBytes(input, "0.0.0.0 new.example\nnew.example\n");
  std::filesystem::resize_file(input, size_t{8} << 30);
  ASSERT_TRUE(form_->session().list1.Add("kept.example", "0.0.0.0", ""));
  form_->session().SortArray.Append("kept.example");
  prompts_.answers.push_back(Answer::kOk);
  const pid_t child = fork();
  if (child == 0) {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + (size_t{512} << 20);
    const rlimit limits{limit, limit};
    setrlimit(RLIMIT_AS, &limits);
    const std::string loaded = LoadFrom(input);
    const auto& shown = prompts_.messages;
    const bool told = shown.size() == 1 && shown[0].text == "Memoire insuffisante pour charger ce fichier." &&
                      shown[0].buttons == Buttons::kOk && shown[0].icon == Icon::kCritical &&
                      shown[0].title == "Quorvale" && shown[0].detail == QString::fromStdString(loaded);
    const bool kept = form_->session().RowCount() == 1 && Buffer() == std::vector<std::string>{"kept.example"};
    _exit((told ? 0 : 1) | (kept ? 0 : 2) | (form_->FilesLoaded() == c.counted ? 0 : 4) |
          (platform_.shown_files.size() == c.reports ? 0 : 8) | (form_->isEnabled() ? 0 : 16));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "1 message, 2 lists, 4 count, 8 report, 16 window";
}

INSTANTIATE_TEST_SUITE_P(Loads, LoadInputTest,
                         ::testing::Values(InputCase{"OpenHostFile", 0, 2, 1, 3}, InputCase{"Ouvrir", 0, 0, 0, 0},
                                           InputCase{"ChargerDom", 2, 2, 2, 2}, InputCase{"Command6", 0, 0, 0, 0}));

// --- Loading a domain-only file (Command6) ---

constexpr char kTenEntries[] =
    "127.0.0.1 ads.one.com\n"
    "0.0.0.0\tads.two.com\n"
    "WWW.Three.COM\n"
    "www.www.four.net\n"
    "five.org #[kept comment]\n"
    "six.org # dropped comment\n"
    "# header line\n"
    "localhost\n"
    ".dotted.com\n"
    "abc\n"
    "1234\n"
    "seven.com\r\n"
    "eight.com\n"
    "nine.com\n"
    "  ten.com  \n"
    "ads.one.com\n";

TEST_F(DomainsTest, DomainOnlyLoadsAccumulateInTheSortBuffer) {
  // An empty HOSTS file reads as locked, so the lock probe after each load shows up in the
  // lock button's caption.
  WriteBytes(Path("HOSTS"), "");
  form_->session().RejectedLines = {"", "kept"};
  form_->session().EntriesLoaded = 42;

  LoadDomainOnly("first.txt", kTenEntries);
  EXPECT_EQ(form_->StatusText(), "10 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 1);
  EXPECT_EQ(form_->CurrentFile(), Path("first.txt"));
  EXPECT_TRUE(Button("Command2")->isEnabled());
  ExpectButtons({"Command3", "Command4", "Command7", "Command8"}, false);
  EXPECT_EQ(Button("Command5")->text(), "Deverouiller le fichier hosts");

  Button("Command5")->setText("Verouiller le fichier hosts");
  LoadDomainOnly("second.txt", "alpha.com\nbeta.com\ngamma.com\ndelta.com\nalpha.com");
  EXPECT_EQ(form_->StatusText(), "15 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 2);
  EXPECT_EQ(Button("Command5")->text(), "Deverouiller le fichier hosts");
  EXPECT_EQ(Buffer(), (std::vector<std::string>{"ads.one.com", "ads.two.com", "three.com", "four.net",
                                                "five.org #[kept comment]", "seven.com", "eight.com", "nine.com",
                                                "ten.com", "ads.one.com", "alpha.com", "beta.com", "gamma.com",
                                                "delta.com", "alpha.com"}));

  // No progress window, no pause, no report; the lists and the report's lines are untouched.
  EXPECT_EQ(platform_.attribute_calls,
            (std::vector<std::pair<std::string, int>>{{Path("first.txt"), 0}, {Path("second.txt"), 0}}));
  for (const auto& moment : platform_.at_attributes) {
    EXPECT_TRUE(moment.main_visible);
    EXPECT_FALSE(moment.progress_visible);
  }
  EXPECT_TRUE(platform_.sleeps.empty());
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_EQ(form_->session().RejectedLines, (std::vector<std::string>{"", "kept"}));
  EXPECT_EQ(form_->session().EntriesLoaded, 42);
  EXPECT_TRUE(Rows("ListView1").isEmpty());
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(form_->isEnabled());
  // The menu items that need rows are not touched by this load.
  EXPECT_FALSE(Action("Reset")->isEnabled());
}

TEST_F(DomainsTest, DomainOnlyLoadThatFailsLeavesTheButtonsAndTheCount) {
  WriteBytes(Path("HOSTS"), "");
  CancelDialog();
  Button("Command6")->click();
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  EXPECT_TRUE(platform_.attribute_calls.empty());

  ChooseFile(Path("missing.txt"));
  Button("Command6")->click();
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");

  // An empty file fails its first read after the status text changed.
  LoadDomainOnly("empty.txt", "");
  EXPECT_EQ(form_->StatusText(), "Chargement en cours...");

  EXPECT_EQ(form_->FilesLoaded(), 0);
  EXPECT_FALSE(Button("Command2")->isEnabled());
  EXPECT_EQ(Button("Command5")->text(), "Verouiller le fichier hosts");
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(prompts_.messages.empty());

  // A file from which nothing is taken is still a completed load.
  LoadDomainOnly("nothing.txt", "# comment\nlocalhost\nabc\n");
  EXPECT_EQ(form_->StatusText(), "0 Adresse(s) chargée(s)");
  EXPECT_EQ(form_->FilesLoaded(), 1);
  EXPECT_TRUE(Button("Command2")->isEnabled());
  EXPECT_EQ(Button("Command5")->text(), "Deverouiller le fichier hosts");
}

// --- "Trier" (Command2) ---

TEST_F(DomainsTest, TrierRefusesBeforeAnyLoad) {
  prompts_.answers.push_back(Answer::kOk);
  form_->Command2_Click();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  ExpectMessage(0, "vous devez d'abord charger un ficher d'adresses!", Buttons::kOk, Icon::kNone);
  EXPECT_EQ(form_->StatusText(), "Aucune adresse chargee");
  ExpectButtons({"Command3", "Command4", "Command7", "Command8"}, false);
  EXPECT_TRUE(form_->isEnabled());
}

TEST_F(DomainsTest, TrierSortsDeduplicatesAndEnablesTheSaves) {
  // 57 distinct names in reverse order, and one more entry that repeats a key with a comment.
  std::string content;
  for (int i = 57; i >= 1; --i) content += "name" + std::to_string(100 + i) + ".example\n";
  content += "name110.example #[again]\n";
  LoadDomainOnly("fifty-eight.txt", content);
  ASSERT_EQ(form_->StatusText(), "58 Adresse(s) chargée(s)");

  Button("Command2")->click();
  EXPECT_EQ(form_->StatusText(), "57 Adresses triees");
  std::vector<std::string> buffer = Buffer();
  ASSERT_EQ(buffer.size(), 57u);
  for (int i = 1; i <= 57; ++i) EXPECT_EQ(buffer[i - 1], "name" + std::to_string(100 + i) + ".example");
  ExpectButtons({"Command2", "Command3", "Command4", "Command7", "Command8"}, true);
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(prompts_.messages.empty());

  // Sorting again changes nothing.
  Button("Command2")->click();
  EXPECT_EQ(Buffer(), buffer);
  EXPECT_EQ(form_->StatusText(), "57 Adresses triees");
}

TEST_F(DomainsTest, TrierOnAnEmptyBufferReportsZero) {
  LoadDomainOnly("nothing.txt", "# nothing here\n");
  ASSERT_EQ(form_->FilesLoaded(), 1);
  Button("Command2")->click();
  EXPECT_EQ(form_->StatusText(), "0 Adresses triees");
  EXPECT_TRUE(Buffer().empty());
  ExpectButtons({"Command3", "Command4", "Command7", "Command8"}, true);
  EXPECT_TRUE(form_->isEnabled());
  EXPECT_TRUE(prompts_.messages.empty());
}

struct SortCase {
  const char* name;
  const char* file;
  std::vector<std::string> kept;
};

void PrintTo(const SortCase& c, std::ostream* out) { *out << c.name; }

class TrierCases : public DomainsTest, public ::testing::WithParamInterface<SortCase> {};

TEST_P(TrierCases, KeepsTheFirstEntryOfEachKey) {
  LoadAndSort(GetParam().file);
  EXPECT_EQ(Buffer(), GetParam().kept);
  EXPECT_EQ(form_->StatusText(), QString::number(GetParam().kept.size()) + " Adresses triees");
}

INSTANTIATE_TEST_SUITE_P(
    Buffers, TrierCases,
    ::testing::Values(SortCase{"PlainBeforeComments", "a.com #[y]\na.com\na.com #[x]\n", {"a.com"}},
                      SortCase{"LowestComment", "a.com #[y]\na.com #[x]\n", {"a.com #[x]"}},
                      // The commented entry meets only the tab entry before it, whose key differs.
                      SortCase{"OnlyTheLastKeptCounts",
                               "a.com #[x]\na.com\tz\na.com\n",
                               {"a.com", "a.com\tz", "a.com #[x]"}},
                      SortCase{"OneEntry", "solo.example\n", {"solo.example"}},
                      // Loaded in lower case, so "B.com" and "b.com" are the same name.
                      SortCase{"ByteOrder", "b.com\nB.com\n-a.com\n0a.com\naa.com\n",
                               {"-a.com", "0a.com", "aa.com", "b.com"}}),
    [](const ::testing::TestParamInfo<SortCase>& param) { return std::string(param.param.name); });

TEST_F(DomainsTest, RealListThroughTheSortBuffer) {
  // Counted independently with awk and LC_ALL=C sort -u: 4966 entries (88 of them lose a
  // "www." and 3 are lower-cased), 4891 distinct, 89055 bytes plus one CR per line.
  WriteBytes(Path("threat.txt"), ReadBytes(RealFile("bigdargon__hostsVN__extensions_threat_domain.txt")));
  ChooseFile(Path("threat.txt"));
  Button("Command6")->click();
  EXPECT_EQ(form_->StatusText(), "4966 Adresse(s) chargée(s)");
  Button("Command2")->click();
  EXPECT_EQ(form_->StatusText(), "4891 Adresses triees");

  ChooseFile(Path("sorted.txt"));
  prompts_.answers.push_back(Answer::kOk);
  Button("Command7")->click();
  const std::string written = ReadBytes(Path("sorted.txt"));
  EXPECT_EQ(written.size(), 89055u + 4891u);
  EXPECT_EQ(written.rfind("0088shop.com\r\n009855.com\r\n", 0), 0u);
  EXPECT_NE(written.find("\r\nfree-4paid.com\r\n"), std::string::npos);
  EXPECT_NE(written.find("\r\nmomovui.com\r\nmomov\xc3\xad\xc4\x91i\xe1\xbb\x87nt\xe1\xbb\xad"
                         "s\xe1\xbb\x91"
                         "1.weebly.com\r\n"),
            std::string::npos);
  EXPECT_EQ(written.substr(written.size() - 20), "zywjpypco.7hujk.de\r\n");
  EXPECT_EQ(Buffer()[1999], "myeca.ieasyclick.net");
}

// --- Saving the buffer as names (Command7) ---

TEST_F(DomainsTest, NamesSaveRefusesBeforeAnyLoad) {
  prompts_.answers.push_back(Answer::kOk);
  form_->Command7_Click();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  ExpectMessage(0, "vous devez d'abord charger un ficher d'adresse!", Buttons::kOk, Icon::kNone);
  EXPECT_TRUE(prompts_.dialogs.empty());
}

TEST_F(DomainsTest, NamesSaveWritesEveryEntryWhole) {
  LoadAndSort("b.example\nA.example #[note]\nb.example\n");
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kOk);
  Button("Command7")->click();

  ASSERT_EQ(prompts_.dialogs.size(), 2u);
  EXPECT_TRUE(prompts_.dialogs[1].save);
  EXPECT_EQ(prompts_.dialogs[1].filters, (QStringList{"Fichiers Texte (.txt) (*.txt)", "Tous les fichiers (*.*) (*)"}));
  EXPECT_EQ(ReadBytes(Path("names.txt")), "a.example #[note]\r\nb.example\r\n");
  ASSERT_EQ(prompts_.messages.size(), 1u);
  ExpectMessage(0, kSaved, Buttons::kOk, Icon::kNone);

  // A cancelled dialog does nothing at all.
  CancelDialog();
  Button("Command7")->click();
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(DomainsTest, NamesSaveOverAnExistingFile) {
  LoadAndSort("one.example\n");
  WriteBytes(Path("names.txt"), "old contents\r\n");

  // Cancel keeps the old file.
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kCancel);
  Button("Command7")->click();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "old contents\r\n");
  ASSERT_EQ(prompts_.Texts(), QStringList{kOverwrite});
  ExpectMessage(0, kOverwrite, Buttons::kOkCancel, Icon::kNone, "Confirmation");
  EXPECT_EQ(platform_.attribute_calls.size(), 1u);  // the load's own

  // OK over a read-only file makes it writable and replaces it.
  ASSERT_TRUE(platform_.SetFileAttributes(Path("names.txt"), kAttrReadOnly | kAttrSystem).ok());
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kOk);
  prompts_.answers.push_back(Answer::kOk);
  Button("Command7")->click();
  EXPECT_EQ(platform_.attribute_calls.back(), std::make_pair(Path("names.txt"), 0));
  EXPECT_EQ(platform_.GetFileAttributes(Path("names.txt")), kAttrNormal);
  EXPECT_EQ(ReadBytes(Path("names.txt")), "one.example\r\n");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kOverwrite, kOverwrite, kSaved}));
}

TEST_F(DomainsTest, NamesSaveOfAnEmptyBufferWritesAnEmptyFile) {
  LoadAndSort("# nothing\n");
  WriteBytes(Path("names.txt"), "old\r\n");
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kOk);
  prompts_.answers.push_back(Answer::kOk);
  Button("Command7")->click();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kOverwrite, kSaved}));
}

// --- Saving the buffer as a HOSTS file (Command3) ---

// The header of a HOSTS file of the sort buffer written at the Unix epoch in the C locale.
std::string ArrayHeader(const std::string& count_line) {
  return "#\r\n"
         "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n"
         "127.0.0.1\tlocalhost\r\n"
         "#\r\n"
         "# Plus d'informations sur:\r\n"
         "# https://fr.wikipedia.org/wiki/Hosts et https://man7.org/linux/man-pages/man5/hosts.5.html\r\n"
         "#\r\n"
         "# Genere par: Quorvale @ 01/01/70 00:00:00\r\n"
         "#\r\n"
         "# Entry Count: " +
         count_line +
         "\r\n"
         "#\r\n";
}

void ClickIn(QDialog* dialog, const char* name) {
  auto* button = dialog->findChild<QAbstractButton*>(QString::fromLatin1(name));
  ASSERT_NE(button, nullptr) << name;
  button->click();
}

class HostsSaveTest : public DomainsTest {
 protected:
  ScopedEnv epoch_{"SOURCE_DATE_EPOCH", "0"};
  ScopedEnv locale_{"LC_ALL", "C"};
};

TEST_F(HostsSaveTest, RefusesBeforeAnyLoad) {
  prompts_.answers.push_back(Answer::kOk);
  form_->Command3_Click();
  ASSERT_EQ(prompts_.messages.size(), 1u);
  ExpectMessage(0, "vous devez d'abord charger un ficher d'adresse!", Buttons::kOk, Icon::kNone);
  EXPECT_EQ(prompts_.modal_count, 0);
  EXPECT_TRUE(prompts_.dialogs.empty());
}

TEST_F(HostsSaveTest, OptionsWindowCancelledStopsSilently) {
  LoadAndSort("one.example\n");
  prompts_.modal_actions.push_back([](QDialog* dialog) { ClickIn(dialog, "Command2"); });
  Button("Command3")->click();
  EXPECT_EQ(prompts_.modal_count, 1);
  EXPECT_EQ(prompts_.dialogs.size(), 1u);  // the load's open dialog only
  EXPECT_TRUE(prompts_.messages.empty());
}

TEST_F(HostsSaveTest, DefaultOptionsWriteEveryEntryAndItsWwwTwin) {
  LoadAndSort("b.example\na.example #[why]\nc.example\n");
  prompts_.modal_actions.push_back([](QDialog* dialog) { ClickIn(dialog, "Command1"); });
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kOk);
  Button("Command3")->click();

  EXPECT_EQ(ReadBytes(Path("hosts.txt")), ArrayHeader("3 * 2 with www.") +
                                              "127.0.0.1\ta.example #[why]\r\n"
                                              "127.0.0.1\tb.example\r\n"
                                              "127.0.0.1\tc.example\r\n"
                                              "127.0.0.1\twww.a.example #[why]\r\n"
                                              "127.0.0.1\twww.b.example\r\n"
                                              "127.0.0.1\twww.c.example\r\n");
  ASSERT_EQ(prompts_.messages.size(), 1u);
  ExpectMessage(0, kSaved, Buttons::kOk, Icon::kNone);
  ASSERT_EQ(prompts_.dialogs.size(), 2u);
  EXPECT_TRUE(prompts_.dialogs[1].save);
}

TEST_F(HostsSaveTest, ZeroAddressWithoutWwwOverAnExistingFile) {
  LoadAndSort("b.example\na.example\n");
  WriteBytes(Path("hosts.txt"), "old\r\n");
  prompts_.modal_actions.push_back([](QDialog* dialog) {
    ClickIn(dialog, "Check3");
    ClickIn(dialog, "Check1");
    ClickIn(dialog, "Command1");
  });
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kOk);
  prompts_.answers.push_back(Answer::kOk);
  Button("Command3")->click();

  EXPECT_EQ(ReadBytes(Path("hosts.txt")), ArrayHeader("2") + "0.0.0.0\ta.example\r\n0.0.0.0\tb.example\r\n");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kOverwrite, kSaved}));
  ExpectMessage(0, kOverwrite, Buttons::kOkCancel, Icon::kNone, "Confirmation");
  EXPECT_EQ(platform_.attribute_calls.back(), std::make_pair(Path("hosts.txt"), 0));

  // Refusing the overwrite keeps the file; no further message.
  prompts_.modal_actions.push_back([](QDialog* dialog) { ClickIn(dialog, "Command1"); });
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kCancel);
  Button("Command3")->click();
  EXPECT_EQ(ReadBytes(Path("hosts.txt")), ArrayHeader("2") + "0.0.0.0\ta.example\r\n0.0.0.0\tb.example\r\n");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kOverwrite, kSaved, kOverwrite}));
}

TEST_F(HostsSaveTest, EmptyBufferGivesTheHeaderOnly) {
  LoadAndSort("# nothing\n");
  prompts_.modal_actions.push_back([](QDialog* dialog) {
    ClickIn(dialog, "Check1");
    ClickIn(dialog, "Command1");
  });
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kOk);
  Button("Command3")->click();
  EXPECT_EQ(ReadBytes(Path("hosts.txt")), ArrayHeader("0"));
  EXPECT_EQ(prompts_.Texts(), QStringList{kSaved});
}

// --- Export of the blocked names (ExportDom) ---

TEST_F(DomainsTest, ExportWithAndWithoutComments) {
  LoadPlainList("list.txt", "b.example #second\na.example\nc.example\t#third\n");
  // A redirection never goes into the export.
  WriteBytes(Path("HOSTS"), "10.0.0.1 intranet.example\n");
  Action("OpenHostFile")->trigger();
  ASSERT_EQ(Rows("ListView2").size(), 1);

  ChooseFile(Path("export.txt"));
  prompts_.answers.push_back(Answer::kYes);
  prompts_.answers.push_back(Answer::kOk);
  Action("ExportDom")->trigger();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "a.example\r\nb.example\t#second\r\nc.example\t#third\r\n");
  ASSERT_EQ(prompts_.messages.size(), 2u);
  ExpectMessage(0, kComments, Buttons::kYesNo, Icon::kNone);
  ExpectMessage(1, kSaved, Buttons::kOk, Icon::kNone);
  EXPECT_TRUE(prompts_.dialogs.back().save);

  // Names only, in the list's current order (the name column clicked to descending).
  emit View("ListView1")->header()->sectionClicked(0);
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kNo);
  prompts_.answers.push_back(Answer::kOk);
  Action("ExportDom")->trigger();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "c.example\r\nb.example\r\na.example\r\n");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kComments, kSaved, kComments, kSaved}));
}

TEST_F(DomainsTest, ExportOverAnExistingFileAsksFirst) {
  LoadPlainList("list.txt", "a.example #x\n");
  WriteBytes(Path("export.txt"), "old\r\n");

  ChooseFile(Path("export.txt"));
  prompts_.answers.push_back(Answer::kCancel);
  Action("ExportDom")->trigger();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "old\r\n");
  EXPECT_EQ(prompts_.Texts(), QStringList{kOverwrite});

  ChooseFile(Path("export.txt"));
  prompts_.answers.push_back(Answer::kOk);
  prompts_.answers.push_back(Answer::kYes);
  prompts_.answers.push_back(Answer::kOk);
  Action("ExportDom")->trigger();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "a.example\t#x\r\n");
  EXPECT_EQ(prompts_.Texts(), (QStringList{kOverwrite, kOverwrite, kComments, kSaved}));
  ExpectMessage(1, kOverwrite, Buttons::kOkCancel, Icon::kNone, "Confirmation");

  // A cancelled dialog does nothing.
  CancelDialog();
  Action("ExportDom")->trigger();
  EXPECT_EQ(prompts_.messages.size(), 4u);
}

TEST_F(DomainsTest, ExportOfAnEmptyListWritesAnEmptyFile) {
  ChooseFile(Path("export.txt"));
  prompts_.answers.push_back(Answer::kYes);
  prompts_.answers.push_back(Answer::kOk);
  Action("ExportDom")->trigger();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "");
  EXPECT_TRUE(platform_.PathFileExists(Path("export.txt")));
  EXPECT_EQ(prompts_.Texts(), (QStringList{kComments, kSaved}));
}

// --- Files that cannot be written ---

enum class Saver { kExport, kNames, kHosts };

struct FailureCase {
  const char* name;
  Saver saver;
  bool existing;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class SaveFailureTest : public HostsSaveTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SaveFailureTest, ReportsTheFailureAndKeepsTheOldFile) {
  const FailureCase& c = GetParam();
  LoadPlainList("list.txt", "a.example\n");
  LoadAndSort("a.example\n");
  prompts_.messages.clear();
  if (c.existing) WriteBytes(Path("out.txt"), "old\r\n");
  platform_.failing_writes.push_back(Path("out.txt"));

  ChooseFile(Path("out.txt"));
  QStringList expected;
  if (c.existing) {
    prompts_.answers.push_back(Answer::kOk);
    expected << kOverwrite;
  }
  if (c.saver == Saver::kExport) {
    prompts_.answers.push_back(Answer::kYes);
    expected << kComments;
  }
  prompts_.answers.push_back(Answer::kOk);
  expected << kFailed;
  switch (c.saver) {
    case Saver::kExport:
      Action("ExportDom")->trigger();
      break;
    case Saver::kNames:
      Button("Command7")->click();
      break;
    case Saver::kHosts:
      prompts_.modal_actions.push_back([](QDialog* dialog) { ClickIn(dialog, "Command1"); });
      Button("Command3")->click();
      break;
  }

  EXPECT_EQ(prompts_.Texts(), expected);
  ExpectMessage(static_cast<size_t>(expected.size() - 1), kFailed, Buttons::kOk, Icon::kCritical);
  if (c.existing) {
    EXPECT_EQ(ReadBytes(Path("out.txt")), "old\r\n");
  } else {
    EXPECT_FALSE(platform_.PathFileExists(Path("out.txt")));
  }
  EXPECT_TRUE(form_->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Savers, SaveFailureTest,
                         ::testing::Values(FailureCase{"ExportNew", Saver::kExport, false},
                                           FailureCase{"ExportOver", Saver::kExport, true},
                                           FailureCase{"NamesNew", Saver::kNames, false},
                                           FailureCase{"NamesOver", Saver::kNames, true},
                                           FailureCase{"HostsNew", Saver::kHosts, false},
                                           FailureCase{"HostsOver", Saver::kHosts, true}),
                         [](const ::testing::TestParamInfo<FailureCase>& param) {
                           return std::string(param.param.name);
                         });

// --- Column headers of the redirections list ---

TEST_F(DomainsTest, RedirectionsListOrdersByItsOwnHeader) {
  WriteBytes(Path("HOSTS"), "10.0.0.2 a.example\n10.0.0.1 b.example #z\n192.168.0.1 c.example #a\n");
  Action("OpenHostFile")->trigger();
  auto names = [&] {
    QStringList out;
    for (const QString& row : Rows("ListView2")) out << row.section('|', 0, 0);
    return out.join(' ');
  };
  EXPECT_EQ(names(), "a.example b.example c.example");
  QHeaderView* header = View("ListView2")->header();
  emit header->sectionClicked(2);
  EXPECT_EQ(names(), "b.example a.example c.example");
  emit header->sectionClicked(2);
  EXPECT_EQ(names(), "c.example a.example b.example");
  emit header->sectionClicked(1);  // descending kept: "#z", "#a", then the empty description
  EXPECT_EQ(names(), "b.example c.example a.example");
  EXPECT_EQ(View("ListView1")->header()->sortIndicatorSection(), 0);
  EXPECT_EQ(View("ListView1")->header()->sortIndicatorOrder(), Qt::AscendingOrder);
}

}  // namespace
}  // namespace quorvale
