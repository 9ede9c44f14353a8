#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property stops the run at once with the failed condition, so that libFuzzer
// records the input as a crash whatever the build's NDEBUG setting.
#define FUZZ_CHECK(condition)                                                        \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (0)
