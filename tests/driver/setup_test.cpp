// The run's working structures: tree-row layout per data kind, the list of
// normal haplotypes with missing alleles, the rebuilt population tables, the
// simulated-allele table and the fresh tree matrices.
#include <gtest/gtest.h>

#include "driver.h"
#include "testkit.h"

namespace {

// Two-allele data at L loci and the given normal-population haplotypes.
void readerResult(int n, int L, int chains, const std::vector<Haplotype> &haps) {
  setSmallRun(n, L, chains);
  maxall.assign(L, 2);
  maxAllele = 2;
  normalHaps.assign(chains, haps);
  pset.popHapFreqs.assign(chains, Table(3, std::vector<double>(L, 0.123)));
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
    readerResult(4, 5, 1, {{1, 2, 1, 2, 1}});
    pset.dataAsGenotypes = c.genotypes;
    pset.geneticModel = c.model;
    setuprun();
    EXPECT_EQ(TMAT, c.tmat);
    EXPECT_EQ(TOTLOCI, c.totloci);
    ASSERT_EQ(chainTree.size(), 1u);
    ASSERT_EQ(chainTree[0].size(), 7u);
    for (const TreeRow &row : chainTree[0]) {
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
  std::vector<Haplotype> haps(8, Haplotype{1, 2, 1, 2, 1});
  haps[7] = {1, 2, -1, 2, -1};
  haps[3] = {-1, 2, 1, 2, 1};
  readerResult(4, 5, 2, haps);
  setuprun();
  ASSERT_EQ(missingNormalLoci.size(), 2u);
  EXPECT_EQ(missingNormalLoci[0], (std::vector<int>{1, 3, 0}));
  EXPECT_EQ(missingNormalLoci[1], (std::vector<int>{2, 7, 2, 4}));
  EXPECT_EQ(normalHasMissing, 1);

  readerResult(4, 3, 1, completeHaps());
  setuprun();
  EXPECT_TRUE(missingNormalLoci.empty());
  EXPECT_EQ(normalHasMissing, 0);
}

TEST(SetupRun, RebuildsEveryChainsFrequenciesFromTheHaplotypes) {
  readerResult(4, 3, 3, completeHaps());
  setuprun();
  ASSERT_EQ(MP1.size(), 3u);
  // Allele 1 at the first locus: 3 of 4 haplotypes; the reader's values are gone.
  EXPECT_DOUBLE_EQ(pset.popHapFreqs[0][1][0], 0.75);
  EXPECT_DOUBLE_EQ(pset.popHapFreqs[0][2][0], 0.25);
  for (int k = 0; k < 3; k++)
    EXPECT_EQ(pset.popHapFreqs[0][0][k], 0.0) << "label 0 keeps frequency 0";
  for (int ch = 1; ch < 3; ch++)
    EXPECT_EQ(pset.popHapFreqs[ch], pset.popHapFreqs[0]);
}

TEST(SetupRun, SimulatedAllelesUseChainZerosFrequenciesPerLabel) {
  readerResult(4, 3, 2, {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {2, 2, 2}, {2, 2, 2}});
  setuprun();
  ASSERT_EQ(simAlleleFreqs.size(), 3u);
  EXPECT_EQ(simAlleleFreqs[0][0], 0.0);
  EXPECT_DOUBLE_EQ(simAlleleFreqs[1][0], 0.6);
  EXPECT_DOUBLE_EQ(simAlleleFreqs[2][0], 0.4);
  EXPECT_EQ(simAlleleFreqs, pset.popHapFreqs[0]);
}

TEST(SetupRun, CreatesThePerChainArraysAtZero) {
  readerResult(3, 3, 2, completeHaps());
  pset.saveHaplotypes = 1;
  pset.dataAsGenotypes = 1;
  setuprun();
  for (const auto *terms :
       {&chainPopSampleProb, &chainMutAgePrior, &chainTreePrior, &chainLocPrior, &chainRootHapProb})
    EXPECT_EQ(*terms, std::vector<double>(2, 0.0));
  ASSERT_EQ(props.size(), 5u);
  for (const auto &p : props)
    EXPECT_EQ(p, std::vector<double>(2, 0.0));
  EXPECT_EQ(answer, std::vector<double>(3, 0.0));
  ASSERT_EQ(hapstate.size(), static_cast<size_t>(sizething));
  EXPECT_EQ(hapstate[0].size(), 7u) << "2L + 1 with genotypes";

  readerResult(3, 3, 2, completeHaps());
  setuprun();
  EXPECT_TRUE(hapstate.empty()) << "only kept when haplotypes are saved";
}
