#include "access_command.h"

#include <cstdio>

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

}  // namespace

int SubinaclMain(const std::vector<std::string>& args) {
  AccessCommand command;
  std::string why;
  if (!ParseAccessCommand(args, &command, &why)) return Usage(why.c_str());
  return RunAccessCommand(command);
}

int Fail(int exit_status, const std::string& message) {
  std::fprintf(stderr, "subinacl: %s\n", message.c_str());
  return exit_status;
}

}  // namespace quorvale
