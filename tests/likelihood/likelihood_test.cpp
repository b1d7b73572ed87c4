// Haplotype likelihood on small genealogies worked out by hand, and the
// partial recomputation modes against a full recomputation.
#include <gtest/gtest.h>

#include <cmath>

#include "likelihood.h"
#include "testkit.h"

namespace {

using std::exp;
using std::log;

// Independent-loci tables for two alleles per locus: freqs[a][k].
void setFrequencies(const std::vector<std::vector<double>> &perLocus) {
  const int loci = static_cast<int>(perLocus.size());
  Table f(3, std::vector<double>(loci, 0.0));
  for (int k = 0; k < loci; k++)
    for (int a = 1; a <= 2; a++)
      f[a][k] = perLocus[k][a - 1];
  chains[0].popHapFreqs = f;
  maxall.assign(loci, 2);
}

// Markov tables: first-locus frequencies 0.6 / 0.4, transitions T0 and T1,
// the later columns the propagated marginals (0.62 / 0.38, 0.405 / 0.595).
void setMarkovThreeLoci() {
  setFrequencies({{0.6, 0.4}, {0.62, 0.38}, {0.405, 0.595}});
  chains[0].MP1 = {{{0.9, 0.1}, {0.2, 0.8}}, {{0.5, 0.5}, {0.25, 0.75}}};
  pset.algSwitch = 1.0;
}

double sumColumn(const TreeMatrix &tree) {
  double s = 0.0;
  for (const TreeRow &r : tree)
    s += r[nodeLogLik];
  return s;
}

// Two leaves, two markers at 0 and 1, mutation at 0.5 (marker 1 left,
// marker 2 right), independent loci.
class TwoLeafIndependent : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(2, 2);
    pset.mapDist = {0, 0, 1};
    setFrequencies({{0.6, 0.4}, {0.3, 0.7}});
    chains[0].MP1 = {{{0.5, 0.5}, {0.5, 0.5}}};
    pset.algSwitch = 0.0;
    root = {1, 1};
    tree = makeTree({{0, 1, 2, -1, 1, 0.5, 0, 1, 1},
                     {1, -1, -1, 0, 0, 1, 0, 1, 2},
                     {2, -1, -1, 0, 0, 1, 0, 2, 1}});
  }
  Haplotype root;
  TreeMatrix tree;
};

TEST_F(TwoLeafIndependent, EveryRowMatchesTheHandWorkedTerm) {
  LikelihoodMemo memo;
  const double total = chainTprob(chains[0], memo, tree, 0.5, root);
  // Root, branch 0.5, equal to the ancestral haplotype: crossover anywhere.
  const double q = exp(-0.25);
  const double rootTerm = log((q + (1 - q) * 0.6) * ((1 - q) * 0.3 + q));
  // Leaf 1 differs at marker 2, right next to the mutation.
  const double h = exp(-0.5);
  const double leaf1 = log((h + (1 - h) * 0.6) * ((1 - h) * 0.7));
  // Leaf 2 differs at marker 1, right next to the mutation on the left.
  const double leaf2 = log(((1 - h) * 0.4) * ((1 - h) * 0.3 + h));
  EXPECT_NEAR(tree[0][nodeLogLik], rootTerm, 1e-13);
  EXPECT_NEAR(tree[1][nodeLogLik], leaf1, 1e-13);
  EXPECT_NEAR(tree[2][nodeLogLik], leaf2, 1e-13);
  EXPECT_NEAR(total, rootTerm + leaf1 + leaf2, 1e-13);
  EXPECT_EQ(total, sumColumn(tree));
}

TEST_F(TwoLeafIndependent, RootIsComparedWithTheAncestralHaplotype) {
  LikelihoodMemo memo;
  root = {2, 1};
  chainTprob(chains[0], memo, tree, 0.5, root);
  const double q = exp(-0.25);
  EXPECT_NEAR(tree[0][nodeLogLik], log(((1 - q) * 0.6) * ((1 - q) * 0.3 + q)), 1e-13);
}

TEST_F(TwoLeafIndependent, MissingAllelesAreReadByMagnitude) {
  LikelihoodMemo memo;
  const double total = chainTprob(chains[0], memo, tree, 0.5, root);
  tree[1][TMAT + 1] = -2;
  tree[2][TMAT + 0] = -2;
  const double withMissing = chainTprob(chains[0], memo, tree, 0.5, root);
  EXPECT_EQ(total, withMissing);
}

TEST_F(TwoLeafIndependent, MutationLeftOfAllMarkers) {
  LikelihoodMemo memo;
  const double x = -0.2;
  chainTprob(chains[0], memo, tree, x, root);
  // Root (t = 0.5) matches: every marker is a right marker.
  const double t = 0.5;
  const double expected = (1 - exp(x * t)) * (0.6 * 0.3) +
                          exp(x * t) * (exp(0) - exp(-1 * t)) * 0.3 + exp(x * t) * exp(-1 * t);
  EXPECT_NEAR(tree[0][nodeLogLik], log(expected), 1e-13);
  // Leaf 2 (t = 1) differs at marker 1: only the first weight remains.
  EXPECT_NEAR(tree[2][nodeLogLik], log((1 - exp(x * 1)) * (0.4 * 0.3)), 1e-13);
}

TEST_F(TwoLeafIndependent, MutationRightOfAllMarkers) {
  LikelihoodMemo memo;
  const double x = 1.5;
  chainTprob(chains[0], memo, tree, x, root);
  // Leaf 1 (t = 1) differs at marker 2, the last left marker.
  EXPECT_NEAR(tree[1][nodeLogLik], log((1 - exp(-(1.5 - 1))) * (0.6 * 0.7)), 1e-13);
  // Root (t = 0.5) matches at both markers.
  const double t = 0.5;
  const double expected =
      exp(-x * t) + exp(-x * t) * (exp(1 * t) - 1) * 0.6 + (1 - exp(-(x - 1) * t)) * (0.6 * 0.3);
  EXPECT_NEAR(tree[0][nodeLogLik], log(expected), 1e-13);
}

TEST_F(TwoLeafIndependent, MutationOnTheLastMarkerPutsItOnTheLeft) {
  LikelihoodMemo memo;
  chainTprob(chains[0], memo, tree, 1.0, root);
  // Marker 2 is a left marker at distance 0: a mismatch there cannot be
  // explained by any crossover.
  EXPECT_EQ(tree[1][nodeLogLik], -INFINITY);
  const double h = exp(-1.0);
  EXPECT_NEAR(tree[2][nodeLogLik], log((h * (exp(1.0) - 1)) * 0.4), 1e-13);
}

TEST_F(TwoLeafIndependent, MutationAtTheFirstMarkerPutsEveryMarkerOnTheRight) {
  LikelihoodMemo memo;
  chainTprob(chains[0], memo, tree, 0.0, root);
  // Marker 1 sits at the mutation: a mismatch there has weight 0.
  EXPECT_EQ(tree[2][nodeLogLik], -INFINITY);
  const double h = exp(-1.0);
  EXPECT_NEAR(tree[1][nodeLogLik], log((1 - h) * 0.7), 1e-13);
}

TEST_F(TwoLeafIndependent, BranchOfLengthZeroAllowsNoMismatch) {
  LikelihoodMemo memo;
  tree[1][branchLength] = 0;
  tree[2][branchLength] = 0;
  tree[2][TMAT + 0] = 1;
  const double total = chainTprob(chains[0], memo, tree, 0.5, root);
  EXPECT_EQ(tree[1][nodeLogLik], -INFINITY);
  EXPECT_EQ(tree[2][nodeLogLik], 0.0);
  EXPECT_EQ(total, -INFINITY);
}

// Three markers at 0, 1 and 3, mutation at 2 (markers 1, 2 left, 3 right),
// Markov population model.
class TwoLeafMarkov : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(2, 3);
    pset.mapDist = {0, 0, 1, 3};
    setMarkovThreeLoci();
    root = {1, 1, 1};
    tree = makeTree({{0, 1, 2, -1, 1, 0.5, 0, 1, 1, 1},
                     {1, -1, -1, 0, 0, 1, 0, 2, 1, 2},
                     {2, -1, -1, 0, 0, 2, 0, 1, 1, 1}});
  }
  Haplotype root;
  TreeMatrix tree;
};

TEST_F(TwoLeafMarkov, EveryRowMatchesTheHandWorkedTerm) {
  LikelihoodMemo memo;
  const double total = chainTprob(chains[0], memo, tree, 2.0, root);
  const double e = exp(1.0);
  // Leaf 1 = 2 1 2: mismatch at marker 3 (first right) and marker 1; left
  // segments 2 (0.4) and 2 1 (0.4 * 0.2); right segment 2 (0.595).
  const double leaf1 = log(((exp(-2.0) * (e - 1)) * 0.4 + (1 - exp(-1.0)) * (0.4 * 0.2)) *
                           ((1 - exp(-1.0)) * 0.595));
  // Leaf 2 = 1 1 1 on a branch of 2: no mismatch.
  const double left2 = exp(-4.0) + exp(-4.0) * (exp(2.0) - 1) * 0.6 + (1 - exp(-2.0)) * (0.6 * 0.9);
  const double right2 = (1 - exp(-2.0)) * 0.405 + exp(4.0) * exp(-6.0);
  // Root = 1 1 1 on a branch of 0.5.
  const double leftR = exp(-1.0) + exp(-1.0) * (exp(0.5) - 1) * 0.6 + (1 - exp(-0.5)) * (0.6 * 0.9);
  const double rightR = (1 - exp(-0.5)) * 0.405 + exp(1.0) * exp(-1.5);
  EXPECT_NEAR(tree[1][nodeLogLik], leaf1, 1e-13);
  EXPECT_NEAR(tree[2][nodeLogLik], log(left2 * right2), 1e-13);
  EXPECT_NEAR(tree[0][nodeLogLik], log(leftR * rightR), 1e-13);
  EXPECT_NEAR(total, leaf1 + log(left2 * right2) + log(leftR * rightR), 1e-12);
}

TEST_F(TwoLeafMarkov, RightSegmentsUseTheForwardTransitions) {
  LikelihoodMemo memo;
  // Mutation left of every marker; leaf 1 = 2 1 2 differs at marker 1.
  chainTprob(chains[0], memo, tree, -1.0, root);
  EXPECT_NEAR(tree[1][nodeLogLik], log((1 - exp(-1.0)) * (0.595 * 0.5 * 0.2)), 1e-13);
}

TEST_F(TwoLeafMarkov, MutationOnAnInnerMarkerGivesItWeightZero) {
  LikelihoodMemo memo;
  // x = d[2]: marker 2 is the first right marker, at distance 0.
  tree[2][TMAT + 1] = 2;
  tree[1][branchLength] = 0.7;
  chainTprob(chains[0], memo, tree, 1.0, root);
  EXPECT_EQ(tree[2][nodeLogLik], -INFINITY);
  // Leaf 1 = 2 1 2 (branch 0.7) differs at marker 1 (the only left marker)
  // and marker 3. Counting marker 2 on the left instead gives the same value
  // up to rounding, so the term is compared operation for operation.
  const double t = 0.7;
  const double right = 0.0 + (1 - exp(-(1.0 - 1.0) * t)) * (0.595 * 0.5) +
                       exp(1.0 * t) * (exp(-1.0 * t) - exp(-3.0 * t)) * 0.595;
  const double left = 0.0 + (1 - exp(-(1.0 - 0.0) * t)) * 0.4;
  EXPECT_EQ(tree[1][nodeLogLik], log(left * right));
}

TEST_F(TwoLeafMarkov, SingleMarker) {
  LikelihoodMemo memo;
  setSmallRun(2, 1);
  pset.mapDist = {0, 0};
  setFrequencies({{0.6, 0.4}});
  pset.algSwitch = 1.0;
  root = {1};
  tree = makeTree(
      {{0, 1, 2, -1, 1, 0.5, 0, 1}, {1, -1, -1, 0, 0, 1, 0, 1}, {2, -1, -1, 0, 0, 1, 0, 2}});
  chainTprob(chains[0], memo, tree, 0.3, root);
  // The marker is on the left at distance 0.3.
  EXPECT_NEAR(tree[1][nodeLogLik], log(exp(-0.3) + (1 - exp(-0.3)) * 0.6), 1e-13);
  EXPECT_NEAR(tree[2][nodeLogLik], log((1 - exp(-0.3)) * 0.4), 1e-13);
  chainTprob(chains[0], memo, tree, 0.0, root);
  // At the mutation itself the marker is on the right at distance 0.
  EXPECT_EQ(tree[2][nodeLogLik], -INFINITY);
  EXPECT_NEAR(tree[1][nodeLogLik], log(exp(0.0) * exp(-0.0)), 1e-13);
}

// Four leaves, four markers, Markov model: root 0 over internal nodes 1 and 2,
// leaves 3, 4 under node 1 and 5, 6 under node 2. Haplotype data unless a
// test switches to paired genotypes.
class FourLeafTree : public ::testing::Test {
  LikelihoodMemo memo;

protected:
  void SetUp() override {
    setSmallRun(4, 4);
    pset.mapDist = {0, 0, 0.5, 1.2, 2.0};
    setFrequencies({{0.6, 0.4}, {0.62, 0.38}, {0.405, 0.595}, {0.5, 0.5}});
    chains[0].MP1 = {
        {{0.9, 0.1}, {0.2, 0.8}}, {{0.5, 0.5}, {0.25, 0.75}}, {{0.3, 0.7}, {0.6, 0.4}}};
    pset.algSwitch = 1.0;
    tree = makeTree({{0, 1, 2, -1, 1.0, 0.5, 0, 1, 2, 1, 2},
                     {1, 3, 4, 0, 0.4, 0.6, 0, 1, 2, 1, 1},
                     {2, 5, 6, 0, 0.7, 0.3, 0, 2, 2, 1, 2},
                     {3, -1, -1, 1, 0, 0.4, 0, 1, 2, 2, 1},
                     {4, -1, -1, 1, 0, 0.4, 0, 2, 2, 1, 1},
                     {5, -1, -1, 2, 0, 0.7, 0, 2, 1, 1, 2},
                     {6, -1, -1, 2, 0, 0.7, 0, -2, 2, 1, 1}});
    full(tree);
  }
  // partialtprobs over chain 0's tables and memo.
  void subtree(int *count, int from, int node) {
    Chain &c = chains[0];
    partialtprobs(c.popHapFreqs, count, from, node, tree, mutLoc, root, c.MP1, memo);
  }
  double full(TreeMatrix &t) { return chainTprob(chains[0], memo, t, mutLoc, root); }
  double partial(int start, int type) {
    return chainTprob(chains[0], memo, tree, mutLoc, root, start, type);
  }
  // Expected total: a full recomputation on a copy of the changed tree.
  double expectedTotal() {
    TreeMatrix copy = tree;
    return full(copy);
  }
  const double mutLoc = 0.8;
  const Haplotype root = {1, 2, 1, 1};
  TreeMatrix tree;
};

TEST_F(FourLeafTree, InternalNodeWithItsChildren) {
  tree[2][TMAT + 2] = 2;
  tree[2][TMAT + 3] = 1;
  const double expected = expectedTotal();
  EXPECT_NE(expected, sumColumn(tree));
  EXPECT_EQ(partial(2, 0), expected);
  // Repeated calls with the same state give the same total.
  EXPECT_EQ(partial(2, 0), expected);
  EXPECT_EQ(partial(3, 1), expected);
}

TEST_F(FourLeafTree, RootWithItsChildren) {
  tree[0][TMAT + 0] = 2;
  const double expected = expectedTotal();
  EXPECT_EQ(partial(0, 0), expected);
}

TEST_F(FourLeafTree, LeafWithTypeZeroRecomputesEveryRow) {
  tree[4][TMAT + 1] = 1;
  tree[0][nodeLogLik] = 5.0; // stale cell that only a full pass repairs
  const double expected = expectedTotal();
  EXPECT_EQ(partial(4, 0), expected);
  EXPECT_EQ(sumColumn(tree), expected);
}

TEST_F(FourLeafTree, SingleRowLeavesOtherRowsAlone) {
  tree[5][TMAT + 3] = 1;
  tree[1][nodeLogLik] += 1.0; // deliberately stale, must survive
  const double expected = expectedTotal();
  const double got = partial(5, 1);
  EXPECT_NEAR(got, expected + 1.0, 1e-12);
  EXPECT_EQ(got, sumColumn(tree));
}

TEST_F(FourLeafTree, KernelRecomputesTheListedRowsAndSumsAllInRowOrder) {
  // Node 2's new alleles change its own term and those of its children.
  tree[2][TMAT + 2] = 2;
  tree[2][TMAT + 3] = 1;
  tree[1][nodeLogLik] += 1.0; // not listed: stays stale
  TreeMatrix fresh = tree;
  full(fresh);
  Chain &c = chains[0];
  const int nodes[] = {6, 2, 5};
  LikelihoodMemo memo;
  const double got =
      recomputeTerms(c.popHapFreqs, tree, mutLoc, pset.mapDist, root, c.MP1, nodes, 3, memo);
  for (int r : {2, 5, 6})
    EXPECT_EQ(tree[r][nodeLogLik], fresh[r][nodeLogLik]) << r;
  EXPECT_EQ(tree[1][nodeLogLik], fresh[1][nodeLogLik] + 1.0);
  EXPECT_EQ(got, sumColumn(tree));
  // With no rows listed it only sums; recomputing every row repairs the
  // stale one too.
  EXPECT_EQ(recomputeTerms(c.popHapFreqs, tree, mutLoc, pset.mapDist, root, c.MP1, nodes, 0, memo),
            got);
  EXPECT_EQ(recomputeAllTerms(c.popHapFreqs, tree, mutLoc, pset.mapDist, root, c.MP1, memo),
            sumColumn(fresh));
  EXPECT_EQ(tree, fresh);
}

TEST_F(FourLeafTree, PairedLeafWithItsPartner) {
  // Paired genotypes: column 7 holds the partner leaf, alleles from column 8.
  TMAT = 8;
  TreeMatrix paired;
  for (const TreeRow &r : tree) {
    TreeRow p(r.begin(), r.begin() + 7);
    p.push_back(-1);
    p.insert(p.end(), r.begin() + 7, r.end());
    paired.push_back(p);
  }
  paired[3][partnerLeaf] = 6;
  paired[6][partnerLeaf] = 3;
  tree = paired;
  full(tree);
  std::swap(tree[3][TMAT + 0], tree[6][TMAT + 0]);
  tree[3][TMAT + 0] = std::fabs(tree[3][TMAT + 0]);
  const double expected = expectedTotal();
  EXPECT_EQ(partial(3, 2), expected);
  EXPECT_EQ(partial(6, 1), expected);
}

TEST_F(FourLeafTree, SingleNodeTermsSumToTheFullTotal) {
  LikelihoodMemo memo;
  TreeMatrix fresh = tree;
  const double expected = full(fresh);
  for (TreeRow &r : tree)
    r[nodeLogLik] = 0;
  Chain &c = chains[0];
  for (int r = 6; r >= 0; r--)
    tprob2(c.popHapFreqs, tree, mutLoc, pset.mapDist, root, r, c.MP1, memo);
  for (int r = 0; r < 7; r++)
    EXPECT_EQ(tree[r][nodeLogLik], fresh[r][nodeLogLik]);
  EXPECT_EQ(sumColumn(tree), expected);
}

TEST_F(FourLeafTree, SubtreeRecomputation) {
  // Rescale the subtree under node 2, its own branch included.
  for (int r : {2, 5, 6})
    tree[r][branchLength] *= 1.5;
  tree[1][nodeLogLik] = 7.0; // outside the subtree: untouched
  int count = 0;
  subtree(&count, 0, 2);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(tree[1][nodeLogLik], 7.0);
  TreeMatrix fresh = tree;
  full(fresh);
  for (int r : {2, 5, 6})
    EXPECT_EQ(tree[r][nodeLogLik], fresh[r][nodeLogLik]);
}

TEST_F(FourLeafTree, SubtreeFromTheRootAndTheEmptyCases) {
  for (TreeRow &r : tree)
    r[branchLength] *= 0.5;
  const double expected = expectedTotal();
  int count = 0;
  subtree(&count, -1, 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(sumColumn(tree), expected);

  tree[4][branchLength] = 2.0;
  tree[0][nodeLogLik] = 3.0;
  count = 0;
  subtree(&count, 1, 4);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(tree[0][nodeLogLik], 3.0);
  TreeMatrix fresh = tree;
  full(fresh);
  EXPECT_EQ(tree[4][nodeLogLik], fresh[4][nodeLogLik]);

  const TreeMatrix before = tree;
  subtree(&count, 0, -1);
  EXPECT_EQ(tree, before);
  EXPECT_EQ(count, 0);
}

TEST_F(FourLeafTree, IndependentModelUsesFrequencyProducts) {
  pset.algSwitch = 0.0;
  const double markov = tree[3][nodeLogLik];
  full(tree);
  EXPECT_NE(tree[3][nodeLogLik], markov);
  // Leaf 3 = 1 2 2 1 under node 1 = 1 2 1 1, branch 0.4, mutation at 0.8:
  // markers 1, 2 left, marker 3 (first right) differs.
  const double t = 0.4, x = 0.8;
  const double left = exp(-x * t) + exp(-x * t) * (exp(0.5 * t) - 1) * 0.6 +
                      (1 - exp(-(x - 0.5) * t)) * (0.6 * 0.38);
  const double right = (1 - exp(-(1.2 - x) * t)) * (0.595 * 0.5);
  EXPECT_NEAR(tree[3][nodeLogLik], log(left * right), 1e-13);
}

} // namespace
