// UTF-16 files as every reader gets them: decoded to UTF-8, wherever pieces end.
#include "core/utf16.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "hosts/file_loads.h"
#include "support/list_rows.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::string_literals;
using testing::Row;

// `units` as the bytes of a UTF-16 file, with a byte-order mark when `mark`.
std::string Utf16(std::u16string units, bool big_endian, bool mark) {
  std::string bytes;
  for (char16_t unit : (mark ? u"\uFEFF" : u"") + units) {
    const char low = static_cast<char>(unit & 0xFF);
    const char high = static_cast<char>(unit >> 8);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

// Longer than the start that tells the form, so that pieces cut what follows.
const std::u16string kLine = std::u16string(300, u'x') + u"\n";
const std::string kText = std::string(300, 'x') + "\n";
constexpr char kBad[] = "\xEF\xBF\xBD";  // U+FFFD

// {the file's bytes, its text}
class Utf16ReadTest : public ::testing::TestWithParam<std::pair<std::string, std::string>> {};

TEST_P(Utf16ReadTest, EveryReadGivesTheText) {
  const auto& [bytes, text] = GetParam();
  testing::TempDir dir;
  const std::string path = dir.File("data");
  testing::WriteBytes(path, bytes);
  std::string read;
  EXPECT_TRUE(ReadFileBytes(testing::SystemPlatform(), path, &read).ok() && read == text);
  EXPECT_TRUE(ReadFileBytes(testing::SystemPlatform(), path, &read, ReadAs::kBytes).ok() && read == bytes);
  std::string_view piece;
  WholeData whole(bytes);
  EXPECT_TRUE(whole.Next(&piece) && piece == text);
  for (size_t piece_bytes : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{64}, size_t{1} << 20}) {
    FilePieces pieces(piece_bytes);
    ASSERT_TRUE(OpenPieces(testing::SystemPlatform(), path, InputKinds::kRegularFiles, &pieces).ok());
    std::string joined;
    while (pieces.Next(&piece)) joined += piece;
    EXPECT_EQ(joined, text) << piece_bytes;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf16ReadTest,
    ::testing::Values(std::pair{Utf16(u"caf\u00E9", false, false), "caf\xC3\xA9"s},
                      std::pair{Utf16(u"caf\u00E9", true, false), "caf\xC3\xA9"s}, std::pair{"\xFE\xFF"s, ""s},
                      std::pair{Utf16(kLine + u"\U0001F600\xD800x\xDC00\u20AC\U0001F600\xDBFF", false, true),
                                kText + "\xF0\x9F\x98\x80" + kBad + "x" + kBad + "\xE2\x82\xAC\xF0\x9F\x98\x80" + kBad},
                      std::pair{Utf16(kLine + u"ab", true, true) + "c", kText + "ab" + kBad},
                      std::pair{"\0\0a\0\n"s, "\0\0a\0\n"s}));

// The loaders read through those readers: one form is enough here.
TEST(Utf16Load, HostsAndDomainOnlyLoadersReadTheText) {
  testing::TempDir dir;
  const std::string path = dir.File("hosts");
  testing::WriteBytes(path, Utf16(u"0.0.0.0 Ads.example # a, b\r\n10.0.0.1 caf\u00E9.lan\r\n", true, false));
  Session hosts;
  hosts.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(testing::SystemPlatform(), path, hosts).ok());
  EXPECT_EQ(testing::Rows(hosts.blocked), (std::vector<Row>{{"ads.example", "# a, b", "0.0.0.0"}}));
  EXPECT_EQ(testing::Rows(hosts.redirected), (std::vector<Row>{{"caf\xC3\xA9.lan", "", "10.0.0.1"}}));
  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyFile(testing::SystemPlatform(), path, buffer).ok());
  EXPECT_EQ(testing::Entries(buffer), std::vector<std::string>{"10.0.0.1 caf\xC3\xA9.lan"});
}

TEST(Utf16Convert, WellFormedTextConvertsBothWays) {
  for (const auto& [utf8, utf16] :
       {std::pair{""s, u""s}, std::pair{"C:\\Users\\H\xC3\xA9l\xC3\xA8ne\\liste \xE2\x82\xAC \xF0\x9F\x98\x80"s,
                                        u"C:\\Users\\H\u00E9l\u00E8ne\\liste \u20AC \U0001F600"s}}) {
    EXPECT_EQ(Utf16FromUtf8(utf8), utf16);
    EXPECT_EQ(Utf8FromUtf16(utf16), utf8);
  }
}

TEST(Utf16Convert, MalformedTextGivesReplacementCharacters) {
  // A stray byte, overlongs, a surrogate, past U+10FFFF, and sequences cut before "x" and at the end.
  EXPECT_EQ(Utf16FromUtf8("a\x80\xC0\xAF\xE0\x80\x80\xED\xA0\x80\xF4\x90\x80\x80\xF0\x9F\x98x\xE2\x82"),
            u"a\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFDx\uFFFD");
  EXPECT_EQ(Utf8FromUtf16(u"\xDC00x\xD800\xD83D"), kBad + "x"s + kBad + kBad);
}

}  // namespace
}  // namespace quorvale
