// Minimal-standard multiplicative congruential generator (16807, 2^31 - 1)
// with a Bays-Durham shuffle table, the draws built on it, and the additive
// feedback generator of the lineage shuffles. All state lives in the Rng
// record, so a stream started from a fixed seed repeats its draws exactly.
#include "random.h"

#include <cmath>
#include <cstdint>
#include <cstdio>

#ifdef MUTLOC_TRACE_DRAWS
#undef ran1
#undef random2
#undef gasdev
#endif

namespace {

constexpr int32_t IA = 16807;
constexpr int32_t IM = 2147483647;
constexpr int32_t IQ = 127773;
constexpr int32_t IR = 2836;

// Words of the feedback generator, the distance of its second tap, and the
// outputs discarded after seeding.
constexpr int feedbackWords = 31;
constexpr int feedbackDiscard = 10 * feedbackWords;

double uniform(Rng &rng, [[maybe_unused]] const char *caller) {
  const double out = nextUniform(rng);
#ifdef MUTLOC_TRACE_DRAWS
  std::fprintf(stderr, "%ld %s %.17g\n", ++rng.drawCount, caller, out);
#endif
  return out;
}

#ifdef MUTLOC_TRACE_DRAWS
// random2 of the audit build, as the header's draws it.
int index(int n, Rng &rng, const char *caller) {
  return static_cast<int>(std::floor(uniform(rng, caller) * n));
}
#endif

double normal(Rng &rng, const char *caller) {
  if (rng.hasSpare) {
    rng.hasSpare = false;
    return rng.spare;
  }
  double x, y, r;
  do {
    x = 2.0 * uniform(rng, caller) - 1.0;
    y = 2.0 * uniform(rng, caller) - 1.0;
    r = x * x + y * y;
  } while (r >= 1.0 || r == 0.0);
  const double f = std::sqrt(-2.0 * std::log(r) / r);
  rng.spare = x * f;
  rng.hasSpare = true;
  return y * f;
}

} // namespace

double restartedUniform(Rng &rng) {
  Seed &seed = rng.seed;
  if (seed <= 0 || !rng.iy) {
    // Restart from -seed when that exceeds 1, else from 1. The negation is
    // taken in 64 bits so that the most negative seed, which has no 32-bit
    // negation, restarts from 1 too instead of overflowing.
    const int64_t negated = -static_cast<int64_t>(seed);
    seed = negated > 1 && negated <= INT32_MAX ? static_cast<Seed>(negated) : 1;
    for (int j = shuffleTableSize + 7; j >= 0; j--) {
      stepSeed(seed);
      if (j < shuffleTableSize)
        rng.iv[j] = seed;
    }
    rng.iy = rng.iv[0];
  }
  return shuffledUniform(rng);
}

FeedbackGenerator::FeedbackGenerator() {
  seedFeedback(*this, 1);
}

void seedFeedback(FeedbackGenerator &g, uint32_t seed) {
  if (seed == 0)
    seed = 1;
  // The seed's bits as a signed word start the recurrence 16807 * word mod
  // 2^31 - 1 (Schrage's decomposition, C division; a negative first word
  // gives a negative product, brought back by one addition of the modulus).
  int32_t word = static_cast<int32_t>(seed);
  g.state[0] = word;
  for (int i = 1; i < feedbackWords; i++) {
    const int32_t hi = word / IQ;
    const int32_t lo = word % IQ;
    word = IA * lo - IR * hi;
    if (word < 0)
      word += IM;
    g.state[i] = word;
  }
  g.front = 3;
  g.rear = 0;
  for (int i = 0; i < feedbackDiscard; i++)
    nextFeedback(g);
}

int32_t nextFeedback(FeedbackGenerator &g) {
  const uint32_t sum =
      static_cast<uint32_t>(g.state[g.front]) + static_cast<uint32_t>(g.state[g.rear]);
  g.state[g.front] = static_cast<int32_t>(sum);
  g.front = (g.front + 1) % feedbackWords;
  g.rear = (g.rear + 1) % feedbackWords;
  return static_cast<int32_t>(sum >> 1);
}

Rng streamFrom(Seed seed) {
  Rng rng;
  rng.seed = seed;
  return rng;
}

double gasdev(Rng &rng) {
  return normal(rng, "gasdev");
}

void systemShuffle(std::vector<int> &a, Rng &rng) {
  for (size_t i = 1; i < a.size(); i++) {
    const size_t j = static_cast<size_t>(nextFeedback(rng.feedback)) % (i + 1);
    const int t = a[i];
    a[i] = a[j];
    a[j] = t;
  }
}

// Gamma(shape, 1). Marsaglia and Tsang: for shape >= 1, d (1 + c z)^3 with z
// normal, accepted by a squeeze on the log of a uniform; a shape below 1
// takes a deviate of shape + 1 times u^(1 / shape). The draws are ran1's and
// gasdev's, named for the audit build.
double gammaDeviate(double shape, Rng &rng) {
  if (shape < 1)
    return gammaDeviate(shape + 1, rng) * std::pow(uniform(rng, "gammaDeviate"), 1 / shape);
  const double d = shape - 1.0 / 3, c = 1 / std::sqrt(9 * d);
  for (;;) {
    const double z = normal(rng, "gammaDeviate");
    const double v = 1 + c * z;
    if (v <= 0)
      continue;
    const double cube = v * v * v;
    if (std::log(uniform(rng, "gammaDeviate")) < 0.5 * z * z + d - d * cube + d * std::log(cube))
      return d * cube;
  }
}

double betaDeviate(double a, double b, Rng &rng) {
  const double x = gammaDeviate(a, rng);
  const double y = gammaDeviate(b, rng);
  return x / (x + y);
}

#ifdef MUTLOC_TRACE_DRAWS
double ran1Traced(Rng &rng, const char *caller) {
  return uniform(rng, caller);
}

int random2Traced(int n, Rng &rng, const char *caller) {
  return index(n, rng, caller);
}

double gasdevTraced(Rng &rng, const char *caller) {
  return normal(rng, caller);
}
#endif
