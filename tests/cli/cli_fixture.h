#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli_process.h"
#include "core/session.h"
#include "support/test_files.h"

namespace quorvale::testing {

// 2023-11-14 22:13:20 UTC; under the C locale the header reads "11/14/23 22:13:20".
inline constexpr const char* kSourceDateEpoch = "1700000000";

// Every test runs the program and the in-process writers under the same fixed moment and
// locale, so that the header dates agree byte for byte.
class CliTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite();

  CliResult Run(const std::vector<std::string>& args, const CliLaunch& launch = {}) const {
    return RunCliProgram(args, scratch_.path(), launch);
  }
  std::string File(std::string_view name) const { return dir_.File(name); }
  std::string Crafted(std::string_view name, std::string_view bytes) const {
    std::string path = dir_.File(name);
    WriteBytes(path, bytes);
    return path;
  }

  TempDir dir_;      // inputs and outputs
  TempDir scratch_;  // the captured standard output and error
};

// The writers' output for a session, as the window program would write it now.
std::string HostsFileBytes(const Session& session, bool www, std::string_view redirect, bool comments,
                           const std::vector<std::string>& carried_lines = {});
std::string SortedHostsBytes(const Session& session, bool www, std::string_view redirect);
std::string ExportBytes(const Session& session, bool comments);
std::string SortedNamesBytes(const Session& session);

}  // namespace quorvale::testing
