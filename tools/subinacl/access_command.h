#pragma once

// subinacl: the access-control tool that Quorvale's lock button starts, for systems that do
// not have one. It understands exactly the two command lines the program builds (see
// core/access_command.h).
//
// Exit status: 0 done, 1 bad command line, 2 unknown user, 3 the access list could not be
// read or changed, or cannot restrict that user. Messages go to standard error.

#include <string>
#include <vector>

#include "core/access_command.h"

namespace quorvale {

inline constexpr int kExitUsage = 1;
inline constexpr int kExitUnknownUser = 2;
inline constexpr int kExitAclFailed = 3;

// Runs the tool on its arguments (UTF-8, without the program's own name): a bad command line
// gets the usage text and kExitUsage; a good one is carried out by RunAccessCommand.
int SubinaclMain(const std::vector<std::string>& args);

// Carries out a command with the system's access lists (one definition per system).
int RunAccessCommand(const AccessCommand& command);

// Writes "subinacl: `message`" and a line end to standard error; returns `exit_status`.
int Fail(int exit_status, const std::string& message);

}  // namespace quorvale
