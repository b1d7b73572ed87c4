// A four-leaf chain whose data say nothing (one allele at every marker, so
// every term is 0) for the tests that run moves against the priors they must
// keep, and the long-run comparison they use.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "batchmeans.h"
#include "likelihood.h"
#include "testkit.h"

namespace flat {

constexpr double growth = 0.08, sampled = 0.02, age = 100;

// A four-leaf chain with flat data: root 0 over nodes 1 and 2, which hold the
// leaf pairs (3, 4) and (5, 6); two markers with one allele each.
inline Chain &flatChain() {
  setSmallRun(4, 2, 1);
  pset.mapDist = {0, 0, 0.01};
  pset.growthRate = growth;
  pset.propSampled = sampled;
  pset.mutAgeLow = 20;
  pset.mutAgeHigh = 250;
  pset.iterMutAge = 1;
  chains[0].treeAdjust = 15;
  chains[0].rootDepthAdjust = 20;
  maxall = {1, 1};
  Chain &c = chains[0];
  c.mutLoc = 0.004;
  c.mutAge = c.propMutAge = age;
  c.rootLoci = {1, 1};
  c.popHapFreqs = Table(2, std::vector<double>(2, 1.0));
  c.MP1 = {{{1.0}}};
  c.tree = makeTree({{0, 1, 2, -1, 60, 40, 0, 1, 1},
                     {1, 3, 4, 0, 20, 40, 0, 1, 1},
                     {2, 5, 6, 0, 30, 30, 0, 1, 1},
                     {3, -1, -1, 1, 0, 20, 0, 1, 1},
                     {4, -1, -1, 1, 0, 20, 0, 1, 1},
                     {5, -1, -1, 2, 0, 30, 0, 1, 1},
                     {6, -1, -1, 2, 0, 30, 0, 1, 1}});
  c.propTree = c.tree;
  c.nodeTimes = c.propTimes = {0, 0, 0, 0, 20, 30, 60};
  LikelihoodMemo memo;
  c.logLik = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
  c.treePrior = tprior(4, c.nodeTimes, age, sampled, growth);
  c.mutAgePrior = tpriormut(4, age, growth);
  return c;
}

// Batch means of a series (40 batches) and the standard error of their mean.
// The long-run mean agrees with its expected value within 4.5 standard errors.
inline void expectNear(const std::vector<double> &series, double expected,
                       const std::string &what) {
  const Estimate e = batchMeans(series);
  EXPECT_LT(std::fabs(e.mean - expected), 4.5 * e.se + 1e-3)
      << what << ": " << e.mean << " +- " << e.se << ", expected " << expected;
}

} // namespace flat
