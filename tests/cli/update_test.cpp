#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.h"
#include "core/sha256.h"
#include "core/source_copy.h"
#include "support/test_server.h"

namespace quorvale::testing {
namespace {

// Updates from sources on disk (paths and file:// addresses), which behave as downloads do
// with the file's size and time for validators.
class UpdateTest : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(File("sys/drivers/etc"));
    hosts_ = Crafted("sys/drivers/etc/HOSTS", "10.1.1.1 kept-by-hand.example\n");
    std::filesystem::create_directories(File("by-hand/drivers/etc"));
    Crafted("by-hand/drivers/etc/HOSTS", "10.1.1.1 kept-by-hand.example\n");
    own_ = Crafted("own.txt", "192.168.1.5 nas.lan\n");
    a_ = Crafted("a.hosts", "0.0.0.0 ads.example\n0.0.0.0 both.example\nnot a line\n");
    b_ = Crafted("b.txt", "Both.example\ntrack.example\nallowed.example\n");
    allow_ = Crafted("allow.txt", "allowed.example\n");
    sources_ = Crafted("sources.txt", "# my lists\na.hosts\nfile://" + b_ + " domains\n");
    // No program that empties a DNS cache is found.
    launch_.env = {{"XDG_CACHE_HOME", File("cache")}, {"QUORVALE_SYSTEM_DIR", File("sys")}, {"PATH", File("bin")}};
  }

  CliResult Update(std::vector<std::string> more = {"--replace-hosts"}) {
    std::vector<std::string> args = {"--sources", sources_, "--update"};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args, launch_);
  }
  size_t BackupCount() const {
    size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(File("sys/drivers/etc"))) {
      count += entry.path().extension() == ".bak";
    }
    return count;
  }
  // The messages with the seconds of each download taken out.
  static std::string Steady(const std::string& err) {
    return std::regex_replace(err, std::regex(R"(, [0-9]+\.[0-9] s\))"), ")");
  }

  CliLaunch launch_;
  std::string hosts_, own_, a_, b_, allow_, sources_;
};

// A zone is left as it is when nothing changed; a change gives it the next serial. The
// command after a write runs only when something was written; its failure is exit 3.
TEST_F(UpdateTest, AZoneIsWrittenOnlyWhenSomethingChanged) {
  const std::string after = "/usr/bin/touch \"" + File("ran mark") + "\"";
  ASSERT_EQ(Update({"--write-rpz", File("z"), "--after-write", after}).status, 0);
  ASSERT_TRUE(std::filesystem::remove(File("ran mark")));
  const std::string zone = ReadBytes(File("z"));
  EXPECT_NE(zone.find(" 2023111400 3600 600 604800 300\n@ IN NS localhost.\nnas.lan A 192.168.1.5\nads.example CNAME "
                      ".\nboth.example CNAME .\ntrack.example CNAME .\n"),
            std::string::npos)
      << zone;
  const CliResult second = Update({"--write-rpz", File("z"), "--after-write", after});
  EXPECT_NE(second.err.find("; rien n'a change, rien n'est ecrit\n"), std::string::npos) << second.err;
  EXPECT_EQ(ReadBytes(File("z")), zone);
  EXPECT_FALSE(std::filesystem::exists(File("ran mark")));
  WriteBytes(a_, "0.0.0.0 ads.example\n");
  const CliResult third = Update({"--write-rpz", File("z"), "--after-write", "/usr/bin/false"});
  EXPECT_EQ(third.status, 3);
  EXPECT_NE(third.err.find("quorvale-cli: /usr/bin/false: a echoue (code 1)\n"), std::string::npos) << third.err;
  EXPECT_NE(ReadBytes(File("z")).find(" 2023111401 3600 "), std::string::npos);
}

TEST_F(UpdateTest, UpdatesLoadAsByHandAndWriteOnlyWhatChanged) {
  CliResult first = Update({"--replace-hosts", "--report", File("report.txt")});
  ASSERT_EQ(first.status, 0) << first.err;
  // One report for the whole update.
  EXPECT_NE(ReadBytes(File("report.txt")).find("not a line"), std::string::npos);
  EXPECT_EQ(Steady(first.err),
            "quorvale-cli: a.hosts: telechargee (52 octets, 2 entrees)\n"
            "quorvale-cli: file://" + b_ + ": telechargee (43 octets, 3 entrees)\n"
            "quorvale-cli: 1 ligne du fichier hosts actuel gardee dans own.txt\n"
            "quorvale-cli: cache DNS non vide: aucun cache DNS connu sur ce systeme\n"
            "quorvale-cli: mise a jour: 2 sources sur 2, 4 entrees en tout; ecrit: " + hosts_ + "\n");
  // The machine's own line, which no source gives, stays through own.txt: by hand, as written.
  EXPECT_EQ(ReadBytes(own_), "192.168.1.5 nas.lan\n# Lignes du fichier hosts gardees par la mise a jour du 11/14/23 "
                             "22:13:20\r\n10.1.1.1 kept-by-hand.example\r\n");
  CliLaunch by_hand = launch_;
  by_hand.env[1].second = File("by-hand");
  const std::string mark = "/usr/bin/touch \"" + File("replaced mark") + "\"";
  CliResult manual = Run({"--hosts", own_, "--hosts", a_, "--domains", b_, "--remove-names", allow_, "--replace-hosts",
                          "--after-write", mark},
                         by_hand);
  ASSERT_EQ(manual.status, 0) << manual.err;
  EXPECT_TRUE(std::filesystem::exists(File("replaced mark")));
  EXPECT_EQ(ReadBytes(hosts_), ReadBytes(File("by-hand/drivers/etc/HOSTS")));
  EXPECT_EQ(BackupCount(), 1u);

  // Nothing new (own.txt's new line included): nothing written, no backup.
  CliResult second = Update();
  EXPECT_EQ(second.status, 0) << second.err;
  EXPECT_EQ(second.err,
            "quorvale-cli: a.hosts: non modifiee\n"
            "quorvale-cli: file://" + b_ + ": non modifiee\n"
            "quorvale-cli: mise a jour: 2 sources sur 2, 4 entrees en tout; rien n'a change, rien n'est ecrit\n");
  EXPECT_EQ(BackupCount(), 1u);

  // A dead source whose last copy is unchanged changes nothing either.
  std::filesystem::rename(b_, File("b.gone"));
  CliResult dead = Update({"--replace-hosts", "--quiet"});
  EXPECT_EQ(dead.status, 3);
  EXPECT_TRUE(std::regex_match(dead.err, std::regex("quorvale-cli: file://.*b.txt: echec: fichier introuvable \\(copie "
                                                    "du [0-9-]+ [0-9:]+ utilisee\\)\n")))
      << dead.err;
  EXPECT_EQ(BackupCount(), 1u);

  // A HOSTS file edited by hand since is written again; the lines own.txt gives stay there only.
  const std::string own = ReadBytes(own_);
  WriteBytes(hosts_, "10.1.1.1 Kept-By-Hand.example\n192.168.1.5 nas.lan\n127.0.0.1 edited\n");
  CliResult edited = Update();
  EXPECT_EQ(edited.status, 3);
  EXPECT_NE(edited.err.find(hosts_ + " a ete modifie par un autre programme depuis la derniere mise a jour; il est "
                                     "reecrit\n"),
            std::string::npos)
      << edited.err;
  EXPECT_EQ(ReadBytes(own_), own);
  EXPECT_EQ(BackupCount(), 2u);
  const std::string log = ReadBytes(File("cache/quorvale/") + std::filesystem::directory_iterator(File("cache/quorvale"))
                                                                   ->path().filename().string() + "/update.log");
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 4);
  EXPECT_NE(log.find("\tok\tmise a jour: 2 sources sur 2, 4 entrees en tout; ecrit: "), std::string::npos) << log;
}

TEST_F(UpdateTest, AnotherLoadBesideTheUpdateIsWrittenWhenItChanges) {
  const std::string extra = Crafted("extra.hosts", "0.0.0.0 one.example\n");
  const std::vector<std::string> args = {"--hosts", extra, "--sources", sources_, "--update", "--write-hosts", File("out")};
  ASSERT_EQ(Run(args, launch_).status, 0);
  WriteBytes(extra, "0.0.0.0 two.example\n");
  CliResult again = Run(args, launch_);
  EXPECT_EQ(again.status, 0);
  EXPECT_NE(again.err.find("4 entrees en tout; ecrit: " + File("out") + "\n"), std::string::npos) << again.err;
  EXPECT_NE(ReadBytes(File("out")).find("\ttwo.example\r\n"), std::string::npos);
}

TEST_F(UpdateTest, WhyNamesTheSourcesTheAllowFileAndTheList) {
  ASSERT_EQ(Update({}).status, 0);
  CliResult why = Run({"--sources", sources_, "--why", "both.example"}, launch_);
  EXPECT_EQ(why.status, 0) << why.err;
  EXPECT_EQ(why.out,
            "a.hosts: ligne 2: 0.0.0.0 both.example\n"
            "file://" + b_ + ": ligne 1: Both.example\n"
            "both.example: dans la liste des noms bloques\n");
  why = Run({"--sources", sources_, "--why", "allowed.example"}, launch_);
  EXPECT_EQ(why.out,
            "file://" + b_ + ": ligne 3: allowed.example\n" + allow_ + ": ligne 1: allowed.example (retire des listes)\n"
            "allowed.example: dans aucune liste\n");
}

// A malformed line is left out and said, and the run goes on to exit 3; no source at all, or
// a local one in the system's sources file, stops it before any write.
TEST_F(UpdateTest, AMalformedLineIsLeftOutAndNoSourceStopsBeforeAnyWrite) {
  WriteBytes(sources_, "a.hosts\nftp://lists.example/x hosts\n\"a b\n");
  CliResult bad = Update({"--write-hosts", File("out")});
  EXPECT_EQ(bad.status, 3);
  EXPECT_EQ(Steady(bad.err), "quorvale-cli: " + sources_ +
                                 ": ligne 2 ignoree: adresse non reconnue: ftp://lists.example/x (https://, http://, "
                                 "file:// ou un chemin)\n"
                                 "quorvale-cli: " + sources_ + ": ligne 3 ignoree: guillemet non ferme\n"
                                 "quorvale-cli: a.hosts: telechargee (52 octets, 2 entrees)\n"
                                 "quorvale-cli: mise a jour: 1 source sur 1, 3 entrees en tout; ecrit: " + File("out") + "\n");
  EXPECT_NE(ReadBytes(File("out")).find("\tads.example\r\n"), std::string::npos);
  WriteBytes(sources_, "missing.hosts\n");
  CliResult none = Update();
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err,
            "quorvale-cli: missing.hosts: echec: fichier introuvable (aucune copie)\n"
            "quorvale-cli: aucune source n'a pu etre obtenue, rien n'est charge\n"
            "quorvale-cli: mise a jour: 0 sources sur 1\n");
  // The system's sources file, read as root by the scheduled update, takes web addresses only.
  std::filesystem::create_directories(File("sys/etc/quorvale"));
  sources_ = File("sys/etc/quorvale/sources.txt");
  for (const char* local : {"../shadow", "/etc/shadow", "file:///root/x"}) {
    WriteBytes(sources_, std::string(local) + "\n");
    EXPECT_EQ(Update().err, "quorvale-cli: " + sources_ + ": ligne 1: " + (local[0] == '.' ? "chemin relatif refuse" :
              "source locale refusee") + " pour la mise a jour du systeme: " + local + "\n");
  }
  EXPECT_EQ(ReadBytes(hosts_), "10.1.1.1 kept-by-hand.example\n");
}

// Root given a cache another user may change (sudo -E) keeps its copies in the system's: a
// link planted as a copy leads nowhere.
TEST_F(UpdateTest, RootKeepsNoCopyInACacheAnotherUserMayChange) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root";
  const std::string folder = "sources-" + Sha256Hex(sources_).substr(0, 16) + "/", copies = File("cache/quorvale/") + folder;
  std::filesystem::create_directories(copies);
  std::filesystem::create_symlink(File("root-x"), copies + CopyFileName("a.hosts", "hosts"));
  ASSERT_EQ(chown(File("cache").c_str(), 65534, 65534), 0);
  const bool system_cache_was_there = std::filesystem::exists("/var/cache/quorvale");
  EXPECT_EQ(Update({"--write-hosts", File("out")}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(File("root-x")));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(copies), {}), 1);
  std::filesystem::remove_all("/var/cache/quorvale/" + folder);
  if (!system_cache_was_there) std::filesystem::remove("/var/cache/quorvale");
}

}  // namespace
}  // namespace quorvale::testing

namespace quorvale::testing {
namespace {

// Updates over the tests' HTTP server on loopback, which serves the files of a folder with
// their SHA-256 as ETag.
class HttpUpdateTest : public CliTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(File("served"));
    for (int i = 0; i < kLists; ++i) Serve(i, "");
    server_ = std::make_unique<TestServer>(std::vector<std::string>{"--root", File("served")});
    ASSERT_FALSE(server_->ports().empty());
    std::string lines;
    for (int i = 0; i < kLists; ++i) lines += Address(i) + "\n";
    sources_ = Crafted("sources.txt", lines);
    // Loopback is reached directly, whatever proxy the machine has.
    launch_.env = {{"XDG_CACHE_HOME", File("cache")}, {"no_proxy", "*"}, {"NO_PROXY", "*"}};
  }
  // List `i`, `names` names long, each with `tag` in it.
  void Serve(int i, const std::string& tag, int names = 3) {
    std::string text;
    for (int n = 0; n < names; ++n) text += "0.0.0.0 n" + std::to_string(n) + tag + ".list" + std::to_string(i) + ".example\n";
    WriteBytes(File("served/list" + std::to_string(i)), text);
  }
  std::string Address(int i) const {
    return "http://127.0.0.1:" + std::to_string(server_->ports()[0]) + "/files/list" + std::to_string(i);
  }
  std::vector<std::string> Update() const { return {"--sources", sources_, "--update", "--write-hosts", File("out")}; }

  static constexpr int kLists = 3;
  std::unique_ptr<TestServer> server_;
  std::string sources_;
  CliLaunch launch_;
};

// The update of the system's sources file (the scheduled one) leaves its status where every
// user's window reads it, without the addresses' passwords, whatever its umask.
TEST_F(HttpUpdateTest, TheSystemsUpdateLeavesItsStatusForEveryUser) {
  std::filesystem::create_directories(File("sys/etc/quorvale"));
  const std::string secret = "http://user:secret@" + Address(0).substr(7);
  sources_ = Crafted("sys/etc/quorvale/sources.txt", secret + "\n" + Address(1) + "x\n");
  launch_.env.push_back({"QUORVALE_SYSTEM_DIR", File("sys")});
  const mode_t umask_before = umask(077);
  CliResult run = Run(Update(), launch_);
  umask(umask_before);
  EXPECT_EQ(run.status, 3) << run.err;
  const std::string path = File("sys/var/lib/quorvale/last-update.txt");
  const std::string status = std::regex_replace(ReadBytes(path), std::regex(R"(, [0-9.]+ s\))"), ")");
  EXPECT_EQ(std::regex_replace(status, std::regex(R"((^|\n)[0-9]+\t)"), "$1T\t"),
            "T\t3\t" + Address(0) + "\ttelechargee (75 octets, 3 entrees)\nT\t-\t" + Address(1) +
                "x\techec: reponse HTTP 404 (aucune copie)\n");
  struct stat info {};
  ASSERT_EQ(stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(HttpUpdateTest, NotModifiedAnswersWriteNothingAndAFailedSourceKeepsItsCopy) {
  CliResult first = Run(Update(), launch_);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_NE(first.err.find(Address(0) + ": http n'est pas protege, la liste a pu etre modifiee en chemin\n"),
            std::string::npos);
  const std::string written = ReadBytes(File("out"));

  CliResult second = Run(Update(), launch_);
  EXPECT_EQ(second.status, 0);
  EXPECT_NE(second.err.find(Address(2) + ": non modifiee\n"), std::string::npos) << second.err;
  EXPECT_NE(second.err.find("3 sources sur 3, 9 entrees en tout; rien n'a change, rien n'est ecrit\n"),
            std::string::npos)
      << second.err;

  std::filesystem::remove(File("served/list1"));
  CliResult dead = Run(Update(), launch_);
  EXPECT_EQ(dead.status, 3);
  EXPECT_TRUE(std::regex_search(dead.err, std::regex(Address(1) + ": echec: reponse HTTP 404 \\(copie du [0-9-]+ "
                                                                 "[0-9:]+ utilisee\\)\n")))
      << dead.err;
  EXPECT_EQ(ReadBytes(File("out")), written);
}

// A server that sends no validators sends the whole body each time: the same body again
// changes nothing, and nothing is written.
TEST_F(HttpUpdateTest, TheSameBodyWithoutValidatorsWritesNothing) {
  WriteBytes(File("served/no-validators"), "0.0.0.0 a.example\n");
  const std::string address = "http://127.0.0.1:" + std::to_string(server_->ports()[0]) + "/files/no-validators";
  WriteBytes(sources_, address + "\n");
  ASSERT_EQ(Run(Update(), launch_).status, 0);
  const auto written = std::filesystem::last_write_time(File("out"));
  const CliResult second = Run(Update(), launch_);
  EXPECT_EQ(second.status, 0);
  EXPECT_EQ(std::regex_replace(second.err, std::regex(R"(, [0-9]+\.[0-9] s\))"), ")"),
            "quorvale-cli: " + address + ": telechargee (18 octets, 1 entrees)\n"
            "quorvale-cli: " + address + ": http n'est pas protege, la liste a pu etre modifiee en chemin\n"
            "quorvale-cli: mise a jour: 1 source sur 1, 1 entrees en tout; rien n'a change, rien n'est ecrit\n");
  EXPECT_EQ(std::filesystem::last_write_time(File("out")), written);
}

// A body that does not look like a list keeps the last good copy, and says why.
TEST_F(HttpUpdateTest, ABodyThatIsNoListKeepsTheLastCopyUnlessShrinkIsAccepted) {
  auto names = [](const std::string& letters, int row) {
    std::string text;
    for (char letter : letters) text += std::string("0.0.0.0 ") + letter + std::to_string(row) + ".example\n";
    return text;
  };
  // The served file, its body after the first run ("-" removes it), and the source's line
  // in the second run and in a third one with --accept-shrink.
  const std::array<std::array<std::string, 4>, 5> rows = {{
      {"html", "\xEF\xBB\xBF\r\n <!DOCTYPE html><p>0.0.0.0 portal.example</p>\n", "echec: page HTML au lieu d'une liste (copie du D utilisee)", "echec: page HTML au lieu d'une liste (copie du D utilisee)"},
      {"empty", "", "echec: aucune entree (copie du D utilisee)", "telechargee (0 octets, 0 entrees)"},
      {"shrunk", names("a", 2), "echec: 1 entrees au lieu de 4 (moins de la moitie) (copie du D utilisee)", "telechargee (19 octets, 1 entrees)"},
      {"gone", "-", "echec: reponse HTTP 404 (copie du D utilisee)", "echec: reponse HTTP 404 (copie du D utilisee)"},
      {"long-etag", names("abcd", 4), "telechargee (76 octets, 4 entrees)", "telechargee (76 octets, 4 entrees)"}}};
  auto address = [&](const std::string& name) {
    return "http://127.0.0.1:" + std::to_string(server_->ports()[0]) + "/files/" + name;
  };
  std::string lines;
  for (int i = 0; i < 5; ++i) {
    WriteBytes(File("served/" + rows[i][0]), names("abcd", i));
    lines += address(rows[i][0]) + "\n";
  }
  WriteBytes(sources_, lines);
  CliResult first = Run(Update(), launch_);
  ASSERT_EQ(first.status, 0) << first.err;
  for (const auto& row : rows) {
    if (row[1] == "-") std::filesystem::remove(File("served/" + row[0]));
    else WriteBytes(File("served/" + row[0]), row[1]);
  }
  for (int run : {2, 3}) {
    std::vector<std::string> args = Update();
    if (run == 3) args.push_back("--accept-shrink");
    CliResult result = Run(args, launch_);
    EXPECT_EQ(result.status, 3);
    const std::string err = std::regex_replace(
        std::regex_replace(result.err, std::regex("du [0-9-]+ [0-9:]+ utilisee"), "du D utilisee"),
        std::regex(R"(, [0-9]+\.[0-9] s\))"), ")");
    for (const auto& row : rows) {
      EXPECT_NE(err.find("quorvale-cli: " + address(row[0]) + ": " + row[run] + "\n"), std::string::npos) << err;
    }
    EXPECT_EQ(err.find("; rien n'a change, rien n'est ecrit\n") != std::string::npos, run == 2) << err;
  }
  const std::string out = ReadBytes(File("out"));
  for (const char* name : {"\ta0.", "\ta2.", "\td3.", "\td4."}) EXPECT_NE(out.find(name), std::string::npos) << name;
  for (const char* name : {"\ta1.", "\tb2.", "\tportal."}) EXPECT_EQ(out.find(name), std::string::npos) << name;
  // The shrunk copy's count is the reference now.
  WriteBytes(File("served/shrunk"), names("z", 2));
  EXPECT_NE(Run(Update(), launch_).err.find(address("shrunk") + ": telechargee (19 octets, 1 entrees"), std::string::npos);
}

// However an update is stopped, each copy in the cache is one download's body with that
// download's own validators.
TEST_F(HttpUpdateTest, AKilledUpdateLeavesEachCopyWholeWithItsOwnValidators) {
  CliResult first = Run(Update(), launch_);
  ASSERT_EQ(first.status, 0) << first.err;
  for (int delay_ms : {2, 10, 25, 50, 100}) {
    for (int i = 0; i < kLists; ++i) Serve(i, std::to_string(delay_ms), 40000);
    StartedCli started = StartCliProgram(Update(), scratch_.File("killed"), launch_);
    ASSERT_GT(started.pid, 0) << started.failure;
    std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
    kill(started.pid, SIGKILL);
    WaitForCli(started);
    for (const auto& folder : std::filesystem::directory_iterator(File("cache/quorvale"))) {
      for (const auto& entry : std::filesystem::directory_iterator(folder.path())) {
        const std::string name = entry.path().filename().string();
        // A write's temporary name lives for the moment between its link and its rename; a
        // body waits in a pending file until the load (the next fetch removes one left).
        if (name == "written.txt" || name == "update.log" || name == "last-update.txt" || name[0] == '.' ||
            name.ends_with(".pending")) {
          continue;
        }
        ASSERT_EQ(entry.path().extension(), ".copy") << name;
        const std::string bytes = ReadBytes(entry.path().string());
        CopyHeader header;
        size_t body = 0;
        ASSERT_TRUE(ParseCopyHeader(bytes, &header, &body)) << name;
        const std::string digest = Sha256Hex(std::string_view(bytes).substr(body));
        EXPECT_EQ(header.digest, digest) << name;
        EXPECT_EQ(header.etag, "\"" + digest + "\"") << name;
      }
    }
  }
}

}  // namespace
}  // namespace quorvale::testing
