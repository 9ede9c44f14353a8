#include "support/test_server.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

extern char** environ;

namespace quorvale::testing {
namespace {

constexpr int kStartMilliseconds = 10'000;

// Starts the script with `options`, with these standard input and output (-1: inherited).
pid_t StartScript(std::vector<std::string> argv, int stdin_fd, int stdout_fd) {
  argv.insert(argv.begin(), {"python3", QUORVALE_HTTP_TEST_SERVER});
  std::vector<char*> args;
  for (std::string& arg : argv) args.push_back(arg.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdin_fd, STDIN_FILENO);
  if (stdout_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdout_fd, STDOUT_FILENO);
  pid_t pid = -1;
  const int err = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return err == 0 ? pid : -1;
}

int Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

TestServer::TestServer(const std::vector<std::string>& options) {
  int to_server[2];
  int from_server[2];
  if (pipe2(to_server, O_CLOEXEC) != 0 || pipe2(from_server, O_CLOEXEC) != 0) return;  // ports() stays empty
  stdin_fd_ = to_server[1];
  pid_ = StartScript(options, to_server[0], from_server[1]);
  close(to_server[0]);
  close(from_server[1]);
  // The port line, waiting at most kStartMilliseconds for each byte.
  std::string line;
  char c = 0;
  pollfd readable = {from_server[0], POLLIN, 0};
  while (pid_ > 0 && poll(&readable, 1, kStartMilliseconds) > 0 && read(from_server[0], &c, 1) == 1 && c != '\n') line += c;
  close(from_server[0]);
  std::istringstream ports(c == '\n' ? line : "");
  for (int port = 0; ports >> port;) ports_.push_back(port);
}

TestServer::~TestServer() {
  if (stdin_fd_ >= 0) close(stdin_fd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Reap(pid_);
  }
}

bool MakeTestCertificates(const std::string& folder) {
  const pid_t pid = StartScript({"--make-certs", folder}, -1, -1);
  return pid > 0 && Reap(pid) == 0;
}

}  // namespace quorvale::testing
