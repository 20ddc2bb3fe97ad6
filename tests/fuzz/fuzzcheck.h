#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <cstdio>
#include <cstdlib>

// A broken property is a crash to the fuzzer: it keeps the input that caused it.
#define FUZZ_CHECK(condition)                                                                    \
    ((condition) ? void() : (std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__,     \
                                          __LINE__, #condition), std::abort()))

#endif
