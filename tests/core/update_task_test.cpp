#include "core/update_task.h"

#include <gtest/gtest.h>

#include "platform/win_command_line.h"

namespace quorvale::testing {
namespace {

// /TR's value keeps its quotes through schtasks.exe's command line: they are escaped as \",
// the paths' backslashes stay single. 157 = 2 * 60 + 37: Wednesday, minute 37.
TEST(UpdateTaskTest, SchtasksCommandLine) {
  const std::string command =
      UpdateTaskCommand(R"(C:\Program Files\Quorvale\quorvale-cli.exe)", "C:\\Users\\H\xC3\xA9l\xC3\xA8ne\\sources.txt");
  EXPECT_EQ(BuildWindowsCommandLine(CreateUpdateTaskArgs("schtasks.exe", SpreadUpdateTime(true, 157), command)),
            R"(schtasks.exe /Create /F /TN "Quorvale update" /SC WEEKLY /D WED /ST 12:37 /RU SYSTEM /RL HIGHEST )"
            R"(/TR "\"C:\Program Files\Quorvale\quorvale-cli.exe\" --sources )"
            "\\\"C:\\Users\\H\xC3\xA9l\xC3\xA8ne\\sources.txt\\\" --update --replace-hosts --quiet\"");
  EXPECT_EQ(ClockText(SpreadUpdateTime(false, 7 * 60 + 5)), "12:05");
  EXPECT_TRUE(TaskCommandFits(std::string(260, 'a') + "\xC3\xA9"));
  EXPECT_FALSE(TaskCommandFits(std::string(261, 'a') + "\xC3\xA9"));
}

}  // namespace
}  // namespace quorvale::testing
