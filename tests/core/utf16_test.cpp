// UTF-16 files as every reader gets them: decoded to UTF-8 by each way of reading a file,
// whole or a piece at a time, wherever the pieces end.
#include "core/utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "core/item_reader.h"
#include "core/list_rows.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Row;
using testing::Rows;

enum class Order { kLittle, kBig };

// `units` as the bytes of a UTF-16 file, with a byte-order mark when `mark`.
std::string Utf16(std::u16string_view units, Order order, bool mark) {
  std::string bytes;
  auto put = [&](char16_t unit) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += order == Order::kLittle ? std::string{low, high} : std::string{high, low};
  };
  if (mark) put(0xFEFF);
  for (char16_t unit : units) put(unit);
  return bytes;
}

constexpr char kReplacement[] = "\xEF\xBF\xBD";
// Longer than what the start of a file is looked at for, so that the pieces cut the rest.
const std::u16string kLongLine = std::u16string(300, u'x') + u"\n";

struct DecodeCase {
  const char* label;
  std::string bytes;
  std::string text;
};

void PrintTo(const DecodeCase& c, std::ostream* out) { *out << c.label; }

class Utf16ReadTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Utf16ReadTest, EveryReadGivesTheText) {
  const DecodeCase& c = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("data");
  testing::WriteBytes(path, c.bytes);
  std::string read;
  ASSERT_TRUE(ReadFileBytes(path, &read).ok());
  EXPECT_EQ(read, c.text);
  ASSERT_TRUE(ReadFileBytes(path, &read, ReadAs::kBytes).ok());
  EXPECT_EQ(read, c.bytes);
  WholeData whole(c.bytes);
  std::string_view piece;
  ASSERT_TRUE(whole.Next(&piece));
  EXPECT_EQ(piece, c.text);
  for (size_t piece_bytes : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{64}, size_t{1} << 20}) {
    FilePieces pieces(piece_bytes);
    ASSERT_TRUE(pieces.Open(path).ok());
    std::string joined;
    while (pieces.Next(&piece)) joined += piece;
    EXPECT_TRUE(pieces.status().ok());
    EXPECT_EQ(joined, c.text) << piece_bytes;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ReadTest,
    ::testing::Values(
        DecodeCase{"little-endian with mark", Utf16(u"a.example\r\n", Order::kLittle, true), "a.example\r\n"},
        DecodeCase{"big-endian with mark", Utf16(u"a.example\r\n", Order::kBig, true), "a.example\r\n"},
        DecodeCase{"little-endian without mark", Utf16(u"caf\u00E9", Order::kLittle, false), "caf\xC3\xA9"},
        DecodeCase{"big-endian without mark", Utf16(u"caf\u00E9", Order::kBig, false), "caf\xC3\xA9"},
        DecodeCase{"mark only", Utf16(u"", Order::kBig, true), ""},
        DecodeCase{"pairs and lone surrogates cut anywhere",
                   Utf16(kLongLine + u"\U0001F600\xD800x\xDC00\u20AC\U0001F600\xDBFF", Order::kLittle, true),
                   std::string(300, 'x') + "\n\xF0\x9F\x98\x80" + kReplacement + "x" + kReplacement +
                       "\xE2\x82\xAC\xF0\x9F\x98\x80" + kReplacement},
        DecodeCase{"odd last byte", Utf16(kLongLine + u"ab", Order::kBig, true) + "c",
                   std::string(300, 'x') + "\nab" + kReplacement},
        DecodeCase{"nul bytes that are no UTF-16", "\0\0a\0\n"s, "\0\0a\0\n"s},
        DecodeCase{"plain text", "a.example\r\n", "a.example\r\n"}));

struct FormCase {
  const char* label;
  Order order;
  bool mark;
};

void PrintTo(const FormCase& c, std::ostream* out) { *out << c.label; }

class Utf16LoadTest : public ::testing::TestWithParam<FormCase> {};

TEST_P(Utf16LoadTest, EveryLoaderReadsTheText) {
  const std::string bytes =
      Utf16(u"0.0.0.0 Ads.example # a, b\r\n10.0.0.1 caf\u00E9.lan\r\n", GetParam().order, GetParam().mark);
  testing::TempDir dir;
  const std::string path = dir.File("hosts");
  testing::WriteBytes(path, bytes);

  Session hosts;
  hosts.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(path, hosts).ok());
  EXPECT_EQ(Rows(hosts.list1), (std::vector<Row>{{"ads.example", "# a, b", "0.0.0.0"}}));
  EXPECT_EQ(Rows(hosts.list2), (std::vector<Row>{{"caf\xC3\xA9.lan", "", "10.0.0.1"}}));
  EXPECT_EQ(hosts.RejectedLines, std::vector<std::string>{""});
  Session data;
  data.ResetRejectedLines();
  ParseHostsData(bytes, data);
  EXPECT_EQ(Rows(data.list1), Rows(hosts.list1));
  EXPECT_EQ(Rows(data.list2), Rows(hosts.list2));

  Session plain;
  plain.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(path, plain).ok());
  EXPECT_EQ(plain.RejectedLines, (std::vector<std::string>{"0.0.0.0 Ads.example # a, b", "10.0.0.1 caf\xC3\xA9.lan"}));

  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyFile(path, buffer).ok());
  EXPECT_EQ(testing::Entries(buffer), std::vector<std::string>{"10.0.0.1 caf\xC3\xA9.lan"});
}

INSTANTIATE_TEST_SUITE_P(Forms, Utf16LoadTest,
                         ::testing::Values(FormCase{"little-endian with mark", Order::kLittle, true},
                                           FormCase{"big-endian with mark", Order::kBig, true},
                                           FormCase{"little-endian without mark", Order::kLittle, false},
                                           FormCase{"big-endian without mark", Order::kBig, false}));

}  // namespace
}  // namespace quorvale
