// Locking the HOSTS file.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/access_command.h"
#include "core/item_reader.h"
#include "core/report.h"
#include "forms/main_form.h"
#include "forms/privileged_step.h"
#include "forms/texts.h"
#include "platform/file_read.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"

namespace quorvale {

namespace {

// The logon name, cut at its first NUL as the fixed-size buffer of the system call would
// be; an unknown name is "" and is passed on as it is.
std::string GetCurrentUser(Platform& platform) {
  std::string name = platform.GetCurrentUserName();
  size_t nul = name.find('\0');
  if (nul != std::string::npos) name.resize(nul);
  return name;
}

// The access-control tool that comes with the program, else whatever the system's program
// search finds under the bare name.
std::string AccessTool(Platform& platform, std::string_view tool_file) {
  std::string tool = CompanionProgram(platform, tool_file);
  return tool.empty() ? std::string("subinacl") : tool;
}

// How long the lock tool is given before the file is probed.
constexpr int kToolWaitMs = 400;

constexpr char kToolNotStarted[] = "Impossible de lancer l'outil subinacl.";
constexpr char kToolFailed[] = "L'outil subinacl a echoue.";

}  // namespace

#ifdef _WIN32
const char* const MainForm::kAccessToolFile = "subinacl.exe";
#else
const char* const MainForm::kAccessToolFile = "subinacl";
#endif

Status MainForm::SetFileAccess(const AccessCommand& command) {
  std::vector<std::string> argv = {AccessTool(platform_, kAccessToolFile)};
  for (std::string& arg : AccessCommandArguments(command)) argv.push_back(std::move(arg));
  Status started = platform_.StartProgram(argv, /*hidden=*/true);
  if (!started.ok()) return started;
  // The tool is not awaited: its exit status and output are never read. This fixed pause is
  // the only wait before the file is probed.
  YieldNow();
  platform_.Sleep(kToolWaitMs);
  YieldNow();
  return started;
}

void MainForm::ToggleLock() {
  CommandScope scope(this);
  const bool lock = lock_caption_ == main_form_design::kLockCaption;
  if (lock || lock_caption_ == main_form_design::kUnlockCaption) {
    const AccessCommand command{lock ? AccessAction::kDeny : AccessAction::kGrant, hosts_path_,
                                GetCurrentUser(platform_)};
    // When the tool did not run, or failed: what the message says, and why.
    bool failed = false;
    std::string headline = kToolNotStarted;
    std::string failure;
    switch (ChooseStepRoute(platform_, hosts_path_)) {
      case StepRoute::kInPlace:
        if (Status started = SetFileAccess(command); !started.ok()) {
          failed = true;
          failure = started.ToString();
        }
        break;
      case StepRoute::kHelper: {
        // The helper runs the tool for the user who asked and waits for it; the probe below
        // reads the result as it does after the tool started here.
        const std::string step(lock ? helper_steps::kLock : helper_steps::kUnlock);
        const HelperStepResult result = RunStepInHelper(platform_, {step}, nullptr, [this] { YieldNow(); });
        failed = result.kind != HelperStepResult::Kind::kDone;
        if (result.kind == HelperStepResult::Kind::kRefused) {
          headline = texts::kAuthenticationRefused;  // which says it all
        } else if (failed) {
          if (result.kind == HelperStepResult::Kind::kFailed) headline = kToolFailed;
          failure = StepFailureDetail(result);
        }
        break;
      }
      case StepRoute::kNotSystemFile:
        failed = true;
        failure = texts::kNotSystemHosts;
        break;
      case StepRoute::kUnavailable: {
        std::vector<std::string> argv = AccessCommandArguments(command);
        argv.insert(argv.begin(), AccessTool(platform_, kAccessToolFile));
        failed = true;
        failure = RightsNeededDetail(argv);
        break;
      }
    }
    if (failed) {
      // The tool changed nothing; the caption stays as it is.
      ShowMessage(headline, Prompts::Buttons::kOk, Prompts::Icon::kCritical, {}, failure);
      return;
    }
  }
  YieldNow();
  CheckHostsLock(hosts_path_);
}

void MainForm::CheckHostsLock(const std::string& path) {
  bool locked = false;
  if (const std::optional<bool> by_list = platform_.LockedByAccessList(path, GetCurrentUser(platform_))) {
    // The lock leaves the user read (POSIX): only the file's access list shows it.
    locked = *by_list;
  } else if (platform_.PathExists(path)) {
    // A file the user may not read is taken as locked. A missing file is not locked. A file
    // that holds nothing (not even after a byte-order mark) fails the first read as well and
    // so also reads as locked.
    std::string bytes;
    locked = !ReadFileBytes(platform_, path, &bytes).ok();
    if (!locked) {
      ItemReader reader(bytes);
      std::string_view item;
      locked = !reader.Next(&item);
    }
  }
  lock_caption_ = locked ? main_form_design::kUnlockCaption : main_form_design::kLockCaption;
  view_->SetControlCaption(MainControl::kLockButton, lock_caption_);
}

}  // namespace quorvale
