#include "cli/cli_runner.h"

#include <cstring>
#include <ctime>
#include <initializer_list>
#include <memory>
#include <string_view>

#include "cli/command_line.h"
#include "cli/schedule.h"
#include "cli/update_run.h"
#include "cli/text_output.h"
#include "core/byte_sink.h"
#include "core/hosts_writer.h"
#include "core/name_removal.h"
#include "core/path_text.h"
#include "core/report.h"
#include "core/rpz_writer.h"
#include "core/session.h"
#include "core/sha256.h"
#include "core/sorting.h"
#include "hosts/file_loads.h"
#include "hosts/hosts_replace.h"

namespace quorvale {

namespace {

constexpr std::string_view kProgram = "quorvale-cli: ";
// The output name that stands for standard output.
constexpr std::string_view kStandardOutput = "-";
// A load reads named pipes and standard input ("-") too, not devices: /dev/zero never ends.
constexpr InputKinds kInputs = InputKinds::kAlsoStreams;
// The name of --restore-backup that stands for the newest copy.
constexpr std::string_view kLatestBackup = "latest";
// Why a replace or a restore gave up waiting for another one.
constexpr std::string_view kReplaceBusy = "un autre remplacement est en cours";
// Said after a refusal to replace the system HOSTS file.
constexpr std::string_view kRightsNeeded = "; droits d'administrateur necessaires (sudo)";
// How long a replace waits for the programs that empty the DNS cache.
constexpr int kDnsFlushWaitMilliseconds = 2000;

// The reason of a failure for a message that names `path` itself. The failure's subject is
// named too when it is another file (the file behind a symbolic link, a backup copy).
std::string Reason(const Status& status, const std::string& path) {
  const std::string text = status.subject() == path ? status.reason() : status.ToString();
  if (!text.empty()) return text;
  switch (status.code()) {
    case ErrorCode::kNotFound:
      return "fichier introuvable";
    case ErrorCode::kAccessDenied:
      return "acces refuse";
    case ErrorCode::kNoSpace:
      return "plus de place";
    case ErrorCode::kEmpty:
      return "fichier vide";
    case ErrorCode::kNoMemory:
      return "memoire insuffisante";
    default:
      return "erreur d'entree-sortie";
  }
}

// The cells joined by tabs, and a line feed; the line is copied straight into the output's
// room, as the file writers do.
void AppendDumpLine(ChunkedOutput& out, std::initializer_list<std::string_view> cells) {
  size_t length = 0;
  for (std::string_view cell : cells) length += cell.size() + 1;
  char* cursor = out.Room(length);
  for (std::string_view cell : cells) {
    std::memcpy(cursor, cell.data(), cell.size());
    cursor += cell.size();
    *cursor++ = '\t';
  }
  cursor[-1] = '\n';
  out.Commit(cursor);
}

class CliRun {
 public:
  CliRun(Platform& platform, TextOutput& out, TextOutput& err)
      : platform_(platform), out_(out), err_(err), update_(platform, session_, [this](const std::string& text) {
          Message(text);
        }) {
    session_.RedirectAddress = "127.0.0.1";
  }

  int Run(const std::vector<CliAction>& actions) {
    int status = kExitOk;
    // --quiet and --accept-shrink hold for the whole run, wherever they stand (the scheduled
    // update puts --quiet last).
    quiet_ = Has(actions, CliAction::Kind::kQuiet);
    for (const CliAction& action : actions) {
      if (action.kind == CliAction::Kind::kRpzZone) rpz_origin_ = RpzZoneName(action.value);
      if (action.kind == CliAction::Kind::kAfterWrite) after_write_ = action.value;
    }
    rpz_wildcards_ = Has(actions, CliAction::Kind::kRpzWildcard);
    update_.SetRunRules(Has(actions, CliAction::Kind::kAcceptShrink), OtherLoads(actions));
    for (const CliAction& action : actions) {
      if (NeedsLists(action.kind)) status = update_.EnsureLoaded();
      if (status == kExitOk) status = RunOne(action);
      if (status != kExitOk) break;
    }
    if (status == kExitOk && !out_.Flush()) status = StdoutFailed();
    if (status == kExitOk && wrote_file_ && !after_write_.empty()) status = RunAfterWrite();
    return update_.Finish(status, quiet_);
  }

 private:
  int RunOne(const CliAction& action) {
    using Kind = CliAction::Kind;
    switch (action.kind) {
      case Kind::kHosts: {
        session_.ResetRejectedLines();
        bool changed = false;
        const Status status = ParseHostsFile(platform_, action.value, session_, {}, kInputs, &changed);
        WarnIfChanged(changed, action.value);
        return CheckRead(status, action.value);
      }
      case Kind::kDomains: {
        session_.ResetRejectedLines();
        bool changed = false;
        const Status status = ParseDomainList(platform_, action.value, session_, {}, kInputs, &changed);
        WarnIfChanged(changed, action.value);
        return CheckRead(status, action.value);
      }
      case Kind::kDomainOnly: {
        bool changed = false;
        const Status status = LoadDomainOnlyFile(platform_, action.value, session_.SortArray, {}, kInputs, &changed);
        WarnIfChanged(changed, action.value);
        if (status.code() == ErrorCode::kEmpty) {
          Message(action.value + " n'a pas pu etre lu: fichier vide");
          return kExitFile;
        }
        return CheckRead(status, action.value);
      }
      case Kind::kRemoveNames:
        return RemoveListedNames(action.value);
      case Kind::kSort:
        SortAndDeduplicate(session_.SortArray);
        return kExitOk;
      case Kind::kRedirect:
        session_.RedirectAddress = action.value;
        return kExitOk;
      case Kind::kWww:
        session_.AddWwwLines = true;
        return kExitOk;
      case Kind::kComments:
        include_comments_ = true;
        return kExitOk;
      case Kind::kWriteHosts:
        return WriteHosts(action.value);
      case Kind::kWriteRpz:
        return WriteRpz(action.value);
      case Kind::kWriteSortedHosts:
        return Write(action.value, [this](const ByteSink& sink) {
          return FormatHostsFromArray(session_.SortArray, Options(), platform_.LocalDateTimeText(), sink);
        });
      case Kind::kExport:
        return Write(action.value,
                     [this](const ByteSink& sink) { return FormatDomainExport(session_.blocked, Options(), sink); });
      case Kind::kWriteSortedNames:
        return Write(action.value,
                     [this](const ByteSink& sink) { return FormatSortedNames(session_.SortArray, sink); });
      case Kind::kReport:
        return Write(action.value, BuildReport(session_.RejectedLines));
      case Kind::kReplaceHosts:
        return ReplaceHosts();
      case Kind::kListBackups:
        return ListBackups();
      case Kind::kRestoreBackup:
        return RestoreBackup(action.value);
      case Kind::kDump:
        return Dump();
      case Kind::kSources:
        sources_path_ = action.value;
        return kExitOk;
      case Kind::kQuiet:
      case Kind::kAcceptShrink:
      case Kind::kRpzZone:
      case Kind::kRpzWildcard:
      case Kind::kAfterWrite:
        return kExitOk;
      case Kind::kUpdate:
      case Kind::kWhy:
      case Kind::kSchedule:
        return RunWithSources(action);
    }
    return kExitOk;
  }

  WriteOptions Options() const { return WriteOptionsFor(session_, include_comments_); }

  static bool Has(const std::vector<CliAction>& actions, CliAction::Kind kind) {
    for (const CliAction& action : actions) {
      if (action.kind == kind) return true;
    }
    return false;
  }

  // Whether the run loads anything beside one update, which its writes may then hold.
  static bool OtherLoads(const std::vector<CliAction>& actions) {
    using Kind = CliAction::Kind;
    size_t updates = 0;
    for (const CliAction& action : actions) {
      switch (action.kind) {
        case Kind::kHosts:
        case Kind::kDomains:
        case Kind::kDomainOnly:
        case Kind::kRemoveNames:
          return true;
        case Kind::kUpdate:
          ++updates;
          break;
        default:
          break;
      }
    }
    return updates > 1;
  }

  // Whether the action reads the lists, so that an update must have loaded them before it.
  // The options and the writes that an update may leave out do not.
  static bool NeedsLists(CliAction::Kind kind) {
    using Kind = CliAction::Kind;
    switch (kind) {
      case Kind::kRedirect:
      case Kind::kWww:
      case Kind::kComments:
      case Kind::kSources:
      case Kind::kQuiet:
      case Kind::kAcceptShrink:
      case Kind::kRpzZone:
      case Kind::kRpzWildcard:
      case Kind::kAfterWrite:
      case Kind::kWriteHosts:
      case Kind::kWriteRpz:
      case Kind::kReplaceHosts:
      case Kind::kUpdate:
      case Kind::kWhy:
      case Kind::kSchedule:
        return false;
      default:
        return true;
    }
  }

  // The actions that work on the sources file of --sources.
  int RunWithSources(const CliAction& action) {
    // Removing the scheduled update needs no sources file.
    if (sources_path_.empty() && !(action.kind == CliAction::Kind::kSchedule && action.value == "off")) {
      Message("--update, --why et --schedule demandent --sources FICHIER avant eux");
      return kExitUsage;
    }
    auto say = [this](const std::string& text) { Message(text); };
    switch (action.kind) {
      case CliAction::Kind::kUpdate:
        return update_.Fetch(sources_path_, FetchSettings{}, quiet_);
      case CliAction::Kind::kWhy:
        return ExplainName(
            platform_, sources_path_, action.value,
            [this](const std::string& line) { out_.Write(line + "\n"); }, say);
      default:
        return ScheduleUpdate(platform_, sources_path_, action.value, say);
    }
  }

  // The options of a HOSTS write as the update's record compares them.
  std::string WriteOptionsText(std::string_view kind) const {
    return std::string(kind) + " " + session_.RedirectAddress + (session_.AddWwwLines ? " www" : "") +
           (include_comments_ ? " comments" : "");
  }

  // `sink`, or when `digest` is given a sink that hands every piece on and digests it (only
  // an update's writes are digested: it costs as much as the write).
  static ByteSink Digesting(const ByteSink& sink, Sha256* digest) {
    if (digest == nullptr) return sink;
    return [&sink, digest](std::string_view piece) {
      digest->Update(piece);
      return sink(piece);
    };
  }

  int WriteHosts(const std::string& path) {
    const bool recorded = update_.active() && path != kStandardOutput;
    const std::string target = recorded ? platform_.AbsolutePath(path) : path;
    if (recorded && update_.NothingChanged(target, WriteOptionsText("hosts"))) return kExitOk;
    if (int status = update_.EnsureLoaded(); status != kExitOk) return status;
    Sha256 digest;
    const int status = Write(path, [&](const ByteSink& sink) {
      digest = Sha256();
      return FormatHostsFile(session_, Options(), platform_.LocalDateTimeText(),
                             Digesting(sink, recorded ? &digest : nullptr));
    });
    if (status == kExitOk && recorded) update_.Written(target, digest.HexDigest());
    return status;
  }

  // As WriteHosts, as a response policy zone whose serial follows the one of the zone it
  // replaces. The entries the zone cannot hold join the rejected lines.
  int WriteRpz(const std::string& path) {
    const bool recorded = update_.active() && path != kStandardOutput;
    const std::string target = recorded ? platform_.AbsolutePath(path) : path;
    const std::string options =
        "rpz " + rpz_origin_ + (session_.AddWwwLines ? " www" : "") + (rpz_wildcards_ ? " wildcard" : "");
    if (recorded && update_.NothingChanged(target, options)) return kExitOk;
    if (int status = update_.EnsureLoaded(); status != kExitOk) return status;
    const std::tm today = HeaderMoment();
    const uint32_t previous = path == kStandardOutput ? 0 : RpzSerialIn(ZoneHead(path));
    const RpzZone zone{rpz_origin_, NextRpzSerial(previous, today.tm_year + 1900, today.tm_mon + 1, today.tm_mday),
                       rpz_wildcards_};
    std::vector<std::string> rejected;
    Sha256 digest;
    const int status = Write(path, [&](const ByteSink& sink) {
      digest = Sha256();
      rejected.clear();
      return FormatRpzZone(session_, Options(), zone, Digesting(sink, recorded ? &digest : nullptr), &rejected);
    });
    if (status == kExitOk && recorded) update_.Written(target, digest.HexDigest());
    if (!rejected.empty() && !quiet_) {
      Message(path + ": " + std::to_string(rejected.size()) + " entrees laissees hors de la zone (voir --report)");
    }
    session_.RejectedLines.insert(session_.RejectedLines.end(), rejected.begin(), rejected.end());
    return status;
  }

  // Runs the command of --after-write, without a shell, once the run has written a file (a
  // server told to load it again); says why when it failed.
  int RunAfterWrite() {
    constexpr int kAfterWriteWaitMilliseconds = 60'000;
    int exit_code = 0;
    const Status status = platform_.RunProgram(CommandWords(after_write_), kAfterWriteWaitMilliseconds, &exit_code);
    if (status.code() == ErrorCode::kBusy) {
      Message(after_write_ + ": ne s'est pas termine en " + std::to_string(kAfterWriteWaitMilliseconds / 1000) + " s");
    } else if (!status.ok()) {
      Message(after_write_ + ": n'a pas pu etre lance: " + status.reason());
    } else if (exit_code != 0) {
      Message(after_write_ + ": a echoue (code " + std::to_string(exit_code) + ")");
    } else {
      return kExitOk;
    }
    return kExitAfterWriteFailed;
  }

  // The first bytes of the zone file at `path`, where its SOA stands; "" when there is none.
  std::string ZoneHead(const std::string& path) {
    constexpr size_t kZoneHeadBytes = 4096;
    std::unique_ptr<SequentialFile> file;
    std::string head(kZoneHeadBytes, '\0');
    size_t got = 0;
    if (!platform_.OpenSequentialFile(path, InputKinds::kRegularFiles, &file).ok() ||
        !file->Read(head.data(), head.size(), &got).ok()) {
      return {};
    }
    head.resize(got);
    return head;
  }

  // The parsers of whole lists read an empty file as one empty line; only an unreadable
  // file stops the run.
  int CheckRead(const Status& status, const std::string& path) {
    if (status.ok() || status.code() == ErrorCode::kEmpty) return kExitOk;
    return ReadFailed(status, path);
  }

  // What was loaded from a file that another program changed meanwhile may be neither its
  // old text nor its new one; the load stands, and the user is told.
  void WarnIfChanged(bool changed, const std::string& path) {
    if (changed) Message(path + ": le fichier a change pendant la lecture");
  }

  int ReadFailed(const Status& status, const std::string& path) {
    Message(path + " n'a pas pu etre lu: " + Reason(status, path));
    return kExitFile;
  }

  int Write(const std::string& path, std::string_view bytes) {
    return Write(path, WholeContents(bytes));
  }

  // The file is written as it is formatted: a big list is never held whole a second time.
  int Write(const std::string& path, const FileContents& contents) {
    ReleaseIndexes();
    if (path == kStandardOutput) {
      const bool complete = contents([this](std::string_view piece) { return out_.Write(piece); });
      return complete && out_.Flush() ? kExitOk : StdoutFailed();
    }
    // What went to standard output so far comes first, should the output be that too.
    if (!out_.Flush()) return StdoutFailed();
    Status status = platform_.WriteOutput(path, contents);
    wrote_file_ = wrote_file_ || status.ok();
    if (status.ok()) return kExitOk;
    return WriteFailed(status, path);
  }

  int ReplaceHosts() {
    const std::string path = platform_.HostsPath();
    ReplaceOutcome outcome;
    // An update decides whether anything changed, writes and records the write under the
    // replace lock: updates run at once write one after the other, each seeing what the one
    // before wrote.
    std::unique_ptr<Platform::HeldLock> lock;
    if (update_.active()) {
      if (Status locked = LockHostsFile(platform_, path, &lock, &outcome); !locked.ok()) {
        return ReplaceFailed(locked, outcome, path);
      }
      if (update_.NothingChanged(path, WriteOptionsText("replace"))) return kExitOk;
    }
    if (int status = update_.EnsureLoaded(); status != kExitOk) return status;
    // The menu command is only offered once a load has left rows in the lists; a run whose
    // loads found nothing must not wipe the system's HOSTS file.
    if (session_.RowCount() == 0) {
      Message("vous devez d'abord charger un ficher d'adresse!");
      return kExitUsage;
    }
    if (update_.active()) update_.KeepCurrentRedirections(path);
    ReleaseIndexes();
    WriteOptions options = Options();
    Sha256 digest;
    // The lines of the current file that the lists cannot hold go into the new one.
    const ReplacementContents contents = [&](const std::vector<std::string>& carried_lines, const ByteSink& sink) {
      options.carried_lines = carried_lines;
      digest = Sha256();
      return FormatHostsFile(session_, options, platform_.LocalDateTimeText(),
                             Digesting(sink, update_.active() ? &digest : nullptr));
    };
    const std::time_t now = std::time(nullptr);
    Status status = lock ? ReplaceLockedHostsFile(platform_, *lock, path, contents, now, &outcome)
                         : ReplaceHostsFile(platform_, path, contents, now, &outcome);
    if (!status.ok()) return ReplaceFailed(status, outcome, path);
    wrote_file_ = true;
    const int kept = update_.active() ? update_.SaveKeptRedirections(quiet_) : kExitOk;
    if (update_.active()) update_.Written(path, digest.HexDigest());
    lock.reset();
    FlushDnsCache();
    return kept;
  }

  // The system HOSTS file's replace and restore: a refusal for lack of rights says which
  // rights are needed.
  int ReplaceFailed(const Status& status, const ReplaceOutcome& outcome, const std::string& path) {
    const std::string rights = status.code() == ErrorCode::kAccessDenied ? std::string(kRightsNeeded) : std::string();
    switch (outcome.step) {
      case ReplaceStep::kLock:
        if (status.code() != ErrorCode::kBusy) return WriteFailed(status, path, rights);
        Message(path + " n'a pas ete remplace: " + std::string(kReplaceBusy));
        break;
      case ReplaceStep::kRead:
        return ReadFailed(status, status.subject().empty() ? path : status.subject());
      case ReplaceStep::kBackup:
        Message(path + " n'a pas ete remplace: copie de sauvegarde impossible: " + status.ToString() + rights);
        break;
      case ReplaceStep::kAttributes:
        Message(path + " a ete remplace, mais n'a pas pu etre mis en lecture seule: " + Reason(status, path) + rights);
        break;
      default:
        return WriteFailed(status, path, rights);
    }
    return kExitFile;
  }

  int WriteFailed(const Status& status, const std::string& path, const std::string& note = {}) {
    Message(path + " n'a pas pu etre enregistre: " + Reason(status, path) + note);
    return kExitFile;
  }

  // The names of a plain list (comments allowed) leave both lists and the sort buffer.
  int RemoveListedNames(const std::string& path) {
    Session listed;
    listed.ResetRejectedLines();
    bool changed = false;
    const Status status = ParseNamesToRemove(platform_, path, listed, kInputs, &changed);
    WarnIfChanged(changed, path);
    if (!status.ok() && status.code() != ErrorCode::kEmpty) return ReadFailed(status, path);
    Message(std::to_string(RemoveAllowedNames(session_, listed.blocked)) + " noms retires");
    return kExitOk;
  }

  // NAME<TAB>date<TAB>bytes, newest first.
  int ListBackups() {
    std::string lines;
    for (const HostsBackup& backup : ListHostsBackups(platform_, platform_.HostsPath())) {
      lines += backup.name + '\t' + BackupTimeText(backup.modified) + '\t' + std::to_string(backup.bytes) + '\n';
    }
    if (!out_.Write(lines)) return StdoutFailed();
    return kExitOk;
  }

  int RestoreBackup(const std::string& wanted) {
    const std::string path = platform_.HostsPath();
    const std::vector<HostsBackup> backups = ListHostsBackups(platform_, path);
    const HostsBackup* chosen = nullptr;
    if (wanted == kLatestBackup) {
      if (!backups.empty()) chosen = &backups.front();
    } else {
      for (const HostsBackup& backup : backups) {
        if (SameBackupName(backup.name, wanted)) chosen = &backup;
      }
    }
    if (chosen == nullptr) {
      Message(backups.empty()
                  ? "aucune copie de sauvegarde de " + path
                  : wanted + ": pas de copie de sauvegarde de ce nom pour " + path + " (voir --list-backups)");
      return kExitFile;
    }
    ReplaceOutcome outcome;
    // The newest copy is chosen again once no other replace runs.
    const Status status = RestoreHostsBackup(platform_, path, wanted == kLatestBackup ? std::string() : chosen->name,
                                             std::time(nullptr), &outcome);
    if (!status.ok()) return ReplaceFailed(status, outcome, path);
    FlushDnsCache();
    return kExitOk;
  }

  // Reports what became of the DNS cache; whatever it is, the replace stands.
  void FlushDnsCache() {
    const DnsFlushOutcome outcome = platform_.FlushDnsCache(kDnsFlushWaitMilliseconds);
    switch (outcome.kind) {
      case DnsFlushOutcome::Kind::kFlushed:
        Message("cache DNS vide");
        break;
      case DnsFlushOutcome::Kind::kStarted:
        for (const DnsFlushOutcome::Program& program : outcome.programs) {
          std::string command;
          for (const std::string& arg : program.argv) command += (command.empty() ? "" : " ") + arg;
          if (!program.ended) {
            Message("vidage du cache DNS demande (" + command + " toujours en cours)");
          } else if (program.exit_code == 0) {
            Message("cache DNS vide (" + command + ")");
          } else {
            Message("cache DNS non vide: " + command + " a echoue (code " + std::to_string(program.exit_code) + ")");
          }
        }
        break;
      case DnsFlushOutcome::Kind::kNotDone:
        Message("cache DNS non vide: " + (outcome.why.code() == ErrorCode::kNotSupported
                                              ? std::string("aucun cache DNS connu sur ce systeme")
                                              : outcome.why.ToString()));
        break;
    }
  }

  // Writing only reads the lists: the memory of their key indexes serves the sorts instead
  // (a later load makes them again).
  void ReleaseIndexes() {
    session_.blocked.DropIndex();
    session_.redirected.DropIndex();
  }

  // A line for each row of `blocked`, then of `redirected`, then for each entry of the sort buffer.
  int Dump() {
    ReleaseIndexes();
    const ByteSink to_stdout = [this](std::string_view bytes) { return out_.Write(bytes); };
    ChunkedOutput text(to_stdout);
    auto dump_list = [&text](const EntryList& list, std::string_view number) {
      for (size_t row = 0; row < list.size() && !text.failed(); ++row) {
        AppendDumpLine(text, {number, list.Name(row), list.Description(row), list.Address(row)});
      }
    };
    dump_list(session_.blocked, "1");
    dump_list(session_.redirected, "2");
    for (size_t i = 0; i < session_.SortArray.size() && !text.failed(); ++i) {
      AppendDumpLine(text, {"S", session_.SortArray[i]});
    }
    if (!text.Finish()) return StdoutFailed();
    return kExitOk;
  }

  int StdoutFailed() {
    Message("sortie standard: " + out_.failure_reason());
    return kExitFile;
  }

  void Message(const std::string& text) {
    std::string line(kProgram);
    line += text;
    line += '\n';
    err_.Write(line);
    err_.Flush();
  }

  Platform& platform_;
  TextOutput& out_;
  TextOutput& err_;
  Session session_;
  bool include_comments_ = false;
  CliUpdate update_;
  std::string sources_path_;  // --sources
  bool quiet_ = false;        // --quiet: only failures are said
  std::string rpz_origin_ = RpzZoneName(kDefaultRpzZone);  // --rpz-zone
  bool rpz_wildcards_ = false;                             // --rpz-wildcard
  std::string after_write_;   // --after-write
  bool wrote_file_ = false;   // a file was written (standard output is none)
};

}  // namespace

int RunCli(const std::vector<std::string>& args, Platform& platform, std::FILE* out, std::FILE* err) {
  TextOutput out_text(out);
  TextOutput err_text(err);
  CommandLine command_line = ParseCommandLine(args);
  switch (command_line.outcome) {
    case CommandLine::Outcome::kUsageError:
      err_text.Write(std::string(kProgram) + command_line.error + "\nVoir: quorvale-cli --help\n");
      err_text.Flush();
      return kExitUsage;
    case CommandLine::Outcome::kHelp:
      return out_text.Write(CliHelpText(FileNameOf(platform.HostsPath()))) && out_text.Flush() ? kExitOk : kExitFile;
    case CommandLine::Outcome::kVersion:
      return out_text.Write("quorvale-cli " QUORVALE_VERSION "\n") && out_text.Flush() ? kExitOk : kExitFile;
    case CommandLine::Outcome::kRun:
      break;
  }
  CliRun run(platform, out_text, err_text);
  return run.Run(command_line.actions);
}

}  // namespace quorvale
