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
#include "movesupport.h"

namespace {

enum class DataKind { haplotypes, unpairedGenotypes, pairedGenotypes };

// Stored log-likelihood values that make every proposal accepted (r >= 0) or
// rejected (exp(r) = 0) whatever it changes.
constexpr double acceptAll = -1e6;
constexpr double rejectAll = 1e6;

// Log probability of the second allele blocks of all leaves (unpaired
// genotypes) under the chain's current allele frequencies.
inline double partnerSum(int ch) {
  double sum = 0;
  for (const TreeRow &row : chainTree[ch])
    if (row[child1] == -1)
      sum += partnerTerm(pset.popHapFreqs[ch], row.data() + TMAT + pset.numLoci);
  return sum;
}

inline double sampleSum(int ch) {
  double sum = 0;
  for (const Haplotype &hap : normalHaps[ch])
    sum += probhap2(pset.popHapFreqs[ch], MP1[ch], hap.data());
  return sum;
}

// Sets every stored log term of chain 0 from its state, and its sorted node
// ages.
inline void computeTerms() {
  std::vector<double> times;
  for (const TreeRow &row : chainTree[0])
    times.push_back(row[nodeTime]);
  std::sort(times.begin(), times.end());
  nodeTimes = {times};
  pset.curMutAge = pset.mutAgeStart[0];
  chainTreePrior = {tprior(pset.numChromosomes, times, pset.propSampled, pset.growthRate)};
  chainMutAgePrior = {tpriormut(pset.numChromosomes, pset.mutAgeStart[0], pset.growthRate)};
  double lik = 0;
  tprob(pset.popHapFreqs[0], chainTree[0], pset.mutLocStart[0], pset.mapDist, &lik,
        pset.rootLoci[0], -1, 0, MP1[0]);
  chainLogLik = {lik};
  chainPopSampleProb = {sampleSum(0)};
  chainPartnerProb = {pset.dataAsGenotypes && !pset.geneticModel ? partnerSum(0) : 0.0};
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
  pset.alleleFreqAdjust = {0.05};
  maxAllele = 3;
  propagateFrequencies(0);
  normalHaps = {{{1, 2, 1}, {2, 3, 2}, {1, -1, 2}, {2, 1, -2}, {1, 3, 1}}};
  missingNormalLoci = {{1, 2, 1}, {1, 3, 2}};
  normalHasMissing = 1;
  switch (kind) {
  case DataKind::haplotypes:
    chainTree[0][2][TMAT + 1] = -2;
    chainTree[0][4][TMAT + 0] = -1;
    chainTree[0][4][TMAT + 2] = -2;
    missingLeaves = {{2, 4}};
    missingLoci = {{{2, 1, 0, 1, 0, 0}, {4, 2, 0, 0, 2, 0}}};
    break;
  case DataKind::unpairedGenotypes:
    pset.dataAsGenotypes = 1;
    TOTLOCI = 6;
    maxall = {2, 3, 2, 2, 3, 2};
    chainTree = {makeTree({{0, 1, 2, -1, 3, 2, 0, 1, 2, 1},
                           {1, 3, 4, 0, 1, 2, 0, 1, 2, 2},
                           {2, -1, -1, 0, 0, 3, 0, 2, 2, 1, 1, -3, 2},
                           {3, -1, -1, 1, 0, 1, 0, 1, -2, 2, 2, 2, -1},
                           {4, -1, -1, 1, 0, 1, 0, 1, 1, 2, 1, 1, 2}})};
    missingLeaves = {{2, 3}};
    missingLoci = {{{2, 0, 1, 4, 0, 0, 0, 0, 0}, {3, 1, 1, 1, 5, 0, 0, 0, 0}}};
    break;
  case DataKind::pairedGenotypes:
    pset.dataAsGenotypes = 1;
    pset.geneticModel = 1;
    pset.numChromosomes = 4;
    TMAT = 8;
    chainTree = {makeTree({{0, 1, 2, -1, 3, 2, 0, -1, 1, 2, 1},
                           {1, 3, 4, 0, 1.5, 1.5, 0, -1, 1, 2, 1},
                           {2, 5, 6, 0, 1, 2, 0, -1, 1, 2, 2},
                           {3, -1, -1, 1, 0, 1.5, 0, 6, 1, 2, 1},
                           {4, -1, -1, 1, 0, 1.5, 0, 5, 2, -3, 1},
                           {5, -1, -1, 2, 0, 1, 0, 4, 1, 2, 2},
                           {6, -1, -1, 2, 0, 1, 0, 3, 1, 2, 2}})};
    missingLeaves = {{4}};
    missingLoci = {{{4, 1, 0, 1, 0, 0}}};
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
  TreeMatrix fresh = chainTree[0];
  double lik = 0;
  tprob(pset.popHapFreqs[0], fresh, pset.mutLocStart[0], pset.mapDist, &lik, pset.rootLoci[0], -1,
        0, MP1[0]);
  for (size_t r = 0; r < fresh.size(); r++)
    if (fresh[r][nodeLogLik] != chainTree[0][r][nodeLogLik])
      return testing::AssertionFailure() << "row " << r << " term " << chainTree[0][r][nodeLogLik]
                                         << " recomputed " << fresh[r][nodeLogLik];
  if (lik != chainLogLik[0])
    return testing::AssertionFailure()
           << "log-likelihood " << chainLogLik[0] << " recomputed " << lik;
  const double sample = sampleSum(0);
  if (std::fabs(sample - chainPopSampleProb[0]) > 1e-9)
    return testing::AssertionFailure()
           << "sample term " << chainPopSampleProb[0] << " recomputed " << sample;
  if (pset.dataAsGenotypes && !pset.geneticModel) {
    const TreeMatrix now = chainTree[0];
    chainTree[0] = before;
    const double old = partnerSum(0);
    chainTree[0] = now;
    const double expected = partnerBefore + partnerSum(0) - old;
    if (std::fabs(expected - chainPartnerProb[0]) > 1e-9)
      return testing::AssertionFailure()
             << "partner term " << chainPartnerProb[0] << " expected " << expected;
  } else if (chainPartnerProb[0] != 0) {
    return testing::AssertionFailure() << "partner term " << chainPartnerProb[0];
  }
  return testing::AssertionSuccess();
}

} // namespace
