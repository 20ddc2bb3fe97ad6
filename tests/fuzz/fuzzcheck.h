#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

// A broken property is a crash to the fuzzer: it keeps the input that caused it.
#define FUZZ_CHECK(c) \
  ((c) ? void() : (std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #c), std::abort()))

#endif
