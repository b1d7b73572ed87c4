// The run's working structures: tree-row layout per data kind, the list of
// normal haplotypes with missing alleles, the chains with their starting
// values, their own haplotype lists and population tables rebuilt from the
// haplotypes, the simulated-allele table and the fresh tree matrices.
#include <gtest/gtest.h>

#include "driver.h"
#include "testkit.h"

namespace {

// Two-allele data at L loci, the given normal-population haplotypes in every
// chain's list as the reader leaves them, and per-chain starting values that
// differ from chain to chain.
std::vector<std::vector<Haplotype>> readerResult(int n, int L, int count,
                                                 const std::vector<Haplotype> &haps) {
  setSmallRun(n, L, count);
  maxall.assign(L, 2);
  maxAllele = 2;
  for (int ch = 0; ch < count; ch++) {
    ChainSettings &own = chainSettings[ch];
    own.mutLocStart = 0.01 * (ch + 1);
    own.mutAgeStart = 40.0 + ch;
    own.treeAdjust = 2.0 * (ch + 1);
    own.rootDepthAdjust = 3.0 * (ch + 1);
    own.recDistAdjust = 0.005 * (ch + 1);
    own.alleleFreqAdjust = 0.05 * (ch + 1);
    own.rootLoci = Haplotype(L, 1 + ch % 2);
  }
  return std::vector<std::vector<Haplotype>>(count, haps);
}

std::vector<Haplotype> completeHaps() {
  return {{1, 2, 1}, {2, 2, 1}, {1, 1, 2}, {1, 2, 2}};
}

} // namespace

TEST(SetupRun, TreeRowLayoutFollowsTheDataKind) {
  struct Case {
    int genotypes, model, tmat, totloci;
  } cases[] = {{0, 0, 7, 5}, {1, 0, 7, 10}, {1, 1, 8, 5}};
  for (const Case &c : cases) {
    auto haps = readerResult(4, 5, 1, {{1, 2, 1, 2, 1}});
    pset.dataAsGenotypes = c.genotypes;
    pset.geneticModel = c.model;
    setuprun(haps);
    EXPECT_EQ(TMAT, c.tmat);
    EXPECT_EQ(TOTLOCI, c.totloci);
    ASSERT_EQ(chains.size(), 1u);
    ASSERT_EQ(chains[0].tree.size(), 7u);
    for (const TreeRow &row : chains[0].tree) {
      ASSERT_EQ(static_cast<int>(row.size()), c.tmat + c.totloci);
      EXPECT_EQ(row[nodeLabel], -1);
      EXPECT_EQ(row[nodeTime], 0);
      EXPECT_EQ(row[branchLength], -1);
      EXPECT_EQ(row[nodeLogLik], 0);
      EXPECT_EQ(row[TMAT], -1);
    }
  }
}

TEST(SetupRun, ListsNormalHaplotypesWithMissingAlleles) {
  std::vector<Haplotype> list(8, Haplotype{1, 2, 1, 2, 1});
  list[7] = {1, 2, -1, 2, -1};
  list[3] = {-1, 2, 1, 2, 1};
  auto haps = readerResult(4, 5, 2, list);
  setuprun(haps);
  ASSERT_EQ(missingNormalLoci.size(), 2u);
  EXPECT_EQ(missingNormalLoci[0], (std::vector<int>{1, 3, 0}));
  EXPECT_EQ(missingNormalLoci[1], (std::vector<int>{2, 7, 2, 4}));
  EXPECT_EQ(normalHasMissing, 1);

  haps = readerResult(4, 3, 1, completeHaps());
  setuprun(haps);
  EXPECT_TRUE(missingNormalLoci.empty());
  EXPECT_EQ(normalHasMissing, 0);
}

TEST(SetupRun, RebuildsEveryChainsFrequenciesFromTheHaplotypes) {
  auto haps = readerResult(4, 3, 3, completeHaps());
  setuprun(haps);
  ASSERT_EQ(chains.size(), 3u);
  // Allele 1 at the first locus: 3 of 4 haplotypes.
  const Table &f = chains[0].popHapFreqs;
  EXPECT_DOUBLE_EQ(f[1][0], 0.75);
  EXPECT_DOUBLE_EQ(f[2][0], 0.25);
  for (int k = 0; k < 3; k++)
    EXPECT_EQ(f[0][k], 0.0) << "label 0 keeps frequency 0";
  ASSERT_EQ(chains[0].MP1.size(), 2u);
  for (int ch = 1; ch < 3; ch++) {
    EXPECT_EQ(chains[ch].popHapFreqs, f);
    EXPECT_EQ(chains[ch].MP1, chains[0].MP1);
  }
}

TEST(SetupRun, SimulatedAllelesUseChainZerosFrequenciesPerLabel) {
  auto haps = readerResult(4, 3, 2, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}, {2, 2, 2}});
  setuprun(haps);
  ASSERT_EQ(simAlleleFreqs.size(), 3u);
  EXPECT_EQ(simAlleleFreqs[0][0], 0.0);
  EXPECT_DOUBLE_EQ(simAlleleFreqs[1][0], 0.6);
  EXPECT_DOUBLE_EQ(simAlleleFreqs[2][0], 0.4);
  EXPECT_EQ(simAlleleFreqs, chains[0].popHapFreqs);
}

TEST(SetupRun, ChainsStartFromTheirSettingsWithTheirOwnListsAndZeroTerms) {
  std::vector<Haplotype> list = completeHaps();
  list[2] = {1, -1, 2};
  auto haps = readerResult(3, 3, 2, list);
  haps[1][0] = {2, 1, 1}; // the second chain's list is its own
  pset.saveHaplotypes = 1;
  pset.dataAsGenotypes = 1;
  setuprun(haps);
  ASSERT_EQ(chains.size(), 2u);
  for (int ch = 0; ch < 2; ch++) {
    const Chain &c = chains[ch];
    EXPECT_EQ(c.index, ch);
    EXPECT_EQ(c.mutLoc, chainSettings[ch].mutLocStart);
    EXPECT_EQ(c.mutAge, chainSettings[ch].mutAgeStart);
    EXPECT_EQ(c.propMutAge, chainSettings[ch].mutAgeStart);
    EXPECT_EQ(c.treeAdjust, chainSettings[ch].treeAdjust);
    EXPECT_EQ(c.rootDepthAdjust, chainSettings[ch].rootDepthAdjust);
    EXPECT_EQ(c.recDistAdjust, chainSettings[ch].recDistAdjust);
    EXPECT_EQ(c.alleleFreqAdjust, chainSettings[ch].alleleFreqAdjust);
    EXPECT_EQ(c.rootLoci, chainSettings[ch].rootLoci);
    for (double term : {c.logLik, c.treePrior, c.mutAgePrior, c.rootHapProb, c.locPrior,
                        c.partnerProb, c.popSampleProb})
      EXPECT_EQ(term, 0.0);
    for (double p : c.props)
      EXPECT_EQ(p, 0.0);
    EXPECT_EQ(c.accTree + c.accRoot + c.accInternal + c.accFreq, 0);
    EXPECT_EQ(c.accMutLoc, 0.0);
    EXPECT_TRUE(c.locationSamples.empty());
    EXPECT_TRUE(c.ageSamples.empty());
  }
  EXPECT_EQ(chains[0].normalHaps, list);
  EXPECT_EQ(chains[1].normalHaps[0], (Haplotype{2, 1, 1}));
  // The transition counts come from the first chain's list, the first-locus
  // frequencies from each chain's own.
  EXPECT_EQ(chains[1].MP1, chains[0].MP1);
  EXPECT_DOUBLE_EQ(chains[0].popHapFreqs[1][0], 0.75);
  EXPECT_DOUBLE_EQ(chains[1].popHapFreqs[1][0], 0.5);
  ASSERT_EQ(hapstate.size(), static_cast<size_t>(maxTalliedHaplotypes));
  EXPECT_EQ(hapstate[0].size(), 7u) << "2L + 1 with genotypes";

  haps = readerResult(3, 3, 2, completeHaps());
  setuprun(haps);
  EXPECT_TRUE(hapstate.empty()) << "only kept when haplotypes are saved";
}
