// Which encoding shows a cell's bytes, Windows-1252 as Linux reads it, and finding text in
// what is shown.
#include "core/display_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/utf16.h"

namespace quorvale {
namespace {

struct ShownCase {
  const char* name;
  std::string bytes;
  ShownAs shown_as;
  std::string shown;  // UTF-8, the ANSI code page read as Windows-1252
};

void PrintTo(const ShownCase& c, std::ostream* out) { *out << c.name; }

class ShownTextTest : public ::testing::TestWithParam<ShownCase> {};

TEST_P(ShownTextTest, EncodingAndText) {
  EXPECT_EQ(HowShown(GetParam().bytes), GetParam().shown_as);
  EXPECT_EQ(ShownText(GetParam().bytes, Utf8FromWindows1252), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShownTextTest,
    ::testing::Values(
        ShownCase{"empty", "", ShownAs::kAscii, ""}, ShownCase{"ascii", "# plain", ShownAs::kAscii, "# plain"},
        ShownCase{"cp1252_comment", "# caf\xE9 \xB0 \xE0", ShownAs::kAnsiCodePage, "# caf\xC3\xA9 \xC2\xB0 \xC3\xA0"},
        ShownCase{"utf8_comment", "# caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", ShownAs::kUtf8,
                  "# caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
        // U+FFFD written out is text like any other.
        ShownCase{"utf8_replacement_character", "\xEF\xBF\xBD", ShownAs::kUtf8, "\xEF\xBF\xBD"},
        // One byte that is no UTF-8 makes the whole cell Windows-1252.
        ShownCase{"mixed", "caf\xC3\xA9 caf\xE9", ShownAs::kAnsiCodePage, "caf\xC3\x83\xC2\xA9 caf\xC3\xA9"},
        ShownCase{"overlong", "\xC0\xAF", ShownAs::kAnsiCodePage, "\xC3\x80\xC2\xAF"},
        ShownCase{"surrogate", "\xED\xA0\x80", ShownAs::kAnsiCodePage, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        ShownCase{"cut_short", "\xE2\x82", ShownAs::kAnsiCodePage, "\xC3\xA2\xE2\x80\x9A"},
        // 0x80 to 0x9F by the table, the undefined five as C1 controls; 0xA0 to 0xFF as is.
        ShownCase{"cp1252_upper_half", "\x80\x81\x8A\x8D\x8F\x90\x99\x9D\x9F\xA0\xFF", ShownAs::kAnsiCodePage,
                  "\xE2\x82\xAC\xC2\x81\xC5\xA0\xC2\x8D\xC2\x8F\xC2\x90\xE2\x84\xA2\xC2\x9D\xC5\xB8\xC2\xA0\xC3\xBF"}),
    [](const ::testing::TestParamInfo<ShownCase>& param) { return std::string(param.param.name); });

TEST(ShownTextContains, AsciiLettersWithoutCaseOthersExactlyInWhatIsShown) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"ADS.example", "ads.EX", true},
      {"# caf\xE9", "CAF\xC3\xA9", true},            // Windows-1252
      {"# CAF\xC3\xA9", "caf\xC3\xA9", true},        // UTF-8
      {"# CAF\xC3\x89", "caf\xC3\xA9", false},       // "É" is not "é"
      {"# \xE9t\xE9", "\xC3\xA9T\xC3\xA9", true},
      {"# \xC3\xA9\xFF", "\xC3\xA9", false},         // shown as "Ã©ÿ": the bytes of "é" are no "é"
      {"# cafe", "caf\xC3\xA9", false}};
  for (const auto& [bytes, needle, found] : cases) {
    EXPECT_EQ(ShownTextContains(bytes, needle, Utf8FromWindows1252), found) << bytes << " / " << needle;
  }
}

}  // namespace
}  // namespace quorvale
