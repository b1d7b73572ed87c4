// Mutation-location moves: the reflecting random-walk proposal with its
// one-time width reduction, random-walk Metropolis, independence proposals
// and slice sampling, each checked against a recomputation of the chain's
// terms after every update.
#include <cmath>
#include <gtest/gtest.h>
#include <iostream>
#include <limits>
#include <sstream>

#include "chainfixture.h"
#include "sampler.h"

namespace {

// What the moves write to the screen while a test captures it.
std::ostringstream screen;
std::streambuf *realScreen = nullptr;

void captureScreen() {
  screen.str("");
  std::cout.precision(8);
  realScreen = std::cout.rdbuf(screen.rdbuf());
}

void releaseScreen() {
  std::cout.rdbuf(realScreen);
}

std::vector<double> termColumn() {
  std::vector<double> c;
  for (const TreeRow &row : chains[0].tree)
    c.push_back(row[nodeLogLik]);
  return c;
}

// A step from x by (2u - 1) w, reflected once into the bounds.
double reflectedStep(double x, double u, double w) {
  const double y = x + (2 * u - 1) * w;
  return y < pset.mutLocLow    ? 2 * pset.mutLocLow - y
         : y > pset.mutLocHigh ? 2 * pset.mutLocHigh - y
                               : y;
}

bool insideBounds(double x) {
  return x >= pset.mutLocLow && x <= pset.mutLocHigh;
}

// The chain of chainfixture.h with the given location move (1 random walk,
// 2 slice sampling, 3 independence proposals) and proposal width.
Chain &buildLocationChain(double algSwitch, int mode, double width) {
  Chain &c = buildChain(algSwitch);
  pset.iterMutLocation = mode;
  chainSettings[0].recDistAdjust = width;
  c.recDistAdjust = width;
  return c;
}

// 300 location updates of chain 0 from a fresh stream at seed, none of which
// may end at a location of zero weight, outside the bounds, or with the
// chain's terms out of date.
void expectWalkAvoidsZeroWeight(Seed seed) {
  Rng rng = streamFrom(seed);
  Chain &c = chains[0];
  ChainWork work;
  for (int i = 0; i < 300; i++) {
    updateLocation(rng, c, work);
    ASSERT_NE(sequenceprob(c.mutLoc), zeroWeightMarker);
    ASSERT_TRUE(insideBounds(c.mutLoc));
    ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
  }
}

TEST(Adjrecrate, ReducesAnOversizedWidthOnceWithoutDrawing) {
  Chain &c = buildLocationChain(0, 1, 0.05);
  Rng rng = streamFrom(-11);
  double x = 0.015;
  captureScreen();
  adjrecrate(x, rng, pset.mapDist, c);
  adjrecrate(x, rng, pset.mapDist, c);
  releaseScreen();
  EXPECT_EQ(screen.str(), "Adjustment level for recdist is too large. It has been changed "
                          "to0.03, the size of the interval specified.\n");
  EXPECT_EQ(c.recDistAdjust, 0.03);
  // The chain's width is narrowed; the starting value read stays as it was.
  EXPECT_EQ(chainSettings[0].recDistAdjust, 0.05);
  // The first call leaves x alone; only the second one draws a step.
  EXPECT_EQ(drawsBetween(-11, rng.seed), 1);
  const double u = firstDraws(-11, 1)[0];
  EXPECT_EQ(x, reflectedStep(0.015, u, 0.03));
}

TEST(Adjrecrate, KeepsAWidthEqualToTheInterval) {
  Chain &c = buildLocationChain(0, 1, 0.03);
  Rng rng = streamFrom(-11);
  double x = 0.015;
  captureScreen();
  adjrecrate(x, rng, pset.mapDist, c);
  releaseScreen();
  EXPECT_EQ(screen.str(), "");
  EXPECT_EQ(c.recDistAdjust, 0.03);
  const double u = firstDraws(-11, 1)[0];
  EXPECT_EQ(x, reflectedStep(0.015, u, 0.03));
}

TEST(Adjrecrate, ReflectsOnceAtEitherBound) {
  Chain &c = buildLocationChain(0, 1, 0.01);
  // Seeds whose first draw steps below the low bound, and above the high one.
  Seed below = -1, above = -1;
  while (firstDraws(below, 1)[0] >= 0.5)
    below--;
  while (firstDraws(above, 1)[0] <= 0.5)
    above--;

  double x = pset.mutLocLow;
  Rng rng = streamFrom(below);
  adjrecrate(x, rng, pset.mapDist, c);
  const double u = firstDraws(below, 1)[0];
  EXPECT_NEAR(x, pset.mutLocLow + (1 - 2 * u) * 0.01, 1e-15);
  EXPECT_GT(x, pset.mutLocLow);

  x = pset.mutLocHigh;
  rng = streamFrom(above);
  adjrecrate(x, rng, pset.mapDist, c);
  const double v = firstDraws(above, 1)[0];
  EXPECT_NEAR(x, pset.mutLocHigh - (2 * v - 1) * 0.01, 1e-15);
  EXPECT_LT(x, pset.mutLocHigh);
}

TEST(RandomWalkLocation, AcceptsTheUnchangedLocationAfterTheReduction) {
  Chain &c = buildLocationChain(1, 1, 0.5);
  captureScreen();
  const Seed seed = runFrom(-5, updateLocation);
  releaseScreen();
  EXPECT_NE(screen.str(), "");
  EXPECT_EQ(drawsBetween(-5, seed), 1);
  EXPECT_EQ(c.mutLoc, 0.015);
  EXPECT_EQ(c.accMutLoc, 1);
  EXPECT_EQ(c.recDistAdjust, 0.03);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(RandomWalkLocation, KeepsTheChainConsistent) {
  for (double alg : {0.0, 1.0}) {
    Chain &c = buildLocationChain(alg, 1, 0.01);
    ChainWork work;
    Rng rng = streamFrom(-17);
    int moved = 0;
    for (int i = 0; i < 300; i++) {
      const double before = c.mutLoc;
      updateLocation(rng, c, work);
      moved += c.mutLoc != before;
      ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
      ASSERT_TRUE(insideBounds(c.mutLoc));
    }
    EXPECT_EQ(c.accMutLoc, moved);
    EXPECT_GT(moved, 0);
    EXPECT_EQ(drawsBetween(-17, rng.seed), 600);
  }
}

TEST(RandomWalkLocation, RefusesAZeroWeightLocation) {
  buildLocationChain(0, 1, 0.01);
  placeMutation(0.005);
  useSegments(1, 0, 1);
  expectWalkAvoidsZeroWeight(-23);
}

TEST(RandomWalkLocation, LeavesAnImpossibleStartForAPossibleLocation) {
  Chain &c = buildLocationChain(0, 1, 0.01);
  ChainWork work;
  useSegments(1, 0, 1);
  EXPECT_EQ(c.locPrior, -std::numeric_limits<double>::infinity());
  Rng rng = streamFrom(-23);
  for (int i = 0; i < 50 && c.mutLoc == 0.015; i++)
    updateLocation(rng, c, work);
  EXPECT_NE(sequenceprob(c.mutLoc), zeroWeightMarker);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(IndependenceLocation, KeepsTheLocationAfterTenRejectedTries) {
  Chain &c = buildLocationChain(0, 3, 0.004);
  useSegments(0, 0, 0);
  pset.segweights[2] = 0;
  const std::vector<double> terms = termColumn();
  const double lik = c.logLik;
  c.accMutLoc = 4;
  EXPECT_EQ(drawsBetween(-29, runFrom(-29, updateLocation)), 20);
  EXPECT_EQ(c.mutLoc, 0.015);
  EXPECT_EQ(c.accMutLoc, 4);
  EXPECT_EQ(c.logLik, lik);
  EXPECT_EQ(termColumn(), terms);
}

TEST(IndependenceLocation, StopsAtTheFirstAcceptedTry) {
  for (double alg : {0.0, 1.0}) {
    Chain &c = buildLocationChain(alg, 3, 0.004);
    ChainWork work;
    Rng rng = streamFrom(-31);
    for (int i = 0; i < 200; i++) {
      const double before = c.accMutLoc;
      const double x = c.mutLoc;
      updateLocation(rng, c, work);
      const bool accepted = c.accMutLoc == before + 1;
      ASSERT_TRUE(accepted || c.accMutLoc == before);
      ASSERT_TRUE(accepted || c.mutLoc == x);
      ASSERT_TRUE(chainConsistent(0));
      ASSERT_TRUE(insideBounds(c.mutLoc));
    }
    EXPECT_GT(c.accMutLoc, 0);
  }
}

TEST(SliceLocation, EndsInsideTheBoundsWithConsistentTerms) {
  for (double alg : {0.0, 1.0}) {
    Chain &c = buildLocationChain(alg, 2, 0.004);
    ChainWork work;
    Rng rng = streamFrom(-37);
    for (int i = 0; i < 300; i++) {
      updateLocation(rng, c, work);
      ASSERT_TRUE(insideBounds(c.mutLoc));
      ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
      // The counter holds this update's work only: whole stepping-out steps
      // plus 0.00001 per rejected shrinkage point.
      ASSERT_GE(c.accMutLoc, 0);
      ASSERT_LT(c.accMutLoc, 0.03 / 0.004 + 2);
    }
    EXPECT_EQ(c.locPrior, 0);
  }
}

TEST(SliceLocation, AWidthOfZeroKeepsEverythingAfterTwoDraws) {
  for (int weights : {0, 1}) {
    Chain &c = buildLocationChain(0, 2, 0);
    if (weights)
      useSegments(1, 2, 3);
    c.accMutLoc = 3;
    const std::vector<double> terms = termColumn();
    const double lik = c.logLik, prior = c.locPrior;
    EXPECT_EQ(drawsBetween(-41, runFrom(-41, updateLocation)), 2);
    EXPECT_EQ(c.mutLoc, 0.015);
    EXPECT_EQ(c.logLik, lik);
    EXPECT_EQ(c.locPrior, prior);
    EXPECT_EQ(termColumn(), terms);
    EXPECT_EQ(c.accMutLoc, 0);
  }
}

TEST(SliceLocation, WithWeightsAvoidsZeroWeightLocations) {
  buildLocationChain(0, 2, 0.004);
  placeMutation(0.005);
  useSegments(1, 0, 5);
  expectWalkAvoidsZeroWeight(-43);
}

TEST(SliceLocation, WithWeightsLeavesAZeroWeightStart) {
  Chain &c = buildLocationChain(1, 2, 0.004);
  ChainWork work;
  useSegments(1, 0, 1);
  Rng rng = streamFrom(-47);
  bool left = false;
  for (int i = 0; i < 50; i++) {
    updateLocation(rng, c, work);
    ASSERT_TRUE(chainConsistent(0));
    ASSERT_NE(c.locPrior, zeroWeightMarker);
    left = left || sequenceprob(c.mutLoc) != zeroWeightMarker;
  }
  EXPECT_TRUE(left);
}

TEST(SliceLocation, EndsInsideTheBoundsFromAStartOutsideThem) {
  for (int weights : {0, 1}) {
    for (double start : {-0.2, 0.4}) {
      buildLocationChain(0, 2, 0.004);
      if (weights)
        useSegments(1, 2, 1);
      placeMutation(start);
      runFrom(-53, updateLocation);
      EXPECT_TRUE(insideBounds(chains[0].mutLoc)) << start;
      EXPECT_TRUE(chainConsistent(0));
    }
  }
}

TEST(SliceLocation, ClampedLeftEndDrawsOnlyTheShrinkagePoints) {
  // From the low bound the left end is the bound itself: the level, the
  // initial interval and one draw per shrinkage point, nothing else.
  Chain &c = buildLocationChain(0, 2, 0.004);
  placeMutation(0);
  const Seed seed = runFrom(-59, updateLocation);
  const double rejected = std::round((c.accMutLoc - std::floor(c.accMutLoc)) / 0.00001);
  EXPECT_EQ(drawsBetween(-59, seed), 3 + static_cast<int>(rejected));
  EXPECT_TRUE(insideBounds(c.mutLoc));
}

} // namespace
