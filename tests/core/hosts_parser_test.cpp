#include "core/hosts_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/kept_lines.h"
#include "hosts/file_loads.h"
#include "support/list_rows.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Row;
using testing::Rows;

struct ParseCase {
  const char* label;
  std::string data;
  std::vector<Row> blocked;
  std::vector<Row> redirected;
  int entries_loaded;
  std::vector<std::string> rejected;
};

void PrintTo(const ParseCase& c, std::ostream* out) { *out << c.label; }

class HostsParserTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(HostsParserTest, Lists) {
  const ParseCase& c = GetParam();
  Session session;
  session.ResetRejectedLines();
  ParseHostsData(c.data, session);
  EXPECT_EQ(Rows(session.blocked), c.blocked);
  EXPECT_EQ(Rows(session.redirected), c.redirected);
  EXPECT_EQ(session.EntriesLoaded, c.entries_loaded);
  EXPECT_EQ(session.RejectedLines, c.rejected);
}

const std::string k128 = std::string(124, 'a') + ".com";
const std::string k129 = std::string(125, 'a') + ".com";

INSTANTIATE_TEST_SUITE_P(
    Cases, HostsParserTest,
    ::testing::Values(
        ParseCase{"empty file", "", {}, {}, 0, {""}},
        ParseCase{"address space name", "127.0.0.1 example.com", {{"example.com", "", "127.0.0.1"}}, {}, 1, {""}},
        ParseCase{"tab", "0.0.0.0\texample.com\n", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"several blanks", "0.0.0.0 \t  \texample.com\n", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"indented with spaces", "   0.0.0.0 example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"indented with a tab", "\t0.0.0.0 example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"comment with commas", "0.0.0.0 ads.example.com # first, second,third\n# a, b\n",
                  {{"ads.example.com", "# first, second,third", "0.0.0.0"}}, {}, 1, {"# a, b"}},
        ParseCase{"two names after a comma",
                  "0.0.0.0 a.example.com,b.example.com",
                  {{"a.example.com", "", "0.0.0.0"}},
                  {},
                  1,
                  {"b.example.com"}},
        ParseCase{"upper case", "0.0.0.0 Ads.Example.COM #Tracker", {{"ads.example.com", "#tracker", "0.0.0.0"}}, {}, 1,
                  {""}},
        ParseCase{"www", "0.0.0.0 www.example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"http", "0.0.0.0 http://example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"http www", "0.0.0.0 http://www.example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"www http", "0.0.0.0 www.http://example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"repeated prefixes", "0.0.0.0 www.www.http://http://www.example.com", {{"example.com", "", "0.0.0.0"}},
                  {}, 1, {""}},
        ParseCase{"path", "0.0.0.0 example.com/some/path", {{"example.com", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"path and comment", "0.0.0.0 example.com/p#frag", {{"example.com", "#frag", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"www https http", "0.0.0.0 www.https://http://example.com", {{"example.com", "", "0.0.0.0"}}, {}, 1,
                  {""}},
        // Only "http://" and "https://" are removed; another scheme leaves a ":" in the name.
        ParseCase{"other scheme", "0.0.0.0 ftp://example.com", {}, {}, 0, {"0.0.0.0 ftp://example.com"}},
        ParseCase{"comment after one space", "0.0.0.0 example.com #ads", {{"example.com", "#ads", "0.0.0.0"}}, {}, 1,
                  {""}},
        ParseCase{"comment after one tab", "0.0.0.0 example.com\t#ads", {{"example.com", "#ads", "0.0.0.0"}}, {}, 1,
                  {""}},
        ParseCase{"comment right after the name", "0.0.0.0 example.com#ads", {{"example.com", "#ads", "0.0.0.0"}}, {},
                  1, {""}},
        ParseCase{"comment after two spaces", "0.0.0.0 example.com  #ads", {{"example.com", "#ads", "0.0.0.0"}}, {}, 1,
                  {""}},
        ParseCase{"comment after two tabs", "0.0.0.0 example.com\t\t#ads", {{"example.com", "#ads", "0.0.0.0"}}, {},
                  1, {""}},
        ParseCase{"comment trimmed", "0.0.0.0 example.com #  spaced out  ", {{"example.com", "#  spaced out", "0.0.0.0"}},
                  {}, 1, {""}},
        ParseCase{"comment with several hashes", "0.0.0.0 example.com #a #b", {{"example.com", "#a #b", "0.0.0.0"}}, {},
                  1, {""}},
        ParseCase{"bare hash gives no description", "0.0.0.0 example.com #", {{"example.com", "", "0.0.0.0"}}, {}, 1,
                  {""}},
        ParseCase{"two names", "0.0.0.0 a.example.com b.example.com", {}, {}, 0, {"0.0.0.0 a.example.com b.example.com"}},
        ParseCase{"three characters", "0.0.0.0 abc", {}, {}, 0, {"0.0.0.0 abc"}},
        ParseCase{"four characters", "0.0.0.0 abcd", {{"abcd", "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"128 characters", "0.0.0.0 " + k128, {{k128, "", "0.0.0.0"}}, {}, 1, {""}},
        ParseCase{"129 characters", "0.0.0.0 " + k129, {}, {}, 0, {"0.0.0.0 " + k129}},
        ParseCase{"localhost", "127.0.0.1 localhost\n127.0.0.1\tLocalHost", {}, {}, 0,
                  {"127.0.0.1 localhost", "127.0.0.1\tLocalHost"}},
        ParseCase{"longer than localhost", "127.0.0.1 localhost.localdomain",
                  {{"localhost.localdomain", "", "127.0.0.1"}}, {}, 1, {""}},
        ParseCase{"leading zeros go to the redirections", "127.000.000.001 example.com", {},
                  {{"example.com", "", "127.000.000.001"}}, 1, {""}},
        ParseCase{"other address", "10.0.0.1 intranet.lan #Office", {}, {{"intranet.lan", "#office", "10.0.0.1"}}, 1,
                  {""}},
        ParseCase{"ipv6 groups", "FE80::1:2 Router.LAN", {}, {{"router.lan", "", "fe80::1:2"}}, 1, {""}},
        ParseCase{"ipv6 loopback rejected", "::1 localhost6.example", {}, {}, 0, {"::1 localhost6.example"}},
        ParseCase{"no letter", "127.0.0.1 10.0.0.1", {}, {}, 0, {"127.0.0.1 10.0.0.1"}},
        ParseCase{"comment line", "# a comment\n#0.0.0.0 example.com", {}, {}, 0,
                  {"# a comment", "#0.0.0.0 example.com"}},
        ParseCase{"no space", "127.0.0.1\nexample.com", {}, {}, 0, {"127.0.0.1", "example.com"}},
        ParseCase{"bad address", "1.2.3 example.com", {}, {}, 0, {"1.2.3 example.com"}},
        ParseCase{"name is only a comment", "0.0.0.0 #ads.example.com", {}, {}, 0, {"0.0.0.0 #ads.example.com"}},
        ParseCase{"rejected line trimmed of spaces, case kept", "  Not A Line  \n", {}, {}, 0, {"Not A Line"}},
        ParseCase{"blank lines rejected as empty", "\n0.0.0.0 example.com\n\n# end", {{"example.com", "", "0.0.0.0"}},
                  {}, 1, {"", "", "# end"}},
        ParseCase{"duplicate counts but adds no row", "0.0.0.0 a.com #first\n127.0.0.1 A.COM #second\n",
                  {{"a.com", "#first", "0.0.0.0"}}, {}, 2, {""}},
        ParseCase{"same name in both lists", "0.0.0.0 dup.example\n10.0.0.1 dup.example",
                  {{"dup.example", "", "0.0.0.0"}}, {{"dup.example", "", "10.0.0.1"}}, 2, {""}},
        ParseCase{"bytes of no host name",
                  "0.0.0.0 <html>\n0.0.0.0 x.com:80\n0.0.0.0 *.ads.com\n1.2.3.4 user:$y$j9T$a\n0.0.0.0 \"q.com\"\n"
                  "0.0.0.0 [a].com\n0.0.0.0 a\0b.com\n0.0.0.0 A_b-9.\xC3\xA9t\xC3\xA9"s,
                  {{"a_b-9.\xC3\xA9t\xC3\xA9", "", "0.0.0.0"}}, {}, 1,
                  {"0.0.0.0 <html>", "0.0.0.0 x.com:80", "0.0.0.0 *.ads.com", "1.2.3.4 user:$y$j9T$a",
                   "0.0.0.0 \"q.com\"", "0.0.0.0 [a].com", "0.0.0.0 a\0b.com"s}},
        ParseCase{"crlf and bom", "\xEF\xBB\xBF# head\r\n0.0.0.0 x.example\r\n", {{"x.example", "", "0.0.0.0"}}, {}, 1,
                  {"# head"}}));

TEST(HostsParser, BlockedAndRedirectedLines) {
  Session session;
  session.ResetRejectedLines();
  ParseHostsData("# c\n0.0.0.0 Ads.example.com #Ad\n10.0.0.1\tintra.example\n", session);
  ASSERT_EQ(session.blocked.size(), 1u);
  EXPECT_EQ(session.blocked.Name(0), "ads.example.com");
  EXPECT_EQ(session.blocked.Description(0), "#ad");
  ASSERT_EQ(session.redirected.size(), 1u);
  EXPECT_EQ(session.redirected.Address(0), "10.0.0.1");
  EXPECT_EQ(session.EntriesLoaded, 2);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{"# c"});
}

TEST(HostsParser, RowsAccumulateOverLoadsAndRejectedLinesDescribeTheLast) {
  Session session;
  session.ResetRejectedLines();
  ParseHostsData("0.0.0.0 one.example\nbad first\n", session);
  session.ResetRejectedLines();
  ParseHostsData("0.0.0.0 two.example\n0.0.0.0 ONE.example\n", session);
  EXPECT_EQ(Rows(session.blocked), (std::vector<Row>{{"one.example", "", "0.0.0.0"}, {"two.example", "", "0.0.0.0"}}));
  EXPECT_EQ(session.EntriesLoaded, 2);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
}

TEST(HostsParser, MissingFileFailsAndAddsNothing) {
  testing::TempDir dir;
  Session session;
  session.ResetRejectedLines();
  session.EntriesLoaded = 7;
  Status status = ParseHostsFile(testing::SystemPlatform(), dir.File("missing"), session);
  EXPECT_EQ(status.code(), ErrorCode::kNotFound);
  EXPECT_EQ(session.EntriesLoaded, 0);
  EXPECT_TRUE(session.blocked.empty());
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
}

TEST(HostsParser, YieldsWhileParsingALongFile) {
  std::string data;
  for (int i = 0; i < 5000; ++i) data += "0.0.0.0 host" + std::to_string(i) + ".example\n";
  Session session;
  session.ResetRejectedLines();
  int yields = 0;
  ParseHostsData(data, session, [&yields] { ++yields; });
  EXPECT_EQ(session.blocked.size(), 5000u);
  EXPECT_GT(yields, 0);
  EXPECT_LT(yields, 5000);
}

TEST(HostsParser, LinesToCarryAreTheNonBlankNonCommentLinesThatGiveNoEntry) {
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {" \t\r\n\r\n# c,d\n \t# e\n0.0.0.0 ads.example.com #x\n\t10.0.0.1  lan.example\n", {}},
      {"\xEF\xBB\xBF" "a b\rc d\ne f\r\n\xEF\xBB\xBFg\r\r\n", {"a b", "c d", "e f", "\xEF\xBB\xBFg"}},
      {"127.0.0.1\tlocalhost\n127.0.1.1\tmypc.lan\tmypc\n  ::1   LocalHost ip6-loopback  \nff02::1 ip6-allnodes\n"
       ":: any.example\n::: any.example\n0.0.0.0 abc\n",
       {"127.0.0.1\tlocalhost", "127.0.1.1\tmypc.lan\tmypc", "  ::1   LocalHost ip6-loopback  ", "ff02::1 ip6-allnodes",
        ":: any.example", "0.0.0.0 abc"}},
      {"127.0.0.1 a.com,b c\nx y,z w\n\"0.0.0.0 q.example\"\n", {"x y,z w"}},
  };
  for (const auto& [bytes, lines] : cases) EXPECT_EQ(LinesToCarry(bytes), lines) << bytes;
}

// Only the lines that may redirect are parsed: each kind of line the quick look passes over.
TEST(HostsParser, RedirectionsToKeepAreTheSecondListsRowsNoListNorAllowHolds) {
  Session lists;
  lists.redirected.Add("given.example", "10.0.0.9", "");  // as own.txt or a source gives it
  EntryList allow;
  allow.Add("Allowed.example", "", "");
  const std::string hosts = "\xEF\xBB\xBF" "10.0.0.3 bom.example\r\n0.0.0.0\tx.example\n  # 10.0.0.4 c.example\n"
                            "127.0.0.1 a.example,10.0.0.1 comma.example\n127.0.0.10 d.example #d\n"
                            "10.0.0.5 Given.example\n10.0.0.6 allowed.example\r127.0.0.1 e.example\n10.0.0.7 www.w.example\n";
  std::string kept;
  for (const auto& l : RedirectionsToKeep(hosts, lists, allow)) kept += l.address + ' ' + l.name + l.description + '|';
  EXPECT_EQ(kept, "10.0.0.3 bom.example|10.0.0.1 comma.example|127.0.0.10 d.example#d|10.0.0.7 w.example|");
}

}  // namespace
}  // namespace quorvale
