#pragma once

#include <string>
#include <utility>
#include <vector>

namespace quorvale::testing {

struct CliResult {
  int status = -1;  // exit status, or -1 when the program did not exit normally
  std::string out;
  std::string err;
};

struct CliLaunch {
  // Added to (or replacing in) the environment of the test process.
  std::vector<std::pair<std::string, std::string>> env;
  // When not 0, the largest file the program may write (RLIMIT_FSIZE). The program itself
  // ignores SIGXFSZ, so a write beyond it fails with EFBIG.
  long file_size_limit = 0;
  // When not empty, standard output goes to this file (for example /dev/full).
  std::string stdout_path;
  // When not empty, standard input comes from this file.
  std::string stdin_path;
  // When not 0, the most address space the program may take (RLIMIT_AS).
  long address_space_limit = 0;
  // When not empty, the folder the program starts in.
  std::string working_dir;
  // When the tests run as root, the program runs as nobody:nogroup without supplementary
  // groups, so that permission bits and access lists bind it.
  bool as_test_user = false;
  // The built program to start, by its file name.
  std::string program = "quorvale-cli";
};

// A started quorvale-cli, not waited for yet.
struct StartedCli {
  int pid = -1;  // -1 when it could not be started (`failure` says why)
  std::string failure;
  std::string out_path;  // "" when standard output goes to the launch's stdout_path
  std::string err_path;
};

// Starts the built quorvale-cli with `args` (without the program's name). Standard output
// and error are captured through files named `capture_prefix` + "-stdout" and "-stderr".
StartedCli StartCliProgram(const std::vector<std::string>& args, const std::string& capture_prefix,
                           const CliLaunch& launch = {});
// Waits for a started program and collects what it wrote.
CliResult WaitForCli(const StartedCli& started);

// Starts and waits, capturing through files in `scratch_dir`.
CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& scratch_dir,
                        const CliLaunch& launch = {});

}  // namespace quorvale::testing
