// The privileged helper's contract, run as a program: what it refuses, which HOSTS file and
// which user it takes, and a replace that carries the old file's lines.

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_fixture.h"
#include "cli/cli_process.h"

namespace quorvale::testing {
namespace {

class HelperTest : public CliTest {
 protected:
  CliResult Helper(std::vector<std::string> args, std::vector<std::pair<std::string, std::string>> env = {},
                   std::string stdin_path = {}) {
    CliLaunch launch;
    launch.program = "quorvale-helper";
    launch.env = std::move(env);
    launch.env.emplace_back("QUORVALE_SYSTEM_DIR", system_dir_);
    launch.stdin_path = std::move(stdin_path);
    return Run(args, launch);
  }
  std::string system_dir_ = File("system");
  std::string hosts_ = File("system/drivers/etc/HOSTS");
};

TEST_F(HelperTest, RefusesPathsUnknownStepsAndNamesThatAreNotBackups) {
  std::filesystem::create_directories(File("system/drivers/etc"));
  WriteBytes(hosts_, "old\r\n");
  WriteBytes(File("system/drivers/etc/HOSTS.20240101-000000.bak.d"), "not a backup\r\n");
  const std::string usage = "2\tusage\t6\t\t";
  for (const auto& [args, line] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"replace", "/etc/hosts"}, usage + "wrong number of arguments for replace"},
           {{"lock", "root"}, usage + "wrong number of arguments for lock"},
           {{"chmod"}, usage + "unknown step: chmod"},
           {{}, usage + "no step given"},
           {{"restore", "../hosts"}, "2\tread\t1\t../hosts\tno backup copy of that name"},
           {{"restore", "HOSTS.20240101-000000.bak.d"},
            "2\tread\t1\tHOSTS.20240101-000000.bak.d\tno backup copy of that name"}}) {
    const CliResult result = Helper(args, {}, "/dev/null");
    EXPECT_EQ(result.status, 2) << line;
    EXPECT_EQ(result.err, line + "\tnone\t0\t\t\n");
  }
  EXPECT_EQ(ReadBytes(hosts_), "old\r\n");
}

TEST_F(HelperTest, UnderPkexecTheSystemFileAndTheAskingUser) {
  // `where` writes nothing: it shows the file and the user a step would take.
  EXPECT_EQ(Helper({"where"}).out, hosts_ + "\n" + getpwuid(getuid())->pw_name + "\n");
  EXPECT_EQ(Helper({"where"}, {{"PKEXEC_UID", "65534"}}).out, "/etc/hosts\nnobody\n");
  EXPECT_EQ(Helper({"where"}, {{"PKEXEC_UID", "x"}}).out, "/etc/hosts\n\n");
}

TEST_F(HelperTest, ReplaceCarriesTheOldLinesAndKeepsACopy) {
  std::filesystem::create_directories(File("system/drivers/etc"));
  WriteBytes(hosts_, "kept line\r\n");
  const std::string header = "#\r\n# Nombre d'entrees: 1\r\n#\r\n";
  WriteBytes(File("new"), header + "0.0.0.0\tads.example\r\n");
  const CliResult result = Helper({"replace"}, {}, File("new"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(hosts_), header + "# Lignes conservees du fichier hosts precedent\r\nkept line\r\n"
                                        "0.0.0.0\tads.example\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(File("system/drivers/etc")), {}), 2);
  WriteBytes(File("new"), "no header\r\n");
  EXPECT_EQ(Helper({"replace"}, {}, File("new")).err,
            "2\tusage\t6\t\tthe input is not a HOSTS file of the program\tnone\t0\t\t\n");
}

// The schedule step copies the three files (an empty one is removed), then runs systemctl; a
// stand-in systemctl in the test's system folder writes its arguments down.
TEST_F(HelperTest, ScheduleCopiesTheFilesThenRunsSystemctl) {
  const std::string folder = File("system/etc/quorvale/");
  std::filesystem::create_directories(folder);
  WriteBytes(folder + "own.txt", "old\n");
  WriteBytes(File("system/systemctl"), "#!/bin/sh\necho \"$@\" >" + File("said") + "\nexit $QV_EXIT\n");
  std::filesystem::permissions(File("system/systemctl"), std::filesystem::perms::owner_all);
  WriteBytes(File("in"), "3\nabc0\n4\nx\r\ny");
  CliResult result = Helper({"schedule", "on"}, {{"QV_EXIT", "0"}}, File("in"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(File("said")), "enable --now quorvale-update.timer\n");
  EXPECT_EQ(ReadBytes(folder + "sources.txt"), "abc");
  EXPECT_EQ(ReadBytes(folder + "allow.txt"), "x\r\ny");
  EXPECT_FALSE(std::filesystem::exists(folder + "own.txt"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);

  result = Helper({"schedule", "off"}, {{"QV_EXIT", "1"}}, "/dev/null");
  EXPECT_EQ(ReadBytes(File("said")), "disable --now quorvale-update.timer\n");
  EXPECT_EQ(result.err, "2\tschedule\t5\t" + File("system/systemctl") + "\texit code 1\tnone\t0\t\t\n");
  std::filesystem::remove(File("said"));
  for (const auto& [arg, input, line] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"on", "3\nabc0\n", "the input is not the files of the schedule"},
           {"on", "3\nabc0\n0\n0\n", "the input is not the files of the schedule"},
           {"daily", "", "schedule takes on or off: daily"}}) {
    WriteBytes(File("in"), input);
    EXPECT_EQ(Helper({"schedule", arg}, {}, File("in")).err, "2\tusage\t6\t\t" + line + "\tnone\t0\t\t\n");
  }
  EXPECT_FALSE(std::filesystem::exists(File("said")));
  EXPECT_EQ(ReadBytes(folder + "sources.txt"), "abc");
}

}  // namespace
}  // namespace quorvale::testing
