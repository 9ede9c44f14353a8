#include "posix_test_util.h"

#include <acl/libacl.h>
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/acl.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "support/test_files.h"

extern char** environ;

namespace quorvale::testing {

ScopedUmask::ScopedUmask(mode_t mask) : old_(umask(mask)) {}
ScopedUmask::~ScopedUmask() { umask(old_); }

bool RunningAsRoot() { return geteuid() == 0; }

namespace {

const passwd* Nobody() {
  static const passwd* nobody = getpwnam("nobody");
  return nobody;
}

// The waits for something another process does: about ten seconds, looked at every 10 ms.
constexpr int kWaitSteps = 1000;
constexpr auto kWaitStep = std::chrono::milliseconds(10);

// This process's children, the ended ones that nobody has waited for yet included.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string pid = entry.path().filename();
    const std::string stat = ReadBytes("/proc/" + pid + "/stat");
    // The command name in brackets may hold blanks: the state and the parent follow the last ")".
    const size_t name_end = stat.rfind(')');
    if (!std::isdigit(static_cast<unsigned char>(pid[0])) || name_end == std::string::npos) continue;
    std::istringstream fields(stat.substr(name_end + 1));
    char state = 0;
    pid_t parent = 0;
    if (fields >> state >> parent && parent == getpid()) children.push_back(std::stoi(pid));
  }
  return children;
}

}  // namespace

uid_t TestUserId() { return RunningAsRoot() && Nobody() ? Nobody()->pw_uid : geteuid(); }
gid_t TestGroupId() { return RunningAsRoot() && Nobody() ? Nobody()->pw_gid : getegid(); }

void GiveToTestUser(const std::string& path) {
  if (RunningAsRoot()) (void)!chown(path.c_str(), TestUserId(), TestGroupId());
}

int RunInChild(const std::function<int()>& body, bool unprivileged) {
  const uid_t uid = TestUserId();
  const gid_t gid = TestGroupId();
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    if (unprivileged && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setresgid(gid, gid, gid) != 0 || setresuid(uid, uid, uid) != 0) _exit(99);
    }
    _exit(body());
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (WIFSIGNALED(status)) return 100 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

// glibc opens files through openat, whose flags are its third argument (their low half).
bool RefuseUnnamedFiles() {
  sock_filter filter[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
      BPF_STMT(BPF_ALU | BPF_AND | BPF_K, O_TMPFILE),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, O_TMPFILE, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
  };
  sock_fprog program = {sizeof filter / sizeof filter[0], filter};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

int RunAndWait(const std::vector<std::string>& argv, std::string* stderr_text) {
  TempDir capture;
  const std::string err_path = capture.File("stderr");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  int err = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (err != 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  if (stderr_text != nullptr) *stderr_text = ReadBytes(err_path);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

std::optional<std::string> WaitForFile(const std::string& path) {
  for (int i = 0; i < kWaitSteps; ++i) {
    struct stat info;
    if (stat(path.c_str(), &info) == 0) return ReadBytes(path);
    std::this_thread::sleep_for(kWaitStep);
  }
  return std::nullopt;
}

bool EndChildren() {
  for (int i = 0; i < kWaitSteps && !Children().empty(); ++i) std::this_thread::sleep_for(kWaitStep);
  const std::vector<pid_t> left = Children();
  for (pid_t child : left) {
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
  }
  return left.empty();
}

mode_t ModeOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return static_cast<mode_t>(-1);
  return info.st_mode & 07777;
}

std::string AclText(const std::string& path) {
  acl_t acl = acl_get_file(path.c_str(), ACL_TYPE_ACCESS);
  if (acl == nullptr) return std::string();
  char* text = acl_to_any_text(acl, nullptr, ',', 0);
  std::string result = text != nullptr ? text : "";
  acl_free(text);
  acl_free(acl);
  return result;
}

bool SetAcl(const std::string& path, const std::string& text, bool default_acl) {
  acl_t acl = acl_from_text(text.c_str());
  if (acl == nullptr) return false;
  bool ok = acl_set_file(path.c_str(), default_acl ? ACL_TYPE_DEFAULT : ACL_TYPE_ACCESS, acl) == 0;
  acl_free(acl);
  return ok;
}

}  // namespace quorvale::testing
