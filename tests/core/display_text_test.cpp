// Which encoding shows a cell's bytes, and Windows-1252 as Linux reads it.
#include "core/display_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "core/utf16.h"

namespace quorvale {
namespace {

TEST(ShownText, EachCellInTheEncodingItsOwnBytesFit) {
  using enum ShownAs;
  // {bytes, how they are shown, the text shown with the ANSI code page read as Windows-1252}
  const std::tuple<std::string, ShownAs, std::string> cases[] = {
      {"# plain", kAscii, "# plain"}, {"\xEF\xBF\xBD" /* U+FFFD */, kUtf8, "\xEF\xBF\xBD"},
      {"# caf\xE9 \xB0 \xE0", kAnsiCodePage, "# caf\xC3\xA9 \xC2\xB0 \xC3\xA0"},
      {"# caf\xC3\xA9 \xF0\x9F\x98\x80", kUtf8, "# caf\xC3\xA9 \xF0\x9F\x98\x80"},
      // Not UTF-8 as a whole, so Windows-1252: mixed, overlong, a surrogate, cut short.
      {"caf\xC3\xA9 caf\xE9", kAnsiCodePage, "caf\xC3\x83\xC2\xA9 caf\xC3\xA9"},
      {"\xC0\xAF", kAnsiCodePage, "\xC3\x80\xC2\xAF"}, {"\xED\xA0\x80", kAnsiCodePage, "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
      {"\xE2\x82", kAnsiCodePage, "\xC3\xA2\xE2\x80\x9A"},
      // 0x80 to 0x9F by the table, the undefined five as C1 controls; 0xA0 to 0xFF as is.
      {"\x80\x81\x8A\x8D\x8F\x90\x99\x9D\x9F\xA0\xFF", kAnsiCodePage,
       "\xE2\x82\xAC\xC2\x81\xC5\xA0\xC2\x8D\xC2\x8F\xC2\x90\xE2\x84\xA2\xC2\x9D\xC5\xB8\xC2\xA0\xC3\xBF"}};
  for (const auto& [bytes, shown_as, shown] : cases) {
    EXPECT_EQ(HowShown(bytes), shown_as) << bytes;
    EXPECT_EQ(ShownText(bytes, Utf8FromWindows1252), shown) << bytes;
  }
}

}  // namespace
}  // namespace quorvale
