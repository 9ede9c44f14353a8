#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// Builds a Windows command line that the C runtime (and CommandLineToArgvW) splits back into
// exactly `argv`. An argument is quoted only when it has to be: when it is empty or holds a
// blank (space, tab, newline, vertical tab) or a double quote. Inside quotes, a double quote
// is written as \" and the backslashes that precede a double quote (or the closing quote)
// are doubled; backslashes anywhere else are literal and stay as they are.
std::string QuoteWindowsArgument(std::string_view argument);
std::string BuildWindowsCommandLine(const std::vector<std::string>& argv);

}  // namespace quorvale
