// Haplotype-state moves: the allele-redraw proposal and its draws, the move
// of the ancestral haplotype at the root and the moves of the internal nodes,
// each checked against a recomputation of the chain's terms.
#include <gtest/gtest.h>

#include <vector>

#include "chainfixture.h"
#include "sampler.h"

namespace {

// What one allele-redraw proposal made of a haplotype.
struct Proposal {
  Haplotype state;
  int changed;
  int draws;
};

// Proposes a new haplotype from state with adjY0 (the ancestral proposal) or
// adjYi (the internal one), on a fresh stream from seed start.
Proposal propose(void (*adjY)(int *, Seed *, int *, int), Haplotype state, Seed start,
                 int allLoci) {
  resetRandomState();
  Seed seed = start;
  int changed = -1;
  adjY(state.data(), &seed, &changed, allLoci);
  return {state, changed, drawsBetween(start, seed)};
}

TEST(AdjY, OneLocusDrawsThreeNumbersWithARedraw) {
  buildChain(0);
  pset.internalAdjust = 1;
  const Proposal p = propose(adjYi, {1, 1, 1}, -3, 0);
  EXPECT_EQ(p.draws, 3);
  const std::vector<double> u = firstDraws(-3, 3);
  const int k = static_cast<int>(u[0] * 3);
  Haplotype expected = {1, 1, 1};
  expected[k] = static_cast<int>(u[2] * maxall[k]) + 1;
  EXPECT_EQ(p.state, expected);
  EXPECT_EQ(p.changed, expected[k] != 1 ? 1 : 0);
}

TEST(AdjY, OneLocusDrawsTwoNumbersWithoutARedraw) {
  buildChain(0);
  pset.internalAdjust = 0;
  pset.ancestralAdjust = 1;
  const Proposal p = propose(adjYi, {2, 3, 1}, -3, 0);
  EXPECT_EQ(p.draws, 2);
  EXPECT_EQ(p.state, Haplotype({2, 3, 1}));
  EXPECT_EQ(p.changed, 0);

  // The ancestral proposal uses its own level.
  EXPECT_EQ(propose(adjY0, p.state, -3, 0).draws, 3);
}

TEST(AdjY, AllLociTriesEveryLocusInOrder) {
  buildChain(0);
  pset.ancestralAdjust = 1;
  const Proposal p = propose(adjY0, {1, 1, 1}, -7, 1);
  EXPECT_EQ(p.draws, 6);
  const std::vector<double> u = firstDraws(-7, 6);
  Haplotype expected(3);
  for (int k = 0; k < 3; k++)
    expected[k] = static_cast<int>(u[2 * k + 1] * maxall[k]) + 1;
  EXPECT_EQ(p.state, expected);
  EXPECT_EQ(p.changed, expected != Haplotype({1, 1, 1}) ? 1 : 0);

  pset.ancestralAdjust = 0;
  const Proposal q = propose(adjY0, p.state, -7, 1);
  EXPECT_EQ(q.draws, 3);
  EXPECT_EQ(q.changed, 0);
}

TEST(AdjY, ALocusWithOneAlleleNeverChanges) {
  buildChain(0);
  maxall = {1, 1, 1};
  pset.internalAdjust = 1;
  resetRandomState();
  Seed seed = -13;
  for (int i = 0; i < 50; i++) {
    Haplotype state = {1, 1, 1};
    int changed = -1;
    adjYi(state.data(), &seed, &changed, i % 2);
    ASSERT_EQ(changed, 0);
    ASSERT_EQ(state, Haplotype({1, 1, 1}));
  }
}

TEST(StateMoves, NoChangeMeansNoAcceptanceDraw) {
  buildChain(0);
  pset.iterAncestral = 1;
  pset.ancestralAdjust = 0;
  pset.internalAdjust = 0;
  // Root and two internal nodes: a locus and an attempt each.
  EXPECT_EQ(drawsBetween(-19, runFrom(-19, updateStates)), 6);
  EXPECT_EQ(accRoot[0], 0);
  EXPECT_EQ(accInternal[0], 0);

  pset.iterAncestral = 0;
  EXPECT_EQ(drawsBetween(-19, runFrom(-19, updateStates)), 4);
}

TEST(StateMoves, KeepTheChainConsistent) {
  for (double alg : {0.0, 1.0})
    for (int flip : {0, 1})
      for (int rootLabel : {0, 2}) {
        buildChain(alg, rootLabel);
        pset.iterAncestral = 1;
        pset.ancestralAdjust = 0.5;
        pset.internalAdjust = 0.5;
        pset.flipAllLoci = flip;
        resetRandomState();
        Seed seed = -61;
        Haplotype firstRoot = pset.rootLoci[0];
        bool rootMoved = false;
        for (int i = 0; i < 200; i++) {
          updateStates(&seed, 0);
          ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
          rootMoved = rootMoved || pset.rootLoci[0] != firstRoot;
        }
        EXPECT_TRUE(rootMoved);
        EXPECT_GT(accRoot[0], 0);
        EXPECT_GT(accInternal[0], 0);
        EXPECT_LE(accInternal[0], 2 * 200);
      }
}

TEST(StateMoves, ARejectedInternalChangeRestoresTheNode) {
  // Leaves 3 and 4 hang on branches of length 0, so any change of node 1's
  // alleles is impossible for them and must be refused.
  buildChain(1, 0, 0);
  chainTree[0][4][TMAT + 1] = 2;
  placeMutation(0.015);
  ASSERT_GT(chainLogLik[0], -1e300);
  pset.iterAncestral = 0;
  pset.internalAdjust = 1;
  pset.flipAllLoci = 1;
  const TreeRow before = chainTree[0][1];
  const TreeMatrix treeBefore = chainTree[0];
  const double lik = chainLogLik[0];
  resetRandomState();
  Seed seed = -67;
  for (int i = 0; i < 30; i++) {
    updateStates(&seed, 0);
    ASSERT_EQ(chainTree[0][1], before);
    ASSERT_TRUE(chainConsistent(0));
  }
  EXPECT_EQ(chainLogLik[0], lik);
  for (int r : {0, 1, 3, 4})
    EXPECT_EQ(chainTree[0][r], treeBefore[r]);
}

TEST(StateMoves, RootMovesOnlyWhenTheProposalChangesIt) {
  buildChain(0);
  pset.iterAncestral = 1;
  pset.ancestralAdjust = 1;
  pset.internalAdjust = 0;
  pset.flipAllLoci = 1;
  resetRandomState();
  Seed seed = -71;
  int changes = 0;
  for (int i = 0; i < 100; i++) {
    const Haplotype old = pset.rootLoci[0];
    const int acc = accRoot[0];
    updateStates(&seed, 0);
    changes += pset.rootLoci[0] != old;
    ASSERT_TRUE(accRoot[0] == acc || pset.rootLoci[0] != old);
  }
  EXPECT_EQ(accRoot[0], changes);
  EXPECT_TRUE(chainConsistent(0));
}

} // namespace
