// The run's random stream as one record: the uniform generator ran1 with its
// shuffle table, the spare normal deviate of gasdev, and the additive-feedback
// generator behind the permutation shuffle of lineages. Every draw takes the
// stream it draws from, so a run (or each chain) can own one.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

// The signed 32-bit state of ran1's congruential generator.
using Seed = int32_t;

// The C library's random()/rand() algorithm (additive feedback over 31 words,
// x[i] = x[i - 31] + x[i - 3] mod 2^32, output x[i] >> 1), seeded as srandom
// seeds it, written out here so the shuffles do not depend on the C library.
// A generator not yet seeded holds the state of seed 1, as the C library's
// does before its first srandom.
struct FeedbackGenerator {
  FeedbackGenerator();
  int32_t state[31];
  int front;
  int rear;
};
// Seeds as srandom(seed) does (seed 0 acts as 1).
void seedFeedback(FeedbackGenerator &g, uint32_t seed);
// The next value in 0..2^31 - 1, as random() gives it.
int32_t nextFeedback(FeedbackGenerator &g);

constexpr int shuffleTableSize = 32;

struct Rng {
  // ran1: the generator's state and its Bays-Durham shuffle table; iy == 0
  // marks a table not yet filled.
  Seed seed = 0;
  int32_t iv[shuffleTableSize] = {};
  int32_t iy = 0;
  // gasdev's second deviate, kept for the next call.
  bool hasSpare = false;
  double spare = 0;
  // The shuffle's generator.
  FeedbackGenerator feedback;
  // Draws so far, counted by the audit build.
  long drawCount = 0;
};

// A fresh stream whose first ran1 draw restarts from seed (a value <= 0
// refills the shuffle table).
Rng streamFrom(Seed seed);

// One step seed <- 16807 * seed mod (2^31 - 1) for a seed in 0..2^31 - 1.
// The product fits in 46 bits, and since 2^31 = 1 mod (2^31 - 1) its high
// bits fold onto its low 31; one subtraction brings the sum below the modulus.
inline void stepSeed(Seed &seed) {
  const uint64_t product = static_cast<uint64_t>(seed) * 16807u;
  uint64_t folded = (product & 0x7fffffffu) + (product >> 31);
  if (folded >= 0x7fffffffu)
    folded -= 0x7fffffffu;
  seed = static_cast<Seed>(folded);
}

// The next uniform of a stream whose shuffle table is filled: the table entry
// the previous output points to is the output, and the new congruential
// value takes its place.
inline double shuffledUniform(Rng &rng) {
  stepSeed(rng.seed);
  const int32_t j = static_cast<int32_t>(static_cast<uint32_t>(rng.iy) >> 26); // iy / 2^26
  rng.iy = rng.iv[j];
  rng.iv[j] = rng.seed;
  const double out = (1.0 / 2147483647) * rng.iy;
  return out > 0.99999988 ? 0.99999988 : out;
}

// The draw of a stream whose table is empty or whose seed asks for a restart:
// the table is filled from the seed first.
double restartedUniform(Rng &rng);

// Uniform on (0, 0.99999988]; a seed <= 0 re-initialises the shuffle table.
inline double nextUniform(Rng &rng) {
  return rng.seed > 0 && rng.iy ? shuffledUniform(rng) : restartedUniform(rng);
}

#ifndef MUTLOC_TRACE_DRAWS
// The run's uniform draw and the index drawn from it, in line since the
// phase and missing-allele sweeps draw once per locus and the state and
// frequency moves pick cells by index.
inline double ran1(Rng &rng) {
  return nextUniform(rng);
}
// floor(ran1 * n): a uniform index 0..n-1 for n >= 1.
inline int random2(int n, Rng &rng) {
  return static_cast<int>(std::floor(nextUniform(rng) * n));
}
#endif
// Standard normal deviate (polar Box-Muller; the second deviate is kept).
double gasdev(Rng &rng);

// Random permutation of a[0..n-1] from the feedback generator: for
// i = 1..n-1, j = next % (i + 1), exchange a[i] and a[j].
void systemShuffle(std::vector<int> &a, Rng &rng);

// A Gamma(shape, 1) deviate (shape > 0) by Marsaglia and Tsang's squeeze
// method from gasdev and ran1 draws.
double gammaDeviate(double shape, Rng &rng);

// A Beta(a, b) deviate (a, b > 0), as X / (X + Y) of two gamma deviates of
// shapes a and b.
double betaDeviate(double a, double b, Rng &rng);

#ifdef MUTLOC_TRACE_DRAWS
// Audit build: every ran1 draw is written to standard error as
// "count routine value", the routine being the caller's function name.
double ran1Traced(Rng &rng, const char *caller);
int random2Traced(int n, Rng &rng, const char *caller);
double gasdevTraced(Rng &rng, const char *caller);
#define ran1(rng) ran1Traced((rng), __func__)
#define random2(n, rng) random2Traced((n), (rng), __func__)
#define gasdev(rng) gasdevTraced((rng), __func__)
#endif
