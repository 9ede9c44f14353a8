#pragma once

#include <string>
#include <vector>

namespace quorvale::testing {

// Paths and command lines are UTF-8, as in the program.
// The folder of the running test program, with a trailing backslash.
std::string TestProgramFolder();

// Waits until `path` exists, at most `timeout_ms`; true when it appeared.
bool WaitForFile(const std::string& path, int timeout_ms);

// Waits (up to about ten seconds) until every program this process started has ended; ends
// the ones still running after that. False when one had to be ended.
bool EndChildren();

struct ProcessResult {
  int status = -1;  // exit code, -1 when the program could not be started or did not end
  std::string out;
  std::string err;
};

// Runs a program with an already built command line, standard output and error going to
// files in `scratch_dir`, and waits for it (at most a minute).
ProcessResult RunAndWait(const std::string& command_line, const std::string& scratch_dir);

// The command line split the way Windows splits it for a program (CommandLineToArgvW).
std::vector<std::string> SplitAsWindows(const std::string& command_line);

}  // namespace quorvale::testing
