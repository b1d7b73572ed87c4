// The mixing sampler's own moves on the three-leaf chain: the allele draws
// against the conditional computed from whole-likelihood evaluations, the frequency move on the
// whole posterior, the start built from the leaves (and the phase of
// genotypes), and the chains' streams.
#include <cmath>
#include <vector>

#include "likelihood.h"
#include "mixing.h"
#include "sampler.h"
#include "sampler/chainfixture.h"
#include "sampler/datachains.h"

namespace {

// The conditional of one allele by brute force: the whole likelihood (plus
// the ancestral haplotype's term when rootTerm) for every allele of the
// locus, normalised. The chain is left with allele `keep` and its terms
// recomputed.
template <class Set>
std::vector<double> bruteConditional(Chain &c, int count, Set setAllele, bool rootTerm, int keep) {
  LikelihoodMemo memo;
  std::vector<double> logp(count);
  double top = -1e300;
  for (int a = 0; a < count; a++) {
    setAllele(a + 1);
    TreeMatrix copy = c.tree;
    LikelihoodMemo memo;
    double lik = 0;
    tprob(c.popHapFreqs, copy, c.mutLoc, pset.mapDist, &lik, c.rootLoci, -1, 0, c.MP1, memo);
    logp[a] = lik + (rootTerm ? probhap2(c.popHapFreqs, c.MP1, c.rootLoci.data(), memo) : 0);
    top = std::max(top, logp[a]);
  }
  setAllele(keep);
  c.logLik = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
  c.rootHapProb = probhap2(c.popHapFreqs, c.MP1, c.rootLoci.data(), memo);
  double total = 0;
  for (double &v : logp)
    total += (v = std::exp(v - top));
  for (double &v : logp)
    v /= total;
  return logp;
}

// Every count within 5 binomial standard deviations of its expectation.
void expectFrequencies(const std::vector<int> &counts, const std::vector<double> &p, int draws) {
  for (size_t a = 0; a < p.size(); a++) {
    const double expected = p[a] * draws;
    const double sd = std::sqrt(draws * p[a] * (1 - p[a]));
    EXPECT_NEAR(counts[a], expected, 5 * sd + 1) << "allele " << a + 1;
  }
}

} // namespace

// On a map a hundred times longer than the fixture's, crossovers on the
// branches are likely and the conditional spreads over the alleles, so that a
// wrong proposal ratio shows.
TEST(FullConditional, InternalAlleleFollowsItsConditionalAndKeepsTermsCurrent) {
  Chain &c = buildChain(1);
  ChainWork work;
  pset.mapDist = {0, 0, 1, 3};
  pset.mutLocHigh = 3;
  c.mutLoc = 1.5;
  const int node = 1, locus = 1, count = maxall[locus];
  const std::vector<double> p = bruteConditional(
      c, count, [&](int a) { c.tree[node][TMAT + locus] = a; }, false, 1);
  // The Metropolis-Hastings draws are kept every tenth, so that the kept ones
  // are nearly independent and the binomial yardstick applies.
  Rng rng = streamFrom(-17);
  RowParts parts;
  takeRowParts(c, work.memo, parts);
  const int draws = 20000, thinning = 10;
  std::vector<int> counts(count, 0);
  for (int d = 0; d < draws * thinning; d++) {
    drawNodeAllele(rng, c, work, parts, node, locus);
    if (d % thinning == 0)
      counts[static_cast<int>(c.tree[node][TMAT + locus]) - 1]++;
    if (d < 50) {
      ASSERT_TRUE(chainConsistent(0));
    }
  }
  expectFrequencies(counts, p, draws);
}

TEST(FullConditional, RootAlleleFollowsItsConditionalWithItsPopulationTerm) {
  Chain &c = buildChain(0);
  ChainWork work;
  const int locus = 1, count = maxall[locus];
  const std::vector<double> p = bruteConditional(
      c, count, [&](int a) { c.rootLoci[locus] = a; }, true, c.rootLoci[locus]);
  Rng rng = streamFrom(-29);
  RowParts parts;
  takeRowParts(c, work.memo, parts);
  const int draws = 20000;
  std::vector<int> counts(count, 0);
  for (int d = 0; d < draws; d++) {
    drawRootAllele(rng, c, work, parts, locus);
    counts[c.rootLoci[locus] - 1]++;
    if (d < 50) {
      ASSERT_TRUE(chainConsistent(0));
    }
  }
  expectFrequencies(counts, p, draws);
}

TEST(FullConditional, LeavesAndSingleAlleleLociAreLeftAlone) {
  Chain &c = buildChain(1);
  ChainWork work;
  maxall[0] = 1;
  const TreeMatrix before = c.tree;
  Rng rng = streamFrom(-3);
  RowParts parts;
  takeRowParts(c, work.memo, parts);
  EXPECT_FALSE(drawNodeAllele(rng, c, work, parts, 1, 0));
  EXPECT_FALSE(drawNodeAllele(rng, c, work, parts, 3, 1));
  EXPECT_FALSE(drawRootAllele(rng, c, work, parts, 0));
  EXPECT_EQ(c.tree, before);
}

TEST(WholeTargetFrequencyMove, KeepsTheAncestralTermAndTheTablesValid) {
  Chain &c = buildChain(1);
  ChainWork work;
  c.alleleFreqAdjust = 0.2;
  maxAllele = 3;
  Rng rng = streamFrom(-41);
  for (int m = 0; m < 300; m++) {
    updateFrequenciesWhole(rng, c, work);
    ASSERT_TRUE(chainConsistent(0)) << "after move " << m;
    for (int k = 0; k < pset.numLoci; k++) {
      double sum = 0;
      for (int a = 1; a <= maxall[k]; a++)
        sum += c.popHapFreqs[a][k];
      ASSERT_NEAR(sum, 1.0, 1e-9) << "locus " << k;
    }
  }
  EXPECT_GT(c.accFreq, 30);
}

TEST(MixingStart, InternalNodesAndRootTakeTheirLeavesMajority) {
  Chain &c = buildChain(1);
  ChainWork work;
  pset.iterAncestral = 1;
  startFromLeaves(c, work);
  // Node 1 over leaves (1,2,2) and (1,1,2): a tie at locus 1 takes allele 1.
  EXPECT_EQ(c.tree[1][TMAT], 1);
  EXPECT_EQ(c.tree[1][TMAT + 1], 1);
  EXPECT_EQ(c.tree[1][TMAT + 2], 2);
  // All leaves: (2,2,1), (1,2,2), (1,1,2).
  EXPECT_EQ(c.rootLoci, (Haplotype{1, 2, 2}));
  EXPECT_EQ(c.tree[0][TMAT + 1], 2);
  EXPECT_TRUE(chainConsistent(0));
}

TEST(MixingStart, FixedAncestralHaplotypeStays) {
  Chain &c = buildChain(1);
  ChainWork work;
  pset.iterAncestral = 0;
  startFromLeaves(c, work);
  EXPECT_EQ(c.rootLoci, (Haplotype{1, 2, 1}));
  EXPECT_TRUE(chainConsistent(0));
}

// Unpaired genotypes [2, 2, 1 | 1, -3, 2], [1, -2, 2 | 2, 2, -1] and
// [1, 1, 2 | 1, 1, 2]: the alleles most patients carry are 1, 2 and 2. The
// first individual's first and third markers are exchanged to put them on the
// disease chromosome; the second's imputed cells stay where they are; the
// partner term follows the second blocks.
TEST(MixingStart, GenotypesStartWithTheCommonestAllelesOnTheDiseaseChromosome) {
  buildDataChain(DataKind::unpairedGenotypes);
  Chain &c = chains[0];
  ChainWork work;
  const TreeMatrix before = c.tree;
  phaseTowardsConsensus(c, work);
  const std::vector<double> first(c.tree[2].begin() + TMAT, c.tree[2].end());
  EXPECT_EQ(first, (std::vector<double>{1, 2, 2, 2, -3, 1}));
  EXPECT_EQ(c.tree[3], before[3]);
  EXPECT_EQ(c.tree[4], before[4]);
  EXPECT_DOUBLE_EQ(c.partnerProb, partnerSum(0));
}

TEST(ChainStreams, DependOnTheRunStreamAndTheChainOnly) {
  const Rng run = streamFrom(-1234);
  Rng a0 = chainStream(run, 0), a0again = chainStream(run, 0), a1 = chainStream(run, 1);
  Rng b0 = chainStream(streamFrom(-1235), 0);
  const double u = ran1(a0);
  EXPECT_EQ(u, ran1(a0again));
  EXPECT_NE(u, ran1(a1));
  EXPECT_NE(u, ran1(b0));
}

TEST(SamplerThreads, AtLeastOneAtMostOnePerChain) {
  EXPECT_EQ(workerCount(3, 2), 2);
  EXPECT_EQ(workerCount(1, 4), 1);
  EXPECT_GE(workerCount(0, 4), 1);
}

// Drawn starting locations are spread: chain k of four starts in the k-th
// quarter of the interval. Given starts, and drawn ones with sequence
// weights, stay as they are.
TEST(MixingStart, DrawnLocationsAreSpreadOverTheInterval) {
  setSmallRun(3, 3, 4);
  pset.mutLocLow = 0.01;
  pset.mutLocHigh = 0.05;
  pset.iterMutLocation = 1;
  for (bool drawn : {true, false}) {
    pset.mutLocStartDrawn = drawn;
    for (int trial = 0; trial < 50; trial++) {
      Rng stream = streamFrom(-1 - trial);
      for (Chain &c : chains) {
        c.mutLoc = 0.0123;
        spreadStart(stream, c);
        if (drawn) {
          EXPECT_GE(c.mutLoc, 0.01 + 0.01 * c.index);
          EXPECT_LT(c.mutLoc, 0.01 + 0.01 * (c.index + 1));
        } else {
          EXPECT_EQ(c.mutLoc, 0.0123);
        }
      }
    }
  }
  pset.mutLocStartDrawn = true;
  pset.useSeqWeights = 1;
  Rng stream = streamFrom(-5);
  chains[3].mutLoc = 0.0123;
  spreadStart(stream, chains[3]);
  EXPECT_EQ(chains[3].mutLoc, 0.0123);
}

// The genealogy stretch recomputes only the rows whose branch it changes; on
// flat data every term is 0 and a row left out would go unseen, so here the
// three-leaf chain with data checks every term after every move, and the
// stored priors against fresh ones. Stretches above a node other than the
// leaves' level must occur (the youngest internal node keeps its age while
// the age changes).
TEST(GenealogyStretch, KeepsEveryTermCurrentOnInformativeData) {
  Chain &c = buildChain(1, 0, 0.5);
  ChainWork work;
  pset.mutAgeLow = 1;
  pset.mutAgeHigh = 200;
  pset.growthRate = 0.5;
  pset.propSampled = 0.1;
  const int n = pset.numChromosomes;
  c.propTree = c.tree;
  c.nodeTimes.assign(c.tree.size(), 0.0);
  for (size_t r = 0; r < c.tree.size(); r++)
    c.nodeTimes[r] = c.tree[r][nodeTime];
  c.treePrior = tprior(n, c.nodeTimes, c.mutAge, pset.propSampled, pset.growthRate);
  c.mutAgePrior = tpriormut(n, c.mutAge, pset.growthRate);
  Rng rng = streamFrom(-61);
  int abovePivot = 0, moved = 0;
  for (int m = 0; m < 3000; m++) {
    const double age = c.mutAge, young = c.tree[1][nodeTime];
    scaleGenealogy(rng, c, work);
    ASSERT_TRUE(chainConsistent(0)) << "after move " << m;
    ASSERT_EQ(c.treePrior, tprior(n, c.nodeTimes, c.mutAge, pset.propSampled, pset.growthRate));
    ASSERT_EQ(c.mutAgePrior, tpriormut(n, c.mutAge, pset.growthRate));
    for (size_t r = 0; r < c.tree.size(); r++)
      ASSERT_EQ(c.nodeTimes[r], c.tree[r][nodeTime]) << "row " << r;
    moved += c.mutAge != age;
    abovePivot += c.mutAge != age && c.tree[1][nodeTime] == young;
  }
  EXPECT_GT(moved, 300);
  EXPECT_GT(abovePivot, 100);
}
