#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/status.h"
#include "platform/platform.h"

namespace quorvale {

// The steps that need an administrator: the helper program runs them with the rights the
// system gave it, and a window that has the rights runs them in its own process.

// The names the callers ask for; each is a row of PrivilegedSteps().
namespace helper_steps {
// Replaces the system HOSTS file with the bytes it is given (a HOSTS file as the window
// formats it, without carried lines: the step puts in those of the file it replaces; the
// input is framed and checked, see helper_input.h).
inline constexpr std::string_view kReplace = "replace";
// Puts the backup copy NAME in place of the system HOSTS file.
inline constexpr std::string_view kRestore = "restore";
// Takes every right on the system HOSTS file from the user who asked, or gives them back.
inline constexpr std::string_view kLock = "lock";
inline constexpr std::string_view kUnlock = "unlock";
// Empties the system's DNS cache.
inline constexpr std::string_view kFlushDns = "flush-dns";
// Writes nothing: prints the HOSTS file it would write and the user it would lock out, one
// per line, so that tests can see which ones it takes.
inline constexpr std::string_view kWhere = "where";
// "on" or "off": the daily update of the sources, the system's own. "on" copies the user's
// sources file, own.txt and allow.txt (its input, as SchedulePieces frames them) to the
// system's folder, then enables the package's timer (Linux) or makes the Task Scheduler task
// on those copies (Windows, as quorvale-cli --schedule daily does); "off" disables the timer
// or removes the task.
inline constexpr std::string_view kSchedule = "schedule";
inline constexpr std::string_view kScheduleOn = "on";
inline constexpr std::string_view kScheduleOff = "off";
}  // namespace helper_steps

// The programs of the daily update: systemctl, which the schedule step finds on the system's
// search path (Linux), and the command-line program the Windows task runs, beside the others.
inline constexpr std::string_view kSystemctl = "systemctl";
inline constexpr std::string_view kCliProgramFile = "quorvale-cli.exe";

// What a step's caller cannot choose: it comes from the system (the user who asked) or from
// the install (the lock tool), and the input arrives framed (FrameReader) through the channel
// the system gives (standard input, or the caller's pipe on Windows).
struct StepContext {
  std::string lock_user;    // the user a lock takes the rights from; "" when unknown
  std::string access_tool;  // the lock tool (subinacl) beside the helper
  // The channel's bytes as they come, and whether it ends with the frame. The replace step
  // reads its input from there, a piece at a time.
  ReadSomeFn read_channel;
  FrameEnd channel_end = FrameEnd::kChannelEnds;
  // The schedule step's whole input (the body of the frame, at most kScheduleInputLimit).
  std::function<Status(std::string* bytes)> read_input;
  // The schedule step. Linux: the folder the files are copied to and the systemctl program;
  // Windows: the quorvale-cli the task runs (the files go to the system's folder).
  std::string schedule_folder;
  std::string systemctl;
  std::string cli_program;
};

// One step being run: its arguments (the name first, then exactly its own), where it runs,
// and what the `where` step prints.
struct StepCall {
  Platform& platform;
  const std::vector<std::string>& args;
  const StepContext& context;
  std::string* printed;
};

// How the system asks a user for the rights to run a step. On Linux each such step is the
// polkit action org.quorvale.Quorvale.NAME, which runs the installed helper with NAME as its
// first argument; the package's policy file is written from these rows.
struct StepPrompt {
  enum class Rights {
    kNotAsked,   // the step is never run with rights asked for it
    kKept,       // the administrator's password, kept for a while for the next steps
    kEveryTime,  // the administrator's password each time
  };
  Rights rights = Rights::kNotAsked;
  // What the step does, as the prompt says it, in lower case: English, then French in ASCII.
  std::string_view english;
  std::string_view french;
};

struct PrivilegedStep {
  std::string_view name;
  size_t arguments;  // after the name: exactly this many
  StepPrompt prompt;
  HelperOutcome (*run)(const StepCall& call);
};

// Every step, in the order the policy file lists them.
std::span<const PrivilegedStep> PrivilegedSteps();

// Runs one step of `args` (the helper's arguments after any channel switch) on the system
// HOSTS file of `platform`, and says how it ended. Anything but a known step with exactly
// its own arguments is refused before any file is touched. `printed` receives what the
// `where` step shows.
HelperOutcome RunPrivilegedStep(Platform& platform, const std::vector<std::string>& args, const StepContext& context,
                                std::string* printed);

// Sets the context's channel, and its read_input to the body of the frame read from there.
void SetStepChannel(ReadSomeFn read_channel, FrameEnd end, StepContext* context);

}  // namespace quorvale
