// quorvale-helper on POSIX: started through pkexec by the window program, it reads a step's
// input on standard input and writes its outcome line on standard error.

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/report.h"
#include "core/update_task.h"
#include "helper/helper_steps.h"
#include "platform/platform.h"

namespace {

// The only search path under pkexec: the system's own folders.
constexpr const char* kSystemPath = "/usr/sbin:/usr/bin:/sbin:/bin";
constexpr const char* kAccessToolFile = "subinacl";
// systemctl, found on the system's search path; in a test's system folder, its stand-ins.
constexpr const char* kSystemctl = "systemctl";
constexpr const char* kTestScheduleFolder = "/etc/quorvale/";
constexpr const char* kTestSystemctl = "/systemctl";
#ifdef QUORVALE_HELPER_FIXED_SYSTEM_DIR
// The polkit test build only (never installed): its HOSTS file is always the one of this test
// folder, fixed when it was built, instead of the real one.
constexpr const char* kFixedSystemDir = QUORVALE_HELPER_FIXED_SYSTEM_DIR;
#endif

std::string UserName(uid_t uid) {
  const passwd* entry = getpwuid(uid);
  return entry != nullptr && entry->pw_name != nullptr ? std::string(entry->pw_name) : std::string();
}

quorvale::Status ReadStandardInput(std::string* bytes) {
  char buffer[1 << 16];
  while (true) {
    const ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
    if (got > 0) {
      bytes->append(buffer, static_cast<size_t>(got));
    } else if (got == 0) {
      return quorvale::Status::Ok();
    } else if (errno != EINTR) {
      return quorvale::StatusFromErrno(errno, "standard input");
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  quorvale::HelperContext context;
  context.schedule_folder = quorvale::kUpdateTimerFolder;
  context.systemctl = kSystemctl;
  // Under pkexec the user who asked is the one pkexec names, and nothing else of the
  // environment counts: the files written are the system's own.
  if (const char* pkexec_uid = std::getenv("PKEXEC_UID"); pkexec_uid != nullptr) {
    const std::string_view text = pkexec_uid;
    uid_t uid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), uid);
    if (error == std::errc() && end == text.data() + text.size() && !text.empty()) context.lock_user = UserName(uid);
    clearenv();
    setenv("PATH", kSystemPath, 1);
  } else {
    context.lock_user = UserName(getuid());
    // Started directly (tests), the schedule's folder and systemctl may be a test's own.
    if (const char* dir = std::getenv("QUORVALE_SYSTEM_DIR"); dir != nullptr && *dir != '\0') {
      context.schedule_folder = std::string(dir) + kTestScheduleFolder;
      context.systemctl = std::string(dir) + kTestSystemctl;
    }
  }
#ifdef QUORVALE_HELPER_FIXED_SYSTEM_DIR
  setenv("QUORVALE_SYSTEM_DIR", kFixedSystemDir, 1);
#endif
  std::setlocale(LC_ALL, "");
  quorvale::GuardWritesAgainstSignals();
  std::unique_ptr<quorvale::Platform> platform = quorvale::CreateSystemPlatform();
  context.access_tool = quorvale::GetAppFolder(platform->ExecutablePath()) + kAccessToolFile;
  context.read_input = ReadStandardInput;

  std::string printed;
  const quorvale::HelperOutcome outcome =
      quorvale::RunHelperStep(*platform, std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), context,
                              &printed);
  std::fputs(printed.c_str(), stdout);
  std::fflush(stdout);
  std::fputs(quorvale::FormatHelperOutcome(outcome).c_str(), stderr);
  return outcome.exit_code;
}
