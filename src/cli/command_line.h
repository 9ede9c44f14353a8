#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// One step of a quorvale-cli run. Steps run in the order of the command line.
struct CliAction {
  enum class Kind {
    kHosts,             // --hosts FILE
    kDomains,           // --domains FILE
    kDomainOnly,        // --domain-only FILE
    kRemoveNames,       // --remove-names FILE
    kSort,              // --sort
    kRedirect,          // --redirect ADDRESS
    kWww,               // --www
    kComments,          // --comments
    kWriteHosts,        // --write-hosts OUT
    kWriteRpz,          // --write-rpz OUT
    kRpzZone,           // --rpz-zone NAME: the zone of every --write-rpz of the run
    kRpzWildcard,       // --rpz-wildcard: every --write-rpz of the run catches the names below
    kAfterWrite,        // --after-write COMMAND: run once the run has written a file
    kWriteSortedHosts,  // --write-sorted-hosts OUT
    kExport,            // --export OUT
    kWriteSortedNames,  // --write-sorted-names OUT
    kReport,            // --report OUT
    kReplaceHosts,      // --replace-hosts
    kListBackups,       // --list-backups
    kRestoreBackup,     // --restore-backup NAME
    kDump,              // --dump
    kSources,           // --sources FILE: the sources file of the actions that follow
    kUpdate,            // --update
    kWhy,               // --why NAME
    kSchedule,          // --schedule daily|weekly|off
    kQuiet,             // --quiet
    kAcceptShrink,      // --accept-shrink
  };
  Kind kind;
  std::string value;  // the file, the address or the name; empty for the others
};

struct CommandLine {
  enum class Outcome { kRun, kHelp, kVersion, kUsageError };
  Outcome outcome = Outcome::kRun;
  std::vector<CliAction> actions;
  std::string error;  // for kUsageError: what is wrong, without the program's name
};

// Reads the arguments (without the program's name). "--name VALUE" and "--name=VALUE" are
// the same; the argument after an option that takes a value is that value whatever it looks
// like. Reading stops at the first mistake, or at --help or --version, which win over
// everything that follows them. Nothing is checked on disk here.
CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The words of a command given as one argument (--after-write): split at blanks, a
// double-quoted part kept whole (its quotes taken off). Empty when there is no word or a
// quote is left open.
std::vector<std::string> CommandWords(std::string_view command);

// The text of --help; `hosts_file_name` is the name of the system's HOSTS file as the
// system spells it, which the names of its backup copies begin with.
std::string CliHelpText(std::string_view hosts_file_name);

}  // namespace quorvale
