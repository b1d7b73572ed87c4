// Lagged products through the transform against the sums taken lag by lag,
// at lengths that are, are not and are just past powers of two; and the
// effective sample size of a slowly mixing chain, which needs lags far beyond
// those summed one by one.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "diagnostics.h"
#include "lagproducts.h"

TEST(LagProducts, EqualTheSumsTakenLagByLag) {
  std::mt19937 engine(7);
  std::normal_distribution<double> noise(0.0, 1.0);
  for (size_t n : {1, 2, 3, 7, 64, 65, 1000, 4097}) {
    std::vector<double> c(n);
    for (double &v : c)
      v = noise(engine) + (n % 2 ? 0.5 : 0.0);
    const std::vector<double> s = lagProducts(c);
    ASSERT_EQ(s.size(), n);
    for (size_t lag = 0; lag < n; lag++) {
      double direct = 0;
      for (size_t i = 0; i + lag < n; i++)
        direct += c[i] * c[i + lag];
      EXPECT_NEAR(s[lag], direct, 1e-12 * s[0]) << "n " << n << " lag " << lag;
    }
  }
}

TEST(LagProducts, AStickyChainHasTheEffectiveSizeOfItsAutocorrelation) {
  // AR(1) chains x' = phi x + e with phi = 0.995: the autocorrelation
  // reaches past lag 500, and the effective size of n draws is about
  // n (1 - phi) / (1 + phi).
  const double phi = 0.995;
  const int chains = 4, n = 100000;
  std::mt19937 engine(3);
  std::normal_distribution<double> noise(0.0, 1.0);
  ChainDraws draws(chains);
  for (auto &chain : draws) {
    double x = noise(engine) / std::sqrt(1 - phi * phi);
    for (int i = 0; i < n; i++) {
      x = phi * x + noise(engine);
      chain.push_back(x);
    }
  }
  const double expected = chains * n * (1 - phi) / (1 + phi);
  EXPECT_NEAR(essBulk(draws) / expected, 1.0, 0.25);
}
