#include "core/text_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace quorvale {
namespace {

// Orders the texts' positions with SortIdsByText, ties by position.
std::vector<uint32_t> Sorted(const std::vector<std::string>& texts) {
  std::vector<uint32_t> ids(texts.size());
  std::iota(ids.begin(), ids.end(), 0u);
  SortIdsByText(
      ids, [&](uint32_t id) { return std::string_view(texts[id]); }, [](uint32_t id) { return id; });
  return ids;
}

// The reference: a stable sort on std::string's own (byte) order.
std::vector<uint32_t> Reference(const std::vector<std::string>& texts) {
  std::vector<uint32_t> ids(texts.size());
  std::iota(ids.begin(), ids.end(), 0u);
  std::stable_sort(ids.begin(), ids.end(), [&](uint32_t a, uint32_t b) { return texts[a] < texts[b]; });
  return ids;
}

TEST(SortIdsByTextTest, BytesPrefixesAndNulBytes) {
  using namespace std::string_literals;
  std::vector<std::string> texts = {"b", "a\0"s, "a", "", "a\0b"s, "A", "\xff", "ab", "a", "abcdefghij", "abcdefgh"};
  EXPECT_EQ(Sorted(texts), Reference(texts));
  EXPECT_EQ(Sorted(texts), (std::vector<uint32_t>{3, 5, 2, 8, 1, 4, 7, 10, 9, 0, 6}));
}

TEST(SortIdsByTextTest, MatchesTheReferenceOnRandomTextsOfEverySize) {
  std::mt19937 random(42);
  // Few letters and long shared stems make many ties at every depth; 20 000 texts take the
  // radix path of the big ranges, 100 000 are dealt into buckets first.
  for (size_t count : {0u, 1u, 7u, 300u, 20000u, 100000u}) {
    std::vector<std::string> texts(count);
    for (std::string& text : texts) {
      text.assign(random() % 3 == 0 ? 40 : random() % 20, 'x');
      size_t tail = random() % 4;
      for (size_t i = 0; i < tail; ++i) text.push_back(static_cast<char>("\0ab\xc3"[random() % 4]));
    }
    EXPECT_EQ(Sorted(texts), Reference(texts)) << count;
  }
}

// Many ids, dealt into buckets by their first two bytes: texts of no, one and two bytes,
// NUL and high bytes at the start, prefixes of one another, ties by the given order.
TEST(SortIdsByTextTest, BucketsKeepByteOrderAndTies) {
  using namespace std::string_literals;
  std::mt19937 random(7);
  const std::vector<std::string> stems = {""s, "\0"s, "\0\0"s, "a"s, "a\0"s, "ab"s, "\xff"s, "\xff\xff"s, "b"s, "Z"s};
  std::vector<std::string> texts(text_sort_internal::kBucketedSortFrom + 5000);
  for (std::string& text : texts) {
    text = stems[random() % stems.size()];
    if (random() % 2 == 0) text += "example"s.substr(0, random() % 8);
  }
  // Ties go by a reversed position, so that the order within a bucket must be made anew.
  std::vector<uint32_t> ids(texts.size());
  std::iota(ids.begin(), ids.end(), 0u);
  const uint32_t n = static_cast<uint32_t>(texts.size());
  SortIdsByText(
      ids, [&](uint32_t id) { return std::string_view(texts[id]); }, [n](uint32_t id) { return n - id; });
  std::vector<uint32_t> expected(texts.size());
  std::iota(expected.begin(), expected.end(), 0u);
  std::sort(expected.begin(), expected.end(),
            [&](uint32_t a, uint32_t b) { return texts[a] != texts[b] ? texts[a] < texts[b] : a > b; });
  EXPECT_EQ(ids, expected);
}

TEST(SortIdsByTextTest, VeryLongEqualTextsKeepTheirTieOrder) {
  // 2 000 texts of 8 000 equal bytes, then one that differs at the very end: deep levels
  // must neither exhaust the stack nor compare whole texts again and again.
  std::vector<std::string> texts(2000, std::string(8000, 'q'));
  texts[1234].back() = 'a';
  std::vector<uint32_t> ids = Sorted(texts);
  ASSERT_EQ(ids.size(), 2000u);
  EXPECT_EQ(ids[0], 1234u);
  EXPECT_TRUE(std::is_sorted(ids.begin() + 1, ids.end()));
}

}  // namespace
}  // namespace quorvale
