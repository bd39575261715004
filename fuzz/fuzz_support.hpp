#pragma once

#include <cstdio>
#include <cstdlib>

// A property that does not hold is a finding: stop so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                             \
  do {                                                                                    \
    if (!(condition)) {                                                                   \
      std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
      std::abort();                                                                       \
    }                                                                                     \
  } while (false)
