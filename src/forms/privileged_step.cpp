#include "forms/privileged_step.h"

#include <algorithm>

#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/report.h"
#include "forms/backups_form.h"
#include "forms/texts.h"
#include "platform/platform.h"
#include "privileged/privileged_steps.h"

namespace quorvale {

namespace {

#ifdef _WIN32
constexpr std::string_view kHelperFile = "quorvale-helper.exe";
#else
constexpr std::string_view kHelperFile = "quorvale-helper";
constexpr std::string_view kAdministratorPrefix = "sudo ";
#endif

// The characters a shell takes as themselves in a word; any other makes it quote the word.
constexpr std::string_view kPlainWordCharacters =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_@%+=:,./-"
#ifdef _WIN32
    "\\"
#endif
    ;

// `arg` as one word of a command line typed in the administrator's shell: as it is when it
// needs no quotes; on Windows in double quotes (a backslash before the closing quote doubled,
// as the C runtime reads it back; a path holds no double quote), elsewhere in single quotes
// (a single quote inside written '\'').
std::string ShellWord(const std::string& arg) {
  if (!arg.empty() && arg.find_first_not_of(kPlainWordCharacters) == std::string::npos) return arg;
#ifdef _WIN32
  const size_t trailing = arg.size() - std::min(arg.size(), arg.find_last_not_of('\\') + 1);
  return "\"" + arg + std::string(trailing, '\\') + "\"";
#else
  std::string word = "'";
  for (char c : arg) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
#endif
}

// The last line of the helper's answer that is an outcome line: pkexec may have written its
// own lines before it.
bool LastOutcome(std::string_view output, HelperOutcome* outcome) {
  if (output.ends_with('\n')) output.remove_suffix(1);
  while (true) {
    const size_t start = output.rfind('\n');
    const std::string_view line = start == std::string_view::npos ? output : output.substr(start + 1);
    if (ParseHelperOutcome(line, outcome)) return true;
    if (start == std::string_view::npos) return false;
    output.remove_suffix(line.size() + 1);
  }
}

DnsFlushOutcome::Kind FlushKind(DnsCacheResult result) {
  switch (result) {
    case DnsCacheResult::kFlushed:
      return DnsFlushOutcome::Kind::kFlushed;
    case DnsCacheResult::kStarted:
      return DnsFlushOutcome::Kind::kStarted;
    default:
      return DnsFlushOutcome::Kind::kNotDone;
  }
}

// The helper when it is there, only administrators can change it (a helper that another
// user could replace would run what that user chose, with the rights the prompt gave), and
// the system can give it the rights.
StepRoute HelperRoute(Platform& platform) {
  const std::string helper = CompanionProgram(platform, kHelperFile);
  if (!helper.empty() && platform.OnlyAdministratorsCanChange(helper) && platform.CanRunElevated()) {
    return StepRoute::kHelper;
  }
  return StepRoute::kUnavailable;
}

// Whether the HOSTS file that the helper writes with the rights is `hosts_path`. On Windows
// both come from the system folder, which nothing of a process's environment moves. On Linux
// the helper under pkexec ignores the environment that gives this window another file
// (QUORVALE_SYSTEM_DIR): the helper itself says which file it writes, run here without rights
// and with an empty environment.
bool HelperWrites(Platform& platform, const std::string& hosts_path) {
#ifdef _WIN32
  return hosts_path == platform.HostsPath();
#else
  constexpr int kWhereWaitMilliseconds = 5000;
  const std::string helper = CompanionProgram(platform, kHelperFile);
  std::string printed;
  if (!platform.ReadProgramOutput({helper, std::string(helper_steps::kWhere)}, kWhereWaitMilliseconds, &printed).ok()) {
    return false;
  }
  return printed.substr(0, printed.find('\n')) == hosts_path;
#endif
}

}  // namespace

StepRoute ChooseStepRoute(Platform& platform, const std::string& hosts_path) {
  if (platform.CanReplaceInPlace(hosts_path)) return StepRoute::kInPlace;
  const StepRoute route = HelperRoute(platform);
  if (route == StepRoute::kHelper && !HelperWrites(platform, hosts_path)) return StepRoute::kNotSystemFile;
  return route;
}

StepRoute ChooseAdministratorRoute(Platform& platform) {
  return platform.IsElevated() ? StepRoute::kInPlace : HelperRoute(platform);
}

std::string CompanionProgram(Platform& platform, std::string_view file) {
  // Relative to the program's folder: bin/quorvale finds libexec/quorvale/PROGRAM.
  constexpr std::string_view kInstalledFolder = "../libexec/quorvale/";
  const std::string folder = GetAppFolder(platform.ExecutablePath());
  if (folder.empty()) return {};
  for (const std::string& candidate :
       {folder + std::string(file), folder + std::string(kInstalledFolder) + std::string(file)}) {
    if (platform.PathExists(candidate)) return platform.CanonicalPath(candidate);
  }
  return {};
}

HelperStepResult RunStepInHelper(Platform& platform, const std::vector<std::string>& args, const FileContents* input,
                                 const YieldFn& waiting) {
  HelperStepResult result;
  const std::string helper = CompanionProgram(platform, kHelperFile);
  const FileContents framed = FramedContents(input != nullptr ? *input : FileContents());
  const ElevatedRun run = platform.RunElevated(helper, args, &framed, waiting);
  switch (run.kind) {
    case ElevatedRun::Kind::kRefused:
      result.kind = HelperStepResult::Kind::kRefused;
      return result;
    case ElevatedRun::Kind::kNotStarted:
      result.failure = run.why;
      return result;
    case ElevatedRun::Kind::kEnded:
      break;
  }
  // Done only when the helper both says so and ends so.
  HelperOutcome outcome;
  const bool told = LastOutcome(run.output, &outcome);
  if (told && outcome.exit_code != kHelperExitDone) {
    result.kind = HelperStepResult::Kind::kFailed;
    result.failure = outcome.failure;
    return result;
  }
  if (!told || run.exit_code != kHelperExitDone) {
    result.kind = HelperStepResult::Kind::kFailed;
    result.failure = Status(ErrorCode::kIoError, helper, "exit code " + std::to_string(run.exit_code));
    return result;
  }
  result.kind = HelperStepResult::Kind::kDone;
  if (outcome.dns != DnsCacheResult::kNotTried) {
    result.dns_text = DnsFlushText(DnsFlushOutcome{FlushKind(outcome.dns), {}, outcome.dns_why});
  }
  return result;
}

std::string StepFailureDetail(const HelperStepResult& result) {
  if (result.kind == HelperStepResult::Kind::kRefused) return texts::kAuthenticationRefused;
  return SaveFailureDetail(result.failure);
}

std::string RightsNeededDetail(const std::vector<std::string>& argv) {
  std::string command;
  for (const std::string& arg : argv) command += (command.empty() ? "" : " ") + ShellWord(arg);
#ifdef _WIN32
  return std::string(texts::kRightsNeededWindows) + command;
#else
  return std::string(texts::kRightsNeeded) + std::string(kAdministratorPrefix) + command;
#endif
}

}  // namespace quorvale
