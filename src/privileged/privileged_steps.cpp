#include "privileged/privileged_steps.h"

#include <ctime>
#include <string_view>
#include <utility>

#include "core/access_command.h"
#include "core/hosts_writer.h"
#include "core/update_task.h"
#include "hosts/hosts_replace.h"
#include "update/update_schedule.h"

namespace quorvale {

namespace {

// How long the helper waits for the programs that empty the DNS cache, and for the lock tool.
constexpr int kDnsFlushWaitMilliseconds = 2000;
constexpr int kAccessToolWaitMilliseconds = 10'000;
#ifndef _WIN32
// systemctl waits for the timer's unit to start or stop.
constexpr int kSystemctlWaitMilliseconds = 60'000;
#endif

HelperOutcome Failed(std::string step, Status failure, int exit_code = kHelperExitFailed) {
  HelperOutcome outcome;
  outcome.exit_code = exit_code;
  outcome.failed_step = std::move(step);
  outcome.failure = std::move(failure);
  return outcome;
}

HelperOutcome Refused(std::string reason) {
  return Failed("usage", Status(ErrorCode::kNotSupported, "", std::move(reason)));
}

std::string StepName(ReplaceStep step) {
  switch (step) {
    case ReplaceStep::kLock:
      return "lock";
    case ReplaceStep::kRead:
      return "read";
    case ReplaceStep::kBackup:
      return "backup";
    case ReplaceStep::kWrite:
      return "write";
    case ReplaceStep::kAttributes:
      return "attributes";
    case ReplaceStep::kDone:
      break;
  }
  return "";
}

HelperOutcome FlushDns(Platform& platform, HelperOutcome outcome) {
  const DnsFlushOutcome flushed = platform.FlushDnsCache(kDnsFlushWaitMilliseconds);
  switch (flushed.kind) {
    case DnsFlushOutcome::Kind::kFlushed:
      outcome.dns = DnsCacheResult::kFlushed;
      break;
    case DnsFlushOutcome::Kind::kStarted:
      outcome.dns = DnsCacheResult::kStarted;
      break;
    case DnsFlushOutcome::Kind::kNotDone:
      outcome.dns = DnsCacheResult::kNotDone;
      outcome.dns_why = flushed.why;
      break;
  }
  return outcome;
}

// A replace or a restore has ended: the DNS cache is emptied after a success.
HelperOutcome AfterReplace(Platform& platform, const Status& status, const ReplaceOutcome& replace) {
  if (status.ok()) return FlushDns(platform, HelperOutcome());
  const bool busy = replace.step == ReplaceStep::kLock && status.code() == ErrorCode::kBusy;
  return Failed(StepName(replace.step), status, busy ? kHelperExitBusy : kHelperExitFailed);
}

// The input is checked as it is written to the new file beside HOSTS: a refusal, a cut or a
// digest that does not match leaves no new file and the HOSTS file as it was.
HelperOutcome Replace(Platform& platform, const std::string& hosts_path, const StepContext& context) {
  FrameReader input(context.read_channel, kReplaceInputLimit, context.channel_end);
  HostsInputCheck check;
  Status refused;
  ReplaceOutcome replace;
  const Status status = ReplaceHostsFile(
      platform, hosts_path,
      [&](const std::vector<std::string>& carried_lines, const ByteSink& sink) {
        uint64_t written = 0;
        bool carried = false;
        std::string_view piece;
        while (input.Next(&piece) && check.Take(piece)) {
          // The lines carried over from the old file go right after the header.
          if (!carried && check.header_bytes() != 0) {
            const size_t header_part = static_cast<size_t>(check.header_bytes() - written);
            if (!sink(piece.substr(0, header_part)) || !sink(CarriedLinesText(carried_lines))) return false;
            carried = true;
            written += header_part;
            piece.remove_prefix(header_part);
          }
          if (!sink(piece)) return false;
          written += piece.size();
        }
        if (!check.failure().ok()) {
          refused = check.failure();
        } else if (!input.status().ok()) {
          refused = input.status();
        } else if (!check.Finish()) {
          refused = check.failure();
        }
        return refused.ok();
      },
      std::time(nullptr), &replace);
  if (!refused.ok()) return Failed("input", refused);
  return AfterReplace(platform, status, replace);
}

HelperOutcome Restore(Platform& platform, const std::string& hosts_path, const std::string& wanted) {
  // Only a copy that the folder lists as a backup of the file: a regular file of such a name.
  for (const HostsBackup& backup : ListHostsBackups(platform, hosts_path)) {
    if (!SameBackupName(backup.name, wanted)) continue;
    ReplaceOutcome replace;
    const Status status = RestoreHostsBackup(platform, hosts_path, backup.name, std::time(nullptr), &replace);
    return AfterReplace(platform, status, replace);
  }
  return Failed("read", Status(ErrorCode::kNotFound, wanted, "no backup copy of that name"));
}

HelperOutcome SetAccess(Platform& platform, const std::string& hosts_path, AccessAction action,
                        const StepContext& context) {
  if (context.lock_user.empty()) return Refused("the user who asked is unknown");
  std::vector<std::string> argv = {context.access_tool};
  for (std::string& arg : AccessCommandArguments({action, hosts_path, context.lock_user})) {
    argv.push_back(std::move(arg));
  }
  int exit_code = 0;
  const Status ran = platform.RunProgram(argv, kAccessToolWaitMilliseconds, &exit_code);
  if (!ran.ok()) return Failed("access", ran);
  if (exit_code != 0) {
    return Failed("access", Status(ErrorCode::kIoError, context.access_tool, "exit code " + std::to_string(exit_code)));
  }
  return HelperOutcome();
}

// Reads the schedule's files from the input; refuses files the scheduled update would not
// run before anything is written.
HelperOutcome ReadScheduledInput(const StepContext& context, std::string (&files)[kScheduledFileCount]) {
  std::string bytes;
  if (Status read = context.read_input(&bytes); !read.ok()) return Failed("input", read);
  if (!SplitSchedulePieces(bytes, files)) return Refused("the input is not the files of the schedule");
  if (std::string refusal = ScheduledFilesRefusal(files); !refusal.empty()) return Refused(refusal);
  return HelperOutcome();
}

#ifdef _WIN32

HelperOutcome SwitchSchedule(Platform& platform, bool on, const StepContext& context) {
  std::string files[kScheduledFileCount];
  if (on) {
    if (HelperOutcome read = ReadScheduledInput(context, files); read.exit_code != kHelperExitDone) return read;
  }
  std::string said;
  const bool done =
      ScheduleUpdateTask(platform, context.cli_program, files, on ? UpdateFrequency::kDaily : UpdateFrequency::kOff,
                         [&said](const std::string& text) { said = text; });
  return done ? HelperOutcome() : Failed("schedule", Status(ErrorCode::kIoError, "", said));
}

#else

// Puts each non-empty file of the input in the schedule's folder, private to root, then runs
// systemctl; when either fails, the folder is put back as it was.
HelperOutcome SwitchSchedule(Platform& platform, bool on, const StepContext& context) {
  ScheduledFolderBefore before;
  if (on) {
    std::string files[kScheduledFileCount];
    if (HelperOutcome read = ReadScheduledInput(context, files); read.exit_code != kHelperExitDone) return read;
    if (Status put = PutScheduledFiles(platform, context.schedule_folder, files, &before); !put.ok()) {
      PutScheduledFilesBack(platform, before);
      return Failed("write", put);
    }
  }
  const std::vector<std::string> argv = {context.systemctl, on ? "enable" : "disable", "--now",
                                         std::string(kUpdateTimerName)};
  int exit_code = 0;
  Status ran = platform.RunProgram(argv, kSystemctlWaitMilliseconds, &exit_code);
  if (ran.ok() && exit_code != 0) {
    ran = Status(ErrorCode::kIoError, context.systemctl, "exit code " + std::to_string(exit_code));
  }
  if (!ran.ok()) {
    // The timer stays as it was: so do the files it reads.
    PutScheduledFilesBack(platform, before);
    return Failed("schedule", ran);
  }
  return HelperOutcome();
}

#endif

HelperOutcome RunReplace(const StepCall& call) {
  return Replace(call.platform, call.platform.HostsPath(), call.context);
}

HelperOutcome RunRestore(const StepCall& call) {
  return Restore(call.platform, call.platform.HostsPath(), call.args[1]);
}

HelperOutcome RunLock(const StepCall& call) {
  return SetAccess(call.platform, call.platform.HostsPath(), AccessAction::kDeny, call.context);
}

HelperOutcome RunUnlock(const StepCall& call) {
  return SetAccess(call.platform, call.platform.HostsPath(), AccessAction::kGrant, call.context);
}

HelperOutcome RunFlushDns(const StepCall& call) { return FlushDns(call.platform, HelperOutcome()); }

HelperOutcome RunWhere(const StepCall& call) {
  *call.printed = call.platform.HostsPath() + "\n" + call.context.lock_user + "\n";
  return HelperOutcome();
}

HelperOutcome RunSchedule(const StepCall& call) {
  const std::string& switched = call.args[1];
  if (switched != helper_steps::kScheduleOn && switched != helper_steps::kScheduleOff) {
    return Refused("schedule takes on or off: " + switched);
  }
  return SwitchSchedule(call.platform, switched == helper_steps::kScheduleOn, call.context);
}

using Rights = StepPrompt::Rights;

// A step is one row here, and its handler above.
constexpr PrivilegedStep kSteps[] = {
    {helper_steps::kReplace,
     0,
     {Rights::kKept, "replace the system HOSTS file", "remplacer le fichier hosts du systeme"},
     RunReplace},
    {helper_steps::kRestore,
     1,
     {Rights::kKept, "restore a backup of the system HOSTS file",
      "restaurer une sauvegarde du fichier hosts du systeme"},
     RunRestore},
    {helper_steps::kLock,
     0,
     {Rights::kKept, "lock the system HOSTS file", "verrouiller le fichier hosts du systeme"},
     RunLock},
    {helper_steps::kUnlock,
     0,
     {Rights::kKept, "unlock the system HOSTS file", "deverrouiller le fichier hosts du systeme"},
     RunUnlock},
    {helper_steps::kFlushDns, 0, {Rights::kKept, "empty the DNS cache", "vider le cache DNS"}, RunFlushDns},
    // The schedule makes root run the update every day from now on.
    {helper_steps::kSchedule,
     1,
     {Rights::kEveryTime, "turn the daily update of the sources on or off",
      "activer ou arreter la mise a jour quotidienne des sources"},
     RunSchedule},
    {helper_steps::kWhere, 0, {}, RunWhere},
};

}  // namespace

std::span<const PrivilegedStep> PrivilegedSteps() { return kSteps; }

void SetStepChannel(ReadSomeFn read_channel, FrameEnd end, StepContext* context) {
  context->read_input = [read_channel, end](std::string* bytes) {
    return ReadFramedBody(read_channel, kScheduleInputLimit, end, bytes);
  };
  context->read_channel = std::move(read_channel);
  context->channel_end = end;
}

HelperOutcome RunPrivilegedStep(Platform& platform, const std::vector<std::string>& args, const StepContext& context,
                                std::string* printed) {
  if (args.empty()) return Refused("no step given");
  for (const PrivilegedStep& step : kSteps) {
    if (args[0] != step.name) continue;
    if (args.size() != 1 + step.arguments) return Refused("wrong number of arguments for " + args[0]);
    return step.run(StepCall{platform, args, context, printed});
  }
  return Refused("unknown step: " + args[0]);
}

}  // namespace quorvale
