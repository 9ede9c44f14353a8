// Rights asked for per step: the window program asks for none at start, and the helper is
// started through ShellExecuteExW "runas" with a pipe that carries its input and outcome.

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/hosts_writer.h"
#include "platform/hosts_replace.h"
#include "platform/platform.h"
#include "support/test_files.h"
#include "win_test_util.h"

namespace quorvale::testing {
namespace {

TEST(Elevation, TheWindowProgramRunsAsInvoker) {
  const std::string program = TestProgramFolder() + "quorvale.exe";
  HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr) << program;
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr);
  const std::string manifest(static_cast<const char*>(LockResource(LoadResource(module, found))),
                             SizeofResource(module, found));
  FreeLibrary(module);
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"), std::string::npos)
      << manifest;
}

TEST(Elevation, TheHelperRunsThroughRunasWithItsPipe) {
  // The test prefix's own HOSTS file, put back as it was at the end.
  std::unique_ptr<Platform> platform = CreateSystemPlatform();
  const std::string hosts = platform->HostsPath();
  const std::vector<HostsBackup> backups_before = ListHostsBackups(*platform, hosts);
  const std::string saved = ReadBytes(hosts);
  SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  ASSERT_TRUE(platform->WriteFileAtomic(hosts, "kept line\r\n").ok());
  const std::string helper = TestProgramFolder() + "quorvale-helper.exe";
  int waits = 0;
  std::string header;
  FormatHostsFile(Session(), {"0.0.0.0"}, "01/02/2026 10:00:00", &header);
  const FileContents input = FramedContents([&](const ByteSink& sink) {
    return sink(header) && sink("0.0.0.0\tads.example\r\n");
  });
  const ElevatedRun run = platform->RunElevated(helper, {"replace"}, &input, [&] { ++waits; });
  ASSERT_EQ(run.kind, ElevatedRun::Kind::kEnded) << run.why.ToString();
  EXPECT_EQ(run.exit_code, 0);
  HelperOutcome outcome;
  ASSERT_TRUE(ParseHelperOutcome(run.output, &outcome)) << run.output;
  EXPECT_EQ(outcome.exit_code, 0) << run.output;
  EXPECT_EQ(ReadBytes(hosts), header + "# Lignes conservees du fichier hosts precedent\r\nkept line\r\n"
                                       "0.0.0.0\tads.example\r\n");
  // Refused by the helper: the exit code and the line come back, also when the helper stops
  // reading an input far bigger than the pipe holds.
  const ElevatedRun refused = platform->RunElevated(helper, {"replace", hosts}, nullptr, {});
  EXPECT_EQ(refused.exit_code, kHelperExitFailed);
  EXPECT_EQ(refused.output, "2\tusage\t6\t\twrong number of arguments for replace\tnone\t0\t\t\n");
  const std::string one_long_line(8 << 20, 'x');
  const FileContents not_hosts = FramedContents(WholeContents(one_long_line));
  const ElevatedRun cut = platform->RunElevated(helper, {"replace"}, &not_hosts, {});
  EXPECT_EQ(cut.exit_code, kHelperExitFailed);
  EXPECT_EQ(cut.output, "2\tinput\t6\t\tline 1: too long\tnone\t0\t\t\n");
  EXPECT_TRUE(EndChildren());
  // The copies are newest first: those made here come before the ones that were there.
  const std::vector<HostsBackup> backups_after = ListHostsBackups(*platform, hosts);
  for (size_t i = 0; i + backups_before.size() < backups_after.size(); ++i) {
    (void)platform->RemoveFile(backups_after[i].path);
  }
  SetFileAttributesA(hosts.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_TRUE(platform->WriteFileAtomic(hosts, saved).ok());
}

}  // namespace
}  // namespace quorvale::testing
