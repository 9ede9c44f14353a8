#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "cli_fixture.h"
#include "core/hosts_writer.h"
#include "core/report.h"
#include "core/sorting.h"
#include "hosts/file_loads.h"

namespace quorvale::testing {
namespace {

constexpr std::string_view kCraftedHosts =
    "# comment line\n"
    "0.0.0.0 Zeta.example.com #Ads Here\n"
    "127.0.0.1\talpha.example.org\n"
    "10.0.0.1 intranet.example\n"
    "127.0.0.1 localhost\n";

constexpr std::string_view kCraftedDomainOnly =
    "Beta.example.com\n"
    "127.0.0.1 alpha.example.com\n"
    "alpha.example.com #[x]\n"
    "www.beta.example.com\n";

constexpr std::string_view kRule = "---------------------------------\r\n";

// The whole file, written out by hand, so that the program's bytes are pinned and not only
// compared with the library that produced them.
TEST_F(CliTest, CraftedListsGiveTheExactFiles) {
  const std::string hosts = Crafted("hosts.txt", kCraftedHosts);
  CliResult result = Run({"--hosts", hosts, "--www", "--comments", "--redirect", "0.0.0.0", "--write-hosts",
                          File("out.hosts"), "--export", File("names.txt"), "--report", File("report.txt")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");

  std::string expected =
      "#\r\n"
      "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n"
      "127.0.0.1\tlocalhost\r\n"
      "#\r\n"
      "# Plus d'informations sur:\r\n"
      "#\r\n";
  for (std::string_view page : {kInfoPage1, kInfoPage2, kInfoPage3}) expected += "# \t" + std::string(page) + "\r\n";
  expected +=
      "#\r\n"
      "# Genere par: Quorvale @ 11/14/23 22:13:20\r\n"
      "#\r\n"
      "# Nombre d'entrees: 3 * 2 avec les lignes 'www.'\r\n"
      "#\r\n"
      "10.0.0.1\tintranet.example\r\n"
      "10.0.0.1\twww.intranet.example\r\n"
      "0.0.0.0\talpha.example.org\r\n"
      "0.0.0.0\tzeta.example.com\t#ads here\r\n"
      "0.0.0.0\twww.alpha.example.org\r\n"
      "0.0.0.0\twww.zeta.example.com\t#ads here\r\n";
  EXPECT_EQ(ReadBytes(File("out.hosts")), expected);
  EXPECT_EQ(ReadBytes(File("names.txt")), "alpha.example.org\r\nzeta.example.com\t#ads here\r\n");
  EXPECT_EQ(ReadBytes(File("report.txt")), "Liste des erreurs: \r\n\r\n\r\n# comment line\r\n127.0.0.1 localhost\r\n" +
                                               std::string(kRule) + std::string(kRule) + "\r\n\r\n");
}

// The zone of a HOSTS load, whose zone name holds wherever it stands; then a write over a
// zone whose serial is ahead of the day, with wildcards and a removed name let through.
TEST_F(CliTest, WritesTheExactZoneWithASerialThatNeverGoesBack) {
  const std::string hosts =
      Crafted("hosts.txt", std::string(kCraftedHosts) + "127.0.1.1 ubuntu-pc\n1.2.3.4.5 bad.lan\n");
  CliResult result = Run({"--hosts", hosts, "--www", "--write-rpz", File("z"), "--report", File("report.txt"),
                          "--rpz-zone", "Block.lan"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "quorvale-cli: " + File("z") + ": 2 entrees laissees hors de la zone (voir --report)\n");
  const std::string head = "; Zone RPZ generee par Quorvale\n$ORIGIN ";
  const std::string soa = "\n$TTL 300\n@ IN SOA localhost. hostmaster.localhost. ";
  const std::string timers = " 3600 600 604800 300\n@ IN NS localhost.\nintranet.example A 10.0.0.1\n";
  EXPECT_EQ(ReadBytes(File("z")), head + "Block.lan." + soa + "2023111400" + timers +
                                      "www.intranet.example A 10.0.0.1\nalpha.example.org CNAME .\n"
                                      "zeta.example.com CNAME .\nwww.alpha.example.org CNAME .\n"
                                      "www.zeta.example.com CNAME .\n");
  EXPECT_EQ(ReadBytes(File("report.txt")), "Liste des erreurs: \r\n\r\n\r\n# comment line\r\n127.0.0.1 localhost\r\n"
                                           "1.2.3.4.5\tbad.lan\r\n1.2.3.4.5\twww.bad.lan\r\n" +
                                               std::string(kRule) + std::string(kRule) + "\r\n\r\n");
  WriteBytes(File("z"), "$ORIGIN rpz.quorvale.\n@ IN SOA a. b. 2099010100 1 2 3 4\n");
  WriteBytes(File("allow.txt"), "ads.alpha.example.org\nzeta.example.com\n");
  result = Run({"--hosts", hosts, "--remove-names", File("allow.txt"), "--write-rpz", File("z"), "--rpz-wildcard"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(File("z")), head + "rpz.quorvale." + soa + "2099010101" + timers +
                                      "*.intranet.example A 10.0.0.1\nalpha.example.org CNAME .\n"
                                      "*.alpha.example.org CNAME .\nads.alpha.example.org CNAME rpz-passthru.\n");
}

TEST_F(CliTest, SortedBufferGivesTheExactFiles) {
  const std::string only = Crafted("only.txt", kCraftedDomainOnly);
  CliResult result = Run({"--domain-only", only, "--sort", "--write-sorted-names", File("names.txt"),
                          "--write-sorted-hosts", File("sorted.hosts")});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(File("names.txt")), "alpha.example.com\r\nbeta.example.com\r\n");
  std::string expected =
      "#\r\n"
      "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n"
      "127.0.0.1\tlocalhost\r\n"
      "#\r\n"
      "# Plus d'informations sur:\r\n"
      "# " + std::string(kInfoPage1) + " et " + std::string(kInfoPage2) + "\r\n"
      "#\r\n"
      "# Genere par: Quorvale @ 11/14/23 22:13:20\r\n"
      "#\r\n"
      "# Entry Count: 2\r\n"
      "#\r\n"
      "127.0.0.1\talpha.example.com\r\n"
      "127.0.0.1\tbeta.example.com\r\n";
  EXPECT_EQ(ReadBytes(File("sorted.hosts")), expected);
}

TEST_F(CliTest, DumpShowsEveryListInDisplayOrderAtTheMomentItRuns) {
  const std::string hosts = Crafted("hosts.txt", kCraftedHosts);
  const std::string only = Crafted("only.txt", kCraftedDomainOnly);
  CliResult result = Run({"--dump", "--hosts", hosts, "--domain-only", only, "--dump", "--sort", "--dump"});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string lists =
      "1\talpha.example.org\t\t127.0.0.1\n"
      "1\tzeta.example.com\t#ads here\t0.0.0.0\n"
      "2\tintranet.example\t\t10.0.0.1\n";
  EXPECT_EQ(result.out, lists +
                            "S\tbeta.example.com\n"
                            "S\talpha.example.com\n"
                            "S\talpha.example.com #[x]\n"
                            "S\tbeta.example.com\n" +
                            lists +
                            "S\talpha.example.com\n"
                            "S\tbeta.example.com\n");
  EXPECT_EQ(result.err, "");
}

// The names of a plain list (comments, prefixes, paths, commas) leave both lists and the
// sort buffer, whatever their case; what is loaded after stays.
TEST_F(CliTest, RemoveNamesTakesAnAllowListOutOfEverythingLoaded) {
  const std::string allow = Crafted("allow.txt", "# allow list\nZETA.example.com # false positive\n"
                                                 "http://INTRANET.EXAMPLE/wiki\nALPHA.EXAMPLE.COM, none.example\n");
  const std::string later = Crafted("later.txt", "zeta.example.com\n");
  CliResult result = Run({"--hosts", Crafted("hosts.txt", kCraftedHosts), "--domain-only",
                          Crafted("only.txt", kCraftedDomainOnly), "--remove-names", allow, "--domains", later,
                          "--dump"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out,
            "1\talpha.example.org\t\t127.0.0.1\n1\tzeta.example.com\t\t127.0.0.1\n"
            "S\tbeta.example.com\nS\tbeta.example.com\n");
  EXPECT_EQ(result.err, "quorvale-cli: 4 noms retires\n");
}

// A named pipe and standard input ("-") are read as files are, a UTF-16 one decoded.
TEST_F(CliTest, NamedPipeAndStandardInputAreLoaded) {
  const std::string pipe = File("pipe");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] { WriteBytes(pipe, "0.0.0.0 a.example #x, y\r\nb.example\r\n"); });
  CliLaunch launch;
  launch.stdin_path = Crafted("in.txt", std::string("\xFF\xFE" "c\0.\0c\0o\0m\0", 12));
  CliResult result = Run({"--hosts", pipe, "--domains", "-", "--dump"}, launch);
  // A writer still waiting for a reader that never came is let go.
  close(open(pipe.c_str(), O_RDONLY | O_NONBLOCK));
  writer.join();
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "1\ta.example\t#x, y\t0.0.0.0\n1\tc.com\t\t127.0.0.1\n");
}

TEST_F(CliTest, OptionsApplyToTheWritesThatFollowThem) {
  const std::string hosts = Crafted("hosts.txt", kCraftedHosts);
  CliResult result = Run({"--hosts", hosts, "--write-hosts", File("1"), "--export", File("e1"), "--www",
                          "--redirect", "0.0.0.0", "--write-hosts", File("2"), "--comments", "--write-hosts",
                          File("3"), "--export", File("e2"), "--redirect", "127.0.0.1", "--write-hosts", File("4")});
  ASSERT_EQ(result.status, 0) << result.err;

  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), hosts, session).ok());
  EXPECT_EQ(ReadBytes(File("1")), HostsFileBytes(session, false, "127.0.0.1", false));
  EXPECT_EQ(ReadBytes(File("2")), HostsFileBytes(session, true, "0.0.0.0", false));
  EXPECT_EQ(ReadBytes(File("3")), HostsFileBytes(session, true, "0.0.0.0", true));
  EXPECT_EQ(ReadBytes(File("4")), HostsFileBytes(session, true, "127.0.0.1", true));
  EXPECT_EQ(ReadBytes(File("e1")), ExportBytes(session, false));
  EXPECT_EQ(ReadBytes(File("e2")), ExportBytes(session, true));
  EXPECT_NE(ReadBytes(File("1")), ReadBytes(File("2")));
  EXPECT_NE(ReadBytes(File("e1")), ReadBytes(File("e2")));
}

TEST_F(CliTest, ReportFollowsTheLastLoadThatFilledIt) {
  const std::string hosts = Crafted("hosts.txt", "# hosts comment\n0.0.0.0 a.example.com\n");
  const std::string plain = Crafted("plain.txt", "# plain comment\nb.example.com\n");
  const std::string only = Crafted("only.txt", "c.example.com\n# skipped silently\n");
  CliResult result = Run({"--report", File("r0"), "--hosts", hosts, "--report", File("r1"), "--domains", plain,
                          "--domain-only", only, "--report", File("r2")});
  ASSERT_EQ(result.status, 0) << result.err;
  const std::string tail = std::string(kRule) + std::string(kRule) + "\r\n\r\n";
  EXPECT_EQ(ReadBytes(File("r0")), "Liste des erreurs: \r\n\r\n\r\n" + tail);
  EXPECT_EQ(ReadBytes(File("r1")), "Liste des erreurs: \r\n\r\n\r\n# hosts comment\r\n" + tail);
  EXPECT_EQ(ReadBytes(File("r2")), "Liste des erreurs: \r\n\r\n\r\n# plain comment\r\n" + tail);
}

TEST_F(CliTest, EmptyListFilesLoadNothingAndSucceed) {
  const std::string empty = Crafted("empty.txt", "");
  CliResult result = Run({"--hosts", empty, "--domains", empty, "--dump", "--write-hosts", File("out")});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  Session session;
  EXPECT_EQ(ReadBytes(File("out")), HostsFileBytes(session, false, "127.0.0.1", false));
}

// Real lists, loaded and written by the program and by the library in this process: the
// same actions must give the same bytes.
class CliRealHostsTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliRealHostsTest, WritesTheSameBytesAsTheWriters) {
  const std::string input = RealFile(GetParam());
  CliResult result = Run({"--hosts", input, "--write-hosts", File("plain.hosts"), "--export", File("names.txt"),
                          "--report", File("report.txt"), "--www", "--comments", "--redirect", "0.0.0.0",
                          "--write-hosts", File("full.hosts"), "--export", File("names-comments.txt"), "--dump"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");

  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), input, session).ok());
  EXPECT_EQ(ReadBytes(File("plain.hosts")), HostsFileBytes(session, false, "127.0.0.1", false));
  EXPECT_EQ(ReadBytes(File("full.hosts")), HostsFileBytes(session, true, "0.0.0.0", true));
  EXPECT_EQ(ReadBytes(File("names.txt")), ExportBytes(session, false));
  EXPECT_EQ(ReadBytes(File("names-comments.txt")), ExportBytes(session, true));
  EXPECT_EQ(ReadBytes(File("report.txt")), BuildReport(session.RejectedLines));

  size_t lines = 0;
  for (char c : result.out) lines += c == '\n';
  EXPECT_EQ(lines, session.RowCount());
  if (!session.blocked.empty()) {
    EXPECT_EQ(result.out.substr(0, 2), "1\t");
  }
}

INSTANTIATE_TEST_SUITE_P(Real, CliRealHostsTest,
                         ::testing::Values("AdAway__adaway.github.io__hosts.txt", "wkway__stblack__data_URLHaus_hosts",
                                           "FadeMind__hosts.extras__add.2o7Net_hosts",
                                           "DandelionSprout__adfilt__Alternate-versions-Anti-Malware-List_"
                                           "AntiMalwareHosts.txt",
                                           // Only "::" lines: no row, everything in the report.
                                           "crazy-max__WindowsSpyBlocker__data_hosts_spy_v6.txt",
                                           "semi0naut__dotfiles__windows_hosts",
                                           "dresden-elektronik__pi-gen__stage1_02-net-tweaks_files_hosts"));

class CliRealPlainListTest : public CliTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(CliRealPlainListTest, WritesTheSameBytesAsTheWriters) {
  const std::string input = RealFile(GetParam());
  CliResult result = Run({"--domains", input, "--report", File("report.txt"), "--export", File("names.txt"),
                          "--comments", "--export", File("names-comments.txt"), "--www", "--write-hosts",
                          File("out.hosts"), "--domain-only", input, "--write-sorted-names", File("unsorted.txt"),
                          "--sort", "--write-sorted-names", File("sorted.txt"), "--redirect", "0.0.0.0",
                          "--write-sorted-hosts", File("sorted.hosts")});
  ASSERT_EQ(result.status, 0) << result.err;

  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(SystemPlatform(), input, session).ok());
  ASSERT_GT(session.blocked.size(), 0u);
  EXPECT_EQ(ReadBytes(File("report.txt")), BuildReport(session.RejectedLines));
  EXPECT_EQ(ReadBytes(File("names.txt")), ExportBytes(session, false));
  EXPECT_EQ(ReadBytes(File("names-comments.txt")), ExportBytes(session, true));
  EXPECT_EQ(ReadBytes(File("out.hosts")), HostsFileBytes(session, true, "127.0.0.1", true));

  ASSERT_TRUE(LoadDomainOnlyFile(SystemPlatform(), input, session.SortArray).ok());
  EXPECT_EQ(ReadBytes(File("unsorted.txt")), SortedNamesBytes(session));
  SortAndDeduplicate(session.SortArray);
  EXPECT_EQ(ReadBytes(File("sorted.txt")), SortedNamesBytes(session));
  EXPECT_EQ(ReadBytes(File("sorted.hosts")), SortedHostsBytes(session, true, "0.0.0.0"));
}

INSTANTIATE_TEST_SUITE_P(Real, CliRealPlainListTest,
                         ::testing::Values("blocklistproject__Lists__alt-version_drugs-nl.txt",
                                           "Perflyst__PiHoleBlocklist__SmartTV.txt",
                                           "bigdargon__hostsVN__extensions_threat_domain.txt"));

// Several lists merged into one HOSTS file, and domain-only files accumulated in the buffer.
TEST_F(CliTest, MergesSeveralRealListsAsSuccessiveLoads) {
  const std::string a = RealFile("AdAway__adaway.github.io__hosts.txt");
  const std::string b = RealFile("FadeMind__hosts.extras__add.2o7Net_hosts");
  const std::string c = RealFile("Perflyst__PiHoleBlocklist__SmartTV.txt");
  const std::string d = RealFile("blocklistproject__Lists__alt-version_drugs-nl.txt");
  CliResult result = Run({"--hosts", a, "--hosts", b, "--domains", c, "--redirect", "0.0.0.0", "--write-hosts",
                          File("merged.hosts"), "--domain-only", c, "--domain-only", d, "--domain-only", a, "--sort",
                          "--write-sorted-hosts", File("sorted.hosts")});
  ASSERT_EQ(result.status, 0) << result.err;

  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), a, session).ok());
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(SystemPlatform(), b, session).ok());
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(SystemPlatform(), c, session).ok());
  EXPECT_EQ(ReadBytes(File("merged.hosts")), HostsFileBytes(session, false, "0.0.0.0", false));
  for (const std::string& path : {c, d, a}) ASSERT_TRUE(LoadDomainOnlyFile(SystemPlatform(), path, session.SortArray).ok());
  SortAndDeduplicate(session.SortArray);
  EXPECT_EQ(ReadBytes(File("sorted.hosts")), SortedHostsBytes(session, false, "0.0.0.0"));
}

// On Linux --schedule names the package's timer commands and runs nothing; the sources file,
// made absolute, is refused when missing or not web addresses only, and named with the own.txt
// beside it (no allow.txt there) when it is not the timer's.
TEST_F(CliTest, ScheduleSaysWhichTimerCommandToRun) {
  Crafted("sources.txt", "# none\n");
  Crafted("own.txt", "");
  CliLaunch in_dir;
  in_dir.working_dir = dir_.path();
  const std::string p = "quorvale-cli: ", timer = " --now quorvale-update.timer\n", then_copy =
      p + "le minuteur lit /etc/quorvale/sources.txt: copiez-y " + File("sources.txt") + "\n" + p +
      "le minuteur lit /etc/quorvale/own.txt: copiez-y " + File("own.txt") + "\n";
  for (const auto& [frequency, err] : std::vector<std::pair<std::string, std::string>>{
           {"daily", p + "pour une mise a jour chaque jour, lancez en root: systemctl enable" + timer + then_copy},
           {"weekly", p + "pour une mise a jour chaque semaine, lancez en root: systemctl enable" + timer + p +
                          "puis: systemctl edit quorvale-update.timer, avec dans [Timer] les lignes OnCalendar= et "
                          "OnCalendar=weekly\n" + then_copy}}) {
    EXPECT_EQ(Run({"--sources", "sources.txt", "--schedule", frequency}, in_dir).err, err);
  }
  CliResult off = Run({"--schedule", "off"});  // needs no sources file
  EXPECT_EQ(off.status, 0);
  EXPECT_EQ(off.err, p + "pour arreter la mise a jour planifiee, lancez en root: systemctl disable" + timer);
  CliResult missing = Run({"--sources", "absent.txt", "--schedule", "daily"}, in_dir);
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, p + "fichier de sources illisible: " + File("absent.txt") + ": No such file or directory\n");
  for (const auto& [line, why] : std::vector<std::pair<std::string, std::string>>{
           {"lists/b.txt domains", "chemin relatif refuse pour la mise a jour du systeme: lists/b.txt"},
           {"file:///srv/a.txt", "source locale refusee pour la mise a jour du systeme: file:///srv/a.txt"}}) {
    Crafted("sources.txt", "https://a.example/h\n" + line + "\n");
    CliResult refused = Run({"--sources", "sources.txt", "--schedule", "daily"}, in_dir);
    EXPECT_EQ(std::to_string(refused.status) + refused.err, "2" + p + File("sources.txt") + ": ligne 2: " + why + "\n");
  }
}

}  // namespace
}  // namespace quorvale::testing
