#include "core/sorting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "support/list_rows.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Entries;

// Byte order written out independently: unsigned bytes, a prefix first.
bool ByteLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

struct KeyCase {
  std::string entry;
  std::string key;
};

void PrintTo(const KeyCase& c, std::ostream* out) { *out << '"' << c.entry << '"'; }

class EntryKeyTest : public ::testing::TestWithParam<KeyCase> {};

TEST_P(EntryKeyTest, TextBeforeTheMarker) { EXPECT_EQ(EntryKey(GetParam().entry), GetParam().key); }

INSTANTIATE_TEST_SUITE_P(Cases, EntryKeyTest,
                         ::testing::Values(KeyCase{"a.com", "a.com"}, KeyCase{"a.com #[x]", "a.com"},
                                           KeyCase{"a.com #[x] #[y]", "a.com"}, KeyCase{"a.com#[x]", "a.com#[x]"},
                                           KeyCase{"a.com  #[x]", "a.com "}, KeyCase{"a.com # x", "a.com # x"},
                                           KeyCase{"a.com\t#[x]", "a.com\t#[x]"}, KeyCase{" #[x]", ""},
                                           KeyCase{"", ""}));

// `items` after SortRange(first, last), by default over all of them.
std::vector<std::string> Sorted(const std::vector<std::string>& items, int32_t first = 0, int32_t last = -1) {
  SortBuffer buffer;
  for (const std::string& item : items) buffer.Append(item);
  SortRange(buffer, first, last == -1 ? static_cast<int32_t>(items.size()) - 1 : last);
  return Entries(buffer);
}

TEST(SortRange, MatchesByteOrderOnAwkwardStrings) {
  // Lengths around the comparison windows, long shared prefixes, NUL and high bytes, empty
  // strings and exact repeats.
  std::mt19937 random(12345);
  const std::string alphabet = "\0\t #.[]09AZaz\x7F\x80\xC3\xFF"s;
  const std::vector<std::string> stems = {"", "a", "shared-prefix-", std::string(40, 'p'), "\xC3\xA9"};
  std::vector<std::string> items;
  for (int i = 0; i < 20000; ++i) {
    std::string s = stems[random() % stems.size()];
    const size_t length = random() % 36;
    for (size_t k = 0; k < length; ++k) s += alphabet[random() % alphabet.size()];
    items.push_back(s);
    if (random() % 10 == 0) items.push_back(s);
  }
  std::vector<std::string> expected = items;
  std::stable_sort(expected.begin(), expected.end(), ByteLess);
  EXPECT_TRUE(Sorted(items) == expected);
}

TEST(SortRange, SortsOnlyTheRange) {
  std::vector<std::string> items = {"z", "d", "c", "b", "a", "0"};
  EXPECT_EQ(Sorted(items, 1, 4), (std::vector<std::string>{"z", "a", "b", "c", "d", "0"}));
  EXPECT_EQ(Sorted(items, 5, 5), items);
  EXPECT_EQ(Sorted(items, 4, 2), items);
  // Indexes past either end are clamped.
  EXPECT_EQ(Sorted(items, -3, 100), (std::vector<std::string>{"0", "a", "b", "c", "d", "z"}));
  EXPECT_TRUE(Sorted({}).empty());
}

TEST(SortRange, SortedReversedAndEqualInputs) {
  std::vector<std::string> ascending;
  for (int i = 0; i < 50000; ++i) ascending.push_back("host" + std::to_string(100000 + i) + ".example");
  std::vector<std::string> reversed(ascending.rbegin(), ascending.rend());
  std::vector<std::string> same(50000, std::string(100, 'x'));
  EXPECT_TRUE(Sorted(ascending) == ascending);
  EXPECT_TRUE(Sorted(reversed) == ascending);
  EXPECT_TRUE(Sorted(same) == same);
}

TEST(SortRange, CaseAndControlCharactersByCode) {
  std::vector<std::string> items = {"b.com", "a.com", "B.com", "a.com.", "a.com #[x]", "a.com\tz", "1.com", " x"};
  EXPECT_EQ(Sorted(items), (std::vector<std::string>{" x", "1.com", "B.com", "a.com", "a.com\tz", "a.com #[x]", "a.com.",
                                                    "b.com"}));
}

struct TrierCase {
  const char* label;
  std::vector<std::string> input;
  std::vector<std::string> output;
};

void PrintTo(const TrierCase& c, std::ostream* out) { *out << c.label; }

class SortAndDeduplicateTest : public ::testing::TestWithParam<TrierCase> {};

TEST_P(SortAndDeduplicateTest, Kept) {
  SortBuffer buffer;
  for (const std::string& item : GetParam().input) buffer.Append(item);
  SortAndDeduplicate(buffer);
  EXPECT_EQ(Entries(buffer), GetParam().output);
  // Once more: a sorted, duplicate-free buffer stays as it is.
  SortAndDeduplicate(buffer);
  EXPECT_EQ(Entries(buffer), GetParam().output);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortAndDeduplicateTest,
    ::testing::Values(
        TrierCase{"empty buffer", {}, {}},
        TrierCase{"one entry", {"a.com"}, {"a.com"}},
        TrierCase{"bare entry survives its commented twins", {"a.com #[y]", "a.com", "a.com #[x]"}, {"a.com"}},
        TrierCase{"lowest comment survives", {"a.com #[y]", "a.com #[x]"}, {"a.com #[x]"}},
        // The tab entry sorts between a.com and a.com #[x]; the last is compared with the tab
        // entry only, so it stays beside a.com.
        TrierCase{"only the last kept entry counts", {"a.com #[x]", "a.com\tz", "a.com"},
                  {"a.com", "a.com\tz", "a.com #[x]"}},
        TrierCase{"empty entries first are dropped", {"", "b.com", "", ""}, {"b.com"}},
        TrierCase{"empty key first is dropped", {"a.com", " #[orphan]", ""}, {"a.com"}},
        TrierCase{"exact repeats", {"x.com", "x.com", "x.com"}, {"x.com"}},
        TrierCase{"keys are case-sensitive", {"b.com", "B.com", "a.com"}, {"B.com", "a.com", "b.com"}},
        TrierCase{"longer name is another key", {"a.comm", "a.com #[1]", "a.com"}, {"a.com", "a.comm"}},
        TrierCase{"double marker", {"a.com #[x] #[y]", "a.com #[x]"}, {"a.com #[x]"}}));

TEST(SortAndDeduplicate, FiftyEightEntriesWithOneRepeatedKeyLeaveFiftySeven) {
  SortBuffer buffer;
  for (int i = 0; i < 57; ++i) buffer.Append("site" + std::to_string(i) + ".example");
  buffer.Append("site31.example #[again]");
  ASSERT_EQ(buffer.size(), 58u);
  SortAndDeduplicate(buffer);
  EXPECT_EQ(buffer.size(), 57u);
  const std::vector<std::string> sorted = Entries(buffer);
  EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), ByteLess));
}

TEST(SortAndDeduplicate, YieldsAndKeepsEveryDistinctKeyOfALargeBuffer) {
  std::mt19937 random(7);
  SortBuffer buffer;
  for (int i = 0; i < 100000; ++i) buffer.Append("n" + std::to_string(random() % 60000) + ".example");
  std::vector<std::string> expected = Entries(buffer);
  std::sort(expected.begin(), expected.end(), ByteLess);
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  int yields = 0;
  SortAndDeduplicate(buffer, [&yields] { ++yields; });
  EXPECT_TRUE(Entries(buffer) == expected);
  EXPECT_GT(yields, 0);
}

}  // namespace
}  // namespace quorvale
