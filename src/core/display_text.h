#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace quorvale {

// The lists keep names and comments as the file's bytes, and files mix encodings: an
// editor's UTF-8 beside the system's ANSI code page, sometimes line by line. Each cell is
// shown in the encoding its own bytes fit.
enum class ShownAs {
  kAscii,         // no byte above 0x7F: the same text in UTF-8 and in any ANSI code page
  kUtf8,          // well-formed UTF-8 with at least one byte above 0x7F
  kAnsiCodePage,  // anything else: the system's ANSI code page (Windows-1252 on Linux)
};
ShownAs HowShown(std::string_view bytes);

// Reads bytes in the system's ANSI code page as UTF-8 (Platform::AnsiToUtf8).
using AnsiToUtf8Fn = std::function<std::string(std::string_view bytes)>;

// The text a window shows for `bytes`, in UTF-8.
std::string ShownText(std::string_view bytes, const AnsiToUtf8Fn& ansi_to_utf8);
// Whether the text shown for `bytes` contains `needle` (UTF-8): ASCII letters are compared
// without regard to case, every other character exactly. `ansi_to_utf8` is called only for
// bytes shown in the ANSI code page.
bool ShownTextContains(std::string_view bytes, std::string_view needle, const AnsiToUtf8Fn& ansi_to_utf8);

}  // namespace quorvale
