#include "core/update_task.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_command_line.h"

namespace quorvale::testing {
namespace {

const std::string kSchtasks = R"(C:\Windows\system32\schtasks.exe)";

// The task's command keeps its quotes through schtasks.exe's own command line: the quotes
// inside /TR's value are escaped as \", the backslashes of the paths stay single.
TEST(UpdateTaskTest, SchtasksCommandLines) {
  const std::string command =
      UpdateTaskCommand(R"(C:\Program Files\Quorvale\quorvale-cli.exe)", "C:\\Users\\H\xC3\xA9l\xC3\xA8ne\\sources.txt");
  EXPECT_EQ(command, "\"C:\\Program Files\\Quorvale\\quorvale-cli.exe\" --sources \"C:\\Users\\H\xC3\xA9l\xC3\xA8ne"
                     "\\sources.txt\" --update --replace-hosts --quiet");
  // 157 = 2 * 60 + 37: Wednesday, minute 37.
  EXPECT_EQ(BuildWindowsCommandLine(CreateUpdateTaskArgs(kSchtasks, SpreadUpdateTime(true, 157), command)),
            R"(C:\Windows\system32\schtasks.exe /Create /F /TN "Quorvale update" /SC WEEKLY /D WED /ST 12:37 )"
            R"(/RU SYSTEM /RL HIGHEST /TR "\"C:\Program Files\Quorvale\quorvale-cli.exe\" --sources )"
            "\\\"C:\\Users\\H\xC3\xA9l\xC3\xA8ne\\sources.txt\\\" --update --replace-hosts --quiet\"");
  EXPECT_EQ(CreateUpdateTaskArgs(kSchtasks, SpreadUpdateTime(false, 7 * 60 + 5), "x"),
            (std::vector<std::string>{kSchtasks, "/Create", "/F", "/TN", "Quorvale update", "/SC", "DAILY", "/ST",
                                      "12:05", "/RU", "SYSTEM", "/RL", "HIGHEST", "/TR", "x"}));
  EXPECT_EQ(BuildWindowsCommandLine(QueryUpdateTaskArgs(kSchtasks)), kSchtasks + R"( /Query /TN "Quorvale update")");
  EXPECT_EQ(BuildWindowsCommandLine(DeleteUpdateTaskArgs(kSchtasks)), kSchtasks + R"( /Delete /F /TN "Quorvale update")");
  // 261 characters at most, counted in UTF-16: "é" is one.
  EXPECT_TRUE(TaskCommandFits(std::string(260, 'a') + "\xC3\xA9"));
  EXPECT_FALSE(TaskCommandFits(std::string(261, 'a') + "\xC3\xA9"));
}

}  // namespace
}  // namespace quorvale::testing
