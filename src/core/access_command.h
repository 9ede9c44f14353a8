#pragma once

#include <string>
#include <vector>

namespace quorvale {

// The command line of the access-control tool (subinacl) that the lock button starts, built
// by the window and read by the tool: exactly
//
//   subinacl /file PATH /Deny=USER=F    takes every right on PATH from USER
//   subinacl /file PATH /Grant=USER=F   removes that denial again

enum class AccessAction { kDeny, kGrant };

struct AccessCommand {
  AccessAction action = AccessAction::kDeny;
  std::string path;
  std::string user;
};

// The tool's arguments for `command`, without the tool's own name; each is one argument, so
// blanks or shell characters in the path or the name can neither split nor run anything.
std::vector<std::string> AccessCommandArguments(const AccessCommand& command);

// Reads the arguments back (the switch and the "=F" are matched exactly); false, with the
// reason in English in `*why`, for anything else.
bool ParseAccessCommand(const std::vector<std::string>& args, AccessCommand* command, std::string* why);

}  // namespace quorvale
