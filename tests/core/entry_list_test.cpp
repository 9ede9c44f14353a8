#include "core/entry_list.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "core/name_removal.h"
#include "core/utf16.h"
#include "support/list_rows.h"

namespace quorvale {
namespace {

using testing::Entries;
using testing::Row;
using testing::Rows;

std::vector<std::string> Names(const EntryList& list) {
  std::vector<std::string> names;
  for (size_t i = 0; i < list.size(); ++i) names.emplace_back(list.Name(i));
  return names;
}

TEST(EntryList, KeysIgnoreAsciiCaseOnly) {
  EntryList list;
  EXPECT_TRUE(list.Add("Example.com", "0.0.0.0", "#first"));
  EXPECT_FALSE(list.Add("example.COM", "10.0.0.1", "#second"));
  EXPECT_TRUE(list.Contains("EXAMPLE.com"));
  // Accented capitals are other bytes, so other keys.
  EXPECT_TRUE(list.Add("\xC3\x89t\xC3\xA9.example", "0.0.0.0", ""));
  EXPECT_TRUE(list.Add("\xC3\xA9t\xC3\xA9.example", "0.0.0.0", ""));
  EXPECT_FALSE(list.Contains("example.co"));
  EXPECT_EQ(list.size(), 3u);
  EXPECT_EQ(Rows(list)[0], (Row{"Example.com", "#first", "0.0.0.0"}));
}

TEST(EntryList, DescriptionOfOnlyAHashIsNotStored) {
  EntryList list;
  list.Add("a.example", "0.0.0.0", "#");
  list.Add("b.example", "0.0.0.0", "");
  list.Add("c.example", "0.0.0.0", "# x");
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"a.example", "", "0.0.0.0"},
                                          {"b.example", "", "0.0.0.0"},
                                          {"c.example", "# x", "0.0.0.0"}}));
}

TEST(EntryList, ManyRowsStayUniqueAndFindable) {
  EntryList list;
  for (int i = 0; i < 20000; ++i) list.Add("host" + std::to_string(i) + ".example", "0.0.0.0", "");
  for (int i = 0; i < 20000; i += 7) EXPECT_FALSE(list.Add("HOST" + std::to_string(i) + ".EXAMPLE", "1.1.1.1", ""));
  EXPECT_EQ(list.size(), 20000u);
  EXPECT_TRUE(list.Contains("Host19999.Example"));
  EXPECT_FALSE(list.Contains("host20000.example"));
}

// Rows share the storage of their address and description with other rows; each row must
// still show its own, whatever the mix of addresses (more of them than are kept at hand)
// and descriptions, also after a sort and after more rows came.
TEST(EntryList, EveryRowKeepsItsOwnAddressAndDescription) {
  EntryList list;
  auto address_of = [](int i) { return i % 3 == 0 ? std::string("0.0.0.0") : "10.0." + std::to_string(i % 11) + ".1"; };
  auto description_of = [](int i) { return i % 5 == 0 ? "# row " + std::to_string(i) : std::string(); };
  auto check = [&](int rows) {
    ASSERT_EQ(list.size(), static_cast<size_t>(rows));
    size_t text_bytes = 0;
    for (size_t at = 0; at < list.size(); ++at) {
      const int i = std::stoi(std::string(list.Name(at).substr(4)));
      EXPECT_EQ(list.Address(at), address_of(i)) << list.Name(at);
      EXPECT_EQ(list.Description(at), description_of(i)) << list.Name(at);
      text_bytes += list.Name(at).size() + address_of(i).size() + description_of(i).size();
    }
    EXPECT_EQ(list.text_bytes(), text_bytes);
  };
  for (int i = 0; i < 300; ++i) ASSERT_TRUE(list.Add("row." + std::to_string(i), address_of(i), description_of(i)));
  check(300);
  list.SetSort(Column::kRedirection, SortDirection::kDescending);
  check(300);
  for (int i = 300; i < 400; ++i) ASSERT_TRUE(list.Add("row." + std::to_string(i), address_of(i), description_of(i)));
  check(400);
  list.Clear();
  for (int i = 7; i < 50; i += 2) ASSERT_TRUE(list.Add("row." + std::to_string(i), address_of(i), description_of(i)));
  check(22);
}

// A list whose index was freed for the writing finds its keys again when it is next
// changed or asked: nothing is lost and duplicates stay refused.
TEST(EntryList, DroppedIndexIsMadeAgainOnDemand) {
  EntryList list;
  for (int i = 0; i < 3000; ++i) ASSERT_TRUE(list.Add("Host" + std::to_string(i) + ".example", "0.0.0.0", ""));
  list.DropIndex();
  EXPECT_EQ(list.Name(0), "Host0.example");
  EXPECT_TRUE(list.Contains("HOST2999.EXAMPLE"));
  EXPECT_FALSE(list.Contains("host3000.example"));
  list.DropIndex();
  const uint32_t again = list.KeyAhead("host17.EXAMPLE");
  const uint32_t fresh = list.KeyAhead("host3000.example");
  list.AddKeyed("host17.EXAMPLE", "10.0.0.1", "# again", false, again);
  list.AddKeyed("host3000.example", "10.0.0.1", "# new", false, fresh);
  EXPECT_EQ(list.size(), 3001u);
  list.DropIndex();
  const EntryList::Mark mark = list.MarkNow();
  ASSERT_TRUE(list.Add("later.example", "0.0.0.0", ""));
  list.DropIndex();
  list.RollBack(mark);
  EXPECT_EQ(list.size(), 3001u);
  EXPECT_FALSE(list.Contains("later.example"));
  EXPECT_TRUE(list.Contains("host3000.example"));
  list.DropIndex();
  list.Reserve(10, 100, true);
  EXPECT_FALSE(list.Add("HOST0.example", "0.0.0.0", ""));
  EXPECT_EQ(list.size(), 3001u);
  EXPECT_EQ(list.Name(list.size() - 1), "host3000.example");
  EXPECT_EQ(list.Description(list.size() - 1), "# new");
}

// Keys announced long before their rows are added (the index growing in between) add as Add
// does: in order, the first of equal keys kept; ForEachRow gives the display order until told
// to stop.
TEST(EntryList, KeyedAddsAndForEachRowDoWhatTheOneRowCallsDo) {
  std::vector<std::string> names;
  for (int i = 0; i < 6000; ++i) names.push_back((i % 2 ? "HOST" : "host") + std::to_string(i / 2 % 2500) + ".example");
  EntryList one_by_one;
  EntryList at_once;
  std::vector<uint32_t> hashes;
  for (const std::string& name : names) hashes.push_back(at_once.KeyAhead(name));
  for (size_t i = 0; i < names.size(); ++i) {
    const char* address = i % 3 ? "0.0.0.0" : "127.0.0.1";
    const char* description = i % 5 ? "" : "# five";
    one_by_one.Add(names[i], address, description);
    at_once.AddKeyed(names[i], address, description, false, hashes[i]);
  }
  const std::vector<Row> expected = Rows(one_by_one);
  EXPECT_EQ(expected.size(), 2500u);
  EXPECT_EQ(expected[0], (Row{"host0.example", "# five", "127.0.0.1"}));
  EXPECT_EQ(Rows(at_once), expected);

  std::vector<Row> visited;
  EXPECT_FALSE(at_once.ForEachRow([&visited](const EntryList::RowTexts& row) {
    visited.push_back({std::string(row.name), std::string(row.description), std::string(row.address)});
    return visited.size() < 40;
  }));
  EXPECT_EQ(visited, std::vector<Row>(expected.begin(), expected.begin() + 40));
}

// The "listed with www." flag: set by any add of the key, cleared again by a roll-back to a
// mark taken before, kept by the rows through removals.
TEST(EntryList, ListedWithWwwFollowsItsRowAndRollsBackExactly) {
  EntryList list;
  list.Add("b.example", "0.0.0.0", "");
  const EntryList::Mark mark = list.MarkNow();
  EXPECT_FALSE(list.Add("B.EXAMPLE", "0.0.0.0", "", true));
  list.Add("a.example", "0.0.0.0", "", true);
  list.RollBack(mark);
  list.Add("c.example", "0.0.0.0", "", true);
  list.Add("a.example", "0.0.0.0", "", true);
  EXPECT_EQ(list.RemoveRows(std::vector<size_t>{2}), 1u);
  EXPECT_EQ(std::vector<bool>({list.ListedWithWww(0), list.ListedWithWww(1)}), std::vector<bool>({true, false}));
  EXPECT_EQ(list.rows_listed_with_www(), 1u);
}

TEST(EntryList, DisplayOrderIsByteOrderOfTheName) {
  EntryList list;
  for (const char* name : {"c.example", "a.example", "B.example", "a.examplf", "\xC3\xA9.example", "1.example"}) {
    list.Add(name, "0.0.0.0", "");
  }
  EXPECT_EQ(Names(list), (std::vector<std::string>{"1.example", "B.example", "a.example", "a.examplf", "c.example",
                                                   "\xC3\xA9.example"}));
  // A row added later takes its place in the order.
  list.Add("0.example", "0.0.0.0", "");
  EXPECT_EQ(list.Name(0), "0.example");
}

struct OrderCase {
  const char* label;
  Column column;
  SortDirection direction;
  std::vector<std::string> names;
};

void PrintTo(const OrderCase& c, std::ostream* out) { *out << c.label; }

class EntryListOrderTest : public ::testing::TestWithParam<OrderCase> {};

void AddOrderRows(EntryList& list) {
  list.Add("d.example", "10.0.0.2", "#b");
  list.Add("a.example", "10.0.0.1", "#b");
  list.Add("c.example", "10.0.0.2", "");
  list.Add("b.example", "10.0.0.10", "#a");
}

TEST_P(EntryListOrderTest, Order) {
  EntryList list;
  AddOrderRows(list);
  list.SetSort(GetParam().column, GetParam().direction);
  EXPECT_EQ(list.sort_column(), GetParam().column);
  EXPECT_EQ(list.sort_direction(), GetParam().direction);
  EXPECT_EQ(Names(list), GetParam().names);
}

// Under every order the rows left keep their places; the index, the text count and a row
// added again follow.
TEST_P(EntryListOrderTest, RemovalLeavesTheOtherRowsInOrder) {
  EntryList list;
  AddOrderRows(list);
  list.SetSort(GetParam().column, GetParam().direction);
  const Row gone = Rows(list)[1];
  std::vector<std::string> left = GetParam().names;
  left.erase(left.begin() + 1);
  const size_t places[] = {1, 1, 7};
  EXPECT_EQ(list.RemoveRows(places), 1u);
  EXPECT_EQ(Names(list), left);
  EXPECT_FALSE(list.Contains(gone.name));
  EXPECT_TRUE(list.Contains(left[2]));
  // 36 bytes of names, 33 of addresses, 6 of descriptions.
  EXPECT_EQ(list.text_bytes(), 75 - gone.name.size() - gone.address.size() - gone.description.size());
  EXPECT_TRUE(list.Add(gone.name, gone.address, gone.description));
  EXPECT_EQ(Names(list), GetParam().names);
  const size_t all[] = {3, 2, 1, 0};
  EXPECT_EQ(list.RemoveRows(all), 4u);
  EXPECT_TRUE(list.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EntryListOrderTest,
    ::testing::Values(
        OrderCase{"domaine ascending", Column::kDomaine, SortDirection::kAscending,
                  {"a.example", "b.example", "c.example", "d.example"}},
        OrderCase{"domaine descending", Column::kDomaine, SortDirection::kDescending,
                  {"d.example", "c.example", "b.example", "a.example"}},
        // Empty descriptions first, ties broken by the name.
        OrderCase{"description ascending", Column::kDescription, SortDirection::kAscending,
                  {"c.example", "b.example", "a.example", "d.example"}},
        OrderCase{"description descending reverses the ties too", Column::kDescription, SortDirection::kDescending,
                  {"d.example", "a.example", "b.example", "c.example"}},
        // Byte order of the text: "10.0.0.10" before "10.0.0.2".
        OrderCase{"redirection ascending", Column::kRedirection, SortDirection::kAscending,
                  {"a.example", "b.example", "c.example", "d.example"}},
        OrderCase{"redirection descending", Column::kRedirection, SortDirection::kDescending,
                  {"d.example", "c.example", "b.example", "a.example"}}));

TEST(EntryList, SortChangesOnlyTheOrderAndRowsFollowTheirCells) {
  EntryList list;
  list.Add("b.example", "10.0.0.2", "#1");
  list.Add("a.example", "10.0.0.1", "#2");
  list.SetSort(Column::kDescription, SortDirection::kDescending);
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"a.example", "#2", "10.0.0.1"}, {"b.example", "#1", "10.0.0.2"}}));
  EXPECT_EQ(list.Text(0, Column::kRedirection), "10.0.0.1");
  list.SetSort(Column::kDomaine, SortDirection::kAscending);
  EXPECT_EQ(Rows(list), (std::vector<Row>{{"a.example", "#2", "10.0.0.1"}, {"b.example", "#1", "10.0.0.2"}}));
}

// In display order: ads.Example, example.org, tracker.EXAMPLE.net "# Ã©ÿ", zzz.test "# café" (Windows-1252).
TEST(EntryList, FindTextLooksAtShownNamesAndDescriptionsInAStretchOfTheDisplayOrder) {
  EntryList list;
  for (const char* name : {"tracker.EXAMPLE.net", "zzz.test", "example.org", "ads.Example"}) {
    list.Add(name, "0.0.0.0", name[0] == 'z' ? "# caf\xE9" : name[0] == 't' ? "# \xC3\xA9\xFF" : "");
  }
  const std::tuple<const char*, size_t, size_t, size_t> cases[] = {
      {"eXample", 0, 4, 0}, {"example", 1, 4, 1}, {"example", 3, 4, kNoRow}, {"example", 2, 99, 2},
      {"zz", 0, 4, 3},      {"", 2, 4, 2},        {"s.e", 0, 4, 0},     {"example", 3, 1, kNoRow},
      {"CAF\xC3\xA9", 0, 4, 3}, {"\xC3\xA9", 0, 4, 3}, {"\xC3\x89", 0, 4, kNoRow}, {"0.0.0.0", 0, 4, kNoRow}};
  for (const auto& [text, begin, end, found] : cases) {
    EXPECT_EQ(list.FindText(text, begin, end, Utf8FromWindows1252), found) << text << " " << begin << " " << end;
  }
}

TEST(RemoveNames, TakesTheNamesOutOfBothListsAndTheSortBufferIgnoringCase) {
  Session session;
  session.blocked.Add("Ads.example", "0.0.0.0", "#x");
  session.blocked.Add("keep.example", "0.0.0.0", "");
  session.redirected.Add("intra.EXAMPLE", "10.0.0.1", "");
  for (const char* entry : {"ads.example #[c]", "ads.example", "keep.example", "ads.example.com",
                            "intra.example #[ #[", "xads.example", "ads.example#[d]"}) {
    session.SortArray.Append(entry);
  }
  EntryList names;
  for (const char* name : {"ADS.example", "intra.example", "absent.example"}) names.Add(name, "127.0.0.1", "");
  EXPECT_EQ(RemoveNames(session, names), 5u);
  EXPECT_EQ(Rows(session.blocked), (std::vector<Row>{{"keep.example", "", "0.0.0.0"}}));
  EXPECT_TRUE(session.redirected.empty());
  EXPECT_EQ(Entries(session.SortArray),
            (std::vector<std::string>{"keep.example", "ads.example.com", "xads.example", "ads.example#[d]"}));
  EXPECT_EQ(RemoveNames(session, names), 0u);
}

TEST(EntryList, ClearEmptiesAndKeepsTheSort) {
  EntryList list;
  list.Add("a.example", "0.0.0.0", "");
  list.SetSort(Column::kDomaine, SortDirection::kDescending);
  list.Clear();
  EXPECT_TRUE(list.empty());
  EXPECT_FALSE(list.Contains("a.example"));
  EXPECT_EQ(list.sort_direction(), SortDirection::kDescending);
  list.Add("a.example", "0.0.0.0", "");
  list.Add("b.example", "0.0.0.0", "");
  EXPECT_EQ(Names(list), (std::vector<std::string>{"b.example", "a.example"}));
}

}  // namespace
}  // namespace quorvale
