// The privileged helper's contract, run as a program: what it refuses, which HOSTS file and
// which user it takes, a replace that carries the old file's lines, and the inputs a replace
// refuses.

#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "cli/cli_fixture.h"
#include "cli/cli_process.h"
#include "core/helper_input.h"

namespace quorvale::testing {
namespace {

using namespace std::string_literals;

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
  static std::string Framed(const std::string& body) {
    std::string framed;
    FramedContents(WholeContents(body))(AppendTo(&framed));
    return framed;
  }
  // The header the window program writes, without entries.
  static std::string Header() { return HostsFileBytes(Session(), false, "0.0.0.0", false); }
  std::string system_dir_ = File("system");
  std::string hosts_ = File("system/drivers/etc/HOSTS");
};

TEST_F(HelperTest, RefusesPathsUnknownStepsAndNamesThatAreNotBackups) {
  std::filesystem::create_directories(File("system/drivers/etc"));
  WriteBytes(hosts_, "old\r\n");
  WriteBytes(File("system/drivers/etc/HOSTS.20240101-000000.bak.d"), "not a backup\r\n");
  std::filesystem::create_directories(File("system/drivers/etc/sub"));
  for (const char* backup : {"HOSTS.20240101-000000.bak", "sub/HOSTS.20240101-000000.bak"}) {
    WriteBytes(File("system/drivers/etc/") + backup, "backup\r\n");
  }
  const std::string usage = "2\tusage\t6\t\t";
  for (const auto& [args, line] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"replace", "/etc/hosts"}, usage + "wrong number of arguments for replace"},
           {{"lock", "root"}, usage + "wrong number of arguments for lock"},
           {{"chmod"}, usage + "unknown step: chmod"},
           {{}, usage + "no step given"},
           {{"restore", "../hosts"}, "2\tread\t1\t../hosts\tno backup copy of that name"},
           {{"restore", "HOSTS.20240101-000000.bak.d"},
            "2\tread\t1\tHOSTS.20240101-000000.bak.d\tno backup copy of that name"},
           {{"restore", "sub/HOSTS.20240101-000000.bak"},
            "2\tread\t1\tsub/HOSTS.20240101-000000.bak\tno backup copy of that name"}}) {
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
  const std::string header = Header();
  WriteBytes(File("new"), Framed(header + "0.0.0.0\tads.example\r\n"));
  const CliResult result = Helper({"replace"}, {}, File("new"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(hosts_), header + "# Lignes conservees du fichier hosts precedent\r\nkept line\r\n"
                                        "0.0.0.0\tads.example\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(File("system/drivers/etc")), {}), 2);
}

// Each input is refused before the new file takes the HOSTS name: the file stays byte for
// byte, and nothing is left beside it (no new file, no copy).
TEST_F(HelperTest, ReplaceRefusesEveryInputThatIsNotWholeAndTheProgramsOwn) {
  std::filesystem::create_directories(File("system/drivers/etc"));
  WriteBytes(hosts_, "127.0.0.1 localhost\r\n");
  const std::string good = Header() + "0.0.0.0\tads.example\r\n";
  std::string wrong_digest = Framed(good);
  wrong_digest[wrong_digest.size() - 2] ^= 1;
  const std::string frame = "2\tinput\t5\t\t";
  const std::string content = "2\tinput\t6\t\t";
  for (const auto& [input, line] : std::vector<std::pair<std::string, std::string>>{
           {Framed(good).substr(0, good.size() / 2), frame + "the input ends before its frame does"},
           {Framed(good) + "x", frame + "the input goes on after its frame"},
           {Framed("0.0.0.0 localhost\r\n" + good), content + "line 1: not the program's header"},
           {Framed(good + "0.0.0.0\tads\0x.example\r\n"s), content + "line 16: NUL byte"},
           {Framed(good + Header()), content + "line 16: not an entry"},
           {"1048577\n" + std::string(1 << 21, 'x'), frame + "a piece of the input is longer than 1048576 bytes"},
           {"18446744073709551616\n", frame + "the input is not framed"},
           {wrong_digest, frame + "the input does not match its digest"},
           {"", frame + "the input ends before its frame does"},
           {Framed(""), content + "line 1: not the program's header"}}) {
    WriteBytes(File("new"), input);
    const CliResult result = Helper({"replace"}, {}, File("new"));
    EXPECT_EQ(result.status, 2) << line;
    EXPECT_EQ(result.err, line + "\tnone\t0\t\t\n");
    EXPECT_EQ(ReadBytes(hosts_), "127.0.0.1 localhost\r\n") << line;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(File("system/drivers/etc")), {}), 1) << line;
  }
}

// The schedule step copies the files, root's alone, records which, then runs a stand-in
// systemctl, whose failure puts the folder back. Local sources, or none, are refused at once.
TEST_F(HelperTest, ScheduleCopiesTheFilesThenRunsSystemctl) {
  const std::string folder = File("system/etc/quorvale/");
  std::filesystem::create_directories(folder);
  WriteBytes(folder + "own.txt", "not the helper's\n");
  WriteBytes(File("system/systemctl"), "#!/bin/sh\necho \"$@\" >" + File("said") + "\nexit $QV_EXIT\n");
  std::filesystem::permissions(File("system/systemctl"), std::filesystem::perms::owner_all);
  WriteBytes(File("in"), Framed("20\nhttps://a.example/x\n0\n4\nx\r\ny"));
  CliResult result = Helper({"schedule", "on"}, {{"QV_EXIT", "0"}}, File("in"));
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(ReadBytes(File("said")), "enable --now quorvale-update.timer\n");
  const auto folder_now = [&folder] {
    std::string all = std::to_string(std::distance(std::filesystem::directory_iterator(folder), {}));
    for (const char* name : {"sources.txt", "own.txt", "allow.txt", "helper-written.txt"}) all += "|" + ReadBytes(folder + name);
    return all;
  };
  const std::string copied = folder_now();
  EXPECT_EQ(copied, "4|https://a.example/x\n|not the helper's\n|x\r\ny|sources.txt\nallow.txt\n");
  EXPECT_EQ(std::filesystem::status(folder + "allow.txt").permissions(), std::filesystem::perms(0600));

  WriteBytes(File("in"), Framed("20\nhttps://b.example/y\n1\no0\n"));
  result = Helper({"schedule", "on"}, {{"QV_EXIT", "1"}}, File("in"));
  EXPECT_EQ(result.err, "2\tschedule\t5\t" + File("system/systemctl") + "\texit code 1\tnone\t0\t\t\n");
  EXPECT_EQ(folder_now(), copied);
  std::filesystem::remove(File("said"));
  const std::string local = "ligne 1: source locale refusee pour la mise a jour du systeme: ";
  for (const auto& [arg, input, line] : std::vector<std::tuple<std::string, std::string, std::string>>{
           {"on", "10\n../shadow\n0\n0\n", "ligne 1: chemin relatif refuse pour la mise a jour du systeme: ../shadow"},
           {"on", "12\n/etc/shadow\n0\n0\n", local + "/etc/shadow"},
           {"on", "15\nfile:///root/x\n0\n0\n", local + "file:///root/x"},
           {"on", "0\n1\no0\n", "aucune source"},
           {"on", "3\nabc0\n", "the input is not the files of the schedule"},
           {"daily", "", "schedule takes on or off: daily"}}) {
    WriteBytes(File("in"), Framed(input));
    EXPECT_EQ(Helper({"schedule", arg}, {}, File("in")).err, "2\tusage\t6\t\t" + line + "\tnone\t0\t\t\n");
  }
  EXPECT_FALSE(std::filesystem::exists(File("said")));
  EXPECT_EQ(folder_now(), copied);
}

}  // namespace
}  // namespace quorvale::testing
