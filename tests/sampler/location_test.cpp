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
  for (const TreeRow &row : chainTree[0])
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
void buildLocationChain(double algSwitch, int mode, double width) {
  buildChain(algSwitch);
  pset.iterMutLocation = mode;
  pset.recDistAdjust = {width};
}

// 300 location updates of chain 0 from a fresh stream at seed, none of which
// may end at a location of zero weight, outside the bounds, or with the
// chain's terms out of date.
void expectWalkAvoidsZeroWeight(Seed seed) {
  resetRandomState();
  for (int i = 0; i < 300; i++) {
    updateLocation(&seed, 0);
    ASSERT_NE(sequenceprob(pset.mutLocStart[0]), zeroWeightMarker);
    ASSERT_TRUE(insideBounds(pset.mutLocStart[0]));
    ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
  }
}

TEST(Adjrecrate, ReducesAnOversizedWidthOnceWithoutDrawing) {
  buildChain(0);
  pset.recDistAdjust = {0.05};
  resetRandomState();
  Seed seed = -11;
  double x = 0.015;
  captureScreen();
  adjrecrate(x, &seed, pset.mapDist, 0);
  adjrecrate(x, &seed, pset.mapDist, 0);
  releaseScreen();
  EXPECT_EQ(screen.str(), "Adjustment level for recdist is too large. It has been changed "
                          "to0.03, the size of the interval specified.\n");
  EXPECT_EQ(pset.recDistAdjust[0], 0.03);
  // The first call leaves x alone; only the second one draws a step.
  EXPECT_EQ(drawsBetween(-11, seed), 1);
  const double u = firstDraws(-11, 1)[0];
  EXPECT_EQ(x, reflectedStep(0.015, u, 0.03));
}

TEST(Adjrecrate, KeepsAWidthEqualToTheInterval) {
  buildChain(0);
  pset.recDistAdjust = {0.03};
  resetRandomState();
  Seed seed = -11;
  double x = 0.015;
  captureScreen();
  adjrecrate(x, &seed, pset.mapDist, 0);
  releaseScreen();
  EXPECT_EQ(screen.str(), "");
  EXPECT_EQ(pset.recDistAdjust[0], 0.03);
  const double u = firstDraws(-11, 1)[0];
  EXPECT_EQ(x, reflectedStep(0.015, u, 0.03));
}

TEST(Adjrecrate, ReflectsOnceAtEitherBound) {
  buildChain(0);
  pset.recDistAdjust = {0.01};
  // Seeds whose first draw steps below the low bound, and above the high one.
  Seed below = -1, above = -1;
  while (firstDraws(below, 1)[0] >= 0.5)
    below--;
  while (firstDraws(above, 1)[0] <= 0.5)
    above--;

  double x = pset.mutLocLow;
  resetRandomState();
  Seed seed = below;
  adjrecrate(x, &seed, pset.mapDist, 0);
  const double u = firstDraws(below, 1)[0];
  EXPECT_NEAR(x, pset.mutLocLow + (1 - 2 * u) * 0.01, 1e-15);
  EXPECT_GT(x, pset.mutLocLow);

  x = pset.mutLocHigh;
  resetRandomState();
  seed = above;
  adjrecrate(x, &seed, pset.mapDist, 0);
  const double v = firstDraws(above, 1)[0];
  EXPECT_NEAR(x, pset.mutLocHigh - (2 * v - 1) * 0.01, 1e-15);
  EXPECT_LT(x, pset.mutLocHigh);
}

TEST(RandomWalkLocation, AcceptsTheUnchangedLocationAfterTheReduction) {
  buildLocationChain(1, 1, 0.5);
  captureScreen();
  const Seed seed = runFrom(-5, updateLocation);
  releaseScreen();
  EXPECT_NE(screen.str(), "");
  EXPECT_EQ(drawsBetween(-5, seed), 1);
  EXPECT_EQ(pset.mutLocStart[0], 0.015);
  EXPECT_EQ(accMutLoc[0], 1);
  EXPECT_EQ(pset.recDistAdjust[0], 0.03);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(RandomWalkLocation, KeepsTheChainConsistent) {
  for (double alg : {0.0, 1.0}) {
    buildLocationChain(alg, 1, 0.01);
    resetRandomState();
    Seed seed = -17;
    int moved = 0;
    for (int i = 0; i < 300; i++) {
      const double before = pset.mutLocStart[0];
      updateLocation(&seed, 0);
      moved += pset.mutLocStart[0] != before;
      ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
      ASSERT_TRUE(insideBounds(pset.mutLocStart[0]));
    }
    EXPECT_EQ(accMutLoc[0], moved);
    EXPECT_GT(moved, 0);
    EXPECT_EQ(drawsBetween(-17, seed), 600);
  }
}

TEST(RandomWalkLocation, RefusesAZeroWeightLocation) {
  buildLocationChain(0, 1, 0.01);
  placeMutation(0.005);
  useSegments(1, 0, 1);
  expectWalkAvoidsZeroWeight(-23);
}

TEST(RandomWalkLocation, LeavesAnImpossibleStartForAPossibleLocation) {
  buildLocationChain(0, 1, 0.01);
  useSegments(1, 0, 1);
  EXPECT_EQ(chainLocPrior[0], -std::numeric_limits<double>::infinity());
  resetRandomState();
  Seed seed = -23;
  for (int i = 0; i < 50 && pset.mutLocStart[0] == 0.015; i++)
    updateLocation(&seed, 0);
  EXPECT_NE(sequenceprob(pset.mutLocStart[0]), zeroWeightMarker);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(IndependenceLocation, KeepsTheLocationAfterTenRejectedTries) {
  buildLocationChain(0, 3, 0.004);
  useSegments(0, 0, 0);
  segweights[2] = 0;
  const std::vector<double> terms = termColumn();
  const double lik = chainLogLik[0];
  accMutLoc = {4};
  EXPECT_EQ(drawsBetween(-29, runFrom(-29, updateLocation)), 20);
  EXPECT_EQ(pset.mutLocStart[0], 0.015);
  EXPECT_EQ(accMutLoc[0], 4);
  EXPECT_EQ(chainLogLik[0], lik);
  EXPECT_EQ(termColumn(), terms);
}

TEST(IndependenceLocation, StopsAtTheFirstAcceptedTry) {
  for (double alg : {0.0, 1.0}) {
    buildLocationChain(alg, 3, 0.004);
    resetRandomState();
    Seed seed = -31;
    for (int i = 0; i < 200; i++) {
      const double before = accMutLoc[0];
      const double x = pset.mutLocStart[0];
      updateLocation(&seed, 0);
      const bool accepted = accMutLoc[0] == before + 1;
      ASSERT_TRUE(accepted || accMutLoc[0] == before);
      ASSERT_TRUE(accepted || pset.mutLocStart[0] == x);
      ASSERT_TRUE(chainConsistent(0));
      ASSERT_TRUE(insideBounds(pset.mutLocStart[0]));
    }
    EXPECT_GT(accMutLoc[0], 0);
  }
}

TEST(SliceLocation, EndsInsideTheBoundsWithConsistentTerms) {
  for (double alg : {0.0, 1.0}) {
    buildLocationChain(alg, 2, 0.004);
    resetRandomState();
    Seed seed = -37;
    for (int i = 0; i < 300; i++) {
      updateLocation(&seed, 0);
      ASSERT_TRUE(insideBounds(pset.mutLocStart[0]));
      ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
      // The counter holds this update's work only: whole stepping-out steps
      // plus 0.00001 per rejected shrinkage point.
      ASSERT_GE(accMutLoc[0], 0);
      ASSERT_LT(accMutLoc[0], 0.03 / 0.004 + 2);
    }
    EXPECT_EQ(chainLocPrior[0], 0);
  }
}

TEST(SliceLocation, AWidthOfZeroKeepsEverythingAfterTwoDraws) {
  for (int weights : {0, 1}) {
    buildLocationChain(0, 2, 0);
    if (weights)
      useSegments(1, 2, 3);
    accMutLoc = {3};
    const std::vector<double> terms = termColumn();
    const double lik = chainLogLik[0], prior = chainLocPrior[0];
    EXPECT_EQ(drawsBetween(-41, runFrom(-41, updateLocation)), 2);
    EXPECT_EQ(pset.mutLocStart[0], 0.015);
    EXPECT_EQ(chainLogLik[0], lik);
    EXPECT_EQ(chainLocPrior[0], prior);
    EXPECT_EQ(termColumn(), terms);
    EXPECT_EQ(accMutLoc[0], 0);
  }
}

TEST(SliceLocation, WithWeightsAvoidsZeroWeightLocations) {
  buildLocationChain(0, 2, 0.004);
  placeMutation(0.005);
  useSegments(1, 0, 5);
  expectWalkAvoidsZeroWeight(-43);
}

TEST(SliceLocation, WithWeightsLeavesAZeroWeightStart) {
  buildLocationChain(1, 2, 0.004);
  useSegments(1, 0, 1);
  resetRandomState();
  Seed seed = -47;
  bool left = false;
  for (int i = 0; i < 50; i++) {
    updateLocation(&seed, 0);
    ASSERT_TRUE(chainConsistent(0));
    ASSERT_NE(chainLocPrior[0], zeroWeightMarker);
    left = left || sequenceprob(pset.mutLocStart[0]) != zeroWeightMarker;
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
      EXPECT_TRUE(insideBounds(pset.mutLocStart[0])) << start;
      EXPECT_TRUE(chainConsistent(0));
    }
  }
}

TEST(SliceLocation, ClampedLeftEndDrawsOnlyTheShrinkagePoints) {
  // From the low bound the left end is the bound itself: the level, the
  // initial interval and one draw per shrinkage point, nothing else.
  buildLocationChain(0, 2, 0.004);
  placeMutation(0);
  const Seed seed = runFrom(-59, updateLocation);
  const double rejected = std::round((accMutLoc[0] - std::floor(accMutLoc[0])) / 0.00001);
  EXPECT_EQ(drawsBetween(-59, seed), 3 + static_cast<int>(rejected));
  EXPECT_TRUE(insideBounds(pset.mutLocStart[0]));
}

} // namespace
