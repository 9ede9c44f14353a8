#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/byte_sink.h"
#include "core/status.h"
#include "core/yield.h"

namespace quorvale {

class Platform;

// Where a step on the system HOSTS file runs: in this process when it may write there, else
// in the helper with administrator rights, else nowhere: no way to ask for the rights, or the
// file is not the one the helper writes (kNotSystemFile; the rights are never asked for it).
enum class StepRoute { kInPlace, kHelper, kUnavailable, kNotSystemFile };
StepRoute ChooseStepRoute(Platform& platform, const std::string& hosts_path);
// The same for a step outside the HOSTS file: in this process only when it has administrator
// rights.
StepRoute ChooseAdministratorRoute(Platform& platform);

// The program `file` that comes with this one: beside it (a build folder, or an install on
// Windows), else in the private folder of a Linux install, by its canonical path (the name the
// system's policies know it by); "" when neither holds it.
std::string CompanionProgram(Platform& platform, std::string_view file);

// How a step run by the helper ended.
struct HelperStepResult {
  enum class Kind {
    kDone,
    kFailed,   // the helper refused or failed (`failure`, as its outcome says)
    kRefused,  // the user cancelled the request for rights, or was refused them
    kNotRun,   // the helper could not be started (`failure`)
  };
  Kind kind = Kind::kNotRun;
  Status failure;
  std::string dns_text;  // after a replace or a restore: what became of the DNS cache
};

// Runs the helper with `args` (a step of helper_steps and its own arguments) and administrator
// rights, `input` going to it in its frame (nullptr: an empty input), the window's events
// running through `waiting` meanwhile. Done only when the helper's outcome line says so and
// it exits 0.
HelperStepResult RunStepInHelper(Platform& platform, const std::vector<std::string>& args, const FileContents* input,
                                 const YieldFn& waiting);

// The detail of a failure for the user: the reason, or a sentence for the cases the window
// words itself (another replace running, rights refused).
std::string StepFailureDetail(const HelperStepResult& result);

// The detail shown when the step needs administrator rights that cannot be asked for here:
// that they are needed, and `argv` (the same step from a command line: the program, then its
// arguments) as an administrator types it, each argument quoted as the shell needs.
std::string RightsNeededDetail(const std::vector<std::string>& argv);

}  // namespace quorvale
