// Removing rows, finding a text, putting a backup of the HOSTS file back and dropping files.

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "forms/backups_form.h"
#include "forms/main_form_fixture.h"
#include "hosts/hosts_replace.h"

namespace quorvale::testing {
namespace {

constexpr char kThreeAndOne[] =
    "0.0.0.0 ads.example.com\r\n0.0.0.0 beta.example\r\n0.0.0.0 cdn.example.org\r\n10.0.0.1 intranet.example\r\n";

TEST_F(MainFormTest, DeleteRemovesTheSelectedRowsAndAnEmptyWindowIsAsAfterReset) {
  LoadHosts(kThreeAndOne);
  view_.selected[0] = {0, 2};
  view_.log.clear();
  form_.DeleteSelectedRows(1);
  EXPECT_EQ(Rows(1), std::vector<std::string>{"beta.example||0.0.0.0"});
  EXPECT_EQ(view_.status, "2 Adresse(s) chargée(s)");
  EXPECT_EQ(view_.log, std::vector<std::string>{"list 1"});
  EXPECT_TRUE(view_.IsEnabled(MainControl::kResetItem));

  // Dropped while a command runs.
  view_.selected[1] = {0};
  view_.pending_event = [&] { form_.DeleteSelectedRows(2); };
  form_.ToggleLock();
  EXPECT_EQ(Rows(2).size(), 1u);

  form_.DeleteSelectedRows(2);
  view_.selected[0] = {0};
  form_.DeleteSelectedRows(1);
  EXPECT_EQ(view_.status, "0 Adresse(s) chargée(s)");
  for (MainControl control : {MainControl::kSaveAsHostsItem, MainControl::kExportDomainsItem, MainControl::kResetItem,
                              MainControl::kReplaceHostsItem}) {
    EXPECT_FALSE(view_.IsEnabled(control)) << static_cast<int>(control);
  }
}

TEST_F(MainFormTest, FindSelectsTheFirstMatchThenF3GoesRoundBothLists) {
  LoadHosts(kThreeAndOne);
  view_.search_texts = {"EXAMPLE", "", "nowhere"};
  form_.Find();  // from the top, case ignored
  EXPECT_EQ(view_.log.back(), "selected 1 0");
  form_.FindNext();
  EXPECT_EQ(view_.log.back(), "selected 1 1");
  form_.FindNext();
  EXPECT_EQ(view_.log.back(), "selected 1 2");
  form_.FindNext();  // on into the lower list
  EXPECT_EQ(view_.log.back(), "selected 2 0");
  form_.FindNext();  // and round to the top
  EXPECT_EQ(view_.log.back(), "selected 1 0");
  view_.selected = {};
  view_.selected[0] = {1};  // the user's own selection is where F3 goes on from
  form_.FindNext();
  EXPECT_EQ(view_.log.back(), "selected 1 2");

  const size_t selections = view_.log.size();
  form_.Find();  // "Annuler": nothing happens, the earlier text stays for F3
  EXPECT_EQ(view_.log.size(), selections + 1);
  prompts_.answers = {Answer::kOk};
  form_.Find();
  EXPECT_EQ(Messages(), std::vector<std::string>{"Aucune entree ne contient « nowhere ». | OK | none | Quorvale"});
}

// A cell shows its bytes as the search reads them; outside the rows and columns, nothing.
TEST_F(MainFormTest, CellTextIsWhatACellShows) {
  LoadHosts("0.0.0.0 a.example # caf\xE9\r\n10.0.0.1 c.lan\r\n");
  std::string cells;
  for (const auto& [list, row, column] : {std::tuple{1, 0, 0}, {1, 0, 1}, {1, 0, 2}, {2, 0, 2}, {1, 1, 0}, {1, -1, 0},
                                          {1, 0, 3}, {2, 0, -1}}) {
    cells += form_.CellText(list, row, column) + "|";
  }
  EXPECT_EQ(cells, "a.example|# caf\xC3\xA9|0.0.0.0|10.0.0.1|||||");
}

TEST_F(MainFormTest, FindMatchesWhatTheListsShowWhateverTheLinesEncoding) {
  // Lines from two editors, Windows-1252 then UTF-8; "cafe" is no "café".
  LoadHosts("0.0.0.0 a.example # caf\xE9\r\n0.0.0.0 b.example # CAF\xC3\xA9\r\n0.0.0.0 c.example # cafe\r\n");
  view_.search_texts = {"Caf\xC3\xA9"};
  form_.Find();
  EXPECT_EQ(view_.log.back(), "selected 1 0");
  form_.FindNext();
  EXPECT_EQ(view_.log.back(), "selected 1 1");
  form_.FindNext();
  EXPECT_EQ(view_.log.back(), "selected 1 0");
}

TEST_F(MainFormTest, RestoringABackupPutsItsBytesBackAndSaysHowTheCacheWent) {
  const std::string hosts = Path("HOSTS");
  WriteBytes(hosts, "current\r\n");
  form_.HostsMenuOpening();
  EXPECT_FALSE(view_.IsEnabled(MainControl::kRestoreBackupItem));

  // Two copies, the older one written an hour before the newer one.
  WriteBytes(Path("HOSTS.20240101-000000.bak"), "0.0.0.0 old.example\r\n# note\r\n");
  WriteBytes(Path("HOSTS.20240102-000000.bak"), "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n");
  std::filesystem::last_write_time(std::filesystem::u8path(Path("HOSTS.20240101-000000.bak")),
                                   std::filesystem::last_write_time(std::filesystem::u8path(hosts)) -
                                       std::chrono::hours(1));
  form_.HostsMenuOpening();
  EXPECT_TRUE(view_.IsEnabled(MainControl::kRestoreBackupItem));

  platform_.dns_flush.kind = DnsFlushOutcome::Kind::kStarted;
  view_.backups_scripts.push_back([&](BackupsForm& form, FakeBackupsView& view) {
    ASSERT_EQ(view.rows.size(), 2u);
    EXPECT_EQ(view.rows[0][1] + " " + view.rows[0][2], "38 2");
    EXPECT_EQ(view.rows[1][1] + " " + view.rows[1][2], "29 1");
    EXPECT_EQ(view.rows[1][0], BackupTimeText(platform_.FileModifiedTime(Path("HOSTS.20240101-000000.bak"))));
    view.selected = 1;
    prompts_.answers = {Answer::kNo};
    form.RestoreSelected();  // "Non": nothing happens
    EXPECT_FALSE(view.closed);
    prompts_.answers = {Answer::kYes, Answer::kOk};
    form.RestoreSelected();
    EXPECT_TRUE(view.closed);
  });
  form_.RestoreBackup();
  EXPECT_EQ(ReadBytes(hosts), "0.0.0.0 old.example\r\n# note\r\n");
  ASSERT_EQ(prompts_.messages.size(), 3u);
  EXPECT_EQ(prompts_.messages[0].text, "Remplacer le fichier hosts par la sauvegarde du " +
                                           BackupTimeText(platform_.FileModifiedTime(Path("HOSTS.20240101-000000.bak"))) +
                                           " ?");
  EXPECT_EQ(Describe(prompts_.messages[2]), "Fichier hosts remplace | OK | none | Quorvale");
  EXPECT_EQ(prompts_.messages[2].detail, "Vidage du cache DNS demande.");
  EXPECT_EQ(platform_.dns_flush_waits, std::vector<int>{0});
  // The file it replaced is kept as a new copy.
  EXPECT_EQ(ListHostsBackups(platform_, hosts).size(), 3u);
}

// A copy's entries are the rows that loading it gives (4 lines of `first` give an entry, but
// a name is a row once per list and a "www." twin adds none). They fill in once the window is
// open, and the next opening shows them at once while the copy keeps its size and time.
TEST_F(MainFormTest, BackupEntriesAreTheRowsOfALoadAndAreKeptWhileTheCopyIsUnchanged) {
  const std::string copy = Path("HOSTS.20240101-000000.bak");
  const auto now = std::filesystem::file_time_type::clock::now();
  const std::string first = "0.0.0.0 a.example\r\n0.0.0.0 www.a.example\r\n10.0.0.1 a.example\r\n0.0.0.0 A.EXAMPLE\r\n";
  const std::string second = "0.0.0.0 a.example\r\n0.0.0.0 b.example\r\n0.0.0.0 c.example\r\n10.0.0.1 a.example\r\n";
  using Opening = std::tuple<const std::string*, int, std::string>;  // the copy, its age in hours, what shows
  for (const auto& [bytes, hours_old, shown] : std::vector<Opening>{
           {&first, 1, "2 counted"}, {&first, 1, "2 kept"}, {&first, 2, "2 counted"}, {&second, 2, "4 counted"},
           {&second, 2, "4 kept"}}) {
    WriteBytes(copy, *bytes);
    std::filesystem::last_write_time(std::filesystem::u8path(copy), now - std::chrono::hours(hours_old));
    view_.backups_scripts.push_back([&](BackupsForm& form, FakeBackupsView& view) {
      EXPECT_EQ(view.rows.at(0)[2] + (view.entries_shown.empty() ? " kept" : " counted"), shown);
      form.Cancel();
    });
    form_.RestoreBackup();
  }
}

// However the window goes mid-count, the counting stops there (no more events, no count shown);
// a restore waits until the counting has let go of its copy.
TEST_F(MainFormTest, BackupCountingStopsWhenTheWindowGoes) {
  // Written oldest first; the counting goes newest first and yields only in the long copy.
  WriteBytes(Path("HOSTS"), "current\r\n");
  WriteBytes(Path("HOSTS.20240101-000000.bak"), "0.0.0.0 b.example\r\n");
  WriteBytes(Path("HOSTS.20240102-000000.bak"), std::string(1000, '\n'));
  WriteBytes(Path("HOSTS.20240103-000000.bak"), "0.0.0.0 a.example\r\n");
  for (const std::string way : {"Annuler", "Restaurer"}) {
    BackupEntryCounts counts;
    FakeBackupsView view;
    int yields = 0;
    size_t changes_in_yield = 0;  // attributes set by a restore made during the counting
    BackupsForm form(platform_, prompts_, Path("HOSTS"), counts, [&] {
      if (++yields > 1) return;
      const size_t before = platform_.attribute_calls.size();
      prompts_.answers = {Answer::kYes, Answer::kOk};
      way == "Annuler" ? form.Cancel() : form.RestoreSelected();
      changes_in_yield = platform_.attribute_calls.size() - before;
    });
    form.Start(&view);
    form.CountEntries();
    EXPECT_EQ(view.rows.at(0)[2] + "|" + view.rows.at(1)[2] + "|" + view.rows.at(2)[2] +
                  (view.closed ? " closed " : " ") + std::to_string(yields) + " " + std::to_string(changes_in_yield),
              "1|| closed 1 0")
        << way;
  }
  EXPECT_EQ(ReadBytes(Path("HOSTS")), "0.0.0.0 a.example\r\n");
  EXPECT_EQ(Messages().back(), "Fichier hosts remplace | OK | none | Quorvale");
}

TEST_F(MainFormTest, DroppedFilesLoadInTurnAndOneReportGathersTheirLines) {
  WriteBytes(Path("one.txt"), "0.0.0.0 one.example\r\nbad one\r\n");
  WriteBytes(Path("two.txt"), "0.0.0.0 two.example\r\nbad two\r\n");
  std::filesystem::create_directory(std::filesystem::u8path(Path("folder")));
  std::vector<std::string> unreadable = {Path("folder")};
#ifndef _WIN32
  ASSERT_EQ(mkfifo(Path("pipe").c_str(), 0600), 0);
  unreadable.push_back(Path("pipe"));
#endif
  // With nothing read the status text goes back; with a file read it says the count.
  form_.LoadDroppedFiles(unreadable);
  EXPECT_EQ(view_.status, "Aucune adresse chargee");
  EXPECT_FALSE(LoadCounted());
  unreadable.insert(unreadable.begin(), {Path("one.txt"), Path("folder"), Path("two.txt")});
  form_.LoadDroppedFiles(unreadable);
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"one.example||0.0.0.0", "two.example||0.0.0.0"}));
  EXPECT_TRUE(LoadCounted());
  EXPECT_EQ(view_.status, "2 Adresse(s) chargée(s)");
  EXPECT_EQ(Report(), std::string(kReportHead) + "bad one\r\nbad two\r\n" + kReportTail);
  EXPECT_EQ(platform_.shown_files.size(), 1u);
  EXPECT_TRUE(view_.visible);
  EXPECT_TRUE(view_.window_enabled);
  EXPECT_TRUE(prompts_.messages.empty());
}

}  // namespace
}  // namespace quorvale::testing
