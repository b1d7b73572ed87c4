// The run's uniform random stream (ran1) with its derived draws, and the
// permutation shuffle over the system generator.
#pragma once

#include "mutloc.h"

// Uniform on (0, 0.99999988]; a seed <= 0 re-initialises the shuffle table.
double ran1(Seed *seed);
// floor(ran1 * n): a uniform index 0..n-1 for n >= 1.
int random2(int n, Seed *seed);
// Standard normal deviate (polar Box-Muller; the second deviate is cached).
double gasdev(Seed *seed);

// Random permutation of a[0..n-1] drawn from the system generator rand():
// for i = 1..n-1, j = rand() % (i + 1), exchange a[i] and a[j].
void systemShuffle(std::vector<int> &a);

// Drops the cached normal deviate and the shuffle table (tests only).
void resetRandomState();

#ifdef MUTLOC_TRACE_DRAWS
// Audit build: every ran1 draw is written to standard error as
// "count routine value", the routine being the caller's function name.
double ran1Traced(Seed *seed, const char *caller);
int random2Traced(int n, Seed *seed, const char *caller);
double gasdevTraced(Seed *seed, const char *caller);
#define ran1(seed) ran1Traced((seed), __func__)
#define random2(n, seed) random2Traced((n), (seed), __func__)
#define gasdev(seed) gasdevTraced((seed), __func__)
#endif
