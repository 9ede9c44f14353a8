// Inputs no list should hold: NUL bytes, invalid UTF-8, binary noise, endless commas,
// unbalanced quotes, one enormous line. Every reader must take them as data, with exact
// results where the rules give them.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "core/hosts_writer.h"
#include "core/item_reader.h"
#include "support/list_rows.h"
#include "core/report.h"
#include "core/sorting.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Row;
using testing::Rows;

size_t CountItems(const std::string& data) {
  ItemReader reader(data);
  std::string_view item;
  size_t items = 0;
  do {
    reader.Next(&item);
    ++items;
  } while (!reader.AtEnd());
  return items;
}

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
  return bytes;
}

struct HostileCase {
  const char* label;
  std::function<std::string()> make;
  // The HOSTS parser's `blocked`, EntriesLoaded and number of rejected lines (empty ones
  // included).
  std::vector<Row> hosts_rows;
  int hosts_loaded;
  size_t hosts_rejected;
  // Rows of the plain-list parser and entries of the domain-only loader.
  size_t domain_rows;
  size_t domain_only_entries;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.label; }

class HostileInputTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileInputTest, EveryReaderTakesItAsData) {
  const HostileCase& c = GetParam();
  const std::string data = c.make();
  const size_t items = CountItems(data);

  Session hosts;
  hosts.ResetRejectedLines();
  ParseHostsData(data, hosts);
  EXPECT_EQ(Rows(hosts.blocked), c.hosts_rows);
  EXPECT_TRUE(hosts.redirected.empty());
  EXPECT_EQ(hosts.EntriesLoaded, c.hosts_loaded);
  EXPECT_EQ(hosts.RejectedLines.size(), c.hosts_rejected);
  EXPECT_EQ(static_cast<size_t>(hosts.EntriesLoaded) + hosts.RejectedLines.size(), items);

  Session plain;
  plain.ResetRejectedLines();
  ParseDomainListData(data, plain);
  EXPECT_EQ(plain.blocked.size(), c.domain_rows);
  EXPECT_EQ(static_cast<size_t>(plain.EntriesLoaded) + plain.RejectedLines.size(), items);

  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyData(data, buffer).ok());
  EXPECT_EQ(buffer.size(), c.domain_only_entries);
  SortAndDeduplicate(buffer);

  // What was read can be written and reported.
  std::string written;
  FormatHostsFile(hosts, {.redirect_address = "0.0.0.0", .add_www = true, .include_comments = true}, "date", &written);
  EXPECT_EQ(written.substr(written.size() - 2), "\r\n");
  EXPECT_EQ(BuildReport(hosts.RejectedLines).rfind("Liste des erreurs: \r\n", 0), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, HostileInputTest,
    ::testing::Values(
        // One item of 1 MiB: nothing in it is a letter, a blank or a delimiter.
        HostileCase{"nul_bytes", [] { return std::string(1 << 20, '\0'); }, {}, 0, 1, 0, 0},
        HostileCase{"nul_inside_names", [] { return "0.0.0.0 a\0b.example.com\n\0\0\0\0abcd\n"s; },
                    {}, 0, 2, 0, 2},
        // A million empty items, every one a rejected line.
        HostileCase{"million_commas", [] { return std::string(1'000'000, ','); }, {}, 0, 1'000'000, 0, 0},
        HostileCase{"million_commas_between_names",
                    [] { return "0.0.0.0 a.example.com" + std::string(1'000'000, ',') + "0.0.0.0 b.example.com"; },
                    {{"a.example.com", "", "0.0.0.0"}, {"b.example.com", "", "0.0.0.0"}}, 2, 999'999, 0, 2},
        // Names and comments are bytes: invalid UTF-8 is kept as it is, ordered by byte.
        HostileCase{"invalid_utf8",
                    [] {
                      return "0.0.0.0 \xFF\xFE.example.com\n0.0.0.0 caf\xC3.example.com #\xE9t\xE9\n"
                             "0.0.0.0 \xC0\xAF.example.com\n\xED\xA0\x80 bad\n\xFF\xFE\xFD\xFC\n"s;
                    },
                    {{"caf\xC3.example.com", "#\xE9t\xE9", "0.0.0.0"},
                     {"\xC0\xAF.example.com", "", "0.0.0.0"},
                     {"\xFF\xFE.example.com", "", "0.0.0.0"}},
                    3, 2, 0, 3},
        // An opening quote without its closing one runs to the end of its line only.
        HostileCase{"unbalanced_quotes",
                    [] {
                      return "\"0.0.0.0 a.example.com, b\n0.0.0.0 c.example.com \"x\n\"\"\"\n"
                             "\"0.0.0.0 d.example.com\n\""s;
                    },
                    {{"d.example.com", "", "0.0.0.0"}}, 1, 4, 0, 3}));

// Binary noise has no exact result; what holds for any input is checked.
TEST(HostileInputNoise, BinaryFileGivesOnlyValidRows) {
  for (unsigned seed : {1u, 2u, 3u}) {
    const std::string data = RandomBytes(1 << 20, seed);
    Session session;
    session.ResetRejectedLines();
    ParseHostsData(data, session);
    EXPECT_EQ(static_cast<size_t>(session.EntriesLoaded) + session.RejectedLines.size(), CountItems(data));
    for (const EntryList* list : {&session.blocked, &session.redirected}) {
      for (size_t row = 0; row < list->size(); ++row) {
        EXPECT_GE(list->Name(row).size(), 4u);
        EXPECT_LE(list->Name(row).size(), 128u);
        EXPECT_EQ(list->Name(row).find_first_of(" \t\r\n#/"), std::string_view::npos);
      }
    }
    Session plain;
    plain.ResetRejectedLines();
    ParseDomainListData(data, plain);
    EXPECT_EQ(static_cast<size_t>(plain.EntriesLoaded) + plain.RejectedLines.size(), CountItems(data));
    SortBuffer buffer;
    EXPECT_TRUE(LoadDomainOnlyData(data, buffer).ok());
    SortAndDeduplicate(buffer);
    for (size_t i = 1; i < buffer.size(); ++i) {
      EXPECT_LT(buffer[i - 1], buffer[i]);
      EXPECT_NE(EntryKey(buffer[i - 1]), EntryKey(buffer[i]));
    }
  }
}

// One line of 100 MiB, read once, kept as the comment of its row and written back whole.
TEST(HostileInputLongLine, HundredMegabyteLine) {
  constexpr size_t kSize = 100u << 20;
  Session session;
  session.ResetRejectedLines();
  std::string data = "0.0.0.0 a.example.com #" + std::string(kSize, 'x') + "\r\n";
  ParseHostsData(data, session);
  ASSERT_EQ(session.blocked.size(), 1u);
  EXPECT_EQ(session.blocked.Name(0), "a.example.com");
  EXPECT_EQ(session.blocked.Description(0).size(), kSize + 1);
  std::string written;
  FormatHostsFile(session, {.redirect_address = "0.0.0.0", .include_comments = true}, "date", &written);
  // The written line is the read one with tabs after the address and the name.
  data[7] = '\t';
  data[21] = '\t';
  EXPECT_TRUE(written.ends_with(data));
}

}  // namespace
}  // namespace quorvale
