// Programs on POSIX: started with posix_spawn (never through a shell), awaited, their output
// read, and run with administrator rights through pkexec.

#include "platform/platform_posix.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "core/path_text.h"

extern char** environ;

namespace quorvale {

namespace {

// Starts `program` (a path, or a bare name looked up on PATH) with `argv`, the file actions
// `files` and `environment` (this process's own by default), every signal at its default and
// none blocked in the child, whatever the program (or the GUI toolkit) did to its own.
Status SpawnWith(const std::string& program, const std::vector<std::string>& argv, posix_spawn_file_actions_t* files,
                 pid_t* pid, char* const* environment = environ) {
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all_signals;
  sigset_t no_signals;
  sigfillset(&all_signals);
  sigemptyset(&no_signals);
  posix_spawnattr_setsigdefault(&attributes, &all_signals);
  posix_spawnattr_setsigmask(&attributes, &no_signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  int err = posix_spawnp(pid, program.c_str(), files, &attributes, args.data(), environment);
  posix_spawnattr_destroy(&attributes);
  if (err != 0) return StatusFromErrno(err, argv.empty() ? program : argv[0]);
  return Status::Ok();
}

// pkexec's exit codes when the user dismissed the agent's dialog or was not authorized.
constexpr int kPkexecDismissed = 126;
constexpr int kPkexecNotAuthorized = 127;
// How long one wait for the elevated program's pipes lasts before `waiting` is called.
constexpr int kElevatedPollMilliseconds = 10;

// Reads what there is on the non-blocking `fd` into `output`; false at its end or on an error.
bool DrainInto(int fd, std::string* output) {
  char buffer[4096];
  while (true) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got > 0) {
      output->append(buffer, static_cast<size_t>(got));
    } else {
      return got < 0 && (errno == EAGAIN || errno == EINTR);
    }
  }
}

// pkexec PROGRAM ARGS with `input` on its standard input (a socket, so that a reader that went
// away gives an error and never SIGPIPE) and its standard error read back; neither wait blocks
// for longer than kElevatedPollMilliseconds before `waiting` is called.
ElevatedRun RunWithPkexec(const std::string& pkexec, const std::string& program, const std::vector<std::string>& args,
                          const FileContents* input, const std::function<void()>& waiting) {
  ElevatedRun run;
  std::vector<std::string> argv = {pkexec, program};
  argv.insert(argv.end(), args.begin(), args.end());
  int to_child[2];
  int from_child[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, to_child) != 0) {
    run.why = StatusFromErrno(errno, pkexec);
    return run;
  }
  if (pipe2(from_child, O_CLOEXEC) != 0) {
    run.why = StatusFromErrno(errno, pkexec);
    close(to_child[0]);
    close(to_child[1]);
    return run;
  }
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_adddup2(&files, to_child[1], STDIN_FILENO);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&files, from_child[1], STDERR_FILENO);
  pid_t pid = 0;
  run.why = SpawnWith(pkexec, argv, &files, &pid);
  posix_spawn_file_actions_destroy(&files);
  close(to_child[1]);
  close(from_child[1]);
  const int in = to_child[0];
  const int err = from_child[0];
  if (!run.why.ok()) {
    close(in);
    close(err);
    return run;
  }
  fcntl(in, F_SETFL, fcntl(in, F_GETFL) | O_NONBLOCK);
  fcntl(err, F_SETFL, fcntl(err, F_GETFL) | O_NONBLOCK);
  bool err_open = true;
  int wait_status = 0;
  bool ended = false;
  // One turn of the wait: the child's messages are read, its end is noticed, the window runs.
  auto turn = [&](short in_events) {
    pollfd fds[2] = {{err, static_cast<short>(err_open ? POLLIN : 0), 0}, {in, in_events, 0}};
    poll(fds, 2, kElevatedPollMilliseconds);
    if (err_open) err_open = DrainInto(err, &run.output);
    if (!ended) ended = waitpid(pid, &wait_status, WNOHANG) == pid;
    if (waiting) waiting();
  };
  if (input != nullptr) {
    (*input)([&](std::string_view piece) {
      while (!piece.empty()) {
        const ssize_t sent = send(in, piece.data(), piece.size(), MSG_NOSIGNAL);
        if (sent > 0) {
          piece.remove_prefix(static_cast<size_t>(sent));
        } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
          turn(POLLOUT);
          if (ended) return false;
        } else {
          return false;  // the child closed its input: its answer says why
        }
      }
      return true;
    });
  }
  close(in);
  while (!ended) turn(0);
  // Whatever the child wrote before it ended; a program it left running may hold the pipe.
  if (err_open) DrainInto(err, &run.output);
  close(err);
  run.exit_code = ExitCodeOf(wait_status);
  run.kind = run.exit_code == kPkexecDismissed || run.exit_code == kPkexecNotAuthorized ? ElevatedRun::Kind::kRefused
                                                                                        : ElevatedRun::Kind::kEnded;
  return run;
}

}  // namespace

Status Spawn(const std::string& program, const std::vector<std::string>& argv, bool quiet, pid_t* pid) {
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  if (quiet) {
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
  }
  Status status = SpawnWith(program, argv, &files, pid);
  posix_spawn_file_actions_destroy(&files);
  return status;
}

void ReapLater(pid_t pid) {
  std::thread([pid] {
    int exit_status = 0;
    while (waitpid(pid, &exit_status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

std::string FindOnPath(const std::string& name) {
  std::string search;
  if (const char* path = std::getenv("PATH")) {
    search = path;
  } else if (size_t size = confstr(_CS_PATH, nullptr, 0); size > 0) {
    search.resize(size);
    confstr(_CS_PATH, search.data(), size);
    search.resize(size - 1);
  }
  size_t start = 0;
  while (start <= search.size()) {
    const size_t end = std::min(search.find(':', start), search.size());
    // An empty entry would mean the current folder, which a system tool is never taken from.
    if (end > start) {
      const std::string candidate = JoinPath(search.substr(start, end - start), name);
      struct stat info;
      if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
        return candidate;
      }
    }
    start = end + 1;
  }
  return std::string();
}

int ExitCodeOf(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return -1;
}

Status PosixPlatform::StartProgram(const std::vector<std::string>& argv, bool hidden) {
  (void)hidden;  // POSIX programs have no window style to choose.
  if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
  pid_t pid = 0;
  Status status = Spawn(argv[0], argv, /*quiet=*/false, &pid);
  if (status.ok()) ReapLater(pid);
  return status;
}

Status PosixPlatform::ShowTextFile(const std::string& path) { return StartProgram({"xdg-open", path}, false); }

Status PosixPlatform::OpenUrl(const std::string& url) { return StartProgram({"xdg-open", url}, false); }

bool PosixPlatform::CanRunElevated() { return !FindOnPath("pkexec").empty(); }

ElevatedRun PosixPlatform::RunElevated(const std::string& program, const std::vector<std::string>& args,
                                       const FileContents* input, const std::function<void()>& waiting) {
  const std::string pkexec = FindOnPath("pkexec");
  if (pkexec.empty()) {
    ElevatedRun run;
    run.why = Status(ErrorCode::kNotFound, "pkexec", "not found");
    return run;
  }
  return RunWithPkexec(pkexec, program, args, input, waiting);
}

Status PosixPlatform::RunProgram(const std::vector<std::string>& argv, int wait_milliseconds, int* exit_code) {
  if (argv.empty() || argv[0].empty()) return Status(ErrorCode::kNotFound, "", "no program given");
  pid_t pid = 0;
  Status status = Spawn(argv[0], argv, /*quiet=*/true, &pid);
  if (!status.ok()) return status;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
  while (true) {
    int wait_status = 0;
    if (waitpid(pid, &wait_status, WNOHANG) == pid) {
      *exit_code = ExitCodeOf(wait_status);
      return Status::Ok();
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(kChildPollInterval);
  }
  ReapLater(pid);
  return Status(ErrorCode::kBusy, argv[0], "still running");
}

Status PosixPlatform::ReadProgramOutput(const std::vector<std::string>& argv, int wait_milliseconds,
                                        std::string* output) {
  output->clear();
  if (argv.empty() || argv[0].empty() || argv[0][0] != '/') {
    return Status(ErrorCode::kNotFound, "", "no program path");
  }
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return StatusFromErrno(errno, "pipe");
  fcntl(out[0], F_SETFL, O_NONBLOCK);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&files, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&files, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char* const no_environment[] = {nullptr};
  pid_t pid = 0;
  const Status started = SpawnWith(argv[0], argv, &files, &pid, no_environment);
  posix_spawn_file_actions_destroy(&files);
  close(out[1]);
  if (!started.ok()) {
    close(out[0]);
    return started;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_milliseconds);
  int wait_status = 0;
  bool ended = false;
  bool open = true;
  while (output->size() <= kProgramOutputLimit && std::chrono::steady_clock::now() < deadline) {
    if (open) {
      pollfd readable{out[0], POLLIN, 0};
      poll(&readable, 1, static_cast<int>(kChildPollInterval.count()));
      open = DrainInto(out[0], output);
    } else {
      std::this_thread::sleep_for(kChildPollInterval);
    }
    if (waitpid(pid, &wait_status, WNOHANG) == pid) {
      ended = true;
      DrainInto(out[0], output);
      break;
    }
  }
  close(out[0]);
  if (!ended) {
    kill(pid, SIGKILL);
    while (waitpid(pid, &wait_status, 0) < 0 && errno == EINTR) {
    }
  }
  if (output->size() > kProgramOutputLimit) return Status(ErrorCode::kIoError, argv[0], "too much output");
  if (!ended) return Status(ErrorCode::kBusy, argv[0], "still running");
  const int exit_code = ExitCodeOf(wait_status);
  if (exit_code != 0) return Status(ErrorCode::kIoError, argv[0], "exit code " + std::to_string(exit_code));
  return Status::Ok();
}

}  // namespace quorvale
