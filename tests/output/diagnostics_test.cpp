// The convergence diagnostics against figures of the reference implementation
// (R's posterior package) on pinned draws, the interval and quantile rules on
// small hand-worked samples, and the effective sample size's statistical
// behaviour on chains of known autocorrelation.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "diagnostics.h"

namespace {

const std::string dataDir = MUTLOC_TEST_DATA "/diagnostics/";

// A file of one column per chain.
ChainDraws readDraws(const std::string &path) {
  std::ifstream in(path);
  EXPECT_TRUE(in.is_open()) << path;
  ChainDraws draws;
  for (std::string line; std::getline(in, line);) {
    std::istringstream fields(line);
    size_t ch = 0;
    for (double v; fields >> v; ch++) {
      if (draws.size() <= ch)
        draws.emplace_back();
      draws[ch].push_back(v);
    }
  }
  return draws;
}

struct Reference {
  std::string name;
  double rhat, essBulk, essTail;
};

std::vector<Reference> readReference() {
  std::ifstream in(dataDir + "reference.tsv");
  std::string header;
  std::getline(in, header);
  std::vector<Reference> out;
  for (Reference r; in >> r.name >> r.rhat >> r.essBulk >> r.essTail;)
    out.push_back(r);
  return out;
}

TEST(Diagnostics, AgreeWithTheReferenceImplementationOnPinnedDraws) {
  const std::vector<Reference> cases = readReference();
  ASSERT_EQ(cases.size(), 8u);
  for (const Reference &r : cases) {
    const ChainDraws draws = readDraws(dataDir + r.name + ".tsv");
    ASSERT_FALSE(draws.empty()) << r.name;
    EXPECT_NEAR(rankSplitRhat(draws), r.rhat, 1e-6) << r.name;
    EXPECT_NEAR(essBulk(draws), r.essBulk, 1e-6) << r.name;
    EXPECT_NEAR(essTail(draws), r.essTail, 1e-6) << r.name;
  }
}

TEST(Diagnostics, AreNotAvailableForDrawsThatCannotShowMixing) {
  const ChainDraws constant = {std::vector<double>(50, 0.25), std::vector<double>(50, 0.25)};
  EXPECT_TRUE(std::isnan(rankSplitRhat(constant)));
  EXPECT_TRUE(std::isnan(essBulk(constant)));
  EXPECT_TRUE(std::isnan(essTail(constant)));

  ChainDraws withNan = {{1, 2, 3, 4, 5, 6}, {2, 3, 4, 5, 6, 7}};
  withNan[1][3] = std::nan("");
  EXPECT_TRUE(std::isnan(rankSplitRhat(withNan)));
  EXPECT_TRUE(std::isnan(essBulk(withNan)));
  ChainDraws withInf = {{1, 2, 3, 4, 5, HUGE_VAL}};
  EXPECT_TRUE(std::isnan(essTail(withInf)));

  // Split halves of two draws are too short for an autocorrelation.
  EXPECT_TRUE(std::isnan(essBulk({{1, 2, 3, 4, 5}})));
  EXPECT_TRUE(std::isnan(rankSplitRhat({})));
  EXPECT_TRUE(std::isnan(essBulk({{}})));
}

// AR(1) chains x' = phi x + e: the effective sample size of n draws is about
// n (1 - phi) / (1 + phi), and chains from one distribution have R-hat near 1.
ChainDraws autoregressive(int chains, int n, double phi, double shiftPerChain, unsigned seed) {
  std::mt19937 engine(seed);
  std::normal_distribution<double> noise(0.0, 1.0);
  ChainDraws out(chains);
  for (int ch = 0; ch < chains; ch++) {
    double x = noise(engine) / std::sqrt(1 - phi * phi);
    for (int i = 0; i < n; i++) {
      x = phi * x + noise(engine);
      out[ch].push_back(x + ch * shiftPerChain);
    }
  }
  return out;
}

TEST(Diagnostics, EffectiveSizeFollowsTheAutocorrelation) {
  for (double phi : {0.0, 0.5, 0.8}) {
    const ChainDraws draws = autoregressive(4, 2000, phi, 0, 11);
    const double expected = 4 * 2000 * (1 - phi) / (1 + phi);
    EXPECT_NEAR(essBulk(draws) / expected, 1.0, 0.2) << phi;
    EXPECT_LT(rankSplitRhat(draws), 1.01) << phi;
  }
}

TEST(Diagnostics, RhatGrowsWithTheDistanceBetweenChains) {
  double previous = 1.0;
  for (double shift : {0.5, 1.0, 3.0}) {
    const double rhat = rankSplitRhat(autoregressive(3, 500, 0.3, shift, 5));
    EXPECT_GT(rhat, previous) << shift;
    previous = rhat;
  }
  EXPECT_GT(previous, 1.5);
}

TEST(Diagnostics, RhatSeesDriftWithinOneChain) {
  std::vector<double> drifting;
  for (int i = 0; i < 400; i++)
    drifting.push_back(i * 0.01 + std::sin(i * 1.7));
  EXPECT_GT(rankSplitRhat({drifting}), 1.1);
}

TEST(Quantiles, InterpolateBetweenOrderStatistics) {
  const std::vector<double> x = {1, 2, 3, 4, 10};
  EXPECT_DOUBLE_EQ(sortedQuantile(x, 0.3), 2.2);
  EXPECT_DOUBLE_EQ(sortedQuantile(x, 0.5), 3);
  EXPECT_DOUBLE_EQ(sortedQuantile(x, 1), 10);
  EXPECT_DOUBLE_EQ(sortedQuantile({1, 2, 3, 4}, 0.5), 2.5);
  EXPECT_TRUE(std::isnan(sortedQuantile({}, 0.5)));
}

TEST(Moments, MeanAndSdUseTheUsualDivisors) {
  EXPECT_DOUBLE_EQ(sampleMean({2, 4, 4, 4, 5, 5, 7, 9}), 5);
  EXPECT_DOUBLE_EQ(sampleSd({2, 4, 4, 4, 5, 5, 7, 9}), std::sqrt(32.0 / 7));
  EXPECT_TRUE(std::isnan(sampleSd({3})));
}

TEST(HighestDensityInterval, IsTheShortestWindowHoldingTheLevel) {
  // Four of ten draws: the windows are 1.8, 1, 0.6, 3.2, ... wide.
  const std::vector<double> x = {0, 1, 1.5, 1.8, 2, 2.1, 5, 9, 10, 30};
  Interval i = highestDensityInterval(x, 0.4);
  EXPECT_DOUBLE_EQ(i.low, 1.5);
  EXPECT_DOUBLE_EQ(i.high, 2.1);
  // 0.35 * 10 rounds up to four draws too.
  i = highestDensityInterval(x, 0.35);
  EXPECT_DOUBLE_EQ(i.high - i.low, 0.6);
  // Nine of ten: dropping the far tail beats dropping the near one.
  i = highestDensityInterval(x, 0.9);
  EXPECT_DOUBLE_EQ(i.low, 0);
  EXPECT_DOUBLE_EQ(i.high, 10);
  i = highestDensityInterval(x, 1);
  EXPECT_DOUBLE_EQ(i.high, 30);
}

// The search reaches both ends: the shortest window may be the first or the
// last one.
TEST(HighestDensityInterval, MayBeTheFirstOrLastWindow) {
  // Two of four: windows 5, 4, 1 wide.
  Interval i = highestDensityInterval({0, 5, 9, 10}, 0.5);
  EXPECT_DOUBLE_EQ(i.low, 9);
  EXPECT_DOUBLE_EQ(i.high, 10);
  // Left-skewed, three of six: windows 7, 3, 1.5, 1 wide.
  i = highestDensityInterval({1, 6, 8, 9, 9.5, 10}, 0.5);
  EXPECT_DOUBLE_EQ(i.low, 9);
  EXPECT_DOUBLE_EQ(i.high, 10);
  // Its mirror image: windows 1, 1.5, 3, 7 wide.
  i = highestDensityInterval({-10, -9.5, -9, -8, -6, -1}, 0.5);
  EXPECT_DOUBLE_EQ(i.low, -10);
  EXPECT_DOUBLE_EQ(i.high, -9);
}

TEST(HighestDensityInterval, CountsDrawsWithoutRoundingUpAnExtraOne) {
  // 0.95 * 20 is 19 draws, not 20: the outlier at 100 is left out.
  std::vector<double> x;
  for (int k = 0; k < 19; k++)
    x.push_back(k);
  x.push_back(100);
  const Interval i = highestDensityInterval(x, 0.95);
  EXPECT_DOUBLE_EQ(i.low, 0);
  EXPECT_DOUBLE_EQ(i.high, 18);
}

TEST(HighestDensityInterval, CoversTheLevelOfANormalSample) {
  std::mt19937 engine(3);
  std::normal_distribution<double> normal(2.0, 0.5);
  std::vector<double> x(20000);
  for (double &v : x)
    v = normal(engine);
  std::sort(x.begin(), x.end());
  const Interval i = highestDensityInterval(x, 0.95);
  // For a normal law the 95% interval is the mean +- 1.96 sd.
  EXPECT_NEAR(i.low, 2.0 - 1.96 * 0.5, 0.03);
  EXPECT_NEAR(i.high, 2.0 + 1.96 * 0.5, 0.03);
  const Interval one = highestDensityInterval({7}, 0.95);
  EXPECT_EQ(one.low, 7);
  EXPECT_EQ(one.high, 7);
  EXPECT_TRUE(std::isnan(highestDensityInterval({}, 0.95).low));
}

} // namespace
