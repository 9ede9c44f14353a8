#include "display_text.h"

#include "text.h"
#include "utf16.h"

namespace quorvale {

namespace {

bool IsAscii(std::string_view bytes) {
  unsigned char high_bits = 0;
  for (char c : bytes) high_bits |= static_cast<unsigned char>(c);
  return high_bits < 0x80;
}

}  // namespace

ShownAs HowShown(std::string_view bytes) {
  if (IsAscii(bytes)) return ShownAs::kAscii;
  return IsWellFormedUtf8(bytes) ? ShownAs::kUtf8 : ShownAs::kAnsiCodePage;
}

std::string ShownText(std::string_view bytes, const AnsiToUtf8Fn& ansi_to_utf8) {
  if (HowShown(bytes) == ShownAs::kAnsiCodePage) return ansi_to_utf8(bytes);
  return std::string(bytes);
}

bool ShownTextContains(std::string_view bytes, std::string_view needle, const AnsiToUtf8Fn& ansi_to_utf8) {
  // An ASCII character never occurs inside the bytes of a longer one in UTF-8, so bytes
  // match where characters do.
  if (HowShown(bytes) == ShownAs::kAnsiCodePage) return ContainsIgnoreAsciiCase(ansi_to_utf8(bytes), needle);
  return ContainsIgnoreAsciiCase(bytes, needle);
}

}  // namespace quorvale
