// A one-chain run on a three-leaf genealogy with three markers, for the tests
// of the location and haplotype-state moves: building it, recomputing every
// stored log term from scratch to compare, running a move on a fresh stream
// and counting the uniform draws it consumed.
#pragma once

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

#include "genealogy/chaincheck.h"
#include "likelihood.h"
#include "random.h"
#include "testkit.h"

namespace {

// Root 0 over internal node 1 and leaf 2; node 1 over leaves 3 and 4. With
// rootLabel 2 the labels of the root and of leaf 2 are exchanged, so that the
// root is not the first row. childBranch sets the branches of leaves 3 and 4
// (node 1's age).
inline void buildChain(double algSwitch, int rootLabel = 0, double childBranch = 1) {
  setSmallRun(3, 3, 1);
  pset.mapDist = {0, 0, 0.01, 0.03};
  pset.algSwitch = algSwitch;
  pset.mutLocLow = 0;
  pset.mutLocHigh = 0.03;
  pset.mutLocStart = {0.015};
  pset.mutAgeStart = {5};
  pset.recDistAdjust = {0.004};
  pset.rootLoci = {{1, 2, 1}};
  maxall = {2, 3, 2};
  answer.assign(3, 0.0);
  Table freqs(4, std::vector<double>(3, 0.0));
  freqs[1] = {0.6, 0.5, 0.7};
  freqs[2] = {0.4, 0.3, 0.3};
  freqs[3] = {0.0, 0.2, 0.0};
  pset.popHapFreqs = {freqs};
  MP1 = {{{{0.6, 0.3, 0.1}, {0.3, 0.3, 0.4}}, {{0.8, 0.2}, {0.5, 0.5}, {0.6, 0.4}}}};
  const double root = rootLabel, leaf = rootLabel == 0 ? 2 : 0;
  std::vector<std::vector<double>> rows(5);
  rows[static_cast<int>(root)] = {root, 1, leaf, -1, 3, 2, 0, 1, 2, 1};
  rows[1] = {1, 3, 4, root, childBranch, 3 - childBranch, 0, 1, 2, 2};
  rows[static_cast<int>(leaf)] = {leaf, -1, -1, root, 0, 3, 0, 2, 2, 1};
  rows[3] = {3, -1, -1, 1, 0, childBranch, 0, 1, 2, 2};
  rows[4] = {4, -1, -1, 1, 0, childBranch, 0, 1, 1, 2};
  chainTree = {makeTree(rows)};
  double lik = 0;
  tprob(freqs, chainTree[0], 0.015, pset.mapDist, &lik, pset.rootLoci[0], -1, 0, MP1[0]);
  chainLogLik = {lik};
  chainRootHapProb = {probhap2(freqs, MP1[0], pset.rootLoci[0].data())};
  chainLocPrior = {0};
  chainPartnerProb = {0};
  chainTreePrior = {0};
  chainMutAgePrior = {0};
  chainPopSampleProb = {0};
  accMutLoc = {0};
  accRoot = {0};
  accInternal = {0};
  accTree = {0};
  accFreq = {0};
}

// Moves chain 0's mutation to x, with the log-likelihood and node terms for x.
inline void placeMutation(double x) {
  pset.mutLocStart[0] = x;
  tprob(pset.popHapFreqs[0], chainTree[0], x, pset.mapDist, &chainLogLik[0], pset.rootLoci[0], -1,
        0, MP1[0]);
}

// Location prior with sequence weights: segments (0, 0.01], (0.01, 0.02] and
// (0.02, 0.03] with the given weights; outside them the non-gene weight 1.
inline void useSegments(double w0, double w1, double w2) {
  pset.useSeqWeights = 1;
  numsegs = 4;
  pset.segStart = {0, 0.01, 0.02, 0.03};
  pset.segWeight = {w0, w1, w2, 0};
  segweights[0] = segweights[1] = 1;
  segweights[2] = 1;
  const double p = sequenceprob(pset.mutLocStart[0]);
  chainLocPrior = {p == zeroWeightMarker ? -std::numeric_limits<double>::infinity() : p};
}

// Checks chain ch's genealogy and compares its stored terms with a
// recomputation from its state: every row's nodeLogLik and the
// log-likelihood exactly, the ancestral haplotype's population term, and
// (with sequence weights) the location prior.
inline testing::AssertionResult chainConsistent(int ch) {
  testing::AssertionResult shape = genealogyIsConsistent(chainTree[ch], pset.mutAgeStart[ch]);
  if (!shape)
    return shape;
  TreeMatrix fresh = chainTree[ch];
  double lik = 0;
  tprob(pset.popHapFreqs[ch], fresh, pset.mutLocStart[ch], pset.mapDist, &lik, pset.rootLoci[ch],
        -1, 0, MP1[ch]);
  for (size_t r = 0; r < fresh.size(); r++)
    if (fresh[r][nodeLogLik] != chainTree[ch][r][nodeLogLik])
      return testing::AssertionFailure() << "row " << r << " term " << chainTree[ch][r][nodeLogLik]
                                         << " recomputed " << fresh[r][nodeLogLik];
  if (lik != chainLogLik[ch])
    return testing::AssertionFailure()
           << "log-likelihood " << chainLogLik[ch] << " recomputed " << lik;
  const double hap = probhap2(pset.popHapFreqs[ch], MP1[ch], pset.rootLoci[ch].data());
  if (hap != chainRootHapProb[ch])
    return testing::AssertionFailure()
           << "root term " << chainRootHapProb[ch] << " recomputed " << hap;
  if (pset.useSeqWeights) {
    double p = sequenceprob(pset.mutLocStart[ch]);
    if (p == zeroWeightMarker)
      p = -std::numeric_limits<double>::infinity();
    if (p != chainLocPrior[ch])
      return testing::AssertionFailure()
             << "location prior " << chainLocPrior[ch] << " recomputed " << p;
  }
  return testing::AssertionSuccess();
}

// Number of uniform draws that take a fresh stream from seed start to end
// (-1 when not within 10000 draws). Leaves the stream reset.
inline int drawsBetween(Seed start, Seed end) {
  resetRandomState();
  Seed s = start;
  int count = 0;
  while (s != end && count <= 10000) {
    ran1(&s);
    count++;
  }
  resetRandomState();
  return s == end ? count : -1;
}

// Runs move (a sampler move over a seed and a chain) once on chain 0, on a
// fresh stream from seed start; returns the seed it leaves, to count its
// draws with drawsBetween.
inline Seed runFrom(Seed start, void (*move)(Seed *, int)) {
  resetRandomState();
  move(&start, 0);
  return start;
}

// The first n uniform draws of a fresh stream from seed start.
inline std::vector<double> firstDraws(Seed start, int n) {
  resetRandomState();
  Seed s = start;
  std::vector<double> u(n);
  for (double &v : u)
    v = ran1(&s);
  resetRandomState();
  return u;
}

} // namespace
