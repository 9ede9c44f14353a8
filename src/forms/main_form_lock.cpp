// Locking the HOSTS file.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/access_command.h"
#include "core/item_reader.h"
#include "core/report.h"
#include "forms/main_form.h"
#include "platform/file_loads.h"
#include "platform/platform.h"

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

// The access-control tool: the copy next to the program (a build folder, or an install on
// Windows), else the one a Linux install keeps in its private folder, else whatever the
// system's program search finds under the bare name.
std::string AccessTool(Platform& platform, std::string_view tool_file) {
  // Relative to the program's folder: bin/quorvale finds libexec/quorvale/subinacl.
  constexpr std::string_view kInstalledToolFolder = "../libexec/quorvale/";
  std::string folder = GetAppFolder(platform.ExecutablePath());
  if (!folder.empty()) {
    for (const std::string& candidate :
         {folder + std::string(tool_file), folder + std::string(kInstalledToolFolder) + std::string(tool_file)}) {
      if (platform.PathExists(candidate)) return candidate;
    }
  }
  return "subinacl";
}

// How long the lock tool is given before the file is probed.
constexpr int kToolWaitMs = 400;

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
    Status started = SetFileAccess(command);
    if (!started.ok()) {
      // Without the tool nothing changed; the caption stays as it is.
      ShowMessage("Impossible de lancer l'outil subinacl.", Prompts::Buttons::kOk, Prompts::Icon::kCritical, {},
                  started.ToString());
      return;
    }
  }
  YieldNow();
  CheckHostsLock(hosts_path_);
}

void MainForm::CheckHostsLock(const std::string& path) {
  // A file the user may not read is taken as locked. A missing file is not locked. A file
  // that holds nothing (not even after a byte-order mark) fails the first read as well and
  // so also reads as locked.
  bool readable = true;
  if (platform_.PathExists(path)) {
    std::string bytes;
    readable = ReadFileBytes(platform_, path, &bytes).ok();
    if (readable) {
      ItemReader reader(bytes);
      std::string_view item;
      readable = reader.Next(&item);
    }
  }
  lock_caption_ = readable ? main_form_design::kLockCaption : main_form_design::kUnlockCaption;
  view_->SetControlCaption(MainControl::kLockButton, lock_caption_);
}

}  // namespace quorvale
