// The main window's own behaviour: its first state, the HOSTS-format loads with the progress
// window, the report, Reset, the header clicks and the close.

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "forms/main_form_fixture.h"

namespace quorvale::testing {
namespace {

constexpr char kEmptyReport[] =
    "Liste des erreurs: \r\n\r\n\r\n---------------------------------\r\n---------------------------------\r\n\r\n\r\n";
constexpr MainControl kDataMenus[] = {MainControl::kSaveAsHostsItem, MainControl::kExportDomainsItem,
                                      MainControl::kResetItem, MainControl::kReplaceHostsItem};

TEST_F(MainFormTest, StartState) {
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_FALSE(LoadCounted());
  EXPECT_FALSE(view_.IsEnabled(MainControl::kReplaceHostsItem));
  EXPECT_FALSE(view_.IsEnabled(MainControl::kResetItem));
  for (MainControl control :
       {MainControl::kLoadSystemHostsItem, MainControl::kLoadHostsFileItem, MainControl::kSaveAsHostsItem,
        MainControl::kLoadDomainListItem, MainControl::kExportDomainsItem, MainControl::kAboutItem}) {
    EXPECT_TRUE(view_.IsEnabled(control)) << static_cast<int>(control);
  }
  EXPECT_EQ(view_.events_processed, 2);
}

TEST_F(MainFormTest, LoadingTheHostsFileFillsBothListsHoldsTheProgressAndOpensTheReport) {
  std::vector<std::string> screens;
  platform_.watch = [&](const std::string& call) {
    if (!call.starts_with("exists")) screens.push_back(call.substr(0, 5) + " " + Screen(view_));
  };
  LoadHosts(
      "# comment\r\n127.0.0.1 localhost\r\n0.0.0.0 ads.example.com #Tracker\r\n"
      "127.0.0.1\tWWW.Beta.example\r\n10.1.2.3 intranet.example\r\n\r\nnot a line\r\n");

  EXPECT_EQ(view_.status, "3 Adresse(s) chargée(s)");
  EXPECT_TRUE(LoadCounted());
  EXPECT_TRUE(view_.visible);
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"ads.example.com|#tracker|0.0.0.0", "beta.example||127.0.0.1"}));
  EXPECT_EQ(Rows(2), std::vector<std::string>{"intranet.example||10.1.2.3"});
  for (MainControl control : kDataMenus) EXPECT_TRUE(view_.IsEnabled(control)) << static_cast<int>(control);

  // The attributes are cleared once behind the progress window; the waits (200 ms, 100 times
  // 10 ms, 200 ms) all pass with the main window hidden and the progress window up; the
  // report is written once the main window is back.
  std::vector<std::string> expected = {"attri progress", "sleep progress"};
  expected.insert(expected.end(), 101, "sleep progress");
  expected.push_back("write main");
  EXPECT_EQ(screens, expected);
  std::vector<int> waits{200};
  waits.insert(waits.end(), 100, 10);
  waits.push_back(200);
  EXPECT_EQ(platform_.sleeps, waits);
  EXPECT_EQ(view_.log.front(), "disabled");
  EXPECT_EQ(std::vector<std::string>(view_.log.begin() + 1, view_.log.begin() + 3),
            (std::vector<std::string>{"hidden", "progress opened"}));
  // The counter showed the entries as they came.
  ASSERT_FALSE(view_.progress_counts.empty());
  EXPECT_EQ(view_.progress_counts.back(), "3 Entrees");

  EXPECT_EQ(Report(), std::string(kReportHead) + "# comment\r\n127.0.0.1 localhost\r\nnot a line\r\n" + kReportTail);
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{Path("Rapport.txt")});
  EXPECT_TRUE(prompts_.messages.empty());

  // A second load of the same file adds no row and opens the report again.
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.status, "3 Adresse(s) chargée(s)");
  EXPECT_EQ(platform_.shown_files.size(), 2u);
}

TEST_F(MainFormTest, AMissingHostsFileStillOpensTheReport) {
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_FALSE(LoadCounted());
  EXPECT_TRUE(view_.visible);
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_FALSE(view_.IsEnabled(MainControl::kResetItem));
  EXPECT_TRUE(platform_.sleeps.empty());
  // No load has filled the rejected lines yet: the report is empty, and still shown.
  EXPECT_EQ(Report(), kEmptyReport);
  EXPECT_EQ(platform_.shown_files.size(), 1u);
}

// With rows already loaded, a HOSTS load that fails keeps the rows, the status and the menus,
// and reports the last completed load's lines again.
TEST_F(MainFormTest, AFailedHostsLoadAfterAnotherKeepsEverything) {
  LoadHosts("0.0.0.0 ads.example.com\r\nbad line\r\n");
  std::filesystem::remove(Path("HOSTS"));
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.status, "1 Adresse(s) chargée(s)");
  EXPECT_EQ(Rows(1), std::vector<std::string>{"ads.example.com||0.0.0.0"});
  for (MainControl control : kDataMenus) EXPECT_TRUE(view_.IsEnabled(control)) << static_cast<int>(control);
  EXPECT_EQ(Report(), std::string(kReportHead) + "bad line\r\n" + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 2u);
  EXPECT_TRUE(view_.visible);
  EXPECT_TRUE(view_.window_enabled);
}

TEST_F(MainFormTest, OuvrirUsesTheOpenDialogAndTheDialogsShareTheLastFilter) {
  LoadThrough(&MainForm::LoadHostsFile, "list.txt", "# nothing usable\nlocalhost\n");
  ASSERT_EQ(prompts_.dialogs.size(), 1u);
  const auto& dialog = prompts_.dialogs[0];
  EXPECT_FALSE(dialog.save);
  EXPECT_EQ(dialog.title, "Quorvale");
  EXPECT_EQ(dialog.folder, dir_.path() + "/");
  ASSERT_EQ(dialog.filters.size(), 2u);
  EXPECT_EQ(dialog.filters[0].description + "=" + dialog.filters[0].pattern, "Fichiers Texte (.txt)=*.txt");
  EXPECT_EQ(dialog.filters[1].description + "=" + dialog.filters[1].pattern, "Tous les fichiers (*.*)=*");
  EXPECT_EQ(dialog.filter_index, 0);

  // Nothing accepted: still one completed load, the unchanged count, menus left disabled.
  EXPECT_TRUE(LoadCounted());
  EXPECT_EQ(view_.status, "0 Adresse(s) chargée(s)");
  EXPECT_FALSE(view_.IsEnabled(MainControl::kResetItem));
  EXPECT_EQ(Report(), std::string(kReportHead) + "# nothing usable\r\nlocalhost\r\n" + kReportTail);
  // Ouvrir waits 200 ms without a yield before it, then holds the progress window.
  EXPECT_EQ(platform_.sleeps.front(), 200);
  EXPECT_EQ(platform_.sleeps.size(), 102u);

  // The filter chosen last is preselected by the next dialog, an open or a save one.
  WriteBytes(Path("HOSTS2"), "0.0.0.0 ads.example.com\n");
  ChooseFile(Path("HOSTS2"), 1);
  form_.LoadHostsFile();
  CancelDialog();
  form_.ExportDomains();
  ChooseFile("", 0);
  form_.LoadHostsFile();
  CancelDialog();
  form_.LoadHostsFile();
  ASSERT_EQ(prompts_.dialogs.size(), 5u);
  EXPECT_TRUE(prompts_.dialogs[2].save);
  EXPECT_EQ(prompts_.dialogs[2].filter_index, 1);
  EXPECT_EQ(prompts_.dialogs[3].filter_index, 1);
  EXPECT_EQ(prompts_.dialogs[4].filter_index, 0);
  EXPECT_TRUE(view_.IsEnabled(MainControl::kResetItem));
}

TEST_F(MainFormTest, ACancelledOrFailedOuvrirChangesNothing) {
  CancelDialog();
  form_.LoadHostsFile();
  EXPECT_FALSE(LoadCounted());
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_TRUE(platform_.attribute_calls.empty());

  // A typed name of a file that does not exist: the attributes cannot be cleared, the load
  // ends quietly, without report and without counting.
  ChooseFile(Path("missing.txt"));
  form_.LoadHostsFile();
  EXPECT_FALSE(LoadCounted());
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_TRUE(platform_.shown_files.empty());
  EXPECT_TRUE(view_.visible);
  EXPECT_TRUE(view_.window_enabled);
}

TEST_F(MainFormTest, LoadClearsTheReadOnlyAttribute) {
  WriteBytes(Path("HOSTS"), "0.0.0.0 ads.example.com\n");
  ASSERT_TRUE(platform_.SetAttributes(Path("HOSTS"), kAttrReadOnly | kAttrSystem).ok());
  form_.LoadSystemHosts();
  EXPECT_EQ(platform_.GetAttributes(Path("HOSTS")), kAttrNormal);
}

// A user who may read the file but not change its attributes still loads it, by both loads.
TEST_F(MainFormTest, AttributesThatCannotBeClearedDoNotStopALoad) {
  WriteBytes(Path("HOSTS"), "0.0.0.0 ads.example.com\n");
  platform_.refused_attributes = {Path("HOSTS")};
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.status, "1 Adresse(s) chargée(s)");
  form_.Reset();
  ChooseFile(Path("HOSTS"));
  form_.LoadHostsFile();
  EXPECT_EQ(Rows(1), std::vector<std::string>{"ads.example.com||0.0.0.0"});
  EXPECT_EQ(platform_.attribute_calls.size(), 2u);
}

TEST_F(MainFormTest, ResetEmptiesTheListsWithTheWindowDisabledAndKeepsEverythingElse) {
  LoadHosts("0.0.0.0 ads.example.com\n10.0.0.1 intranet.example\n");
  ASSERT_EQ(view_.status, "2 Adresse(s) chargée(s)");
  view_.log.clear();
  form_.Reset();
  EXPECT_EQ(view_.log, (std::vector<std::string>{"disabled", "list 1", "list 2", "enabled"}));
  EXPECT_TRUE(Rows(1).empty());
  EXPECT_TRUE(Rows(2).empty());
  EXPECT_EQ(view_.status, "2 Adresse(s) chargée(s)");
  EXPECT_TRUE(LoadCounted());
  for (MainControl control : kDataMenus) EXPECT_FALSE(view_.IsEnabled(control)) << static_cast<int>(control);
  // The lists accumulate again after a reset.
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.status, "2 Adresse(s) chargée(s)");
}

TEST_F(MainFormTest, TheReportFallsBackToTheUserFolderThenTellsTheUserWhy) {
  platform_.failing_writes.push_back(Path("Rapport.txt"));
  ASSERT_TRUE(std::filesystem::create_directory(Path("userdata")));
  form_.ShowReport();
  EXPECT_EQ(ReadBytes(Path("userdata/Rapport.txt")), kEmptyReport);
  EXPECT_EQ(platform_.shown_files, std::vector<std::string>{Path("userdata/Rapport.txt")});

  platform_.failing_writes.push_back(Path("userdata/Rapport.txt"));
  prompts_.answers.push_back(Answer::kOk);
  form_.ShowReport();
  EXPECT_EQ(Messages(), std::vector<std::string>{kFailedLine});
  EXPECT_EQ(prompts_.messages[0].detail, Path("userdata/Rapport.txt") + ": refused by the test");
  EXPECT_EQ(platform_.shown_files.size(), 1u);
}

#ifndef _WIN32
TEST_F(MainFormTest, TheReportReplacesALinkAndSkipsAProgramFolderWithoutTheLockTool) {
  WriteBytes(Path("target.txt"), "old");
  std::filesystem::create_symlink("target.txt", Path("Rapport.txt"));
  form_.ShowReport();
  EXPECT_EQ(Report(), kEmptyReport);
  EXPECT_EQ(ReadBytes(Path("target.txt")), "old");
  // A folder of the system's programs (/usr/bin) holds no subinacl.
  std::filesystem::remove(Path("subinacl"));
  ASSERT_TRUE(std::filesystem::create_directory(Path("userdata")));
  form_.ShowReport();
  EXPECT_EQ(ReadBytes(Path("userdata/Rapport.txt")), kEmptyReport);
  EXPECT_EQ(platform_.shown_files, (std::vector<std::string>{Path("Rapport.txt"), Path("userdata/Rapport.txt")}));
}
#endif

TEST_F(MainFormTest, TheProgressWindowShowsTheRunningCount) {
  Session session;
  ProgressForm progress(session);
  FakeProgressView view(&view_.log);
  progress.Start(&view);
  EXPECT_EQ(view.labels[0], "Chargement en cours...");
  EXPECT_EQ(view.labels[1], "0 Entree");
  session.EntriesLoaded = 1;
  progress.Tick();
  EXPECT_EQ(view.labels[1], "1 Entrees");
  session.EntriesLoaded = 1234567;
  progress.Tick();
  EXPECT_EQ(view.labels[1], "1234567 Entrees");
}

TEST_F(MainFormTest, HeaderClicksOrderTheListByColumnAndFlipOnlyOnTheSameColumn) {
  LoadHosts(
      "0.0.0.0 b.example.com #2\n127.0.0.1 a.example.com #3\n0.0.0.0 c.example.com #1\n"
      "0.0.0.0 d.example.com #1\n");
  auto names = [&] {
    std::string out;
    for (const std::string& row : Rows(1)) out += row.substr(0, row.find('|')) + " ";
    return out;
  };
  EXPECT_EQ(names(), "a.example.com b.example.com c.example.com d.example.com ");
  view_.log.clear();
  form_.ColumnClick(1, 1);  // Description, still ascending, ties by name
  EXPECT_EQ(view_.log, (std::vector<std::string>{"disabled", "list 1", "enabled"}));
  EXPECT_EQ(names(), "c.example.com d.example.com b.example.com a.example.com ");
  form_.ColumnClick(1, 1);  // same column: descending
  EXPECT_EQ(names(), "a.example.com b.example.com d.example.com c.example.com ");
  form_.ColumnClick(1, 2);  // another column keeps the direction
  EXPECT_EQ(names(), "a.example.com d.example.com c.example.com b.example.com ");
  EXPECT_EQ(view_.sort_order[0], "2 1");
  form_.ColumnClick(1, 0);
  EXPECT_EQ(names(), "d.example.com c.example.com b.example.com a.example.com ");
  form_.ColumnClick(1, 0);
  EXPECT_EQ(names(), "a.example.com b.example.com c.example.com d.example.com ");
  EXPECT_EQ(view_.sort_order[0], "0 0");
  // The other list keeps its own order.
  EXPECT_EQ(view_.sort_order[1], "0 0");
}

// A header click that arrives while a command yields is dropped; the header shows the order
// that stands, whatever its own arrow did.
TEST_F(MainFormTest, AHeaderClickDuringACommandIsDroppedAndTheArrowStays) {
  LoadHosts("0.0.0.0 b.example.com\n0.0.0.0 a.example.com\n");
  view_.sort_order[0] = "1 1";
  view_.pending_event = [&] { form_.ColumnClick(1, 1); };
  form_.Reset();
  EXPECT_EQ(view_.sort_order[0], "0 0");
  LoadHosts("0.0.0.0 b.example.com\n0.0.0.0 a.example.com\n");
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"a.example.com||0.0.0.0", "b.example.com||0.0.0.0"}));
}

// The close box during a command, the main window's or the progress window's, waits for it
// (without the pause that holds the progress window up); then the lists are emptied and the
// program ends with exit code 0.
TEST_F(MainFormTest, ClosingWhileACommandRunsEndsTheProgramAfterIt) {
  WriteBytes(Path("HOSTS"), "0.0.0.0 ads.example.com\n");
  view_.pending_event = [&] { view_.log.push_back(form_.CloseRequested() ? "closing now" : "closing later"); };
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.log[1], "closing later");
  ASSERT_GE(view_.log.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(view_.log.end() - 5, view_.log.end()),
            (std::vector<std::string>{"close", "hidden", "list 1", "list 2", "closed"}));
  EXPECT_EQ(view_.exit_code, 0);
  EXPECT_FALSE(view_.visible);
  EXPECT_TRUE(Rows(1).empty());
  EXPECT_EQ(platform_.shown_files.size(), 1u);
  EXPECT_EQ(platform_.sleeps, std::vector<int>{200}) << "no pause that nobody will see";

  // Alt+F4 on the progress window is that close box; the progress window stays meanwhile.
  view_.log.clear();
  std::function<void()> progress_close_box = [&] {
    if (view_.progress == nullptr) return void(view_.pending_event = progress_close_box);
    view_.progress->CloseRequested();
    view_.log.push_back(view_.progress != nullptr ? "progress stays" : "progress gone");
  };
  view_.pending_event = progress_close_box;
  form_.LoadSystemHosts();
  EXPECT_EQ(view_.log[3] + " | " + view_.log.back(), "progress stays | closed");

  // With no command running the close happens at once.
  FakeMainView idle;
  MainForm form(platform_, prompts_);
  idle.form = &form;
  form.Start(&idle);
  EXPECT_TRUE(form.CloseRequested());
  EXPECT_EQ(idle.exit_code, 0);
}

}  // namespace
}  // namespace quorvale::testing
