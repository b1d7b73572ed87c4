// One-chain runs of each data kind (haplotypes, unpaired and paired
// genotypes) with imputed missing alleles in patient leaves and normal
// haplotypes, for the tests of the frequency, missing-allele and phase moves,
// stored log-likelihoods that force every proposal's acceptance or rejection,
// and a check that a chain's stored log terms match its state.
#pragma once

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

#include "chainfixture.h"
#include "genealogy/chaincheck.h"
#include "likelihood.h"
#include <limits>

#include "movesupport.h"

namespace {

enum class DataKind { haplotypes, unpairedGenotypes, pairedGenotypes };

// Stored log-likelihood values that make every proposal accepted (r >= 0) or
// rejected (exp(r) = 0) whatever it changes. Accepting every proposal takes a
// current state the data rule out: a finite value unlike the sum of the
// stored node terms would mislead the moves that judge a change of a few
// terms against that sum.
constexpr double acceptAll = -std::numeric_limits<double>::infinity();
constexpr double rejectAll = 1e6;

// Log probability of the second allele blocks of all leaves (unpaired
// genotypes) under the chain's current allele frequencies.
inline double partnerSum(int ch) {
  LikelihoodMemo memo;
  double sum = 0;
  for (const TreeRow &row : chains[ch].tree)
    if (row[child1] == -1)
      sum += allelesLogProb(chains[ch].popHapFreqs, row.data() + TMAT + pset.numLoci, memo);
  return sum;
}

inline double sampleSum(int ch) {
  LikelihoodMemo memo;
  double sum = 0;
  for (const Haplotype &hap : chains[ch].normalHaps)
    sum += probhap2(chains[ch].popHapFreqs, chains[ch].MP1, hap.data(), memo);
  return sum;
}

// Sets every stored log term of chain 0 from its state, and its sorted node
// ages.
inline void computeTerms() {
  Chain &c = chains[0];
  std::vector<double> times;
  for (const TreeRow &row : c.tree)
    times.push_back(row[nodeTime]);
  std::sort(times.begin(), times.end());
  c.nodeTimes = times;
  c.propMutAge = c.mutAge;
  c.treePrior = tprior(pset.numChromosomes, times, c.mutAge, pset.propSampled, pset.growthRate);
  c.mutAgePrior = tpriormut(pset.numChromosomes, c.mutAge, pset.growthRate);
  LikelihoodMemo memo;
  c.logLik = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
  c.popSampleProb = sampleSum(0);
  c.partnerProb = pset.dataAsGenotypes && !pset.geneticModel ? partnerSum(0) : 0.0;
}

// A two-leaf run of one marker with three alleles and no transition table,
// with the given normal haplotypes and leaf alleles (negative: imputed).
inline Chain &oneMarkerChain(const std::vector<Haplotype> &normalHaps, double leaf1, double leaf2) {
  setSmallRun(2, 1, 1);
  pset.mapDist = {0, 0};
  chainSettings[0].mutLocStart = 0.5;
  chainSettings[0].mutAgeStart = 2;
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  chainSettings[0].rootLoci = {1};
  maxall = {3};
  maxAllele = 3;
  Chain &c = chains[0];
  c.mutLoc = 0.5;
  c.mutAge = 2;
  c.rootLoci = {1};
  c.popHapFreqs = {{0}, {0.5}, {0.3}, {0.2}};
  c.MP1 = TransTable();
  c.normalHaps = normalHaps;
  c.tree = makeTree(
      {{0, 1, 2, -1, 1, 1, 0, 1}, {1, -1, -1, 0, 0, 1, 0, leaf1}, {2, -1, -1, 0, 0, 1, 0, leaf2}});
  return c;
}

// The three-marker run of chainfixture.h with propagated frequencies, five
// normal haplotypes (two with an imputed allele) and a genealogy of the
// given data kind whose leaves carry missing alleles:
// - haplotypes: leaf 2 misses marker 2, leaf 4 markers 1 and 3;
// - unpaired genotypes (three individuals, leaf rows of two blocks): leaf 2
//   misses the second allele of marker 2, leaf 3 the first allele of marker 2
//   and the second of marker 3, leaf 4 is homozygous and complete;
// - paired genotypes (two individuals, leaves 3 + 6 and 4 + 5): leaf 4 misses
//   marker 2.
inline void buildDataChain(DataKind kind, int flipAllLoci = 0) {
  buildChain(1.0);
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  pset.flipAllLoci = flipAllLoci;
  chains[0].alleleFreqAdjust = 0.05;
  maxAllele = 3;
  Chain &c = chains[0];
  propagateFrequencies(c.popHapFreqs, c.MP1);
  c.normalHaps = {{1, 2, 1}, {2, 3, 2}, {1, -1, 2}, {2, 1, -2}, {1, 3, 1}};
  missingNormalLoci = {{1, 2, 1}, {1, 3, 2}};
  normalHasMissing = 1;
  switch (kind) {
  case DataKind::haplotypes:
    c.tree[2][TMAT + 1] = -2;
    c.tree[4][TMAT + 0] = -1;
    c.tree[4][TMAT + 2] = -2;
    c.missingLeaves = {2, 4};
    c.missingLoci = {{2, 1, 0, 1, 0, 0}, {4, 2, 0, 0, 2, 0}};
    break;
  case DataKind::unpairedGenotypes:
    pset.dataAsGenotypes = 1;
    TOTLOCI = 6;
    maxall = {2, 3, 2, 2, 3, 2};
    c.tree = makeTree({{0, 1, 2, -1, 3, 2, 0, 1, 2, 1},
                       {1, 3, 4, 0, 1, 2, 0, 1, 2, 2},
                       {2, -1, -1, 0, 0, 3, 0, 2, 2, 1, 1, -3, 2},
                       {3, -1, -1, 1, 0, 1, 0, 1, -2, 2, 2, 2, -1},
                       {4, -1, -1, 1, 0, 1, 0, 1, 1, 2, 1, 1, 2}});
    c.missingLeaves = {2, 3};
    c.missingLoci = {{2, 0, 1, 4, 0, 0, 0, 0, 0}, {3, 1, 1, 1, 5, 0, 0, 0, 0}};
    break;
  case DataKind::pairedGenotypes:
    pset.dataAsGenotypes = 1;
    pset.geneticModel = 1;
    pset.numChromosomes = 4;
    TMAT = 8;
    c.tree = makeTree({{0, 1, 2, -1, 3, 2, 0, -1, 1, 2, 1},
                       {1, 3, 4, 0, 1.5, 1.5, 0, -1, 1, 2, 1},
                       {2, 5, 6, 0, 1, 2, 0, -1, 1, 2, 2},
                       {3, -1, -1, 1, 0, 1.5, 0, 6, 1, 2, 1},
                       {4, -1, -1, 1, 0, 1.5, 0, 5, 2, -3, 1},
                       {5, -1, -1, 2, 0, 1, 0, 4, 1, 2, 2},
                       {6, -1, -1, 2, 0, 1, 0, 3, 1, 2, 2}});
    c.missingLeaves = {4};
    c.missingLoci = {{4, 1, 0, 1, 0, 0}};
    break;
  }
  computeTerms();
}

// The chain's stored terms against its state: the genealogy's structure and
// priors (chainMatchesRecomputation), every row's nodeLogLik and the
// log-likelihood exactly, the normal-sample term, and the partner term
// expected from its value before the move (partnerBefore) changed by the
// difference of the leaves' partner terms after and before the move
// (secondBefore: the leaf rows before it), both under the current
// frequencies. The frequency move does not rescore the partner chromosomes,
// so only the leaf moves change that term.
inline testing::AssertionResult termsCurrent(double partnerBefore, const TreeMatrix &before) {
  testing::AssertionResult chain = chainMatchesRecomputation(0);
  if (!chain)
    return chain;
  Chain &c = chains[0];
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
  const double sample = sampleSum(0);
  if (std::fabs(sample - c.popSampleProb) > 1e-9)
    return testing::AssertionFailure()
           << "sample term " << c.popSampleProb << " recomputed " << sample;
  if (pset.dataAsGenotypes && !pset.geneticModel) {
    const TreeMatrix now = c.tree;
    c.tree = before;
    const double old = partnerSum(0);
    c.tree = now;
    const double expected = partnerBefore + partnerSum(0) - old;
    if (std::fabs(expected - c.partnerProb) > 1e-9)
      return testing::AssertionFailure()
             << "partner term " << c.partnerProb << " expected " << expected;
  } else if (c.partnerProb != 0) {
    return testing::AssertionFailure() << "partner term " << c.partnerProb;
  }
  return testing::AssertionSuccess();
}

} // namespace
