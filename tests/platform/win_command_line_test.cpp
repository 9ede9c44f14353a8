#include "platform/win_command_line.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "support/case_name.h"

namespace quorvale {
namespace {

// Splits a command line the way the C runtime of a Windows program does for its arguments
// (after the program name): blanks separate arguments outside quotes; 2n backslashes before
// a quote give n backslashes and the quote toggles quoting; 2n+1 give n backslashes and a
// literal quote; other backslashes are literal; "" inside quotes is a literal quote.
std::vector<std::string> SplitLikeWindows(const std::string& line) {
  std::vector<std::string> args;
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i == line.size()) break;
    std::string arg;
    bool quoted = false;
    while (i < line.size()) {
      char c = line[i];
      if (c == '\\') {
        size_t n = 0;
        while (i < line.size() && line[i] == '\\') ++n, ++i;
        if (i < line.size() && line[i] == '"') {
          arg.append(n / 2, '\\');
          if (n % 2 == 1) {
            arg.push_back('"');
            ++i;
          }
        } else {
          arg.append(n, '\\');
        }
      } else if (c == '"') {
        if (quoted && i + 1 < line.size() && line[i + 1] == '"') {
          arg.push_back('"');
          i += 2;
        } else {
          quoted = !quoted;
          ++i;
        }
      } else if ((c == ' ' || c == '\t') && !quoted) {
        break;
      } else {
        arg.push_back(c);
        ++i;
      }
    }
    args.push_back(arg);
  }
  return args;
}

struct QuoteCase {
  const char* name;
  std::string argument;
  std::string quoted;
};
void PrintTo(const QuoteCase& c, std::ostream* out) { *out << c.name; }

class QuoteWindowsArgumentTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteWindowsArgumentTest, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(QuoteWindowsArgument(GetParam().argument), GetParam().quoted);
  EXPECT_EQ(SplitLikeWindows("prog " + GetParam().quoted), (std::vector<std::string>{"prog", GetParam().argument}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuoteWindowsArgumentTest,
    ::testing::Values(
        QuoteCase{"Switch", "/file", "/file"}, QuoteCase{"DenySwitch", "/Deny=jo=F", "/Deny=jo=F"},
        QuoteCase{"PathWithoutBlank", "C:\\Windows\\System32\\drivers\\etc\\HOSTS",
                  "C:\\Windows\\System32\\drivers\\etc\\HOSTS"},
        QuoteCase{"PathWithABlank", "C:\\Program Files\\Quorvale\\Rapport.txt",
                  "\"C:\\Program Files\\Quorvale\\Rapport.txt\""},
        QuoteCase{"SwitchWithABlank", "/Deny=Jean Dupont=F", "\"/Deny=Jean Dupont=F\""},
        QuoteCase{"Empty", "", "\"\""}, QuoteCase{"Tab", "tab\there", "\"tab\there\""},
        QuoteCase{"QuotedWord", "say \"hi\"", "\"say \\\"hi\\\"\""}, QuoteCase{"Quote", "a\"b", "\"a\\\"b\""},
        // Backslashes before a quote are doubled, others stay single.
        QuoteCase{"BackslashBeforeAQuote", "a\\\"b", "\"a\\\\\\\"b\""},
        QuoteCase{"TrailingBackslashQuoted", "C:\\My Folder\\", "\"C:\\My Folder\\\\\""},
        QuoteCase{"TrailingBackslashUnquoted", "C:\\Folder\\", "C:\\Folder\\"},
        QuoteCase{"ShareWithABlank", "\\\\server\\share name\\\\", "\"\\\\server\\share name\\\\\\\\\""},
        // Shell characters mean nothing to the Windows splitter.
        QuoteCase{"ShellCharacters", "a;b&c|d$(e)%PATH%", "a;b&c|d$(e)%PATH%"}),
    testing::CaseName());

TEST(BuildWindowsCommandLineTest, JoinsWithOneBlank) {
  EXPECT_EQ(BuildWindowsCommandLine({"subinacl", "/file", "C:\\Windows\\System32\\drivers\\etc\\HOSTS", "/Deny=jo=F"}),
            "subinacl /file C:\\Windows\\System32\\drivers\\etc\\HOSTS /Deny=jo=F");
  EXPECT_EQ(BuildWindowsCommandLine({"notepad.exe", "C:\\Mes Programmes\\Quorvale\\Rapport.txt"}),
            "notepad.exe \"C:\\Mes Programmes\\Quorvale\\Rapport.txt\"");
  EXPECT_EQ(BuildWindowsCommandLine({"C:\\Program Files\\Tool\\tool.exe"}), "\"C:\\Program Files\\Tool\\tool.exe\"");
  EXPECT_EQ(BuildWindowsCommandLine({"prog", "", "x"}), "prog \"\" x");
  EXPECT_EQ(BuildWindowsCommandLine({}), "");
}

TEST(BuildWindowsCommandLineTest, SplitsBackIntoTheSameArguments) {
  const std::vector<std::string> argv = {"subinacl",      "/file",          "C:\\Users\\Jean \"JD\" Dupont\\HOSTS",
                                         "/Deny=J D=F",   "",               "trailing\\",
                                         "both \\\\\" ",  "\"",             "\\",
                                         "a\\\\b c",      " lead and trail "};
  EXPECT_EQ(SplitLikeWindows(BuildWindowsCommandLine(argv)), argv);
}

}  // namespace
}  // namespace quorvale
