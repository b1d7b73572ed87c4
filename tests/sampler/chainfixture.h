// A one-chain run on a three-leaf genealogy with three markers, for the tests
// of the location and haplotype-state moves: building it, recomputing every
// stored log term from scratch to compare, running a move on a fresh stream
// and counting the uniform draws it consumed.
#pragma once

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "chainwork.h"
#include "genealogy/chaincheck.h"
#include "likelihood.h"
#include "random.h"
#include "testkit.h"

namespace {

// Root 0 over internal node 1 and leaf 2; node 1 over leaves 3 and 4. With
// rootLabel 2 the labels of the root and of leaf 2 are exchanged, so that the
// root is not the first row. childBranch sets the branches of leaves 3 and 4
// (node 1's age). Returns chain 0.
inline Chain &buildChain(double algSwitch, int rootLabel = 0, double childBranch = 1) {
  setSmallRun(3, 3, 1);
  pset.mapDist = {0, 0, 0.01, 0.03};
  pset.algSwitch = algSwitch;
  pset.mutLocLow = 0;
  pset.mutLocHigh = 0.03;
  chainSettings[0].mutLocStart = 0.015;
  chainSettings[0].mutAgeStart = 5;
  chainSettings[0].recDistAdjust = 0.004;
  chainSettings[0].rootLoci = {1, 2, 1};
  maxall = {2, 3, 2};
  Chain &c = chains[0];
  c.mutLoc = 0.015;
  c.mutAge = 5;
  c.propMutAge = 5;
  c.recDistAdjust = 0.004;
  c.rootLoci = {1, 2, 1};
  Table freqs(4, std::vector<double>(3, 0.0));
  freqs[1] = {0.6, 0.5, 0.7};
  freqs[2] = {0.4, 0.3, 0.3};
  freqs[3] = {0.0, 0.2, 0.0};
  c.popHapFreqs = freqs;
  c.MP1 = {{{0.6, 0.3, 0.1}, {0.3, 0.3, 0.4}}, {{0.8, 0.2}, {0.5, 0.5}, {0.6, 0.4}}};
  const double root = rootLabel, leaf = rootLabel == 0 ? 2 : 0;
  std::vector<std::vector<double>> rows(5);
  rows[static_cast<int>(root)] = {root, 1, leaf, -1, 3, 2, 0, 1, 2, 1};
  rows[1] = {1, 3, 4, root, childBranch, 3 - childBranch, 0, 1, 2, 2};
  rows[static_cast<int>(leaf)] = {leaf, -1, -1, root, 0, 3, 0, 2, 2, 1};
  rows[3] = {3, -1, -1, 1, 0, childBranch, 0, 1, 2, 2};
  rows[4] = {4, -1, -1, 1, 0, childBranch, 0, 1, 1, 2};
  c.tree = makeTree(rows);
  LikelihoodMemo memo;
  c.logLik = chainTprob(c, memo, c.tree, 0.015, c.rootLoci);
  c.rootHapProb = probhap2(c.popHapFreqs, c.MP1, c.rootLoci.data(), memo);
  return c;
}

// Moves chain 0's mutation to x, with the log-likelihood and node terms for x.
inline void placeMutation(double x) {
  Chain &c = chains[0];
  c.mutLoc = x;
  LikelihoodMemo memo;
  c.logLik = chainTprob(c, memo, c.tree, x, c.rootLoci);
}

// Location prior with sequence weights: segments (0, 0.01], (0.01, 0.02] and
// (0.02, 0.03] with the given weights; outside them the non-gene weight 1.
inline void useSegments(double w0, double w1, double w2) {
  pset.useSeqWeights = 1;
  pset.numsegs = 4;
  pset.segStart = {0, 0.01, 0.02, 0.03};
  pset.segWeight = {w0, w1, w2, 0};
  pset.segweights[0] = pset.segweights[1] = 1;
  pset.segweights[2] = 1;
  const double p = sequenceprob(chains[0].mutLoc);
  chains[0].locPrior = p == zeroWeightMarker ? -std::numeric_limits<double>::infinity() : p;
}

// Checks chain ch's genealogy and compares its stored terms with a
// recomputation from its state: every row's nodeLogLik and the
// log-likelihood exactly, the ancestral haplotype's population term, and
// (with sequence weights) the location prior.
inline testing::AssertionResult chainConsistent(int ch) {
  Chain &c = chains[ch];
  testing::AssertionResult shape = genealogyIsConsistent(c.tree, c.mutAge);
  if (!shape)
    return shape;
  TreeMatrix fresh = c.tree;
  LikelihoodMemo memo;
  double lik = 0;
  tprob(c.popHapFreqs, fresh, c.mutLoc, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo);
  for (size_t r = 0; r < fresh.size(); r++)
    if (fresh[r][nodeLogLik] != c.tree[r][nodeLogLik])
      return testing::AssertionFailure() << "row " << r << " term " << c.tree[r][nodeLogLik]
                                         << " recomputed " << fresh[r][nodeLogLik];
  if (lik != c.logLik)
    return testing::AssertionFailure() << "log-likelihood " << c.logLik << " recomputed " << lik;
  const double hap = probhap2(c.popHapFreqs, c.MP1, c.rootLoci.data(), memo);
  if (hap != c.rootHapProb)
    return testing::AssertionFailure() << "root term " << c.rootHapProb << " recomputed " << hap;
  if (pset.useSeqWeights) {
    double p = sequenceprob(c.mutLoc);
    if (p == zeroWeightMarker)
      p = -std::numeric_limits<double>::infinity();
    if (p != c.locPrior)
      return testing::AssertionFailure() << "location prior " << c.locPrior << " recomputed " << p;
  }
  return testing::AssertionSuccess();
}

// Number of uniform draws that take a fresh stream from seed start to end
// (-1 when not within 10000 draws).
inline int drawsBetween(Seed start, Seed end) {
  Rng rng = streamFrom(start);
  int count = 0;
  while (rng.seed != end && count <= 10000) {
    ran1(rng);
    count++;
  }
  return rng.seed == end ? count : -1;
}

// Runs move (a sampler move over a stream, a chain and its work record) once
// on chain 0 with a fresh work record, on a fresh stream from seed start;
// returns the seed it leaves, to count its draws with drawsBetween.
inline Seed runFrom(Seed start, void (*move)(Rng &, Chain &, ChainWork &)) {
  Rng rng = streamFrom(start);
  ChainWork work;
  move(rng, chains[0], work);
  return rng.seed;
}

// The first n uniform draws of a fresh stream from seed start.
inline std::vector<double> firstDraws(Seed start, int n) {
  Rng rng = streamFrom(start);
  std::vector<double> u(n);
  for (double &v : u)
    v = ran1(rng);
  return u;
}

} // namespace
