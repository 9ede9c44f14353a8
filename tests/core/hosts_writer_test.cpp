#include "core/hosts_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "core/name_removal.h"
#include "core/sources_file.h"
#include "support/list_rows.h"

namespace quorvale {
namespace {

using testing::Row;
using testing::Rows;

constexpr std::string_view kDate = "07/12/2026 16:08:57";

const std::string kHeaderStart =
    "#\r\n"
    "# La ligne ci-dessous est obligatoire, ne pas la supprimer!\r\n"
    "127.0.0.1\tlocalhost\r\n"
    "#\r\n"
    "# Plus d'informations sur:\r\n";

std::string Header14(const std::string& count_line) {
  return kHeaderStart +
         "#\r\n"
         "# \thttps://fr.wikipedia.org/wiki/Hosts\r\n"
         "# \thttps://man7.org/linux/man-pages/man5/hosts.5.html\r\n"
         "# \thttps://en.wikipedia.org/wiki/Hosts_(file)\r\n"
         "#\r\n"
         "# Genere par: Quorvale @ 07/12/2026 16:08:57\r\n"
         "#\r\n" +
         count_line +
         "\r\n"
         "#\r\n";
}

std::string Header11(const std::string& count_line) {
  return kHeaderStart +
         "# https://fr.wikipedia.org/wiki/Hosts et https://man7.org/linux/man-pages/man5/hosts.5.html\r\n"
         "#\r\n"
         "# Genere par: Quorvale @ 07/12/2026 16:08:57\r\n"
         "#\r\n" +
         count_line +
         "\r\n"
         "#\r\n";
}

// 3 blocked rows (one loaded with 0.0.0.0) and 2 redirections, two of them with descriptions
// and, when asked, listed with "www.".
Session FiveRows(bool listed_with_www = false) {
  Session session;
  session.blocked.Add("c.example", "0.0.0.0", "");
  session.blocked.Add("a.example", "127.0.0.1", "#ads", listed_with_www);
  session.blocked.Add("b.example", "0.0.0.0", "");
  session.redirected.Add("router.lan", "192.168.1.1", "");
  session.redirected.Add("intra.lan", "10.0.0.1", "# office", listed_with_www);
  return session;
}

struct HostsFileCase {
  const char* label;
  bool five_rows;
  bool www;
  const char* redirect;
  bool comments;
  std::string expected;
  std::vector<std::string> carried_lines = {};
  bool listed_with_www = false;
};

void PrintTo(const HostsFileCase& c, std::ostream* out) { *out << c.label; }

class FormatHostsFileTest : public ::testing::TestWithParam<HostsFileCase> {};

TEST_P(FormatHostsFileTest, Bytes) {
  const HostsFileCase& c = GetParam();
  Session session = c.five_rows ? FiveRows(c.listed_with_www) : Session();
  std::string out;
  FormatHostsFile(session, {c.redirect, c.www, c.comments, c.carried_lines}, kDate, &out);
  EXPECT_EQ(out, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatHostsFileTest,
    ::testing::Values(
        HostsFileCase{"empty", false, false, "127.0.0.1", true, Header14("# Nombre d'entrees: 0")},
        HostsFileCase{"empty with www", false, true, "127.0.0.1", true,
                      Header14("# Nombre d'entrees: 0 * 2 avec les lignes 'www.'")},
        HostsFileCase{"empty, header keeps 127.0.0.1 with 0.0.0.0", false, false, "0.0.0.0", false,
                      Header14("# Nombre d'entrees: 0")},
        HostsFileCase{"five rows, www, comments, two listed with www.", true, true, "127.0.0.1", true,
                      Header14("# Nombre d'entrees: 5 * 2 avec les lignes 'www.'") +
                          "10.0.0.1\tintra.lan\t# office\r\n"
                          "192.168.1.1\trouter.lan\r\n"
                          "10.0.0.1\twww.intra.lan\t# office\r\n"
                          "192.168.1.1\twww.router.lan\r\n"
                          "127.0.0.1\ta.example\t#ads\r\n"
                          "127.0.0.1\tb.example\r\n"
                          "127.0.0.1\tc.example\r\n"
                          "127.0.0.1\twww.a.example\t#ads\r\n"
                          "127.0.0.1\twww.b.example\r\n"
                          "127.0.0.1\twww.c.example\r\n",
                      {}, true},
        HostsFileCase{"five rows, no comments, 0.0.0.0", true, false, "0.0.0.0", false,
                      Header14("# Nombre d'entrees: 5") +
                          "10.0.0.1\tintra.lan\r\n"
                          "192.168.1.1\trouter.lan\r\n"
                          "0.0.0.0\ta.example\r\n"
                          "0.0.0.0\tb.example\r\n"
                          "0.0.0.0\tc.example\r\n"},
        HostsFileCase{"carried lines but the header's own", true, false, "0.0.0.0", false,
                      Header14("# Nombre d'entrees: 5") + "# Lignes conservees du fichier hosts precedent\r\n"
                          "::1 localhost\r\n127.0.0.1\tlocalhost.localdomain\r\n10.0.0.1\tintra.lan\r\n"
                          "192.168.1.1\trouter.lan\r\n0.0.0.0\ta.example\r\n0.0.0.0\tb.example\r\n"
                          "0.0.0.0\tc.example\r\n",
                      {"127.0.0.1 localhost", "::1 localhost", " 127.0.0.1 \t localhost\t",
                       "127.0.0.1\tlocalhost.localdomain"}},
        HostsFileCase{"only the header's own line carried", false, false, "0.0.0.0", false,
                      Header14("# Nombre d'entrees: 0"), {"127.0.0.1  localhost"}}));

// What an update writes of one line of a source, with one line in allow.txt: case, one
// trailing dot and "www." on either side, for both kinds of list.
TEST(FormatHostsFile, WritesAnUpdatesNamesAsListedAndWithoutTheAllowedOnes) {
  const std::tuple<SourceKind, std::string, std::string, std::string> cases[] = {
      {SourceKind::kHosts, "0.0.0.0 trail.example.com.", "", "0.0.0.0\ttrail.example.com.\r\n"},
      {SourceKind::kHosts, "0.0.0.0 WWW.x.example", "", "0.0.0.0\tx.example\r\n0.0.0.0\twww.x.example\r\n"},
      {SourceKind::kHosts, "10.0.0.1 www.x.lan.", "y.lan", "10.0.0.1\tx.lan.\r\n10.0.0.1\twww.x.lan.\r\n"},
      {SourceKind::kHosts, "0.0.0.0 plain.example.com", "PLAIN.EXAMPLE.COM.", ""},
      {SourceKind::kHosts, "0.0.0.0 trail.example.com.", "trail.example.com", ""},
      {SourceKind::kHosts, "0.0.0.0 www.x.example", "X.Example.", ""},
      {SourceKind::kHosts, "10.0.0.1 x.example", "www.x.example", ""},
      {SourceKind::kDomains, "www.Mixed.Example", "", "0.0.0.0\tMixed.Example\r\n0.0.0.0\twww.Mixed.Example\r\n"},
      {SourceKind::kDomains, "WWW.x.example.", "", "0.0.0.0\tWWW.x.example.\r\n"},
      {SourceKind::kDomains, "Trail.example.com.", "TRAIL.example.com", ""},
      {SourceKind::kDomains, "www.x.example", "www.X.example.", ""}};
  for (const auto& [kind, listed, allowed, written] : cases) {
    Session session;
    kind == SourceKind::kHosts ? ParseHostsData(listed, session, {}, WwwListing::kFlag)
                               : ParseDomainListData(listed, session, {}, WwwListing::kFlag);
    Session allow;
    WholeData pieces(allowed);
    ASSERT_TRUE(ParseNamesToRemovePieces(pieces, allow).ok());
    EXPECT_EQ(RemoveNames(session, allow.blocked), written.empty() ? 1u : 0u) << listed << " / " << allowed;
    std::string out;
    FormatHostsFile(session, {.redirect_address = "0.0.0.0"}, kDate, &out);
    EXPECT_EQ(out, Header14(written.empty() ? "# Nombre d'entrees: 0" : "# Nombre d'entrees: 1") + written) << listed;
  }
}

TEST(FormatHostsFile, FollowsEachListsDisplayOrder) {
  Session session = FiveRows();
  session.blocked.SetSort(Column::kDescription, SortDirection::kDescending);
  session.redirected.SetSort(Column::kRedirection, SortDirection::kDescending);
  std::string out;
  FormatHostsFile(session, {.redirect_address = "127.0.0.1", .include_comments = true}, kDate, &out);
  EXPECT_EQ(out.substr(Header14("# Nombre d'entrees: 5").size()),
            "192.168.1.1\trouter.lan\r\n"
            "10.0.0.1\tintra.lan\t# office\r\n"
            "127.0.0.1\ta.example\t#ads\r\n"
            "127.0.0.1\tc.example\r\n"
            "127.0.0.1\tb.example\r\n");
}

TEST(FormatHostsFile, WritesCellsUnchanged) {
  Session session;
  session.blocked.Add("www.twice.example", "0.0.0.0", "  #  spaced  ");
  session.blocked.Add("Caf\xC3\xA9.example", "0.0.0.0", "");
  std::string out = "kept";
  FormatHostsFile(session, {.redirect_address = "127.0.0.1", .add_www = true, .include_comments = true}, kDate, &out);
  EXPECT_EQ(out, "kept" + Header14("# Nombre d'entrees: 2 * 2 avec les lignes 'www.'") +
                     "127.0.0.1\tCaf\xC3\xA9.example\r\n"
                     "127.0.0.1\twww.twice.example\t  #  spaced  \r\n"
                     "127.0.0.1\twww.Caf\xC3\xA9.example\r\n"
                     "127.0.0.1\twww.www.twice.example\t  #  spaced  \r\n");
}

TEST(FormatHostsFile, YieldsBetweenSections) {
  Session session = FiveRows();
  int yields = 0;
  std::string out;
  FormatHostsFile(session, {.redirect_address = "127.0.0.1", .add_www = true}, kDate, &out, [&yields] { ++yields; });
  EXPECT_GE(yields, 3);
}

TEST(FormatHostsFile, LoadedAgainEveryEntryReturnsToItsList) {
  Session session;
  session.ResetRejectedLines();
  ParseHostsData(
      "127.0.0.1 blocked.example #Ads here\n"
      "0.0.0.0 zero.example\n"
      "10.1.2.3 intranet.example # office\n"
      "fe80::1:2 v6.example\n"
      "127.000.0.1 padded.example\n",
      session);
  std::string out;
  FormatHostsFile(session, {.redirect_address = "0.0.0.0", .add_www = true, .include_comments = true}, kDate, &out);
  Session again;
  again.ResetRejectedLines();
  ParseHostsData(out, again);
  EXPECT_EQ(Rows(again.blocked),
            (std::vector<Row>{{"blocked.example", "#ads here", "0.0.0.0"}, {"zero.example", "", "0.0.0.0"}}));
  EXPECT_EQ(Rows(again.redirected), Rows(session.redirected));
  EXPECT_EQ(again.EntriesLoaded, 10);
}

struct ArrayCase {
  const char* label;
  std::vector<std::string> items;
  bool www;
  const char* redirect;
  std::string expected;
};

void PrintTo(const ArrayCase& c, std::ostream* out) { *out << c.label; }

class FormatHostsFromArrayTest : public ::testing::TestWithParam<ArrayCase> {};

TEST_P(FormatHostsFromArrayTest, Bytes) {
  SortBuffer buffer;
  for (const std::string& item : GetParam().items) buffer.Append(item);
  std::string out;
  FormatHostsFromArray(buffer, {GetParam().redirect, GetParam().www}, kDate, &out);
  EXPECT_EQ(out, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatHostsFromArrayTest,
    ::testing::Values(ArrayCase{"empty", {}, false, "127.0.0.1", Header11("# Entry Count: 0")},
                      ArrayCase{"empty with www", {}, true, "127.0.0.1", Header11("# Entry Count: 0 * 2 with www.")},
                      ArrayCase{"three", {"a.example", "b.example", "c.example"}, false, "127.0.0.1",
                                Header11("# Entry Count: 3") +
                                    "127.0.0.1\ta.example\r\n"
                                    "127.0.0.1\tb.example\r\n"
                                    "127.0.0.1\tc.example\r\n"},
                      ArrayCase{"three with www and 0.0.0.0", {"a.example", "b.example #[tracker]", "c.example"}, true,
                                "0.0.0.0",
                                Header11("# Entry Count: 3 * 2 with www.") +
                                    "0.0.0.0\ta.example\r\n"
                                    "0.0.0.0\tb.example #[tracker]\r\n"
                                    "0.0.0.0\tc.example\r\n"
                                    "0.0.0.0\twww.a.example\r\n"
                                    "0.0.0.0\twww.b.example #[tracker]\r\n"
                                    "0.0.0.0\twww.c.example\r\n"},
                      ArrayCase{"empty element", {""}, false, "127.0.0.1",
                                Header11("# Entry Count: 1") + "127.0.0.1\t\r\n"}));

TEST(FormatDomainExport, NamesInDisplayOrderWithOrWithoutComments) {
  EntryList list;
  list.Add("b.example", "127.0.0.1", "#ads");
  list.Add("a.example", "127.0.0.1", "");
  list.Add("c.example", "0.0.0.0", "# x, y");
  std::string with;
  FormatDomainExport(list, {.include_comments = true}, &with);
  EXPECT_EQ(with, "a.example\r\nb.example\t#ads\r\nc.example\t# x, y\r\n");
  std::string without;
  FormatDomainExport(list, {}, &without);
  EXPECT_EQ(without, "a.example\r\nb.example\r\nc.example\r\n");
  list.SetSort(Column::kDomaine, SortDirection::kDescending);
  std::string reversed;
  FormatDomainExport(list, {}, &reversed);
  EXPECT_EQ(reversed, "c.example\r\nb.example\r\na.example\r\n");

  std::string empty;
  FormatDomainExport(EntryList(), {.include_comments = true}, &empty);
  EXPECT_EQ(empty, "");
}

TEST(FormatSortedNames, EveryElementAsOneLine) {
  SortBuffer buffer;
  std::string out;
  FormatSortedNames(buffer, &out);
  EXPECT_EQ(out, "");
  buffer.Append("a.example");
  buffer.Append("b.example #[tracker]");
  buffer.Append("");
  FormatSortedNames(buffer, &out);
  EXPECT_EQ(out, "a.example\r\nb.example #[tracker]\r\n\r\n");
}

// A big list goes out in pieces of at most a megabyte (a line is never split but at a
// piece's end), and the pieces put together are the bytes of the one-string form.
TEST(ChunkedWriters, BigListGoesOutInPiecesThatMakeTheWholeFile) {
  Session session;
  SortBuffer names;
  for (int i = 0; i < 60000; ++i) {
    const std::string name = "host" + std::to_string(i) + ".a-rather-long-domain-name.example";
    session.blocked.Add(name, "0.0.0.0", i % 7 == 0 ? "# seven" : "");
    names.Append(name);
  }
  session.redirected.Add("intra.lan", "10.0.0.1", "# office");
  // A description longer than a piece still goes out whole.
  session.redirected.Add("long.lan", "10.0.0.2", "#" + std::string(3 << 20, 'd'));

  struct Writer {
    const char* name;
    std::function<bool(const ByteSink&)> format;
    std::function<void(std::string*)> whole;
  };
  const WriteOptions options{.redirect_address = "127.0.0.1", .add_www = true, .include_comments = true};
  const std::vector<Writer> writers = {
      {"hosts", [&](const ByteSink& sink) { return FormatHostsFile(session, options, kDate, sink); },
       [&](std::string* out) { FormatHostsFile(session, options, kDate, out); }},
      {"array", [&](const ByteSink& sink) { return FormatHostsFromArray(names, options, kDate, sink); },
       [&](std::string* out) { FormatHostsFromArray(names, options, kDate, out); }},
      {"export", [&](const ByteSink& sink) { return FormatDomainExport(session.blocked, options, sink); },
       [&](std::string* out) { FormatDomainExport(session.blocked, options, out); }},
      {"names", [&](const ByteSink& sink) { return FormatSortedNames(names, sink); },
       [&](std::string* out) { FormatSortedNames(names, out); }},
  };
  for (const Writer& writer : writers) {
    SCOPED_TRACE(writer.name);
    std::vector<std::string> pieces;
    EXPECT_TRUE(writer.format([&pieces](std::string_view piece) {
      pieces.emplace_back(piece);
      return true;
    }));
    std::string whole;
    writer.whole(&whole);
    ASSERT_GT(pieces.size(), 1u);
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_FALSE(pieces[i].empty());
      if (pieces[i].size() > (1u << 20)) {
        EXPECT_EQ(std::count(pieces[i].begin(), pieces[i].end(), '\n'), 1) << "piece " << i;
      }
      EXPECT_TRUE(pieces[i].ends_with("\r\n")) << "piece " << i;
      joined += pieces[i];
    }
    EXPECT_EQ(joined, whole);
  }
}

// Once the sink refuses a piece (the disk is full) the writer stops and says so.
TEST(ChunkedWriters, RefusedPieceStopsTheWriter) {
  Session session;
  SortBuffer names;
  for (int i = 0; i < 100000; ++i) {
    session.blocked.Add("host" + std::to_string(i) + ".example", "0.0.0.0", "");
    names.Append("host" + std::to_string(i) + ".example");
  }
  const WriteOptions options{.redirect_address = "0.0.0.0", .add_www = true};
  const std::vector<std::function<bool(const ByteSink&)>> writers = {
      [&](const ByteSink& sink) { return FormatHostsFile(session, options, kDate, sink); },
      [&](const ByteSink& sink) { return FormatHostsFromArray(names, options, kDate, sink); },
      [&](const ByteSink& sink) { return FormatDomainExport(session.blocked, options, sink); },
      [&](const ByteSink& sink) { return FormatSortedNames(names, sink); },
  };
  for (size_t w = 0; w < writers.size(); ++w) {
    SCOPED_TRACE(w);
    int calls = 0;
    EXPECT_FALSE(writers[w]([&calls](std::string_view) { return ++calls < 2; }));
    EXPECT_EQ(calls, 2);
    calls = 0;
    EXPECT_TRUE(writers[w]([&calls](std::string_view) { return ++calls > 0; }));
    EXPECT_GE(calls, 2);
  }
}

// Sets environment variables for one test and puts the old values back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    Set(value);
  }
  ~ScopedEnv() { Set(old_ ? old_->c_str() : nullptr); }

 private:
  void Set(const char* value) {
#ifdef _WIN32
    _putenv_s(name_, value ? value : "");
#else
    if (value) {
      setenv(name_, value, 1);
    } else {
      unsetenv(name_);
    }
#endif
  }
  const char* name_;
  std::optional<std::string> old_;
};

struct DateCase {
  const char* locale;
  const char* epoch;
  const char* expected;
};

void PrintTo(const DateCase& c, std::ostream* out) { *out << c.locale << " @ " << c.epoch; }

class HeaderDateTextTest : public ::testing::TestWithParam<DateCase> {};

TEST_P(HeaderDateTextTest, FixedMoment) {
  ScopedEnv all("LC_ALL", GetParam().locale);
  ScopedEnv epoch("SOURCE_DATE_EPOCH", GetParam().epoch);
  EXPECT_EQ(LocaleDateTimeText(HeaderMoment()), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderDateTextTest,
    ::testing::Values(DateCase{"C", "0", "01/01/70 00:00:00"},
                      // Read as UTC whatever the time zone.
                      DateCase{"C", "1783440537", "07/07/26 16:08:57"},
                      DateCase{"POSIX", "86399", "01/01/70 23:59:59"},
                      // A locale that is not installed falls back to the classic one.
                      DateCase{"xx_NOWHERE.bogus", "1783440537", "07/07/26 16:08:57"}));

TEST(HeaderDateText, TimeZoneDoesNotMoveAFixedMoment) {
  ScopedEnv all("LC_ALL", "C");
  ScopedEnv zone("TZ", "Pacific/Kiritimati");
  ScopedEnv epoch("SOURCE_DATE_EPOCH", "1783440537");
  EXPECT_EQ(LocaleDateTimeText(HeaderMoment()), "07/07/26 16:08:57");
}

TEST(HeaderDateText, InvalidEpochMeansNow) {
  ScopedEnv all("LC_ALL", "C");
  const std::regex shape(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)");
  for (const char* value : {"", "abc", "12x", "-1", " 5", "99999999999999999999999"}) {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", value);
    std::string text = LocaleDateTimeText(HeaderMoment());
    EXPECT_TRUE(std::regex_match(text, shape)) << value << " -> " << text;
    EXPECT_NE(text.substr(0, 8), "01/01/70") << value;
  }
}

}  // namespace
}  // namespace quorvale
