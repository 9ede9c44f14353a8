#include "core/text.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace quorvale {
namespace {

using namespace std::string_literals;

struct AddressCase {
  std::string text;
  bool dotted_quad;
  bool hex_groups;
};

void PrintTo(const AddressCase& c, std::ostream* out) { *out << '"' << c.text << '"'; }

class AddressTest : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AddressTest, Shapes) {
  EXPECT_EQ(IsDottedQuad(GetParam().text), GetParam().dotted_quad) << "IsDottedQuad";
  EXPECT_EQ(IsHexGroups(GetParam().text), GetParam().hex_groups) << "IsHexGroups";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressTest,
    ::testing::Values(AddressCase{"127.0.0.1", true, true}, AddressCase{"0.0.0.0", true, true},
                      AddressCase{"255.255.255.255", true, true}, AddressCase{"100.100.100.100", true, true},
                      AddressCase{"127.000.0.01", true, true},
                      // 16 characters: too long for a dotted quad, still four hex groups.
                      AddressCase{"100.100.100.1000", false, true}, AddressCase{"256.0.0.1", false, true},
                      AddressCase{"999.1.1.1", false, true}, AddressCase{"1.2.3.0004", false, true},
                      AddressCase{"1.2.3", false, false}, AddressCase{"1.2.3.4.5", false, true},
                      AddressCase{"1.2.3.4.5.6.7.8.9", false, true}, AddressCase{"1.2.3.4.5.6.7.8.9.0", false, false},
                      AddressCase{"1..22.3", false, true}, AddressCase{"+1.2.3.4", false, false},
                      AddressCase{"-1.2.3.4", false, false}, AddressCase{"1.2.3.x", false, false},
                      AddressCase{"a.b.c.d", false, true}, AddressCase{"A.B.C.D", false, false},
                      AddressCase{"0x1.2.3.4", false, false}, AddressCase{" 1.2.3.4", false, false},
                      AddressCase{"::", false, false}, AddressCase{"::1", false, false},
                      AddressCase{"ff02::1", false, false}, AddressCase{"fe80::1:2", false, true},
                      AddressCase{"2001:db8:0:0:0:0:0:1", false, true}, AddressCase{"1:2:3:4:5:6:7:8:9", false, true},
                      AddressCase{"1:2:3:4:5:6:7:8:9:a", false, false}, AddressCase{"FE80::1:2", false, false},
                      AddressCase{"12345::1:2", false, false}, AddressCase{"fe80::1:2%eth0", false, false},
                      AddressCase{"::ffff:1.2.3.4", false, false}, AddressCase{"1.2.3.4:80", false, false},
                      AddressCase{"1234567", false, false}, AddressCase{"", false, false}));

TEST(HasLetter, LowerCaseAsciiLettersOnly) {
  EXPECT_TRUE(HasLetter("abc"));
  EXPECT_TRUE(HasLetter("123z"));
  EXPECT_TRUE(HasLetter("A.b"));
  EXPECT_FALSE(HasLetter("ABC.DEF"));
  EXPECT_FALSE(HasLetter("10.0.0.1"));
  EXPECT_FALSE(HasLetter("caf\xC3\xA9"s.substr(3)));
  EXPECT_FALSE(HasLetter("\xC3\xA9\xC3\x89"));
  EXPECT_FALSE(HasLetter("-_.#[]"));
  EXPECT_FALSE(HasLetter(""));
}

TEST(Text, LowerCasingAndTrimmingTouchAsciiAndSpacesOnly) {
  EXPECT_EQ(AsciiLower("MiXeD.COM \xC3\x89"), "mixed.com \xC3\x89");
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Example.COM", "example.com"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC3\x89", "\xC3\xA9"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("abc", "abcd"));
  EXPECT_EQ(TrimSpaces("  a b  "), "a b");
  EXPECT_EQ(TrimSpaces("\t a \t"), "\t a \t");
  EXPECT_EQ(TrimSpaces("   "), "");
}

// Eight bytes at a time or one by one, every byte and every length give what the byte
// rules give: A-Z lower-cased, tabs made spaces, every other byte (high bytes too) kept.
TEST(Text, WordAtATimeCaseAndTabRulesMatchTheByteRules) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string mixed;
  for (int i = 0; i < 600; ++i) mixed.push_back(static_cast<char>((i * 37 + i / 7) & 0xff));
  for (const std::string& text : {all, mixed}) {
    for (size_t start = 0; start < 9; ++start) {
      for (size_t length = 0; start + length <= text.size() && length < 40; ++length) {
        const std::string piece = text.substr(start, length);
        std::string lowered_expected;
        std::string tabs_expected;
        for (char c : piece) {
          const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
          lowered_expected.push_back(lower);
          tabs_expected.push_back(c == '\t' ? ' ' : lower);
        }
        std::string lowered = piece;
        AsciiLowerInPlace(lowered);
        EXPECT_EQ(lowered, lowered_expected);
        std::string tabs = piece;
        AsciiLowerTabsToSpaces(tabs.data(), tabs.size());
        EXPECT_EQ(tabs, tabs_expected);
        EXPECT_TRUE(EqualsIgnoreAsciiCase(piece, lowered_expected));
        if (!piece.empty()) {
          std::string other = piece;
          other.back() = static_cast<char>(other.back() ^ 0x80);
          EXPECT_FALSE(EqualsIgnoreAsciiCase(piece, other));
          other = piece;
          other.front() = static_cast<char>(other.front() ^ 0x01);
          EXPECT_FALSE(EqualsIgnoreAsciiCase(piece, other));
        }
      }
    }
  }
  EXPECT_TRUE(EqualsIgnoreAsciiCase("Mixed.CASE.example.COM", "mixed.case.EXAMPLE.com"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("\xC3\x89t\xC3\xA9.example", "\xC3\xA9t\xC3\xA9.example"));
  EXPECT_FALSE(EqualsIgnoreAsciiCase("@[`{", "`{@["));
}

// Each line without its end; a CR that ends the text stays on its line or goes, as asked.
TEST(Text, SplitsLinesAtLfAndCrLf) {
  auto lines = [](std::string_view text, TextLines::LastCr last_cr) {
    std::string out;
    TextLines split(text, last_cr);
    for (std::string_view line; split.Next(&line);) out.append(line) += '|';
    return out;
  };
  EXPECT_EQ(lines("", TextLines::LastCr::kKept), "");
  EXPECT_EQ(lines("a\n", TextLines::LastCr::kKept), "a|");
  EXPECT_EQ(lines("a\r\n\nb\r\r\n\r", TextLines::LastCr::kKept), "a||b\r|\r|");
  EXPECT_EQ(lines("a\r\n\nb\r\r\n\r", TextLines::LastCr::kDropped), "a||b\r||");
  EXPECT_EQ(FirstLineEnd("a\r\nb\n"), "\r\n");
  EXPECT_EQ(FirstLineEnd("\nb\r\n"), "\n");
  EXPECT_EQ(FirstLineEnd("a\r"), "\r\n");
}

}  // namespace
}  // namespace quorvale
