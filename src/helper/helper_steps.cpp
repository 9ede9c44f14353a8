#include "helper/helper_steps.h"

#include <algorithm>
#include <ctime>
#include <string_view>
#include <utility>

#include "core/access_command.h"
#include "core/hosts_writer.h"
#include "core/sources_file.h"
#include "core/update_task.h"
#include "platform/hosts_replace.h"
#ifdef _WIN32
#include "platform/update_schedule.h"
#endif

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
HelperOutcome Replace(Platform& platform, const std::string& hosts_path, const HelperContext& context) {
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
                        const HelperContext& context) {
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

#ifdef _WIN32

HelperOutcome Schedule(Platform& platform, bool on, const HelperContext& context) {
  std::string files[kScheduledFileCount];
  if (on) {
    std::string bytes;
    if (Status read = context.read_input(&bytes); !read.ok()) return Failed("input", read);
    if (!SplitSchedulePieces(bytes, files)) return Refused("the input is not the files of the schedule");
  }
  std::string said;
  const bool done = ScheduleUpdateTask(platform, context.cli_program, files,
                                       on ? UpdateFrequency::kDaily : UpdateFrequency::kOff,
                                       [&said](const std::string& text) { said = text; });
  return done ? HelperOutcome() : Failed("schedule", Status(ErrorCode::kIoError, "", said));
}

#else

// What a folder held under a name before the schedule step wrote there.
struct FormerFile {
  std::string path;
  bool existed = false;
  std::string bytes;
};

// Reads what `path` holds now, so that it can be put back; a link or anything else that is
// not a regular file there is refused.
Status Remember(Platform& platform, const std::string& path, FormerFile* former) {
  former->path = path;
  Status status = platform.ReadRegularFile(path, &former->bytes);
  former->existed = status.ok();
  return status.ok() || status.code() == ErrorCode::kNotFound ? Status::Ok() : status;
}

// Puts back what the folder held, as far as it can.
void PutBack(Platform& platform, const std::vector<FormerFile>& former) {
  for (const FormerFile& file : former) {
    if (file.existed) {
      (void)platform.WritePrivateFileNoFollow(file.path, file.bytes);
    } else if (platform.FactsOf(file.path).kind != Platform::EntryFacts::Kind::kMissing) {
      (void)platform.RemoveFile(file.path);
    }
  }
}

bool Recorded(const std::string& record, std::string_view name) {
  for (size_t start = 0; start < record.size();) {
    const size_t end = std::min(record.find('\n', start), record.size());
    if (std::string_view(record).substr(start, end - start) == name) return true;
    start = end + 1;
  }
  return false;
}

// Refuses a sources file the scheduled update would not run: none, or one with a local source.
std::string SourcesRefusal(std::string_view text) {
  std::vector<Source> sources;
  std::string error;
  if (!ParseSourcesFile(text, &sources, &error)) return error;
  if (sources.empty()) return "no sources file";
  return CheckSystemSources(sources);
}

// Puts each non-empty file of the input in the schedule's folder, private to root, and removes
// an empty one's copy only when this step wrote it (the record says which). `former` receives
// what the folder held before.
HelperOutcome CopyScheduledFiles(Platform& platform, const HelperContext& context, std::vector<FormerFile>* former) {
  std::string bytes;
  if (Status read = context.read_input(&bytes); !read.ok()) return Failed("input", read);
  std::string files[kScheduledFileCount];
  if (!SplitSchedulePieces(bytes, files)) return Refused("the input is not the files of the schedule");
  if (std::string refusal = SourcesRefusal(files[0]); !refusal.empty()) return Refused(refusal);
  if (Status made = platform.MakeFolders(context.schedule_folder); !made.ok()) return Failed("write", made);
  const std::string record_path = context.schedule_folder + kScheduleRecordFile;
  former->resize(kScheduledFileCount + 1);
  for (size_t i = 0; i <= kScheduledFileCount; ++i) {
    const std::string path = i < kScheduledFileCount ? context.schedule_folder + kScheduledFiles[i] : record_path;
    if (Status read = Remember(platform, path, &(*former)[i]); !read.ok()) return Failed("read", read);
  }
  const std::string& old_record = (*former)[kScheduledFileCount].bytes;
  std::string record;
  for (size_t i = 0; i < kScheduledFileCount; ++i) {
    const std::string& path = (*former)[i].path;
    Status status;
    if (!files[i].empty()) {
      status = platform.WritePrivateFileNoFollow(path, files[i]);
      record += std::string(kScheduledFiles[i]) + "\n";
    } else if ((*former)[i].existed && Recorded(old_record, kScheduledFiles[i])) {
      status = platform.RemoveFile(path);
    }
    if (!status.ok()) return Failed("write", status);
  }
  if (Status saved = platform.WritePrivateFileNoFollow(record_path, record); !saved.ok()) return Failed("write", saved);
  return HelperOutcome();
}

HelperOutcome Schedule(Platform& platform, bool on, const HelperContext& context) {
  std::vector<FormerFile> former;
  if (on) {
    HelperOutcome copied = CopyScheduledFiles(platform, context, &former);
    if (copied.exit_code != kHelperExitDone) {
      PutBack(platform, former);
      return copied;
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
    PutBack(platform, former);
    return Failed("schedule", ran);
  }
  return HelperOutcome();
}

#endif

}  // namespace

void SetHelperChannel(ReadSomeFn read_channel, FrameEnd end, HelperContext* context) {
  context->read_input = [read_channel, end](std::string* bytes) {
    return ReadFramedBody(read_channel, kScheduleInputLimit, end, bytes);
  };
  context->read_channel = std::move(read_channel);
  context->channel_end = end;
}

HelperOutcome RunHelperStep(Platform& platform, const std::vector<std::string>& args, const HelperContext& context,
                            std::string* printed) {
  if (args.empty()) return Refused("no step given");
  const std::string_view step = args[0];
  const size_t own_arguments = step == helper_steps::kRestore || step == helper_steps::kSchedule ? 1 : 0;
  const bool known = step == helper_steps::kReplace || step == helper_steps::kRestore ||
                     step == helper_steps::kLock || step == helper_steps::kUnlock ||
                     step == helper_steps::kFlushDns || step == helper_steps::kWhere ||
                     step == helper_steps::kSchedule;
  if (!known) return Refused("unknown step: " + args[0]);
  if (args.size() != 1 + own_arguments) return Refused("wrong number of arguments for " + args[0]);
  if (step == helper_steps::kSchedule) {
    if (args[1] != helper_steps::kScheduleOn && args[1] != helper_steps::kScheduleOff) {
      return Refused("schedule takes on or off: " + args[1]);
    }
    return Schedule(platform, args[1] == helper_steps::kScheduleOn, context);
  }
  const std::string hosts_path = platform.HostsPath();
  if (step == helper_steps::kWhere) {
    *printed = hosts_path + "\n" + context.lock_user + "\n";
    return HelperOutcome();
  }
  if (step == helper_steps::kReplace) return Replace(platform, hosts_path, context);
  if (step == helper_steps::kRestore) return Restore(platform, hosts_path, args[1]);
  if (step == helper_steps::kLock) return SetAccess(platform, hosts_path, AccessAction::kDeny, context);
  if (step == helper_steps::kUnlock) return SetAccess(platform, hosts_path, AccessAction::kGrant, context);
  return FlushDns(platform, HelperOutcome());
}

}  // namespace quorvale
