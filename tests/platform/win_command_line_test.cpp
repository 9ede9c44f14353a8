#include "platform/win_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
  std::string argument;
  std::string quoted;
};

class QuoteWindowsArgumentTest : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(QuoteWindowsArgumentTest, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(QuoteWindowsArgument(GetParam().argument), GetParam().quoted);
  EXPECT_EQ(SplitLikeWindows("prog " + GetParam().quoted), (std::vector<std::string>{"prog", GetParam().argument}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QuoteWindowsArgumentTest,
    ::testing::Values(QuoteCase{"/file", "/file"}, QuoteCase{"/Deny=jo=F", "/Deny=jo=F"},
                      QuoteCase{"C:\\Windows\\System32\\drivers\\etc\\HOSTS", "C:\\Windows\\System32\\drivers\\etc\\HOSTS"},
                      QuoteCase{"C:\\Program Files\\Quorvale\\Rapport.txt", "\"C:\\Program Files\\Quorvale\\Rapport.txt\""},
                      QuoteCase{"/Deny=Jean Dupont=F", "\"/Deny=Jean Dupont=F\""},
                      QuoteCase{"", "\"\""},
                      QuoteCase{"tab\there", "\"tab\there\""},
                      QuoteCase{"say \"hi\"", "\"say \\\"hi\\\"\""},
                      QuoteCase{"a\"b", "\"a\\\"b\""},
                      // Backslashes before a quote are doubled, others stay single.
                      QuoteCase{"a\\\"b", "\"a\\\\\\\"b\""},
                      QuoteCase{"C:\\My Folder\\", "\"C:\\My Folder\\\\\""},
                      QuoteCase{"C:\\Folder\\", "C:\\Folder\\"},
                      QuoteCase{"\\\\server\\share name\\\\", "\"\\\\server\\share name\\\\\\\\\""},
                      // Shell characters mean nothing to the Windows splitter.
                      QuoteCase{"a;b&c|d$(e)%PATH%", "a;b&c|d$(e)%PATH%"}));

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
