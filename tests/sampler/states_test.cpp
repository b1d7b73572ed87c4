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
Proposal propose(void (*adjY)(int *, Rng &, int *, int), Haplotype state, Seed start, int allLoci) {
  Rng rng = streamFrom(start);
  int changed = -1;
  adjY(state.data(), rng, &changed, allLoci);
  return {state, changed, drawsBetween(start, rng.seed)};
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
  Rng rng = streamFrom(-13);
  for (int i = 0; i < 50; i++) {
    Haplotype state = {1, 1, 1};
    int changed = -1;
    adjYi(state.data(), rng, &changed, i % 2);
    ASSERT_EQ(changed, 0);
    ASSERT_EQ(state, Haplotype({1, 1, 1}));
  }
}

TEST(StateMoves, NoChangeMeansNoAcceptanceDraw) {
  const Chain &c = buildChain(0);
  pset.iterAncestral = 1;
  pset.ancestralAdjust = 0;
  pset.internalAdjust = 0;
  // Root and two internal nodes: a locus and an attempt each.
  EXPECT_EQ(drawsBetween(-19, runFrom(-19, updateStates)), 6);
  EXPECT_EQ(c.accRoot, 0);
  EXPECT_EQ(c.accInternal, 0);

  pset.iterAncestral = 0;
  EXPECT_EQ(drawsBetween(-19, runFrom(-19, updateStates)), 4);
}

TEST(StateMoves, KeepTheChainConsistent) {
  for (double alg : {0.0, 1.0})
    for (int flip : {0, 1})
      for (int rootLabel : {0, 2}) {
        Chain &c = buildChain(alg, rootLabel);
        ChainWork work;
        pset.iterAncestral = 1;
        pset.ancestralAdjust = 0.5;
        pset.internalAdjust = 0.5;
        pset.flipAllLoci = flip;
        Rng rng = streamFrom(-61);
        const Haplotype firstRoot = c.rootLoci;
        bool rootMoved = false;
        for (int i = 0; i < 200; i++) {
          updateStates(rng, c, work);
          ASSERT_TRUE(chainConsistent(0)) << "iteration " << i;
          rootMoved = rootMoved || c.rootLoci != firstRoot;
        }
        EXPECT_TRUE(rootMoved);
        // The settings keep the starting haplotype read.
        EXPECT_EQ(chainSettings[0].rootLoci, Haplotype({1, 2, 1}));
        EXPECT_GT(c.accRoot, 0);
        EXPECT_GT(c.accInternal, 0);
        EXPECT_LE(c.accInternal, 2 * 200);
      }
}

TEST(StateMoves, ARejectedInternalChangeRestoresTheNode) {
  // Leaves 3 and 4 hang on branches of length 0, so any change of node 1's
  // alleles is impossible for them and must be refused.
  Chain &c = buildChain(1, 0, 0);
  ChainWork work;
  c.tree[4][TMAT + 1] = 2;
  placeMutation(0.015);
  ASSERT_GT(c.logLik, -1e300);
  pset.iterAncestral = 0;
  pset.internalAdjust = 1;
  pset.flipAllLoci = 1;
  const TreeRow before = c.tree[1];
  const TreeMatrix treeBefore = c.tree;
  const double lik = c.logLik;
  Rng rng = streamFrom(-67);
  for (int i = 0; i < 30; i++) {
    updateStates(rng, c, work);
    ASSERT_EQ(c.tree[1], before);
    ASSERT_TRUE(chainConsistent(0));
  }
  EXPECT_EQ(c.logLik, lik);
  for (int r : {0, 1, 3, 4})
    EXPECT_EQ(c.tree[r], treeBefore[r]);
}

TEST(StateMoves, RootMovesOnlyWhenTheProposalChangesIt) {
  Chain &c = buildChain(0);
  ChainWork work;
  pset.iterAncestral = 1;
  pset.ancestralAdjust = 1;
  pset.internalAdjust = 0;
  pset.flipAllLoci = 1;
  Rng rng = streamFrom(-71);
  int changes = 0;
  for (int i = 0; i < 100; i++) {
    const Haplotype old = c.rootLoci;
    const int acc = c.accRoot;
    updateStates(rng, c, work);
    changes += c.rootLoci != old;
    ASSERT_TRUE(c.accRoot == acc || c.rootLoci != old);
  }
  EXPECT_EQ(c.accRoot, changes);
  EXPECT_TRUE(chainConsistent(0));
}

} // namespace
