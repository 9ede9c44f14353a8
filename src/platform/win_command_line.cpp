#include "platform/win_command_line.h"

namespace quorvale {

std::string QuoteWindowsArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted;
  quoted.reserve(argument.size() + 2);
  quoted.push_back('"');
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      // Every pending backslash is escaped, then the quote itself.
      quoted.append(backslashes * 2 + 1, '\\');
    } else {
      quoted.append(backslashes, '\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Backslashes before the closing quote would escape it unless doubled.
  quoted.append(backslashes * 2, '\\');
  quoted.push_back('"');
  return quoted;
}

std::string BuildWindowsCommandLine(const std::vector<std::string>& argv) {
  std::string line;
  for (size_t i = 0; i < argv.size(); ++i) {
    if (i > 0) line.push_back(' ');
    line += QuoteWindowsArgument(argv[i]);
  }
  return line;
}

}  // namespace quorvale
