#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <string>
#include <vector>

#include "cli_fixture.h"
#include "support/case_name.h"

namespace quorvale::testing {
namespace {

TEST_F(CliTest, VersionIsTheProgramVersion) {
  CliResult result = Run({"--version"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "quorvale-cli " QUORVALE_VERSION "\n");
  EXPECT_EQ(result.err, "");
}

TEST_F(CliTest, HelpNamesEveryActionAndRunsNothing) {
  const std::string out = File("out.txt");
  CliResult result = Run({"--report", out, "--help", "--bogus"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out.rfind("Usage: quorvale-cli ACTION...\n", 0), 0u) << result.out;
  for (const char* option : {"--hosts FICHIER", "--domains FICHIER", "--domain-only FICHIER", "--sort",
                             "--redirect ADRESSE", "--www", "--comments", "--write-hosts SORTIE",
                             "--write-sorted-hosts SORTIE", "--export SORTIE", "--write-sorted-names SORTIE",
                             "--report SORTIE", "--replace-hosts", "--dump", "--version", "--remove-names FICHIER",
                             "--list-backups", "--restore-backup NOM", "--write-rpz SORTIE", "--rpz-zone NOM"}) {
    EXPECT_NE(result.out.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
  EXPECT_FALSE(std::ifstream(out).good());
  // The backup copies are named after the system's HOSTS file, spelt as the platform has it.
  EXPECT_NE(result.out.find(" sauvegarde hosts.<date>.bak, puis"), std::string::npos);
  CliLaunch windows_folder;
  windows_folder.env = {{"QUORVALE_SYSTEM_DIR", dir_.path()}};
  EXPECT_NE(Run({"--help"}, windows_folder).out.find(" sauvegarde HOSTS.<date>.bak, puis"), std::string::npos);
}

struct UsageCase {
  const char* name;
  std::vector<std::string> args;
  std::string message;
};
void PrintTo(const UsageCase& c, std::ostream* out) { *out << c.name; }

class CliUsageTest : public CliTest, public ::testing::WithParamInterface<UsageCase> {};

TEST_P(CliUsageTest, IsRefusedWithStatusOneBeforeAnyAction) {
  // A report written first would show that actions ran before the mistake was seen.
  const std::string report = File("report.txt");
  std::vector<std::string> args = {"--report", report};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  if (GetParam().args.empty()) args.clear();

  CliResult result = Run(args);
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "quorvale-cli: " + GetParam().message + "\nVoir: quorvale-cli --help\n");
  EXPECT_FALSE(std::ifstream(report).good());
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, CliUsageTest,
    ::testing::Values(UsageCase{"NoAction", {}, "aucune action demandee"},
                      UsageCase{"UnknownOption", {"--frobnicate"}, "option inconnue: --frobnicate"},
                      UsageCase{"UnknownOptionWithValue", {"--frobnicate=1"}, "option inconnue: --frobnicate"},
                      UsageCase{"ShortOption", {"-h"}, "option inconnue: -h"},
                      UsageCase{"BareWord", {"list.txt"}, "argument inattendu: list.txt"},
                      UsageCase{"Dash", {"-"}, "argument inattendu: -"},
                      UsageCase{"FileMissing", {"--hosts"}, "--hosts attend un fichier"},
                      UsageCase{"FileEmpty", {"--domains="}, "--domains attend un fichier"},
                      UsageCase{"OutputMissing", {"--dump", "--write-sorted-names"},
                                "--write-sorted-names attend un fichier"},
                      UsageCase{"AddressMissing", {"--redirect"}, "--redirect attend une adresse"},
                      UsageCase{"OtherAddress", {"--redirect", "10.0.0.1"},
                                "adresse de redirection invalide: 10.0.0.1 (127.0.0.1 ou 0.0.0.0)"},
                      UsageCase{"AddressWithALeadingZero", {"--redirect=127.0.0.01"},
                                "adresse de redirection invalide: 127.0.0.01 (127.0.0.1 ou 0.0.0.0)"},
                      UsageCase{"BadZone", {"--rpz-zone", "a..b"},
                                "nom de zone invalide: a..b (par exemple rpz.quorvale.)"},
                      UsageCase{"OpenQuote", {"--after-write", "rndc \"reload"},
                                "commande invalide: rndc \"reload (guillemet non ferme?)"},
                      UsageCase{"SwitchWithValue", {"--www=yes"}, "--www n'attend pas de valeur"},
                      UsageCase{"BackupNameMissing", {"--restore-backup"},
                                "--restore-backup attend un nom de sauvegarde"},
                      UsageCase{"VersionWithValue", {"--sort", "--version=2"}, "--version n'attend pas de valeur"}),
    CaseName());

TEST_F(CliTest, OptionValueMayLookLikeAnOption) {
  // The word after an option that takes a value is that value: here a file named "--dump".
  Crafted("--dump", "0.0.0.0 a.example.com\n");
  CliLaunch in_dir;
  in_dir.working_dir = dir_.path();
  CliResult result = Run({"--hosts", "--dump", "--dump"}, in_dir);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out, "1\ta.example.com\t\t0.0.0.0\n");
  result = Run({"--hosts=--dump", "--dump"}, in_dir);
  EXPECT_EQ(result.out, "1\ta.example.com\t\t0.0.0.0\n");
}

}  // namespace
}  // namespace quorvale::testing
