#include "cli_process.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix_test_util.h"
#include "support/test_files.h"

extern char** environ;

namespace quorvale::testing {

StartedCli StartCliProgram(const std::vector<std::string>& args, const std::string& capture_prefix,
                           const CliLaunch& launch) {
  const std::string program = std::string(QUORVALE_BIN_DIR) + "/" + launch.program;
  StartedCli started;
  started.out_path = launch.stdout_path.empty() ? capture_prefix + "-stdout" : "";
  started.err_path = capture_prefix + "-stderr";

  // Everything the child needs is prepared before fork: after it only async-signal-safe
  // calls are made.
  std::vector<std::string> argv_text = {program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  std::vector<std::string> env_text;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    bool replaced = false;
    for (const auto& [name, value] : launch.env) replaced |= text.compare(0, name.size() + 1, name + "=") == 0;
    if (!replaced) env_text.push_back(std::move(text));
  }
  for (const auto& [name, value] : launch.env) env_text.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& entry : env_text) envp.push_back(entry.data());
  envp.push_back(nullptr);

  const std::string stdout_target = launch.stdout_path.empty() ? started.out_path : launch.stdout_path;
  int out_fd = open(stdout_target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int err_fd = open(started.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  int in_fd = open(launch.stdin_path.empty() ? "/dev/null" : launch.stdin_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (out_fd < 0 || err_fd < 0 || in_fd < 0) {
    started.failure = "cannot create the capture files: " + std::string(std::strerror(errno));
    return started;
  }

  const bool drop_privileges = launch.as_test_user && RunningAsRoot();
  const uid_t uid = TestUserId();
  const gid_t gid = TestGroupId();

  pid_t pid = fork();
  if (pid == 0) {
    if (drop_privileges &&
        (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0)) {
      _exit(125);
    }
    dup2(in_fd, STDIN_FILENO);
    dup2(out_fd, STDOUT_FILENO);
    dup2(err_fd, STDERR_FILENO);
    if (!launch.working_dir.empty() && chdir(launch.working_dir.c_str()) != 0) _exit(126);
    for (const auto& [resource, bytes] :
         {std::pair{RLIMIT_FSIZE, launch.file_size_limit}, std::pair{RLIMIT_AS, launch.address_space_limit}}) {
      const rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
      if (bytes > 0) setrlimit(resource, &limit);
    }
    execve(program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(out_fd);
  close(err_fd);
  close(in_fd);
  if (pid < 0) {
    started.failure = "fork failed";
  } else {
    started.pid = pid;
  }
  return started;
}

CliResult WaitForCli(const StartedCli& started) {
  CliResult result;
  if (started.pid < 0) {
    result.err = started.failure;
    return result;
  }
  int wait_status = 0;
  while (waitpid(started.pid, &wait_status, 0) < 0 && errno == EINTR) {
  }
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  if (!started.out_path.empty()) {
    result.out = ReadBytes(started.out_path);
    unlink(started.out_path.c_str());
  }
  result.err = ReadBytes(started.err_path);
  unlink(started.err_path.c_str());
  return result;
}

CliResult RunCliProgram(const std::vector<std::string>& args, const std::string& scratch_dir,
                        const CliLaunch& launch) {
  return WaitForCli(StartCliProgram(args, scratch_dir + "/.cli", launch));
}

}  // namespace quorvale::testing
