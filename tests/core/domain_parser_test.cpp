#include "core/domain_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "hosts/file_loads.h"
#include "support/list_rows.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Entries;
using testing::Row;
using testing::Rows;
using testing::SystemPlatform;

// One line read by both grammars: the plain-list row it gives (none when rejected) and the
// domain-only entry it gives (none when skipped).
struct BothCase {
  std::string line;
  std::optional<Row> plain;
  std::optional<std::string> domain_only;
};

void PrintTo(const BothCase& c, std::ostream* out) { *out << '"' << c.line << '"'; }

Row Blocked(std::string name, std::string description = "") {
  return Row{std::move(name), std::move(description), "127.0.0.1"};
}

const std::string k128 = std::string(124, 'a') + ".com";
const std::string k129 = std::string(125, 'a') + ".com";

class BothGrammarsTest : public ::testing::TestWithParam<BothCase> {};

TEST_P(BothGrammarsTest, PlainList) {
  const BothCase& c = GetParam();
  Session session;
  session.ResetRejectedLines();
  ParseDomainListData(c.line, session);
  if (c.plain) {
    EXPECT_EQ(Rows(session.blocked), std::vector<Row>{*c.plain});
    EXPECT_EQ(session.EntriesLoaded, 1);
    EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
  } else {
    EXPECT_TRUE(session.blocked.empty());
    EXPECT_EQ(session.EntriesLoaded, 0);
    // Recorded as the reader delivered it, without trimming.
    EXPECT_EQ(session.RejectedLines, std::vector<std::string>{c.line});
  }
  EXPECT_TRUE(session.redirected.empty());
}

TEST_P(BothGrammarsTest, DomainOnly) {
  const BothCase& c = GetParam();
  SortBuffer buffer;
  Status status = LoadDomainOnlyData(c.line, buffer);
  ASSERT_TRUE(status.ok()) << status.ToString();
  std::vector<std::string> expected;
  if (c.domain_only) expected.push_back(*c.domain_only);
  EXPECT_EQ(Entries(buffer), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BothGrammarsTest,
    ::testing::Values(
        BothCase{"example.com", Blocked("example.com"), "example.com"},
        BothCase{"www.example.com", Blocked("example.com"), "example.com"},
        BothCase{"www.www.example.com", Blocked("example.com"), "example.com"},
        BothCase{"http://www.example.com", Blocked("example.com"), "http://www.example.com"},
        BothCase{"www.http://example.com", Blocked("example.com"), "http://example.com"},
        BothCase{"WWW.example.com", Blocked("WWW.example.com"), "example.com"},
        BothCase{"HTTP://example.com", std::nullopt, "http://example.com"},
        BothCase{"https://www.example.com", Blocked("example.com"), "https://www.example.com"},
        BothCase{"tv.example.com # apps, ads", Blocked("tv.example.com", "# apps, ads"), std::nullopt},
        BothCase{"example.com #ads", Blocked("example.com", "#ads"), std::nullopt},
        BothCase{"example.com#ads", Blocked("example.com", "#ads"), std::nullopt},
        BothCase{"example.com  #ads", Blocked("example.com", "#ads"), std::nullopt},
        BothCase{"example.com\t#ads", Blocked("example.com", "#ads"), std::nullopt},
        BothCase{"example.com \t #ads", Blocked("example.com", "#ads"), std::nullopt},
        BothCase{"example.com #", Blocked("example.com"), std::nullopt},
        BothCase{"example.com #  Spaced Comment  ", Blocked("example.com", "#  Spaced Comment"), std::nullopt},
        BothCase{"ads.example.com # tracker", Blocked("ads.example.com", "# tracker"), std::nullopt},
        BothCase{"ads.example.com #[tracker]", Blocked("ads.example.com", "#[tracker]"), "ads.example.com #[tracker]"},
        BothCase{"Ads.Example.com #[Tracker]", Blocked("Ads.Example.com", "#[Tracker]"), "ads.example.com #[tracker]"},
        BothCase{"EXAMPLE.COM", std::nullopt, "example.com"},
        BothCase{"Example.com", Blocked("Example.com"), "example.com"},
        BothCase{"abc", std::nullopt, std::nullopt},
        BothCase{"abcd", Blocked("abcd"), "abcd"},
        BothCase{k128, Blocked(k128), k128},
        BothCase{k129, std::nullopt, k129},
        BothCase{"127.0.0.1 example.com", std::nullopt, "example.com"},
        BothCase{"127.0.0.1 Ads.Example.COM", std::nullopt, "ads.example.com"},
        BothCase{"0.0.0.0\twww.ads.example.com", std::nullopt, "ads.example.com"},
        BothCase{"1.2.3.4 example.com", std::nullopt, "1.2.3.4 example.com"},
        // Every occurrence of an address with its blank goes, also inside another address.
        BothCase{"10.0.0.0 example.com", std::nullopt, "1example.com"},
        BothCase{"127.0.0.1 127.0.0.1 twice.example", std::nullopt, "twice.example"},
        BothCase{"ex[am]ple.com", std::nullopt, "ex[am]ple.com"},
        BothCase{"example.com\tz", std::nullopt, "example.com\tz"},
        BothCase{"127.0.0.1 localhost", std::nullopt, std::nullopt},
        BothCase{"localhost", Blocked("localhost"), std::nullopt},
        BothCase{"LocalHost", Blocked("LocalHost"), std::nullopt},
        BothCase{"filtered.By.qalvern", Blocked("filtered.By.qalvern"), std::nullopt},
        BothCase{"FILTERED.BY.QALVERN", std::nullopt, std::nullopt},
        BothCase{".example.com", Blocked(".example.com"), std::nullopt},
        BothCase{"www..example.com", Blocked(".example.com"), std::nullopt},
        BothCase{"www.", std::nullopt, ""},
        BothCase{"# comment", std::nullopt, std::nullopt},
        BothCase{"#example.com", std::nullopt, std::nullopt},
        BothCase{"#[x] y.example", std::nullopt, std::nullopt},
        BothCase{"1234.5678", std::nullopt, std::nullopt},
        BothCase{"example.com/path", Blocked("example.com"), "example.com/path"},
        BothCase{"https://d.example.com/", Blocked("d.example.com"), "https://d.example.com/"},
        BothCase{"d.example.com/path #ads", Blocked("d.example.com", "#ads"), std::nullopt},
        BothCase{"/example.com", std::nullopt, "/example.com"},
        BothCase{"trailing.example   ", Blocked("trailing.example"), "trailing.example"},
        BothCase{"caf\xC3\xA9.example", Blocked("caf\xC3\xA9.example"), "caf\xC3\xA9.example"},
        BothCase{"CAF\xC3\x89.EXAMPLE", std::nullopt, "caf\xC3\x89.example"},
        BothCase{"nul\0byte.example"s, std::nullopt, "nul\0byte.example"s},
        BothCase{"<html>", std::nullopt, "<html>"}, BothCase{"x.com:80", std::nullopt, "x.com:80"}));

TEST(ParseDomainList, CommaSplitsALineIntoTwoItems) {
  Session session;
  session.ResetRejectedLines();
  ParseDomainListData("a.com,b.com\n", session);
  EXPECT_EQ(Rows(session.blocked), (std::vector<Row>{Blocked("a.com"), Blocked("b.com")}));
  EXPECT_EQ(session.EntriesLoaded, 2);
}

TEST(ParseDomainList, RejectedLinesInFileOrderUntrimmed) {
  Session session;
  session.ResetRejectedLines();
  ParseDomainListData("# head\r\n\r\nok.example\r\nbad line  \r\n\"  quoted bad \"\r\n", session);
  EXPECT_EQ(Rows(session.blocked), std::vector<Row>{Blocked("ok.example")});
  EXPECT_EQ(session.RejectedLines, (std::vector<std::string>{"# head", "", "bad line  ", "  quoted bad "}));
}

TEST(ParseDomainList, DuplicatesAddNoRowButCount) {
  Session session;
  session.ResetRejectedLines();
  ParseDomainListData("dup.example #first\n", session);
  session.ResetRejectedLines();
  ParseDomainListData("Dup.Example #second\nwww.dup.example\nnew.example\n", session);
  EXPECT_EQ(Rows(session.blocked), (std::vector<Row>{Blocked("dup.example", "#first"), Blocked("new.example")}));
  EXPECT_EQ(session.EntriesLoaded, 3);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
}

TEST(ParseDomainList, EmptyOrUnreadableFileIsOneEmptyRejectedLine) {
  testing::TempDir dir;
  testing::WriteBytes(dir.File("empty.txt"), "");
  testing::WriteBytes(dir.File("bom.txt"), "\xEF\xBB\xBF");
  for (const char* name : {"empty.txt", "bom.txt", "missing.txt"}) {
    Session session;
    session.blocked.Add("kept.example", "127.0.0.1", "");
    session.ResetRejectedLines();
    session.EntriesLoaded = 9;
    Status status = ParseDomainList(SystemPlatform(), dir.File(name), session);
    EXPECT_EQ(status.ok(), std::string(name) != "missing.txt") << name;
    EXPECT_EQ(session.EntriesLoaded, 0) << name;
    EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""}) << name;
    EXPECT_EQ(session.blocked.size(), 1u) << name;
  }
}

TEST(ParseDomainList, ReadsAFile) {
  testing::TempDir dir;
  testing::WriteBytes(dir.File("list.txt"), "\xEF\xBB\xBFone.example\r\ntwo.example #x");
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(SystemPlatform(), dir.File("list.txt"), session).ok());
  EXPECT_EQ(Rows(session.blocked), (std::vector<Row>{Blocked("one.example"), Blocked("two.example", "#x")}));
}

TEST(LoadDomainOnlyFile, EmptyFilesFailAndKeepWhatWasStored) {
  testing::TempDir dir;
  testing::WriteBytes(dir.File("empty.txt"), "");
  testing::WriteBytes(dir.File("bom.txt"), "\xEF\xBB\xBF");
  SortBuffer buffer;
  buffer.Append("kept.example");
  EXPECT_EQ(LoadDomainOnlyFile(SystemPlatform(), dir.File("empty.txt"), buffer).code(), ErrorCode::kEmpty);
  EXPECT_EQ(LoadDomainOnlyFile(SystemPlatform(), dir.File("bom.txt"), buffer).code(), ErrorCode::kEmpty);
  EXPECT_EQ(LoadDomainOnlyFile(SystemPlatform(), dir.File("missing.txt"), buffer).code(), ErrorCode::kNotFound);
  EXPECT_EQ(Entries(buffer), std::vector<std::string>{"kept.example"});
}

TEST(LoadDomainOnlyFile, AFileOfOnlySkippedLinesSucceeds) {
  testing::TempDir dir;
  testing::WriteBytes(dir.File("skipped.txt"), "# only comments\n\n127.0.0.1 localhost\n");
  SortBuffer buffer;
  EXPECT_TRUE(LoadDomainOnlyFile(SystemPlatform(), dir.File("skipped.txt"), buffer).ok());
  EXPECT_TRUE(buffer.empty());
}

TEST(LoadDomainOnlyFile, SuccessiveLoadsAccumulate) {
  testing::TempDir dir;
  std::string ten = "# ten names\n";
  for (int i = 0; i < 10; ++i) ten += "0.0.0.0 Name" + std::to_string(i) + ".example\n";
  std::string five = "five0.example\r\nwww.five1.example\r\nfive2.example #[x]\r\nfive3.example,five4.example";
  testing::WriteBytes(dir.File("ten.txt"), ten);
  testing::WriteBytes(dir.File("five.txt"), five);
  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyFile(SystemPlatform(), dir.File("ten.txt"), buffer).ok());
  EXPECT_EQ(buffer.size(), 10u);
  ASSERT_TRUE(LoadDomainOnlyFile(SystemPlatform(), dir.File("five.txt"), buffer).ok());
  ASSERT_EQ(buffer.size(), 15u);
  EXPECT_EQ(buffer[0], "name0.example");
  EXPECT_EQ(buffer[9], "name9.example");
  EXPECT_EQ(buffer[10], "five0.example");
  EXPECT_EQ(buffer[11], "five1.example");
  EXPECT_EQ(buffer[12], "five2.example #[x]");
  EXPECT_EQ(buffer[14], "five4.example");
  // The same file again: duplicates are all stored until "Trier".
  ASSERT_TRUE(LoadDomainOnlyFile(SystemPlatform(), dir.File("five.txt"), buffer).ok());
  EXPECT_EQ(buffer.size(), 20u);
}

}  // namespace
}  // namespace quorvale
