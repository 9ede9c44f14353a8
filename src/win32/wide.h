#pragma once

#include <string>
#include <string_view>

namespace quorvale {

// The program keeps its texts and paths in UTF-8; Windows takes and gives UTF-16. Bytes that
// are not UTF-8 (a name kept as it was read) become U+FFFD, as they show on screen.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace quorvale
