// Minimal-standard multiplicative congruential generator (16807, 2^31 - 1)
// with a Bays-Durham shuffle table, and the draws built on it. The whole
// state is the caller's seed plus the statics below, so a run with a fixed
// seed repeats its draws exactly.
#include "random.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

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
constexpr int NTAB = 32;
constexpr int32_t NDIV = 1 + (IM - 1) / NTAB;
constexpr double AM = 1.0 / IM;
constexpr double RNMX = 0.99999988;

int32_t iv[NTAB];
int32_t iy = 0;
int iset = 0;
double gset = 0;

// One step seed <- 16807 * seed mod M by Schrage's decomposition.
inline void step(Seed *seed) {
  int32_t k = *seed / IQ;
  *seed = IA * (*seed - k * IQ) - IR * k;
  if (*seed < 0)
    *seed += IM;
}

#ifdef MUTLOC_TRACE_DRAWS
const char *traceCaller = "ran1";
#endif

} // namespace

double ran1(Seed *seed) {
  if (*seed <= 0 || !iy) {
    // Restart from -seed when that exceeds 1, else from 1. The negation is
    // taken in 64 bits so that the most negative seed, which has no 32-bit
    // negation, restarts from 1 too instead of overflowing.
    const int64_t negated = -static_cast<int64_t>(*seed);
    *seed = negated > 1 && negated <= INT32_MAX ? static_cast<Seed>(negated) : 1;
    for (int j = NTAB + 7; j >= 0; j--) {
      step(seed);
      if (j < NTAB)
        iv[j] = *seed;
    }
    iy = iv[0];
  }
  step(seed);
  int j = iy / NDIV;
  iy = iv[j];
  iv[j] = *seed;
  double temp = AM * iy;
#ifdef MUTLOC_TRACE_DRAWS
  static long count = 0;
  double out = temp > RNMX ? RNMX : temp;
  std::fprintf(stderr, "%ld %s %.17g\n", ++count, traceCaller, out);
  return out;
#else
  return temp > RNMX ? RNMX : temp;
#endif
}

int random2(int n, Seed *seed) {
  return static_cast<int>(std::floor(ran1(seed) * n));
}

double gasdev(Seed *seed) {
  if (iset) {
    iset = 0;
    return gset;
  }
  double x, y, r;
  do {
    x = 2.0 * ran1(seed) - 1.0;
    y = 2.0 * ran1(seed) - 1.0;
    r = x * x + y * y;
  } while (r >= 1.0 || r == 0.0);
  double f = std::sqrt(-2.0 * std::log(r) / r);
  gset = x * f;
  iset = 1;
  return y * f;
}

void systemShuffle(std::vector<int> &a) {
  for (size_t i = 1; i < a.size(); i++) {
    size_t j = static_cast<size_t>(std::rand()) % (i + 1);
    int t = a[i];
    a[i] = a[j];
    a[j] = t;
  }
}

void resetRandomState() {
  iy = 0;
  iset = 0;
  gset = 0;
  for (auto &v : iv)
    v = 0;
}

#ifdef MUTLOC_TRACE_DRAWS
double ran1Traced(Seed *seed, const char *caller) {
  traceCaller = caller;
  return ran1(seed);
}

int random2Traced(int n, Seed *seed, const char *caller) {
  traceCaller = caller;
  return random2(n, seed);
}

double gasdevTraced(Seed *seed, const char *caller) {
  traceCaller = caller;
  return gasdev(seed);
}
#endif
