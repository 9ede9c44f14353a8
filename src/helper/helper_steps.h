#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/helper_input.h"
#include "core/helper_outcome.h"
#include "core/status.h"
#include "platform/platform.h"

namespace quorvale {

// What the helper's caller cannot choose: it comes from the system (the user who asked) or
// from the helper's own install (the lock tool), and the input arrives framed (FrameReader)
// through the channel the system gives (standard input, or the caller's pipe on Windows).
struct HelperContext {
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

// Runs one step of `args` (the helper's arguments after any channel switch) on the system
// HOSTS file of `platform`, and says how it ended. Anything but a known step with exactly
// its own arguments is refused before any file is touched. `printed` receives what the
// `where` step shows.
HelperOutcome RunHelperStep(Platform& platform, const std::vector<std::string>& args, const HelperContext& context,
                            std::string* printed);

// Sets the context's channel, and its read_input to the body of the frame read from there.
void SetHelperChannel(ReadSomeFn read_channel, FrameEnd end, HelperContext* context);

}  // namespace quorvale
