#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "cli_fixture.h"

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

TEST_F(UpdateTest, UpdatesLoadAsByHandAndWriteOnlyWhatChanged) {
  CliResult first = Update();
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(Steady(first.err),
            "quorvale-cli: a.hosts: telechargee (52 octets, 2 entrees)\n"
            "quorvale-cli: file://" + b_ + ": telechargee (43 octets, 3 entrees)\n"
            "quorvale-cli: cache DNS non vide: aucun cache DNS connu sur ce systeme\n"
            "quorvale-cli: mise a jour: 2 sources sur 2, 4 entrees en tout; ecrit: " + hosts_ + "\n");
  CliLaunch by_hand = launch_;
  by_hand.env[1].second = File("by-hand");
  CliResult manual = Run({"--hosts", own_, "--hosts", a_, "--domains", b_, "--remove-names", allow_, "--replace-hosts"},
                         by_hand);
  ASSERT_EQ(manual.status, 0) << manual.err;
  EXPECT_EQ(ReadBytes(hosts_), ReadBytes(File("by-hand/drivers/etc/HOSTS")));
  EXPECT_EQ(BackupCount(), 1u);

  // Nothing new: nothing written, no backup.
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

  // A HOSTS file edited by hand since is written again.
  const std::string written = ReadBytes(hosts_);
  WriteBytes(hosts_, "127.0.0.1 edited\n");
  CliResult edited = Update();
  EXPECT_EQ(edited.status, 3);
  EXPECT_NE(edited.err.find(hosts_ + " a ete modifie par un autre programme depuis la derniere mise a jour; il est "
                                     "reecrit\n"),
            std::string::npos)
      << edited.err;
  EXPECT_EQ(BackupCount(), 2u);
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

TEST_F(UpdateTest, BadSourcesFilesAndNoSourceStopBeforeAnyWrite) {
  WriteBytes(sources_, "a.hosts\nftp://lists.example/x hosts\n");
  CliResult bad = Update();
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.err, "quorvale-cli: " + sources_ +
                         ": ligne 2: adresse non reconnue: ftp://lists.example/x (https://, http://, file:// ou un "
                         "chemin)\n");
  WriteBytes(sources_, "missing.hosts\n");
  CliResult none = Update();
  EXPECT_EQ(none.status, 2);
  EXPECT_EQ(none.err,
            "quorvale-cli: missing.hosts: echec: fichier introuvable (aucune copie)\n"
            "quorvale-cli: aucune source n'a pu etre obtenue, rien n'est charge\n"
            "quorvale-cli: mise a jour: 0 sources sur 1\n");
  EXPECT_EQ(ReadBytes(hosts_), "10.1.1.1 kept-by-hand.example\n");
}

}  // namespace
}  // namespace quorvale::testing
