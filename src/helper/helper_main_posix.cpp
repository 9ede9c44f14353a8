// quorvale-helper on POSIX: started through pkexec by the window program, it reads a step's
// framed input on standard input, which ends with the frame, and writes its outcome line on
// standard error.

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
#include "platform/platform.h"
#include "privileged/privileged_steps.h"

namespace {

// The only search path under pkexec: the system's own folders.
constexpr const char* kSystemPath = "/usr/sbin:/usr/bin:/sbin:/bin";
constexpr const char* kAccessToolFile = "subinacl";
// In a test's system folder, the stand-ins of the schedule's folder and of systemctl.
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

quorvale::Status ReadStandardInput(char* into, size_t room, size_t* got) {
  while (true) {
    const ssize_t read_now = read(STDIN_FILENO, into, room);
    if (read_now >= 0) {
      *got = static_cast<size_t>(read_now);
      return quorvale::Status::Ok();
    }
    if (errno != EINTR) return quorvale::StatusFromErrno(errno, "standard input");
  }
}

}  // namespace

int main(int argc, char** argv) {
  quorvale::StepContext context;
  context.schedule_folder = quorvale::kUpdateTimerFolder;
  context.systemctl = quorvale::kSystemctl;
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
  quorvale::SetStepChannel(ReadStandardInput, quorvale::FrameEnd::kChannelEnds, &context);

  std::string printed;
  const quorvale::HelperOutcome outcome = quorvale::RunPrivilegedStep(
      *platform, std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc), context, &printed);
  std::fputs(printed.c_str(), stdout);
  std::fflush(stdout);
  std::fputs(quorvale::FormatHelperOutcome(outcome).c_str(), stderr);
  return outcome.exit_code;
}
