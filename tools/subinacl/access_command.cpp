#include "access_command.h"

#include <cstdio>
#include <string_view>

namespace quorvale {

namespace {

int Usage(const char* reason) {
  std::fprintf(stderr,
               "subinacl: %s\n"
               "usage: subinacl /file PATH /Deny=USER=F\n"
               "       subinacl /file PATH /Grant=USER=F\n",
               reason);
  return kExitUsage;
}

// Reads "/Deny=USER=F" or "/Grant=USER=F"; the switch and the "=F" are matched exactly.
bool ParseAccessSwitch(std::string_view text, AccessCommand* command) {
  constexpr std::string_view kDeny = "/Deny=";
  constexpr std::string_view kGrant = "/Grant=";
  constexpr std::string_view kFull = "=F";
  if (text.starts_with(kDeny)) {
    command->action = AccessAction::kDeny;
    text.remove_prefix(kDeny.size());
  } else if (text.starts_with(kGrant)) {
    command->action = AccessAction::kGrant;
    text.remove_prefix(kGrant.size());
  } else {
    return false;
  }
  if (!text.ends_with(kFull)) return false;
  text.remove_suffix(kFull.size());
  if (text.empty()) return false;
  command->user = std::string(text);
  return true;
}

}  // namespace

int SubinaclMain(const std::vector<std::string>& args) {
  if (args.size() != 3) return Usage("expected /file PATH and one access switch");
  if (args[0] != "/file") return Usage("the first argument must be /file");
  AccessCommand command;
  command.path = args[1];
  if (command.path.empty()) return Usage("empty path");
  if (!ParseAccessSwitch(args[2], &command)) return Usage("the access switch must be /Deny=USER=F or /Grant=USER=F");
  return RunAccessCommand(command);
}

int Fail(int exit_status, const std::string& message) {
  std::fprintf(stderr, "subinacl: %s\n", message.c_str());
  return exit_status;
}

}  // namespace quorvale
