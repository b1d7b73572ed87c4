// Priors of the mutation age, the node times and the mutation location.
#include <gtest/gtest.h>

#include <cmath>

#include "likelihood.h"
#include "testkit.h"

namespace {

using std::exp;
using std::log;

TEST(MutationAgePrior, NoGrowthForm) {
  setSmallRun(2, 1);
  pset.propSampled = 1.0;
  // log 2 + log 1 + log 2 - 2 log 4 = -2 log 2.
  EXPECT_NEAR(tpriormut(2, 2.0, 0.0), -2 * log(2.0), 1e-14);
  pset.propSampled = 0.5;
  EXPECT_NEAR(tpriormut(3, 1.0, 0.0), log(2.0) + 2 * log(0.5) + 0 - 3 * log(2.5), 1e-14);
}

TEST(MutationAgePrior, GrowthForm) {
  setSmallRun(2, 1);
  pset.propSampled = 0.5;
  const double e = exp(-1.0);
  EXPECT_NEAR(tpriormut(2, 1.0, 1.0), log(2.0) - 1.0 + log(0.5 * (1 - e)) - 2 * log(0.5 + 1.5 * e),
              1e-14);
}

TEST(MutationAgePrior, SwitchesFormAtTheGrowthThreshold) {
  setSmallRun(5, 1);
  pset.propSampled = 0.1;
  const double flat = tpriormut(5, 3.0, 0.0);
  EXPECT_EQ(tpriormut(5, 3.0, 1e-9), flat);
  EXPECT_EQ(tpriormut(5, 3.0, -1e-9), flat);
  const double grown = tpriormut(5, 3.0, 2e-8);
  EXPECT_NE(grown, flat);
  EXPECT_NEAR(grown, flat, 1e-6);
}

TEST(TreePrior, NoGrowthForm) {
  setSmallRun(2, 1);
  // Internal node at the mutation age: log 8 - log 2 - 2 log 4 = -2 log 2.
  EXPECT_NEAR(tprior(2, {0, 0, 2.0}, 2.0, 1.0, 0.0), -2 * log(2.0), 1e-14);
  const double expected =
      2 * log(2 * 0.5 * 1.0 + 4) - 2 * log(1.0) - 2 * log(0.5 * 0.8 + 2) - 2 * log(0.5 * 0.3 + 2);
  EXPECT_NEAR(tprior(3, {0, 0, 0, 0.3, 0.8}, 1.0, 0.5, 0.0), expected, 1e-14);
}

TEST(TreePrior, GrowthForm) {
  setSmallRun(2, 1);
  const double q = 2 / (1 + exp(-1.0));
  const double expected = log(q * q / 2) - 1 - log((1 - exp(-2.0)) / (1 + exp(-2.0)));
  EXPECT_NEAR(tprior(2, {0, 0, 1.0}, 2.0, 1.0, 1.0), expected, 1e-14);
}

TEST(TreePrior, OneChromosomeLeavesOnlyTheEmptyAgeTerm) {
  setSmallRun(1, 1);
  EXPECT_EQ(tprior(1, {0}, 1.5, 0.5, 1.0), 0.0);
  EXPECT_EQ(tprior(1, {0}, 1.5, 0.5, 0.0), 0.0);
}

// Boundaries 0, 1, 2, 3 with weights 0.5, 0 and 2; the last weight (7) is
// never used; non-gene weight 0.25.
class LocationPrior : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(2, 1);
    pset.segStart = {0, 1, 2, 3};
    pset.segWeight = {0.5, 0, 2, 7};
    pset.numsegs = 4;
    pset.segweights[0] = 0.5;
    pset.segweights[1] = 2;
    pset.segweights[2] = 0.25;
  }
};

TEST_F(LocationPrior, SegmentsAndTheirBoundaries) {
  EXPECT_EQ(sequenceprob(-0.001), log(0.25));
  EXPECT_EQ(sequenceprob(0.0), log(0.5));
  EXPECT_EQ(sequenceprob(0.4), log(0.5));
  EXPECT_EQ(sequenceprob(1.0), log(0.5));
  EXPECT_EQ(sequenceprob(2.5), log(2.0));
  EXPECT_EQ(sequenceprob(3.0), log(2.0));
  EXPECT_EQ(sequenceprob(3.001), log(0.25));
}

TEST_F(LocationPrior, ZeroWeightGivesTheMarker) {
  EXPECT_EQ(sequenceprob(1.5), 99.99);
  EXPECT_EQ(sequenceprob(2.0), 99.99);
  pset.segweights[2] = 0;
  EXPECT_EQ(sequenceprob(-5.0), 99.99);
}

TEST_F(LocationPrior, NoSegmentsGiveTheNonGeneWeight) {
  pset.numsegs = 0;
  pset.segStart.clear();
  pset.segWeight.clear();
  EXPECT_EQ(sequenceprob(0.5), log(0.25));
  pset.segweights[2] = 0;
  EXPECT_EQ(sequenceprob(0.5), 99.99);
}

TEST_F(LocationPrior, SingleBoundary) {
  pset.numsegs = 1;
  pset.segStart = {1};
  pset.segWeight = {0.5};
  EXPECT_EQ(sequenceprob(1.0), log(0.5));
  EXPECT_EQ(sequenceprob(1.5), log(0.25));
  EXPECT_EQ(sequenceprob(0.5), log(0.25));
}

} // namespace
