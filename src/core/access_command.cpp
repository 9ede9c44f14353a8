#include "core/access_command.h"

#include <string_view>

namespace quorvale {

namespace {

constexpr std::string_view kFileSwitch = "/file";
constexpr std::string_view kDeny = "/Deny=";
constexpr std::string_view kGrant = "/Grant=";
constexpr std::string_view kFullControl = "=F";

bool ParseAccessSwitch(std::string_view text, AccessCommand* command) {
  if (text.starts_with(kDeny)) {
    command->action = AccessAction::kDeny;
    text.remove_prefix(kDeny.size());
  } else if (text.starts_with(kGrant)) {
    command->action = AccessAction::kGrant;
    text.remove_prefix(kGrant.size());
  } else {
    return false;
  }
  if (!text.ends_with(kFullControl)) return false;
  text.remove_suffix(kFullControl.size());
  if (text.empty()) return false;
  command->user = std::string(text);
  return true;
}

}  // namespace

std::vector<std::string> AccessCommandArguments(const AccessCommand& command) {
  const std::string_view action = command.action == AccessAction::kDeny ? kDeny : kGrant;
  return {std::string(kFileSwitch), command.path, std::string(action) + command.user + std::string(kFullControl)};
}

bool ParseAccessCommand(const std::vector<std::string>& args, AccessCommand* command, std::string* why) {
  if (args.size() != 3) {
    *why = "expected /file PATH and one access switch";
  } else if (args[0] != kFileSwitch) {
    *why = "the first argument must be /file";
  } else if (args[1].empty()) {
    *why = "empty path";
  } else if (!ParseAccessSwitch(args[2], command)) {
    *why = "the access switch must be /Deny=USER=F or /Grant=USER=F";
  } else {
    command->path = args[1];
    return true;
  }
  return false;
}

}  // namespace quorvale
