#include "core/item_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file_read.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::string_literals;

std::vector<std::string> ReadAll(std::string_view data) {
  ItemReader reader(data);
  std::vector<std::string> items;
  std::string_view item;
  while (reader.Next(&item)) items.emplace_back(item);
  EXPECT_TRUE(reader.AtEnd());
  return items;
}

struct ReaderCase {
  const char* label;
  std::string data;
  std::vector<std::string> items;
};

void PrintTo(const ReaderCase& c, std::ostream* out) { *out << c.label; }

class ItemReaderTest : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ItemReaderTest, Items) { EXPECT_EQ(ReadAll(GetParam().data), GetParam().items); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ItemReaderTest,
    ::testing::Values(
        ReaderCase{"one line without newline", "plain line", {"plain line"}},
        ReaderCase{"lf", "a\nb\n", {"a", "b"}},
        ReaderCase{"last line without newline", "a\nb", {"a", "b"}},
        ReaderCase{"crlf", "a\r\nb\r\n", {"a", "b"}},
        ReaderCase{"lone cr", "a\rb\r", {"a", "b"}},
        ReaderCase{"blank lines", "a\n\nb\n", {"a", "", "b"}},
        ReaderCase{"blank crlf line", "a\r\n\r\nb", {"a", "", "b"}},
        ReaderCase{"cr cr is two line ends", "a\r\rb", {"a", "", "b"}},
        ReaderCase{"lf then crlf", "a\n\r\nb", {"a", "", "b"}},
        ReaderCase{"leading spaces and tabs skipped", "  \t lead\n\tx", {"lead", "x"}},
        ReaderCase{"line of blanks is empty", "   \t \nz", {"", "z"}},
        ReaderCase{"trailing spaces kept", "trail  \n", {"trail  "}},
        ReaderCase{"trailing tab kept", "trail\t\n", {"trail\t"}},
        ReaderCase{"commas split", "a,b,c\n", {"a", "b", "c"}},
        ReaderCase{"space after comma skipped", "a, b\n", {"a", "b"}},
        ReaderCase{"empty field between commas", "a,,b", {"a", "", "b"}},
        ReaderCase{"trailing comma before newline", "a,b,\nc", {"a", "b", "", "c"}},
        ReaderCase{"trailing comma at end of data", "a,b,", {"a", "b"}},
        ReaderCase{"comment keeps its commas", "a #b, c,d\n# e,f\r\ng", {"a #b, c,d", "# e,f", "g"}},
        ReaderCase{"commas before the comment split", "a,b #c,d,\ne", {"a", "b #c,d,", "e"}},
        ReaderCase{"comment ends at a lone cr", "#a,b\rc,d", {"#a,b", "c", "d"}},
        ReaderCase{"hash after cr is the next line's", "a\r#b,c\n", {"a", "#b,c"}},
        ReaderCase{"hash in quotes starts no comment", "\"a#b\",c #d,e", {"a#b", "c #d,e"}},
        ReaderCase{"quoted comma", "\"x,y\"\nz", {"x,y", "z"}},
        ReaderCase{"quoted keeps blanks", "\"  in side  \"", {"  in side  "}},
        ReaderCase{"text after closing quote dropped", "\"x,y\" tail,z\n", {"x,y", "z"}},
        ReaderCase{"text after closing quote dropped to line end", "\"q\" rest\nnext", {"q", "next"}},
        ReaderCase{"unterminated quote ends at lf", "\"open, still\nnext\n", {"open, still", "next"}},
        ReaderCase{"unterminated quote ends at crlf", "\"open\r\nnext", {"open", "next"}},
        ReaderCase{"unterminated quote at end", "\"open", {"open"}},
        ReaderCase{"indented quote", "  \t\"quoted\"", {"quoted"}},
        ReaderCase{"empty quotes", "\"\"\nx", {"", "x"}},
        ReaderCase{"quote inside an item is literal", "a\"b\"c,d", {"a\"b\"c", "d"}},
        ReaderCase{"nul bytes are characters", "a\0b\n\0"s, {"a\0b"s, "\0"s}},
        ReaderCase{"bom skipped", "\xEF\xBB\xBF" "first\n", {"first"}},
        ReaderCase{"bom then blanks", "\xEF\xBB\xBF  x", {"x"}},
        ReaderCase{"bom only at the start", "x\n\xEF\xBB\xBFy", {"x", "\xEF\xBB\xBFy"}},
        ReaderCase{"partial bom kept", "\xEF\xBBx", {"\xEF\xBBx"}},
        ReaderCase{"bom only", "\xEF\xBB\xBF", {}},
        ReaderCase{"empty", "", {}},
        ReaderCase{"newline only", "\n", {""}},
        ReaderCase{"high bytes kept", "caf\xC3\xA9.example\n", {"caf\xC3\xA9.example"}}));

TEST(ItemReader, ReadOnEmptyDataFailsAndLeavesItemEmpty) {
  ItemReader reader("");
  EXPECT_TRUE(reader.AtEnd());
  std::string_view item = "previous";
  EXPECT_FALSE(reader.Next(&item));
  EXPECT_TRUE(item.empty());
}

TEST(ItemReader, AtEndOnlyAfterLastDelimiter) {
  ItemReader reader("a\nb\n");
  std::string_view item;
  ASSERT_TRUE(reader.Next(&item));
  EXPECT_FALSE(reader.AtEnd());
  ASSERT_TRUE(reader.Next(&item));
  EXPECT_EQ(item, "b");
  EXPECT_TRUE(reader.AtEnd());
  EXPECT_FALSE(reader.Next(&item));
}

// What the loads see of `data` read whole: the loop body runs at least once.
std::vector<std::string> LoopItems(std::string_view data) {
  ItemReader reader(data);
  std::vector<std::string> items;
  do {
    std::string_view item;
    reader.Next(&item);
    items.emplace_back(item);
  } while (!reader.AtEnd());
  return items;
}

// A file read a piece at a time gives the items of the file read whole, wherever the
// pieces end: CR LF, quotes, commas and byte-order marks never straddle two pieces, and a
// line longer than a piece makes it grow.
TEST_P(ItemReaderTest, FileReadInPiecesGivesTheSameItems) {
  testing::TempDir dir;
  const std::string path = dir.File("data");
  testing::WriteBytes(path, GetParam().data);
  for (size_t piece_bytes : {size_t{1}, size_t{2}, size_t{3}, size_t{5}, size_t{64}, size_t{1} << 20}) {
    FilePieces pieces(piece_bytes);
    ASSERT_TRUE(OpenPieces(testing::SystemPlatform(), path, InputKinds::kRegularFiles, &pieces).ok());
    EXPECT_EQ(pieces.size_hint(), GetParam().data.size());
    std::vector<std::string> items;
    std::string joined;
    ForEachItem(
        pieces,
        [&](std::string_view piece) {
          joined += piece;
          // Only the file's last piece may end without an LF.
          if (joined.size() < GetParam().data.size()) {
            EXPECT_EQ(piece.back(), '\n') << piece_bytes;
          }
        },
        [&](std::string_view item) { items.emplace_back(item); });
    EXPECT_TRUE(pieces.status().ok());
    EXPECT_EQ(joined, GetParam().data) << piece_bytes;
    EXPECT_EQ(items, LoopItems(GetParam().data)) << piece_bytes;
  }
}

}  // namespace
}  // namespace quorvale
