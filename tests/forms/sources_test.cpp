// The Sources window: the sources file edited in place, updates (with progress, failures and
// cancel) loaded into the lists, the allowed names, and "Pourquoi ce nom ?".

#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/command_line.h"
#include "core/access_command.h"
#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/name_origin.h"
#include "core/update_task.h"
#include "forms/main_form_fixture.h"
#include "forms/privileged_step.h"
#include "forms/sources_file_lines.h"
#include "forms/sources_form.h"
#include "forms/texts.h"
#include "forms/why_form.h"
#include "core/update_status.h"
#include "update/update_status.h"
#include "update/update_texts.h"
#include "update/source_update.h"

namespace quorvale::testing {
namespace {

using Lines = std::vector<std::string>;

// The date of a HOSTS source's copy in a row.
const std::regex kCopyDate(R"(HOSTS\|[^|]+\|)");

DownloadResult Served(std::string body, std::string etag = {}) {
  DownloadResult result;
  result.outcome = DownloadResult::Outcome::kDownloaded;
  result.body = std::move(body);
  result.etag = std::move(etag);
  result.http_status = 200;
  return result;
}

DownloadResult Answered(DownloadResult::Outcome outcome, DownloadFailure failure, int status) {
  DownloadResult result;
  result.outcome = outcome;
  result.failure = failure;
  result.http_status = status;
  return result;
}

class SourcesTest : public MainFormTest {
 protected:
  SourcesTest() {
    std::filesystem::create_directories(Path("config"));
    platform_.config_folder = Path("config/");
    platform_.cache_folder = Path("cache/");
  }
  std::string Config(const char* name) const { return Path(std::string("config/") + name); }
  // Opens the Sources window and runs `script` in it.
  void InSources(std::function<void(SourcesForm&, FakeSourcesView&)> script) {
    view_.sources_scripts.push_back(std::move(script));
    form_.ShowSources();
  }
  // Runs "Mettre a jour" and gives the rows as the window then shows them, seconds left out,
  // and its summary in `summary_`.
  Lines UpdateRows() {
    Lines rows;
    InSources([&](SourcesForm& sources, FakeSourcesView& view) {
      sources.Update();
      for (const std::string& row : view.Lines()) rows.push_back(std::regex_replace(row, std::regex(R"(, [0-9.]+ s\))"), ")"));
      summary_ = view.summary;
    });
    return rows;
  }
  std::string summary_;
};

// Clicks every command of the window but "Annuler" and closing, as the views reach them (a box
// shows its click at once), while an update or a privileged step runs: each is ignored, and the
// boxes are put back.
void ClickEveryCommand(SourcesForm& form, FakeSourcesView& view) {
  const auto shown = std::pair(view.Lines(), view.daily.back());
  view.selected = 0, view.rows.at(0).enabled = false, view.daily.push_back(!shown.second);
  for (auto command : {&SourcesForm::Add, &SourcesForm::EditSelected, &SourcesForm::RemoveSelected,
                       &SourcesForm::ShowAllowedNames, &SourcesForm::Update}) (form.*command)();
  form.SwitchSource(0, false), form.SwitchDaily(!shown.second);
  EXPECT_EQ(std::pair(view.Lines(), view.daily.back()), shown);
  EXPECT_EQ(view.editor_openings.size() + view.allowed_shown.size(), 0u);
}

TEST_F(SourcesTest, EditsTheSourcesFileInPlaceKeepingItsComments) {
  WriteBytes(Config("sources.txt"), "# my lists\r\nhttps://a.example/hosts\r\n#https://off.example/x domains\r\n");
  InSources([&](SourcesForm& sources, FakeSourcesView& view) {
    EXPECT_EQ(view.Lines(), (Lines{"on|https://a.example/hosts|HOSTS|||", "off|https://off.example/x|noms de domaines|||"}));
    EXPECT_TRUE(view.enabled[static_cast<int>(SourcesControl::kUpdate)]);
    EXPECT_FALSE(view.enabled[static_cast<int>(SourcesControl::kCancel)]);
    view.editor_inputs = {{{"ftp://x", SourceKind::kHosts}, {"https://a b", SourceKind::kHosts},
                           {" lists/Jean Dupont.txt ", SourceKind::kDomains}},
                          {{"https://c.example/y", SourceKind::kHosts}},
                          {},
                          {}};
    prompts_.answers = {Answer::kOk, Answer::kOk, Answer::kNo, Answer::kYes};
    sources.Add();
    sources.SwitchSource(0, false);
    view.selected = 1;
    sources.EditSelected();
    view.selected = 0;
    sources.EditSelected();  // left with "Annuler"
    sources.RemoveSelected();  // "Non"
    sources.RemoveSelected();
    view.selected = 1;
    sources.EditSelected();
    EXPECT_EQ(view.editor_openings, (Lines{"Ajouter une source||HOSTS", "Modifier la source|https://off.example/x|noms de domaines",
                                           "Modifier la source|https://a.example/hosts|HOSTS",
                                           "Modifier la source|lists/Jean Dupont.txt|noms de domaines"}));
    EXPECT_EQ(view.Lines(), (Lines{"off|https://c.example/y|HOSTS|||", "on|lists/Jean Dupont.txt|noms de domaines|||"}));
  });
  const std::string remove = "Supprimer la source https://a.example/hosts ? | Yes/No, No default | none | Confirmation";
  EXPECT_EQ(Messages(), (Lines{"adresse non reconnue: ftp://x (https://, http://, file:// ou un chemin) | OK | critical | Quorvale",
                               "espace dans l'adresse | OK | critical | Quorvale", remove, remove}));
  EXPECT_EQ(ReadBytes(Config("sources.txt")), "# my lists\r\n#https://c.example/y\r\n\"lists/Jean Dupont.txt\" domains\r\n");
}

// A malformed line is listed with its reason, left out by an update, and can be mended or
// removed; it has no check box.
TEST_F(SourcesTest, MalformedLinesAreListedLeftOutAndMended) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\n  ftp://b.example/x domains \r\nc d e\r\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n")}};
  const std::string ftp = "ligne mal formee||ligne 2 ignoree: adresse non reconnue: ftp://b.example/x (https://, http://, "
                          "file:// ou un chemin)|";
  const std::string fields = "ligne mal formee||ligne 3 ignoree: trop de champs (une adresse, puis hosts ou domains)|";
  Lines rows = UpdateRows();
  rows[0] = std::regex_replace(rows[0], kCopyDate, "HOSTS|D|");
  EXPECT_EQ(rows, (Lines{"on|https://a.example/hosts|HOSTS|D|telechargee (20 octets, 1 entrees)|1",
                         "bad|ftp://b.example/x domains|" + ftp, "bad|c d e|" + fields}));
  EXPECT_EQ(Rows(1), Lines{"ads.example||0.0.0.0"});
  EXPECT_EQ(summary_, "mise a jour: 1 source sur 1");
  InSources([&](SourcesForm& sources, FakeSourcesView& view) {
    sources.SwitchSource(1, false);
    view.selected = 1;
    view.editor_inputs = {{{"https://b.example/x", SourceKind::kDomains}}};
    sources.EditSelected();
    view.selected = 2;
    prompts_.answers = {Answer::kYes};
    sources.RemoveSelected();
    EXPECT_EQ(view.editor_openings, Lines{"Modifier la source|ftp://b.example/x|noms de domaines"});
  });
  EXPECT_EQ(prompts_.messages.back().text, "Supprimer la source c d e ?");
  EXPECT_EQ(ReadBytes(Config("sources.txt")), "https://a.example/hosts\r\nhttps://b.example/x domains\r\n");
}

// The window opens with each source's last result, from its own updates' status or, when
// newer, the system's scheduled one's; the status keeps no password.
TEST_F(SourcesTest, OpensWithEachSourcesLastResult) {
  WriteBytes(Config("sources.txt"), "https://u:pw@a.example/hosts\r\nhttps://b.example/l\r\n");
  platform_.downloads = {{"https://u:pw@a.example/hosts", Served("0.0.0.0 ads.example\n")}};
  UpdateRows();
  const std::filesystem::path cache = *std::filesystem::directory_iterator(Path("cache"));
  const std::vector<SourceStatus> saved = ParseUpdateStatus(ReadBytes((cache / "last-update.txt").string()));
  ASSERT_EQ(saved.size(), 2u);
  EXPECT_EQ(saved[0].address + "|" + saved[1].address + "|" + saved[1].outcome + "|" + std::to_string(saved[1].entries),
            "https://a.example/hosts|https://b.example/l|echec: connexion impossible (aucune copie)|-1");
  platform_.system_sources_folder = Path("sys/etc/quorvale/");
  std::filesystem::create_directories(SystemStatusFolder(platform_));  // POSIX: sys/var/lib/quorvale/
  WriteBytes(SystemStatusFolder(platform_) + "last-update.txt", "4102444800\t7\thttps://b.example/l\tnon modifiee\n");
  Lines rows;
  InSources([&](SourcesForm&, FakeSourcesView& view) { rows = view.Lines(); });
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(std::regex_replace(rows[0], kCopyDate, "HOSTS|D|"),
            "on|https://u:pw@a.example/hosts|HOSTS|D|" + LocalDateText(platform_, saved[0].time) + ": " + saved[0].outcome + "|1");
  EXPECT_EQ(rows[1], "on|https://b.example/l|HOSTS||" + LocalDateText(platform_, 4102444800) + ": non modifiee|7");
}

// Each of the Sources part's windows gives every button and label an access key of its own.
TEST(AccessKeys, EveryControlHasOneThatNoOtherOfItsWindowHas) {
  std::vector<const char*> editor(std::begin(SourceEditorForm::kCaptions), std::end(SourceEditorForm::kCaptions));
  for (const auto& kind : SourceEditorForm::kKindCaptions) editor.push_back(kind.option);
  const std::span<const char* const> windows[] = {SourcesForm::kCaptions, editor, AllowedNamesForm::kCaptions,
                                                  WhyForm::kCaptions};
  for (std::span<const char* const> captions : windows) {
    std::set<int> keys;
    for (const char* caption : captions) {
      std::cmatch key;  // the character after the "&" that is not "&&"
      ASSERT_TRUE(std::regex_search(caption, key, std::regex("^(?:[^&]|&&)*&([[:alnum:]])"))) << caption;
      EXPECT_TRUE(keys.insert(std::tolower(static_cast<unsigned char>(key.str(1)[0]))).second) << caption << ": key taken";
    }
  }
}

// An indented source switched off gets its "#" right before the address, so that it stays a
// source (not a comment) and comes back when switched on.
TEST(SourcesFileLines, AnIndentedSourceSwitchedOffAndOnStaysListed) {
  SourcesFileLines file(" \t https://a.example/l domains\n");
  for (const auto& [on, text] :
       {std::pair{false, "#https://a.example/l domains\n"}, std::pair{true, "https://a.example/l domains\n"}}) {
    file.SetEnabled(0, on);
    EXPECT_EQ(file.Text(), text);
    ASSERT_EQ(file.entries().size(), 1u);
    EXPECT_EQ(file.entries()[0].enabled, on);
  }
}

// A long address is cut in the middle, keeping its file name as long as it can.
TEST(AddressCutToFit, KeepsTheStartAndTheFileName) {
  const std::pair<std::string, std::string> cases[] = {
      {"https://a.example/l.txt", "https://a.example/l.txt"},
      {"https://lists.example.org/very/long/path/hosts.txt", "https://lists.e.../hosts.txt"},
      {"C:\\Users\\Jean Dupont\\Documents\\liste.txt", "C:\\Users\\Jean D...\\liste.txt"},
      {"https://a.example/a-file-name-far-too-long.txt", "...ile-name-far-too-long.txt"},
      {"\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9/a",
       "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9.../a"},
  };
  for (const auto& [address, shown] : cases) {
    EXPECT_EQ(AddressCutToFit(address, [](std::string_view text) { return text.size() <= 28; }), shown);
  }
}

TEST_F(SourcesTest, AnUpdateLoadsTheListsOnceThenKeepsACopyForAFailingSource) {
  LoadHosts("0.0.0.0 before.example\r\n");
  const std::string hosts = ReadBytes(Path("HOSTS"));
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\nhttps://b.example/names domains\r\n");
  WriteBytes(Config("own.txt"), "192.168.1.5 nas.lan\r\n");
  WriteBytes(Config("allow.txt"), "Allowed.Example\r\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n0.0.0.0 allowed.example\nnot a line\n", "e1")},
                         {"https://b.example/names", Served("track.example\n")}};
  prompts_.answers = {Answer::kNo, Answer::kYes};
  EXPECT_EQ(UpdateRows(), (Lines{"on|https://a.example/hosts|HOSTS|||", "on|https://b.example/names|noms de domaines|||"}));
  EXPECT_EQ(Rows(1), Lines{"before.example||0.0.0.0"});  // "Non": nothing fetched
  const size_t reports = platform_.shown_files.size();
  Lines rows = UpdateRows();
  // Each copy's moment (the two may fall on either side of a second).
  const auto cell_after = [](const std::string& row, const std::string& before) {
    const size_t at = row.find(before) + before.size();
    return row.substr(at, row.find('|', at) - at);
  };
  const std::string date = cell_after(rows[0], "HOSTS|"), date_b = cell_after(rows[1], "domaines|");
  EXPECT_EQ(rows, (Lines{"on|https://a.example/hosts|HOSTS|" + date + "|telechargee (55 octets, 2 entrees)|2",
                         "on|https://b.example/names|noms de domaines|" + date_b + "|telechargee (14 octets, 1 entrees)|1"}));
  const Lines question = {std::string(SourcesForm::kReplaceQuestion) + " | Yes/No | none | Confirmation"};
  EXPECT_EQ(Messages(), (Lines{question[0], question[0]}));
  EXPECT_EQ(Rows(1), (Lines{"ads.example||0.0.0.0", "track.example||127.0.0.1"}));
  EXPECT_EQ(Rows(2), Lines{"nas.lan||192.168.1.5"});
  EXPECT_EQ(view_.status, "3 Adresse(s) chargée(s)");
  EXPECT_TRUE(view_.IsEnabled(MainControl::kReplaceHostsItem));
  EXPECT_EQ(platform_.shown_files.size(), reports + 1);
  EXPECT_EQ(Report(), std::string(kReportHead) + "not a line\r\n" + kReportTail);
  EXPECT_EQ(ReadBytes(Path("HOSTS")), hosts);  // the update writes nothing there

  // Again: one source fails, the other is not modified; the lists come from the copies.
  platform_.downloads = {{"https://a.example/hosts", Answered(DownloadResult::Outcome::kFailed, DownloadFailure::kHttpStatus, 500)},
                         {"https://b.example/names", Answered(DownloadResult::Outcome::kNotModified, DownloadFailure::kNone, 304)}};
  prompts_.answers = {Answer::kYes};
  rows = UpdateRows();
  rows[0] = std::regex_replace(rows[0], std::regex("copie du [-0-9]+ [:0-9]+ utilisee"), "copie du C utilisee");
  EXPECT_EQ(rows, (Lines{"on|https://a.example/hosts|HOSTS|" + date + "|echec: reponse HTTP 500 (copie du C utilisee)|2",
                                 "on|https://b.example/names|noms de domaines|" + date_b + "|non modifiee|1"}));
  EXPECT_EQ(Rows(1), (Lines{"ads.example||0.0.0.0", "track.example||127.0.0.1"}));
  EXPECT_EQ(platform_.shown_files.size(), reports + 2);

  // A load that fails half-way (allow.txt cannot be read) takes back what it had added.
  std::filesystem::remove(Config("allow.txt")), std::filesystem::create_directory(Config("allow.txt"));
  prompts_.answers = {Answer::kYes, Answer::kOk};
  EXPECT_TRUE(UpdateRows()[1].ends_with("|non modifiee|"));
  EXPECT_FALSE(view_.IsEnabled(MainControl::kReplaceHostsItem));
}

TEST_F(SourcesTest, AShrunkCopyIsTakenOnlyWhenTheUserSaysSo) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 a.example\n0.0.0.0 b.example\n0.0.0.0 c.example\n")}};
  (void)UpdateRows();
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 z.example\n")}};
  const std::string question = "La source https://a.example/hosts ne donne plus que 1 entrees au lieu de 3. Accepter cette copie ?";
  for (Answer answer : {Answer::kNo, Answer::kYes}) {
    prompts_.answers = {Answer::kYes, answer};
    const std::string state = answer == Answer::kNo ? "echec: 1 entrees au lieu de 3 (moins de la moitie) (copie du C utilisee)|3"
                                                    : "telechargee (18 octets, 1 entrees)|1";
    const std::string row = UpdateRows()[0], after_date = row.substr(row.find('|', row.find("HOSTS|") + 6) + 1);
    EXPECT_EQ(std::regex_replace(after_date, std::regex("copie du [-0-9]+ [:0-9]+ utilisee"), "copie du C utilisee"), state);
    EXPECT_EQ(Messages().back(), question + " | Yes/No | none | Confirmation");
    EXPECT_EQ(Rows(1).size(), answer == Answer::kNo ? 3u : 1u);
  }
}

TEST_F(SourcesTest, CancelKeepsTheCacheAndTheLists) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n")}};
  UpdateRows();
  const std::filesystem::path copy = *std::filesystem::directory_iterator(*std::filesystem::directory_iterator(Path("cache")));
  const std::string cached = ReadBytes(copy.string());
  LoadHosts("0.0.0.0 loaded-since.example\r\n");  // added: the lists are no longer the copy's
  DownloadResult slow = Served("0.0.0.0 other.example\n");
  slow.failure = DownloadFailure::kCancelled;
  platform_.downloads = {{"https://a.example/hosts", slow}};
  prompts_.answers = {Answer::kYes};
  InSources([&](SourcesForm& sources, FakeSourcesView& view) {
    view_.pending_event = [&] {
      EXPECT_TRUE(view.enabled[static_cast<int>(SourcesControl::kCancel)]);
      EXPECT_FALSE(view.enabled[static_cast<int>(SourcesControl::kUpdate)]);
      ClickEveryCommand(sources, view);
      sources.CancelUpdate();
      EXPECT_FALSE(view.enabled[static_cast<int>(SourcesControl::kCancel)]);
    };
    sources.Update();
    EXPECT_EQ(view.cell_log, (Lines{"0:", "0:22 octets", "0:Annulation..."}));
    EXPECT_EQ(view.rows[0].cells[SourcesForm::kStateColumn], "annulee");
    EXPECT_TRUE(view.enabled[static_cast<int>(SourcesControl::kUpdate)]);
  });
  EXPECT_EQ(ReadBytes(copy.string()), cached);
  EXPECT_EQ(Rows(1), (Lines{"ads.example||0.0.0.0", "loaded-since.example||0.0.0.0"}));
}

TEST_F(SourcesTest, WhyShowsWhereANameComesFromAndAllowTakesItOut) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\n");
  WriteBytes(Config("allow.txt"), "kept.example");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n0.0.0.0 Beta.example\n")}};
  UpdateRows();
  EXPECT_FALSE(view_.IsEnabled(MainControl::kWhyItem));
  view_.selected[0] = {1};
  form_.SelectionChanged();
  EXPECT_TRUE(view_.IsEnabled(MainControl::kWhyItem));
  view_.why_allow = {false, true};
  form_.Click(MainControl::kWhyItem);
  EXPECT_EQ(Rows(1).size(), 2u);
  form_.Click(MainControl::kWhyItem);
  const Lines why = {"https://a.example/hosts: ligne 2: 0.0.0.0 Beta.example", "beta.example: dans la liste des noms bloques"};
  EXPECT_EQ(view_.why_shown, (std::vector<Lines>{why, why}));
  EXPECT_EQ(ReadBytes(Config("allow.txt")), "kept.example\r\nbeta.example\r\n");
  EXPECT_EQ(Rows(1), Lines{"ads.example||0.0.0.0"});
  // A name of own.txt is not offered: "Autoriser ce nom" does nothing for it.
  WriteBytes(Config("own.txt"), "0.0.0.0 ads.example\n");
  view_.selected[0] = {0};
  view_.why_allow = {true};
  form_.Click(MainControl::kWhyItem);
  EXPECT_EQ(view_.why_offered, (std::vector<bool>{true, true, false}));
  EXPECT_EQ(ReadBytes(Config("allow.txt")), "kept.example\r\nbeta.example\r\n");

  // The allowed names, and "Retirer".
  InSources([&](SourcesForm& sources, FakeSourcesView& view) {
    view.allowed_removals = {0};
    sources.ShowAllowedNames();
    EXPECT_EQ(view.allowed_shown, (std::vector<Lines>{{"kept.example", "beta.example"}, {"beta.example"}}));
  });
  EXPECT_EQ(ReadBytes(Config("allow.txt")), "beta.example\r\n");
}

// Where "Pourquoi ce nom ?" says a name lands, read from the files without loading them, is
// where the update's load puts it, name by name; and it fails where the load fails, with the
// lines found.
TEST_F(SourcesTest, WhyGivesTheListsOfTheUpdatesLoad) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\nhttps://b.example/list domains\r\n");
  WriteBytes(Config("own.txt"), "10.0.0.5 nas.lan\n0.0.0.0 mine.example\n");
  WriteBytes(Config("allow.txt"), "GONE.example.\nwww.allowed.example\nTwin.example\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n0.0.0.0 www.twin.example\n"
                                                            "10.1.1.1 nas.lan\n0.0.0.0 Gone.example\n127.0.0.1 dot.example.\n"
                                                            "10.2.2.2 both.example\n")},
                         {"https://b.example/list", Served("track.example\nwww.both.example\nallowed.example\n")}};
  UpdateRows();
  const UpdatePlaces places = PlacesOf(platform_, Config("sources.txt"));
  std::vector<Source> sources;
  std::string error;
  ASSERT_TRUE(ReadSources(platform_, places, &sources, &error));
  std::vector<SourceResult> results = CachedSources(platform_, places, sources);
  Session loaded;
  size_t allowed = 0;
  ASSERT_TRUE(LoadUpdate(platform_, places, results, loaded, {}, &allowed).ok());
  const std::pair<std::string, std::string> cases[] = {
      {"ADS.example", "b"}, {"www.ads.example", ""}, {"www.twin.example", ""}, {"twin.example", ""},
      {"gone.example", ""}, {"nas.lan", "r"}, {"mine.example", "b"}, {"both.example", "br"}, {"WWW.both.example", "b"},
      {"dot.example.", "b"}, {"dot.example", ""}, {"allowed.example", ""}, {"track.example.", ""}, {"www.abc", ""}};
  for (const auto& [name, lists] : cases) {
    NameTrace trace(name);
    NameSourceLines found;
    ASSERT_TRUE(TraceName(platform_, places, results, {}, trace, &found).ok());
    EXPECT_EQ(std::string(trace.blocked() ? "b" : "") + (trace.redirected() ? "r" : ""), lists) << name;
    EXPECT_EQ(trace.blocked(), ListWritesName(loaded.blocked, name)) << name;
    EXPECT_EQ(trace.redirected(), ListWritesName(loaded.redirected, name)) << name;
  }
  platform_.failing_reads = {places.allow_path};
  Lines lines;
  EXPECT_FALSE(ExplainName(platform_, Config("sources.txt"), "ads.example", &lines, &error));
  EXPECT_EQ(error, LoadUpdate(platform_, places, results, loaded, {}, &allowed).ToString());
  EXPECT_EQ(lines, Lines{"https://a.example/hosts: ligne 1: 0.0.0.0 ads.example"});
}

// The window's replace after an update keeps the HOSTS file's own redirections through own.txt,
// once.
TEST_F(SourcesTest, TheReplaceAfterAnUpdateKeepsTheMachinesOwnLines) {
  WriteBytes(Config("sources.txt"), "https://a.example/hosts\r\n");
  WriteBytes(Config("own.txt"), "192.168.1.5 nas.lan");
  WriteBytes(Path("HOSTS"), "127.0.1.1 Ubuntu-PC # machine\n192.168.1.5 nas.lan\n0.0.0.0 gone.example\n10.0.0.2 ads.example\n"
                             "192.168.1.7 printer.lan\n");
  platform_.downloads = {{"https://a.example/hosts", Served("0.0.0.0 ads.example\n")}};
  UpdateRows();
  for (int run = 0; run < 2; ++run) {
    view_.options_scripts.push_back(ClickOk);
    prompts_.answers = {Answer::kOk, Answer::kNo, Answer::kOk};
    form_.ReplaceHosts();
  }
  EXPECT_EQ(ReadBytes(Config("own.txt")), "192.168.1.5 nas.lan\r\n# Lignes du fichier hosts gardees par la mise a jour du " +
                                              platform_.LocalDateTimeText() +
                                              "\r\n192.168.1.7 printer.lan\r\n127.0.1.1 ubuntu-pc # machine\r\n");
  const std::string dns = "Le cache DNS n'a pas ete vide: ce systeme n'offre aucun moyen connu de le vider.";
  ASSERT_EQ(prompts_.messages.size(), 6u);
  EXPECT_EQ(prompts_.messages[2].detail, "2 lignes du fichier hosts actuel gardees dans own.txt\n" + dns);
  EXPECT_EQ(prompts_.messages[5].detail, dns);
  EXPECT_NE(ReadBytes(Path("HOSTS")).find("127.0.1.1\tubuntu-pc\r\n"), std::string::npos);
}

// "Mettre a jour chaque jour": its state asked of the system, then the helper's schedule step
// run with rights, with the user's files as its input (the window's commands waiting
// meanwhile), a refusal or no way to ask for rights putting the box back.
TEST_F(SourcesTest, TheDailyBoxRunsTheScheduleStepWithRights) {
  platform_.system_dir = Path("system");
#ifdef _WIN32
  WriteBytes(Path("quorvale-helper.exe"), "");
  const Lines query = QueryUpdateTaskArgs(platform_.system_dir + "\\schtasks.exe");
#else
  WriteBytes(Path("quorvale-helper"), "");
  const Lines query = {"systemctl", "is-enabled", "quorvale-update.timer"};
#endif
  const std::string input = "21\nhttps://a.example/h\r\n0\n1\nb";
  WriteBytes(Config("sources.txt"), "https://a.example/h\r\n");
  WriteBytes(Config("allow.txt"), "b");
  platform_.program_exit_code = 3;
  prompts_.answers = {Answer::kOk, Answer::kOk, Answer::kOk};
  platform_.elevated_run = [] { return ElevatedRun{ElevatedRun::Kind::kEnded, 0, FormatHelperOutcome({}), {}}; };
  InSources([&](SourcesForm& sources, FakeSourcesView& view) {
    EXPECT_EQ(platform_.started, std::vector<Lines>{query});
    platform_.elevated_run = [&, done = platform_.elevated_run] { return ClickEveryCommand(sources, view), done(); };
    sources.SwitchDaily(true);
    platform_.elevated_run = [] { return ElevatedRun{ElevatedRun::Kind::kRefused, -1, "", {}}; };
    sources.SwitchDaily(false);
    platform_.elevated_run = nullptr;
    std::filesystem::remove(Path(kFileNamesIgnoreCase ? "quorvale-helper.exe" : "quorvale-helper"));
    sources.SwitchDaily(false);
    EXPECT_EQ(view.daily, (std::vector<bool>{false, true, false, true, true}));
  });
  EXPECT_EQ(platform_.elevated_runs, (std::vector<Lines>{{"schedule", "on"}, {"schedule", "off"}}));
  Lines framed(2);
  FramedContents(WholeContents(input))(AppendTo(&framed[0]));
  FramedContents({})(AppendTo(&framed[1]));
  EXPECT_EQ(platform_.elevated_inputs, framed);
  EXPECT_EQ(Messages(), (Lines{"Mise a jour quotidienne activee | OK | none | Quorvale",
                               "Echec! la mise a jour quotidienne n'a pas pu etre arretee. | OK | critical | Quorvale",
                               "Echec! la mise a jour quotidienne n'a pas pu etre arretee. | OK | critical | Quorvale"}));
  EXPECT_EQ(prompts_.messages[0].detail, SourcesForm::kDailyCopied);
  EXPECT_EQ(prompts_.messages[1].detail, "Authentification refusee ou annulee.");
  EXPECT_EQ(prompts_.messages[2].detail, RightsNeededDetail({"quorvale-cli", "--schedule", "off"}));
  platform_.program_exit_code = 0;
  InSources([](SourcesForm&, FakeSourcesView& view) { EXPECT_EQ(view.daily, std::vector<bool>{true}); });
}

// A helper that ends with exit code 2, even after an outcome line that says done, has failed:
// each window command that runs it says so, with the exit code.
TEST_F(SourcesTest, AHelperExitTwoIsAFailureInEveryCommand) {
  const std::string helper_file = Path(kFileNamesIgnoreCase ? "quorvale-helper.exe" : "quorvale-helper");
  WriteBytes(helper_file, "");
  LoadHosts("0.0.0.0 ads.example\r\n");
  WriteBytes(Path("HOSTS.20240101-000000.bak"), "x\r\n");
  WriteBytes(Config("sources.txt"), "https://a.example/h\r\n");
  platform_.replace_in_place = false;
  platform_.elevated_run = [] {
    return ElevatedRun{ElevatedRun::Kind::kEnded, kHelperExitFailed, FormatHelperOutcome({}), {}};
  };
  prompts_.messages.clear();
  view_.options_scripts.push_back(ClickOk);
  view_.backups_scripts.push_back([](BackupsForm& backups, FakeBackupsView& view) {
    view.selected = 0;
    backups.RestoreSelected();
  });
  prompts_.answers = {Answer::kOk, Answer::kYes, Answer::kOk, Answer::kYes, Answer::kOk, Answer::kOk, Answer::kOk};
  form_.ReplaceHosts();
  form_.RestoreBackup();
  form_.ToggleLock();
  InSources([](SourcesForm& sources, FakeSourcesView&) { sources.SwitchDaily(true); });
  Lines messages = Messages();
  ASSERT_EQ(messages.size(), 7u);
  messages[3] = std::regex_replace(messages[3], std::regex("du [-0-9]+ [:0-9]+ "), "du D ");
  EXPECT_EQ(messages, (Lines{"Voulez vous vraiment remplacer le ficher hosts ? | OK/Cancel | none | Confirmation",
                             kCommentsLine, kFailedLine,
                             "Remplacer le fichier hosts par la sauvegarde du D ? | Yes/No | none | Confirmation",
                             kFailedLine, "L'outil subinacl a echoue. | OK | critical | Quorvale",
                             "Echec! la mise a jour quotidienne n'a pas pu etre activee. | OK | critical | Quorvale"}));
  for (size_t i : {2u, 4u, 5u, 6u}) {
    EXPECT_EQ(prompts_.messages[i].detail, platform_.CanonicalPath(helper_file) + ": exit code 2");
  }
  EXPECT_EQ(platform_.elevated_runs,
            (std::vector<Lines>{{"replace"}, {"restore", "HOSTS.20240101-000000.bak"}, {"lock"}, {"schedule", "on"}}));
}

// The words of a suggested line, split as the shell would (the paths hold no quote or backslash).
Lines SuggestedWords(const std::string& detail) {
#ifdef _WIN32
  const std::string prefix = texts::kRightsNeededWindows, suffix;
#else
  const std::string prefix = std::string(texts::kRightsNeeded) + "sudo ", suffix;
#endif
  const char quote = kFileNamesIgnoreCase ? '"' : '\'';
  EXPECT_TRUE(detail.starts_with(prefix) && detail.ends_with(suffix)) << detail;
  Lines words(1);
  bool quoted = false;
  for (char c : detail.substr(prefix.size(), detail.size() - prefix.size() - suffix.size())) {
    if (c == quote) quoted = !quoted;
    else if (c == ' ' && !quoted) words.emplace_back();
    else words.back() += c;
  }
  return words;
}

// Each command line that a message suggests (replace, lock, restore, daily update on and off)
// is accepted by the parser of the program it names; a local source is refused before rights
// are asked for.
TEST_F(SourcesTest, SuggestedCommandLinesAreAcceptedByTheirPrograms) {
  platform_.replace_in_place = false;
  platform_.executable_path = Path("my dir/quorvale");
  platform_.config_folder = Path("my dir/");
  std::filesystem::create_directories(Path("my dir"));
  const std::string sources = Path("my dir/sources.txt"), backup = "HOSTS.20240101-000000.bak";
  const std::string tool_file = Path(kFileNamesIgnoreCase ? "my dir/subinacl.exe" : "my dir/subinacl");
  WriteBytes(tool_file, "");
  const std::string tool = platform_.CanonicalPath(tool_file);  // on Windows, with backslashes
  WriteBytes(Path(backup), "x\r\n");
  WriteBytes(sources, "/etc/shadow\n");
  prompts_.answers.assign(6, Answer::kOk);
  form_.ReplaceHosts();
  form_.ToggleLock();
  view_.backups_scripts.push_back([](BackupsForm& backups, FakeBackupsView& view) { view.selected = 0, backups.RestoreSelected(); });
  form_.RestoreBackup();
  InSources([&](SourcesForm& form, FakeSourcesView&) {
    form.SwitchDaily(true);
    WriteBytes(sources, "https://a.example/h\n");
    form.SwitchDaily(true);
    form.SwitchDaily(false);
  });
  ASSERT_EQ(prompts_.messages.size(), 6u);
  EXPECT_EQ(prompts_.messages[3].detail,
            PlacesOf(platform_, sources).sources_path + ": ligne 1: source locale refusee pour la mise a jour du systeme: /etc/shadow");
  for (const auto& [index, words] : std::vector<std::pair<size_t, Lines>>{
           {0, {"quorvale-cli", "--hosts", "FICHIER", "--replace-hosts"}},
           {1, {tool, "/file", platform_.hosts_path, "/Deny=alice=F"}},
           {2, {"quorvale-cli", "--restore-backup", backup}},
           {4, {"quorvale-cli", "--sources", sources, "--schedule", "daily"}},
           {5, {"quorvale-cli", "--schedule", "off"}}}) {
    EXPECT_EQ(SuggestedWords(prompts_.messages[index].detail), words);
    const Lines args(words.begin() + 1, words.end());
    AccessCommand lock;
    std::string why;
    EXPECT_TRUE(index == 1 ? ParseAccessCommand(args, &lock, &why)
                           : ParseCommandLine(args).outcome == CommandLine::Outcome::kRun) << index;
  }
}

}  // namespace
}  // namespace quorvale::testing
