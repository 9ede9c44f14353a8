#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace quorvale {

inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
// An input that cannot be read, or an output that cannot be written.
inline constexpr int kExitFile = 2;
// The command of --after-write failed (as a run whose sources partly failed: the files are written).
inline constexpr int kExitAfterWriteFailed = 3;

// Runs a quorvale-cli command line (the arguments without the program's name): --dump,
// --help and --version print to `out`, every message goes to `err`. Returns the exit status.
int RunCli(const std::vector<std::string>& args, Platform& platform, std::FILE* out, std::FILE* err);

}  // namespace quorvale
