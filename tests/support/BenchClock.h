// The benchmarks' arguments and clock: seconds from the performance counter, and the best
// of a few runs (the one least disturbed by other work on the machine).
#pragma once
#include <windows.h>

#include <stdlib.h>

namespace bench {

inline double Now() {
  LARGE_INTEGER t, f;
  QueryPerformanceCounter(&t);
  QueryPerformanceFrequency(&f);
  return static_cast<double>(t.QuadPart) / f.QuadPart;
}

// The number given as argument `at`, else `fallback`.
inline int Arg(int argc, char** argv, int at, int fallback) { return argc > at ? atoi(argv[at]) : fallback; }

// Seconds of the fastest of `runs` calls.
template <typename F>
double Best(F run, int runs = 3) {
  double best = 1e9;
  for (int i = 0; i < runs; ++i) {
    double start = Now();
    run();
    double took = Now() - start;
    if (took < best) best = took;
  }
  return best;
}

}  // namespace bench
