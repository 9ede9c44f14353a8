#pragma once

#include <string>

#include "platform/platform.h"

namespace quorvale {

// Platform::FlushDnsCache on Windows. The library and the program are taken from the system
// folder `system_dir` only, never from the program's or the current folder. When the
// program cannot be started, `start_error` receives the Win32 error (0 otherwise) and `why`
// is left for the caller to make from it.
DnsFlushOutcome FlushWindowsDnsCache(const std::string& system_dir, int wait_milliseconds,
                                     unsigned long* start_error);

}  // namespace quorvale
