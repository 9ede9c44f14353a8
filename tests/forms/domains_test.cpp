// The domain-list commands of the main window: the plain-list load, the domain-only load into
// the sort buffer, "Trier", the export of names and the two saves of the buffer.

#include <filesystem>
#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "forms/main_form_fixture.h"
#include "support/case_name.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#endif

namespace quorvale::testing {
namespace {

// "1" or "0" per control, in order.
std::string States(const FakeMainView& view, std::initializer_list<MainControl> controls) {
  std::string states;
  for (MainControl control : controls) states += view.IsEnabled(control) ? '1' : '0';
  return states;
}
// The buttons that "Trier" enables: the two saves of the buffer, the replace button and the
// report.
std::string SortSaveStates(const FakeMainView& view) {
  return States(view, {MainControl::kSaveSortedAsHostsButton, MainControl::kReplaceHostsButton,
                       MainControl::kSaveSortedNamesButton, MainControl::kReportButton});
}

class DomainsTest : public MainFormTest {
 protected:
  void LoadPlainList(const char* name, std::string_view content) {
    LoadThrough(&MainForm::LoadDomainList, name, content);
  }
  void LoadDomainOnly(const char* name, std::string_view content) {
    LoadThrough(&MainForm::LoadSortBuffer, name, content);
  }
  void LoadAndSort(std::string_view content) {
    LoadDomainOnly("buffer.txt", content);
    form_.SortBuffer();
  }
  // The windows on screen at each attribute change and each wait, as "attri main".
  void WatchScreens() {
    platform_.watch = [this](const std::string& call) {
      if (call.rfind("attri", 0) == 0 || call.rfind("sleep", 0) == 0) {
        screens_.push_back(call.substr(0, 5) + " " + Screen(view_));
      }
    };
  }
  std::vector<std::string> screens_;
};

// --- Loading a plain list (ChargerDom) ---

TEST_F(DomainsTest, PlainListLoadFillsTheBlockedListAndOpensTheReport) {
  WatchScreens();
  LoadPlainList("list.txt",
                "# Liste de test\nwww.ads.example.com #ads\nhttp://www.Tracker.example.net\r\n"
                "example.org\t#tab comment\nbad name.com\n#commented.example.com\n[x].example\n\n"
                "WWW.UPPER.COM\nab.c\nexample.com#inline\nAds.Example.com\n");

  EXPECT_EQ(Rows(1), (std::vector<std::string>{"Tracker.example.net||127.0.0.1", "ab.c||127.0.0.1",
                                               "ads.example.com|#ads|127.0.0.1", "example.com|#inline|127.0.0.1",
                                               "example.org|#tab comment|127.0.0.1"}));
  EXPECT_TRUE(Rows(2).empty());
  // The differently cased repeat adds no row but counts as accepted.
  EXPECT_EQ(form_.session().EntriesLoaded, 6);
  EXPECT_EQ(view_.status, "5 Adresse(s) chargée(s)");
  EXPECT_TRUE(LoadCounted());
  EXPECT_EQ(States(view_, {MainControl::kSaveAsHostsItem, MainControl::kExportDomainsItem, MainControl::kResetItem,
                           MainControl::kReplaceHostsItem}),
            "1111");
  EXPECT_EQ(Screen(view_), "main");
  EXPECT_TRUE(view_.window_enabled);

  // The main window hides behind the progress window before the file is touched; the pause
  // of 100 x 10 ms comes after the progress window closed, with the main window still hidden.
  EXPECT_EQ(platform_.attribute_calls, (std::vector<std::pair<std::string, int>>{{Path("list.txt"), kAttrNormal}}));
  std::vector<std::string> expected = {"attri progress"};
  expected.insert(expected.end(), 100, "sleep ");
  EXPECT_EQ(screens_, expected);
  EXPECT_EQ(platform_.sleeps, std::vector<int>(100, 10));

  EXPECT_EQ(Report(), std::string(kReportHead) +
                          "# Liste de test\r\nbad name.com\r\n#commented.example.com\r\n[x].example\r\n"
                          "WWW.UPPER.COM\r\n" +
                          kReportTail);
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{Path("Rapport.txt")});
  EXPECT_TRUE(prompts_.messages.empty());

  // A list whose names are all present adds nothing, and its report holds only its own
  // rejected lines.
  LoadPlainList("again.txt", "ab.c\nEXAMPLE.org\n# second\n");
  EXPECT_EQ(Rows(1).size(), 5u);
  EXPECT_EQ(view_.status, "5 Adresse(s) chargée(s)");
  EXPECT_EQ(Report(), std::string(kReportHead) + "# second\r\n" + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
}

TEST_F(DomainsTest, PlainListLoadsThatEndEarlyOrTakeNothing) {
  // Cancelled dialog, then a typed name of a missing file (its attributes cannot be cleared):
  // no report, nothing counted, the window back as it was.
  CancelDialog();
  form_.LoadDomainList();
  EXPECT_TRUE(platform_.attribute_calls.empty());
  ChooseFile(Path("missing.txt"));
  form_.LoadDomainList();
  EXPECT_EQ(platform_.attribute_calls.size(), 1u);
  EXPECT_FALSE(LoadCounted());
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_EQ(Screen(view_), "main");
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_TRUE(platform_.sleeps.empty());
  EXPECT_TRUE(platform_.shown_files.empty());

  // No usable name: a completed load, with the menus that need rows left disabled.
  LoadPlainList("none.txt", "# only comments\nlocalhost x\n");
  EXPECT_TRUE(LoadCounted());
  EXPECT_EQ(view_.status, "0 Adresse(s) chargée(s)");
  EXPECT_EQ(States(view_, {MainControl::kResetItem, MainControl::kReplaceHostsItem}), "00");
  EXPECT_EQ(Report(), std::string(kReportHead) + "# only comments\r\nlocalhost x\r\n" + kReportTail);

  // An empty file is one empty line: nothing to report.
  LoadPlainList("empty.txt", "");
  EXPECT_EQ(Report(), std::string(kReportHead) + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
  EXPECT_TRUE(prompts_.messages.empty());
}

#ifndef _WIN32
// --- Inputs that the four loads must not read whole (devices, named pipes, huge files) ---

// {the command; after a device, a named pipe and a file the system refuses to read, whether a
// load was counted and the reports opened (the plain list reads a refused file as an empty
// one, the HOSTS load always reports); the same after memory then ran out with a row listed}
struct InputCase {
  const char* name;
  void (MainForm::*click)();
  bool refused_counted;
  size_t refused_reports;
  bool counted;
  size_t reports;
};
void PrintTo(const InputCase& c, std::ostream* out) { *out << c.name; }

class LoadInputTest : public DomainsTest, public ::testing::WithParamInterface<InputCase> {
 protected:
  // Runs the command on `path` and returns the path it loads (the HOSTS load reads the HOSTS
  // file, made a link to `path`).
  std::string LoadFrom(const std::string& path) {
    const bool hosts = GetParam().click == &MainForm::LoadSystemHosts;
    if (hosts) {
      std::filesystem::remove(Path("HOSTS"));
      std::filesystem::create_symlink(path, Path("HOSTS"));
    } else {
      ChooseFile(path);
    }
    (form_.*GetParam().click)();
    return hosts ? Path("HOSTS") : path;
  }
};

TEST_P(LoadInputTest, RefusedInputsAndMemoryRunningOutEndTheLoad) {
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  for (const std::string& path : {std::string("/dev/zero"), Path("pipe")}) LoadFrom(path);
  WriteBytes(Path("refused.txt"), "0.0.0.0 new.example\nnew.example\n");
  platform_.failing_reads = {Path("refused.txt"), Path("HOSTS")};
  LoadFrom(Path("refused.txt"));
  platform_.failing_reads.clear();
  const InputCase& c = GetParam();
  EXPECT_EQ(LoadCounted(), c.refused_counted);
  EXPECT_EQ(platform_.shown_files.size(), c.refused_reports);
  EXPECT_EQ(form_.session().RowCount() + Buffer().size(), 0u);
  if (kSanitized) GTEST_SKIP() << "the sanitizers need more address space than the limit";

  // The load runs in a child process with little address space; its exit status has a bit
  // for each thing found wrong.
  const std::string input = Path("endless.txt");
  WriteBytes(input, "0.0.0.0 new.example\nnew.example\n");
  std::filesystem::resize_file(input, size_t{8} << 30);
  ASSERT_TRUE(form_.session().blocked.Add("kept.example", "0.0.0.0", ""));
  form_.session().SortArray.Append("kept.example");
  prompts_.answers.push_back(Answer::kOk);
  const pid_t child = fork();
  if (child == 0) {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t limit = pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) + (size_t{512} << 20);
    const rlimit limits{limit, limit};
    setrlimit(RLIMIT_AS, &limits);
    const std::string loaded = LoadFrom(input);
    const bool told = Messages() == std::vector<std::string>{"Memoire insuffisante pour charger ce fichier. | OK | "
                                                             "critical | Quorvale"} &&
                      prompts_.messages[0].detail == loaded;
    const bool kept = form_.session().RowCount() == 1 && Buffer() == std::vector<std::string>{"kept.example"};
    _exit((told ? 0 : 1) | (kept ? 0 : 2) | (LoadCounted() == c.counted ? 0 : 4) |
          (platform_.shown_files.size() == c.reports ? 0 : 8) | (view_.window_enabled ? 0 : 16));
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0) << "1 message, 2 lists, 4 count, 8 report, 16 window";
}

INSTANTIATE_TEST_SUITE_P(Loads, LoadInputTest,
                         ::testing::Values(InputCase{"OpenHostFile", &MainForm::LoadSystemHosts, false, 3, true, 4},
                                           InputCase{"Ouvrir", &MainForm::LoadHostsFile, false, 0, false, 0},
                                           InputCase{"ChargerDom", &MainForm::LoadDomainList, true, 3, true, 3},
                                           InputCase{"Command6", &MainForm::LoadSortBuffer, false, 0, false, 0}),
                         CaseName());
#endif

// --- Loading a domain-only file (LoadSortBuffer) ---

TEST_F(DomainsTest, DomainOnlyLoadsAccumulateInTheSortBuffer) {
  // The HOSTS file reads as locked (empty, where the probe reads it), so the lock probe after
  // each load shows up in the lock button's caption.
  WriteBytes(Path("HOSTS"), "");
  platform_.locked_files = {Path("HOSTS")};
  form_.session().RejectedLines = {"", "kept"};
  form_.session().EntriesLoaded = 42;
  WatchScreens();

  LoadDomainOnly("first.txt",
                 "127.0.0.1 ads.one.com\n0.0.0.0\tads.two.com\nWWW.Three.COM\nwww.www.four.net\n"
                 "five.org #[kept comment]\nsix.org # dropped comment\n# header line\nlocalhost\n.dotted.com\n"
                 "abc\n1234\nseven.com\r\neight.com\nnine.com\n  ten.com  \nads.one.com\n");
  EXPECT_EQ(view_.status, "10 Adresse(s) chargée(s)");
  EXPECT_TRUE(LoadCounted());
  EXPECT_TRUE(view_.IsEnabled(MainControl::kSortBufferButton));
  EXPECT_EQ(SortSaveStates(view_), "0000");
  EXPECT_EQ(view_.Caption(MainControl::kLockButton), "Deverouiller le fichier hosts");

  // A readable file's probe turns the caption back; the next load probes the HOSTS file again.
  form_.CheckHostsLock(Path("first.txt"));
  ASSERT_EQ(view_.Caption(MainControl::kLockButton), "Verouiller le fichier hosts");
  LoadDomainOnly("second.txt", "alpha.com\nbeta.com\ngamma.com\ndelta.com\nalpha.com");
  EXPECT_EQ(view_.status, "15 Adresse(s) chargée(s)");
  EXPECT_EQ(view_.Caption(MainControl::kLockButton), "Deverouiller le fichier hosts");
  EXPECT_EQ(Buffer(), (std::vector<std::string>{"ads.one.com", "ads.two.com", "three.com", "four.net",
                                                "five.org #[kept comment]", "seven.com", "eight.com", "nine.com",
                                                "ten.com", "ads.one.com", "alpha.com", "beta.com", "gamma.com",
                                                "delta.com", "alpha.com"}));

  // No progress window, no pause, no report; the lists and the report's lines are untouched.
  EXPECT_EQ(platform_.attribute_calls,
            (std::vector<std::pair<std::string, int>>{{Path("first.txt"), 0}, {Path("second.txt"), 0}}));
  EXPECT_EQ(screens_, (std::vector<std::string>{"attri main", "attri main"}));
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_EQ(form_.session().RejectedLines, (std::vector<std::string>{"", "kept"}));
  EXPECT_EQ(form_.session().EntriesLoaded, 42);
  EXPECT_TRUE(Rows(1).empty());
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_TRUE(view_.window_enabled);
  // The menu items that need rows are not touched by this load.
  EXPECT_FALSE(view_.IsEnabled(MainControl::kResetItem));
}

TEST_F(DomainsTest, DomainOnlyLoadThatFailsLeavesTheButtonsAndTheCount) {
  WriteBytes(Path("HOSTS"), "");
  platform_.locked_files = {Path("HOSTS")};
  CancelDialog();
  form_.LoadSortBuffer();
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_TRUE(platform_.attribute_calls.empty());

  ChooseFile(Path("missing.txt"));
  form_.LoadSortBuffer();
  EXPECT_EQ(view_.status, "Aucune adresse chargee");

  // An empty file fails its first read after the status text changed.
  LoadDomainOnly("empty.txt", "");
  EXPECT_EQ(view_.status, "Chargement en cours...");

  EXPECT_FALSE(LoadCounted());
  EXPECT_FALSE(view_.IsEnabled(MainControl::kSortBufferButton));
  EXPECT_EQ(view_.Caption(MainControl::kLockButton), "Verouiller le fichier hosts");
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_TRUE(prompts_.messages.empty());

  // A file from which nothing is taken is still a completed load.
  LoadDomainOnly("nothing.txt", "# comment\nlocalhost\nabc\n");
  EXPECT_EQ(view_.status, "0 Adresse(s) chargée(s)");
  EXPECT_TRUE(LoadCounted());
  EXPECT_TRUE(view_.IsEnabled(MainControl::kSortBufferButton));
  EXPECT_EQ(view_.Caption(MainControl::kLockButton), "Deverouiller le fichier hosts");
}

// --- Commands that need a completed load ---

TEST_F(DomainsTest, TheSortAndTheSavesRefuseBeforeAnyLoad) {
  const std::pair<void (MainForm::*)(), std::string> cases[] = {
      {&MainForm::SortBuffer, "vous devez d'abord charger un ficher d'adresses! | OK | none | Quorvale"},
      {&MainForm::SaveSortedAsHosts, kNothingLoadedLine},
      {&MainForm::SaveSortedNames, kNothingLoadedLine},
      {&MainForm::SaveAsHosts, kNothingLoadedLine}};
  for (const auto& [click, line] : cases) {
    prompts_.messages.clear();
    prompts_.answers.push_back(Answer::kOk);
    (form_.*click)();
    EXPECT_EQ(Messages(), std::vector<std::string>{line});
  }
  // No options window, no dialog, the window never disabled, nothing enabled.
  EXPECT_TRUE(view_.log.empty());
  EXPECT_TRUE(prompts_.dialogs.empty());
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_EQ(SortSaveStates(view_), "0000");
}

// --- "Trier" (SortBuffer) ---

TEST_F(DomainsTest, TrierSortsDeduplicatesAndEnablesTheSaves) {
  // 57 distinct names in reverse order, and one more entry that repeats a key with a comment.
  std::string content;
  for (int i = 57; i >= 1; --i) content += "name" + std::to_string(100 + i) + ".example\n";
  content += "name110.example #[again]\n";
  LoadDomainOnly("fifty-eight.txt", content);
  ASSERT_EQ(view_.status, "58 Adresse(s) chargée(s)");

  // While it sorts the window says so and takes no input.
  std::string during;
  view_.pending_event = [&] { during = view_.status + (view_.window_enabled ? " | enabled" : " | disabled"); };
  view_.log.clear();
  form_.SortBuffer();
  EXPECT_EQ(during, "Veuillez patienter... | disabled");
  EXPECT_EQ(view_.log, (std::vector<std::string>{"disabled", "enabled"}));
  EXPECT_EQ(view_.status, "57 Adresses triees");
  std::vector<std::string> buffer = Buffer();
  ASSERT_EQ(buffer.size(), 57u);
  for (int i = 1; i <= 57; ++i) EXPECT_EQ(buffer[i - 1], "name" + std::to_string(100 + i) + ".example");
  EXPECT_EQ(SortSaveStates(view_), "1111");
  EXPECT_TRUE(view_.IsEnabled(MainControl::kSortBufferButton));
  EXPECT_TRUE(prompts_.messages.empty());

  // Sorting again changes nothing.
  form_.SortBuffer();
  EXPECT_EQ(Buffer(), buffer);
  EXPECT_EQ(view_.status, "57 Adresses triees");
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
  EXPECT_EQ(view_.status, std::to_string(GetParam().kept.size()) + " Adresses triees");
  EXPECT_EQ(SortSaveStates(view_), "1111");
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
                      // An empty buffer stays empty and still counts as sorted.
                      SortCase{"Empty", "# nothing here\n", {}},
                      // Loaded in lower case, so "B.com" and "b.com" are the same name.
                      SortCase{"ByteOrder", "b.com\nB.com\n-a.com\n0a.com\naa.com\n",
                               {"-a.com", "0a.com", "aa.com", "b.com"}}),
    CaseName());

// --- Saving the buffer as names (SaveSortedNames) ---

TEST_F(DomainsTest, NamesSaveWritesEveryEntryWhole) {
  LoadAndSort("b.example\nA.example #[note]\nb.example\n");
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kOk);
  form_.SaveSortedNames();
  ASSERT_EQ(prompts_.dialogs.size(), 2u);
  EXPECT_TRUE(prompts_.dialogs[1].save);
  EXPECT_EQ(ReadBytes(Path("names.txt")), "a.example #[note]\r\nb.example\r\n");
  EXPECT_EQ(Messages(), std::vector<std::string>{kSavedLine});

  // A cancelled dialog does nothing at all.
  CancelDialog();
  form_.SaveSortedNames();
  EXPECT_EQ(prompts_.messages.size(), 1u);
}

TEST_F(DomainsTest, NamesSaveOverAnExistingFile) {
  LoadAndSort("# nothing\n");
  WriteBytes(Path("names.txt"), "old contents\r\n");

  // Cancel keeps the old file.
  ChooseFile(Path("names.txt"));
  prompts_.answers.push_back(Answer::kCancel);
  form_.SaveSortedNames();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "old contents\r\n");
  EXPECT_EQ(Messages(), std::vector<std::string>{kOverwriteLine});
  EXPECT_EQ(platform_.attribute_calls.size(), 1u);  // the load's own

  // OK over a read-only file makes it writable and replaces it; an empty buffer writes an
  // empty file.
  ASSERT_TRUE(platform_.SetAttributes(Path("names.txt"), kAttrReadOnly | kAttrSystem).ok());
  ChooseFile(Path("names.txt"));
  prompts_.answers = {Answer::kOk, Answer::kOk};
  form_.SaveSortedNames();
  EXPECT_EQ(platform_.attribute_calls.back(), std::make_pair(Path("names.txt"), kAttrNormal));
  EXPECT_EQ(platform_.GetAttributes(Path("names.txt")), kAttrNormal);
  EXPECT_EQ(ReadBytes(Path("names.txt")), "");
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kOverwriteLine, kSavedLine}));

  LoadAndSort("one.example\n");
  ChooseFile(Path("names.txt"));
  prompts_.answers = {Answer::kOk, Answer::kOk};
  form_.SaveSortedNames();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "one.example\r\n");
}

// --- Saving the buffer as a HOSTS file (SaveSortedAsHosts) ---

// The header of a HOSTS file of the sort buffer written at the Unix epoch in the C locale.
std::string ArrayHeader(const std::string& count_line) {
  return "#\r\n# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n127.0.0.1\tlocalhost\r\n#\r\n"
         "# Plus d'informations sur:\r\n"
         "# https://fr.wikipedia.org/wiki/Hosts et https://man7.org/linux/man-pages/man5/hosts.5.html\r\n#\r\n"
         "# Genere par: Quorvale @ 01/01/70 00:00:00\r\n#\r\n# Entry Count: " +
         count_line + "\r\n#\r\n";
}

void ChooseZerosWithoutWww(OptionsForm& form, FakeOptionsView& view) {
  view.Click(OptionsBox::kZeroAddress);
  view.Click(OptionsBox::kWwwLines);
  form.Accept();
}

class HostsSaveTest : public DomainsTest {
 protected:
  ScopedEnv epoch_at_zero_{"SOURCE_DATE_EPOCH", "0"};
  ScopedEnv locale_{"LC_ALL", "C"};
};

TEST_F(HostsSaveTest, DefaultOptionsWriteEveryEntryAndItsWwwTwin) {
  // An empty buffer gives the header only.
  LoadAndSort("# nothing\n");
  view_.options_scripts.push_back([](OptionsForm& form, FakeOptionsView& view) {
    view.Click(OptionsBox::kWwwLines);
    form.Accept();
  });
  ChooseFile(Path("empty.txt"));
  prompts_.answers.push_back(Answer::kOk);
  form_.SaveSortedAsHosts();
  EXPECT_EQ(ReadBytes(Path("empty.txt")), ArrayHeader("0"));

  LoadAndSort("b.example\na.example #[why]\nc.example\n");
  view_.options_scripts.push_back(ClickOk);
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kOk);
  form_.SaveSortedAsHosts();
  EXPECT_EQ(ReadBytes(Path("hosts.txt")), ArrayHeader("3 * 2 with www.") +
                                              "127.0.0.1\ta.example #[why]\r\n127.0.0.1\tb.example\r\n"
                                              "127.0.0.1\tc.example\r\n127.0.0.1\twww.a.example #[why]\r\n"
                                              "127.0.0.1\twww.b.example\r\n127.0.0.1\twww.c.example\r\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{kSavedLine, kSavedLine}));
  ASSERT_EQ(prompts_.dialogs.size(), 4u);
  EXPECT_TRUE(prompts_.dialogs[3].save);
}

TEST_F(HostsSaveTest, ZeroAddressWithoutWwwOverAnExistingFile) {
  LoadAndSort("b.example\na.example\n");
  WriteBytes(Path("hosts.txt"), "old\r\n");
  view_.options_scripts.push_back(ChooseZerosWithoutWww);
  ChooseFile(Path("hosts.txt"));
  prompts_.answers = {Answer::kOk, Answer::kOk};
  form_.SaveSortedAsHosts();
  const std::string written = ArrayHeader("2") + "0.0.0.0\ta.example\r\n0.0.0.0\tb.example\r\n";
  EXPECT_EQ(ReadBytes(Path("hosts.txt")), written);
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kSavedLine}));
  EXPECT_EQ(platform_.attribute_calls.back(), std::make_pair(Path("hosts.txt"), kAttrNormal));

  // Refusing the overwrite keeps the file; no further message.
  view_.options_scripts.push_back(ClickOk);
  ChooseFile(Path("hosts.txt"));
  prompts_.answers.push_back(Answer::kCancel);
  form_.SaveSortedAsHosts();
  EXPECT_EQ(ReadBytes(Path("hosts.txt")), written);
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kSavedLine, kOverwriteLine}));
}

// --- Export of the blocked names (ExportDom) ---

TEST_F(DomainsTest, ExportWithAndWithoutComments) {
  // An empty list writes an empty file.
  ChooseFile(Path("empty.txt"));
  prompts_.answers = {Answer::kYes, Answer::kOk};
  form_.ExportDomains();
  EXPECT_TRUE(platform_.PathExists(Path("empty.txt")));
  EXPECT_EQ(ReadBytes(Path("empty.txt")), "");
  prompts_.messages.clear();

  LoadPlainList("list.txt", "b.example #second\na.example\nc.example\t#third\n");
  // A redirection never goes into the export.
  LoadHosts("10.0.0.1 intranet.example\n");
  ASSERT_EQ(Rows(2).size(), 1u);

  ChooseFile(Path("export.txt"));
  prompts_.answers = {Answer::kYes, Answer::kOk};
  form_.ExportDomains();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "a.example\r\nb.example\t#second\r\nc.example\t#third\r\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{kCommentsLine, kSavedLine}));
  EXPECT_TRUE(prompts_.dialogs.back().save);

  // Names only, in the list's current order (the name column clicked to descending).
  form_.ColumnClick(1, 0);
  ChooseFile(Path("names.txt"));
  prompts_.answers = {Answer::kNo, Answer::kOk};
  form_.ExportDomains();
  EXPECT_EQ(ReadBytes(Path("names.txt")), "c.example\r\nb.example\r\na.example\r\n");
  EXPECT_EQ(prompts_.messages.size(), 4u);
}

TEST_F(DomainsTest, ExportOverAnExistingFileAsksFirst) {
  LoadPlainList("list.txt", "a.example #x\n");
  WriteBytes(Path("export.txt"), "old\r\n");

  ChooseFile(Path("export.txt"));
  prompts_.answers = {Answer::kCancel};
  form_.ExportDomains();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "old\r\n");
  EXPECT_EQ(Messages(), std::vector<std::string>{kOverwriteLine});

  ChooseFile(Path("export.txt"));
  prompts_.answers = {Answer::kOk, Answer::kYes, Answer::kOk};
  form_.ExportDomains();
  EXPECT_EQ(ReadBytes(Path("export.txt")), "a.example\t#x\r\n");
  EXPECT_EQ(Messages(), (std::vector<std::string>{kOverwriteLine, kOverwriteLine, kCommentsLine, kSavedLine}));

  // A cancelled dialog does nothing.
  CancelDialog();
  form_.ExportDomains();
  EXPECT_EQ(prompts_.messages.size(), 4u);
}

// --- Every save: the window during the write, and files that cannot be written ---

enum class Saver { kExport, kNames, kHosts, kSaveAs, kReplace };

class SaverTest : public HostsSaveTest {
 protected:
  // Loads a blocked name and a sorted buffer, then saves to `path` (the replace writes the
  // HOSTS file) with OK in the options window, OK to an overwrite or replace question and Yes
  // to the descriptions question. Returns the questions asked before the final message.
  std::vector<std::string> Save(Saver saver, const std::string& path) {
    LoadPlainList("list.txt", "a.example\n");
    LoadAndSort("a.example\n");
    prompts_.messages.clear();
    view_.log.clear();
    std::vector<std::string> asked;
    if (platform_.PathExists(path)) {
      prompts_.answers.push_back(Answer::kOk);
      asked.push_back(saver == Saver::kReplace
                          ? "Voulez vous vraiment remplacer le ficher hosts ? | OK/Cancel | none | Confirmation"
                          : kOverwriteLine);
    }
    if (saver == Saver::kExport || saver == Saver::kSaveAs || saver == Saver::kReplace) {
      prompts_.answers.push_back(Answer::kYes);
      asked.push_back(kCommentsLine);
    }
    prompts_.answers.push_back(Answer::kOk);
    if (saver != Saver::kReplace) ChooseFile(path);
    if (saver == Saver::kHosts || saver == Saver::kSaveAs || saver == Saver::kReplace) {
      view_.options_scripts.push_back(ClickOk);
    }
    void (MainForm::*const clicks[])() = {&MainForm::ExportDomains, &MainForm::SaveSortedNames,
                                          &MainForm::SaveSortedAsHosts, &MainForm::SaveAsHosts,
                                          &MainForm::ReplaceHosts};
    (form_.*clicks[static_cast<int>(saver)])();
    return asked;
  }
};

// No other command can change what is being written: the window takes no input until the
// file is whole.
TEST_F(SaverTest, TheWindowTakesNoInputWhileAFileIsWritten) {
  for (Saver saver : {Saver::kExport, Saver::kNames, Saver::kHosts, Saver::kSaveAs, Saver::kReplace}) {
    SCOPED_TRACE(static_cast<int>(saver));
    const std::string path = saver == Saver::kReplace ? Path("HOSTS") : Path("out.txt");
    std::filesystem::remove(Path("out.txt"));
    std::vector<std::string> enabled_at_write;
    platform_.watch = [&](const std::string& call) {
      if (call == "write " + path) enabled_at_write.push_back(view_.window_enabled ? "enabled" : "disabled");
    };
    std::vector<std::string> expected = Save(saver, path);
    platform_.watch = nullptr;
    expected.push_back(saver == Saver::kReplace ? "Fichier hosts remplace | OK | none | Quorvale" : kSavedLine);
    EXPECT_EQ(Messages(), expected);
    EXPECT_EQ(enabled_at_write, std::vector<std::string>{"disabled"});
    ASSERT_FALSE(view_.log.empty());
    EXPECT_EQ(view_.log.back(), "enabled");
    EXPECT_TRUE(view_.window_enabled);
  }
}

struct FailureCase {
  const char* name;
  Saver saver;
  bool existing;
};

void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

class SaveFailureTest : public SaverTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(SaveFailureTest, ReportsTheFailureAndKeepsTheOldFile) {
  const FailureCase& c = GetParam();
  if (c.existing) WriteBytes(Path("out.txt"), "old\r\n");
  platform_.failing_writes.push_back(Path("out.txt"));
  std::vector<std::string> expected = Save(c.saver, Path("out.txt"));
  expected.push_back(kFailedLine);
  EXPECT_EQ(Messages(), expected);
  EXPECT_EQ(prompts_.messages.back().detail, Path("out.txt") + ": refused by the test");
  if (c.existing) {
    EXPECT_EQ(ReadBytes(Path("out.txt")), "old\r\n");
  } else {
    EXPECT_FALSE(platform_.PathExists(Path("out.txt")));
  }
  EXPECT_TRUE(view_.window_enabled);
}

INSTANTIATE_TEST_SUITE_P(Savers, SaveFailureTest,
                         ::testing::Values(FailureCase{"ExportNew", Saver::kExport, false},
                                           FailureCase{"ExportOver", Saver::kExport, true},
                                           FailureCase{"NamesNew", Saver::kNames, false},
                                           FailureCase{"NamesOver", Saver::kNames, true},
                                           FailureCase{"HostsNew", Saver::kHosts, false},
                                           FailureCase{"HostsOver", Saver::kHosts, true}),
                         CaseName());

// --- Column headers of the redirections list ---

TEST_F(DomainsTest, RedirectionsListOrdersByItsOwnHeader) {
  LoadHosts("10.0.0.2 a.example\n10.0.0.1 b.example #z\n192.168.0.1 c.example #a\n");
  auto names = [&] {
    std::string out;
    for (const std::string& row : Rows(2)) out += row.substr(0, row.find('|')) + " ";
    return out;
  };
  EXPECT_EQ(names(), "a.example b.example c.example ");
  form_.ColumnClick(2, 2);
  EXPECT_EQ(names(), "b.example a.example c.example ");
  form_.ColumnClick(2, 2);
  EXPECT_EQ(names(), "c.example a.example b.example ");
  form_.ColumnClick(2, 1);  // descending kept: "#z", "#a", then the empty description
  EXPECT_EQ(names(), "b.example c.example a.example ");
  EXPECT_EQ(view_.sort_order[1], "1 1");
  EXPECT_EQ(view_.sort_order[0], "0 0");
}

}  // namespace
}  // namespace quorvale::testing
