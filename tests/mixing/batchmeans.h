// The long-run mean of a function of a chain's draws with its standard
// error, from the means of 40 equal batches: the statistical yardstick of the
// sampler tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

struct Estimate {
  double mean, se;
};

template <class F> Estimate batchMeans(const std::vector<double> &x, F f) {
  const size_t batches = 40, length = x.size() / batches;
  std::vector<double> means(batches, 0.0);
  for (size_t b = 0; b < batches; b++) {
    for (size_t j = 0; j < length; j++)
      means[b] += f(x[b * length + j]);
    means[b] /= length;
  }
  double mean = 0, var = 0;
  for (double m : means)
    mean += m / batches;
  for (double m : means)
    var += (m - mean) * (m - mean) / (batches - 1);
  return {mean, std::sqrt(var / batches)};
}

inline Estimate batchMeans(const std::vector<double> &x) {
  return batchMeans(x, [](double v) { return v; });
}

// Two chains' long-run means of one quantity agree within 4.5 standard
// errors of their difference.
inline void expectSameMean(const std::vector<double> &a, const std::vector<double> &b,
                           const std::string &what) {
  const Estimate x = batchMeans(a), y = batchMeans(b);
  EXPECT_LT(std::fabs(x.mean - y.mean), 4.5 * std::hypot(x.se, y.se) + 1e-3)
      << what << ": " << x.mean << " +- " << x.se << " against " << y.mean << " +- " << y.se;
}
