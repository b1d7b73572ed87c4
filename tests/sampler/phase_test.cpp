// Genotype phase updates: which loci draw, which individuals are treated,
// what an accepted exchange changes and what a rejected one restores.
#include <gtest/gtest.h>

#include "datachains.h"
#include "sampler.h"

namespace {

constexpr double acceptAll = -1e6;
constexpr double rejectAll = 1e6;

// Makes the two chromosomes of every individual equal (leaves 3 + 6 copy leaf
// 3 and leaves 4 + 5 copy leaf 4 with paired genotypes, the second block the
// first with unpaired genotypes).
void makeHomozygous() {
  TreeMatrix &tree = chainTree[0];
  for (int k = 0; k < pset.numLoci; k++)
    if (pset.geneticModel) {
      tree[6][TMAT + k] = tree[3][TMAT + k];
      tree[5][TMAT + k] = tree[4][TMAT + k];
    } else {
      for (int leaf = 2; leaf <= 4; leaf++)
        tree[leaf][TMAT + pset.numLoci + k] = tree[leaf][TMAT + k];
    }
  computeTerms();
}

TEST(Phase, HaplotypeDataDrawsNothing) {
  buildDataChain(DataKind::haplotypes);
  const TreeMatrix before = chainTree[0];
  Seed s = -3;
  resetRandomState();
  updatePhase(&s, 0);
  EXPECT_EQ(s, -3);
  EXPECT_EQ(chainTree[0], before);
}

TEST(Phase, HomozygousIndividualsDrawNothing) {
  for (DataKind kind : {DataKind::pairedGenotypes, DataKind::unpairedGenotypes}) {
    buildDataChain(kind);
    makeHomozygous();
    const TreeMatrix before = chainTree[0];
    Seed s = -3;
    resetRandomState();
    updatePhase(&s, 0);
    EXPECT_EQ(s, -3);
    EXPECT_EQ(chainTree[0], before);
  }
}

// Leaves 3 and 6 differ at marker 3 only, leaves 4 and 5 are made equal: one
// number for that locus, from leaf 6 (leaf 3 has the lower label and is
// skipped), and an acceptance number when it exchanges.
TEST(Phase, PairedIndividualIsTreatedOnceFromItsHigherLabel) {
  int exchanged = 0;
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::pairedGenotypes);
    for (int k = 0; k < 3; k++)
      chainTree[0][5][TMAT + k] = chainTree[0][4][TMAT + k];
    computeTerms();
    chainLogLik = {acceptAll};
    const TreeMatrix before = chainTree[0];
    Seed s = seed;
    resetRandomState();
    updatePhase(&s, 0);
    const bool swap = firstDraws(seed, 1)[0] > 0.5;
    exchanged += swap;
    EXPECT_EQ(drawsBetween(seed, s), swap ? 2 : 1);
    EXPECT_EQ(chainTree[0][3][TMAT + 2], swap ? 2 : 1);
    EXPECT_EQ(chainTree[0][6][TMAT + 2], swap ? 1 : 2);
    if (swap) {
      EXPECT_TRUE(termsCurrent(0, before));
    }
  }
  EXPECT_GT(exchanged, 0);
}

// Paired individual 4 + 5 differs at every locus (marker 2 as stored, -3
// against 2); individual 3 + 6 is made homozygous. The exchanged loci are
// those whose number exceeds one half, and an accepted proposal rescoring
// both leaves keeps the chain's terms current.
TEST(Phase, AcceptedPairedExchangeSwapsTheChosenLoci) {
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::pairedGenotypes);
    for (int k = 0; k < 3; k++)
      chainTree[0][6][TMAT + k] = chainTree[0][3][TMAT + k];
    computeTerms();
    chainLogLik = {acceptAll};
    const TreeMatrix before = chainTree[0];
    Seed s = seed;
    resetRandomState();
    updatePhase(&s, 0);
    const std::vector<double> u = firstDraws(seed, 3);
    TreeMatrix expected = before;
    bool any = false;
    for (int k = 0; k < 3; k++)
      if (u[k] > 0.5) {
        std::swap(expected[4][TMAT + k], expected[5][TMAT + k]);
        any = true;
      }
    EXPECT_EQ(drawsBetween(seed, s), any ? 4 : 3);
    for (int r = 0; r < 7; r++)
      for (int c = TMAT; c < TMAT + 3; c++)
        EXPECT_EQ(chainTree[0][r][c], expected[r][c]);
    if (any) {
      EXPECT_TRUE(termsCurrent(0, before));
    }
  }
}

TEST(Phase, RejectedExchangeRestoresBothChromosomesAndNodeTerms) {
  int proposals = 0;
  for (DataKind kind : {DataKind::pairedGenotypes, DataKind::unpairedGenotypes})
    for (Seed seed = -1; seed >= -20; seed--) {
      buildDataChain(kind);
      chainLogLik = {rejectAll};
      const TreeMatrix before = chainTree[0];
      const double partner = chainPartnerProb[0];
      Seed s = seed;
      resetRandomState();
      updatePhase(&s, 0);
      proposals += drawsBetween(seed, s) > 0;
      EXPECT_EQ(chainTree[0], before);
      EXPECT_EQ(chainLogLik[0], rejectAll);
      EXPECT_EQ(chainPartnerProb[0], partner);
    }
  EXPECT_GT(proposals, 0);
}

// Unpaired genotypes: leaf 3 differs between its blocks at all three markers
// (marker 2 holds -2 against 2, which differ as stored); leaves 2 and 4 are
// made homozygous. Each differing locus draws one number, an exchange one
// acceptance number, and an accepted exchange moves the alleles within the row
// and replaces the leaf's share of the partner term.
TEST(Phase, UnpairedExchangesWithinTheRowAndKeepsThePartnerTerm) {
  for (Seed seed = -1; seed >= -20; seed--) {
    buildDataChain(DataKind::unpairedGenotypes);
    for (int k = 0; k < 3; k++)
      chainTree[0][2][TMAT + 3 + k] = chainTree[0][2][TMAT + k];
    computeTerms();
    chainLogLik = {acceptAll};
    const TreeMatrix before = chainTree[0];
    const double partner = chainPartnerProb[0];
    Seed s = seed;
    resetRandomState();
    updatePhase(&s, 0);
    const std::vector<double> u = firstDraws(seed, 4);
    TreeMatrix expected = before;
    bool any = false;
    for (int k = 0; k < 3; k++)
      if (u[k] > 0.5) {
        std::swap(expected[3][TMAT + k], expected[3][TMAT + 3 + k]);
        any = true;
      }
    EXPECT_EQ(drawsBetween(seed, s), any ? 4 : 3);
    for (int r = 0; r < 5; r++)
      for (int c = TMAT; c < TMAT + 6; c++)
        EXPECT_EQ(chainTree[0][r][c], expected[r][c]);
    if (expected != before) {
      EXPECT_TRUE(termsCurrent(partner, before));
    }
  }
}

} // namespace
