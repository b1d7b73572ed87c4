// The genealogy moves: child-order exchange, node-age steps with their
// reflections, the rebuild from the in-order sequence, the regraft with its
// walk worked by hand on a four-leaf tree, and whole moves on small chains
// checked against a recomputation of every cached term after each move.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <numeric>
#include <random>
#include <string>
#include <utility>

#include "chaincheck.h"
#include "genealogy.h"
#include "likelihood.h"
#include "random.h"
#include "testkit.h"

namespace {

// The first count draws of a fresh stream started from seed: those that a
// move on a stream from the same seed makes.
std::vector<double> peekDraws(Seed seed, int count) {
  Rng rng = streamFrom(seed);
  std::vector<double> draws(count);
  for (double &d : draws)
    d = ran1(rng);
  return draws;
}

// The first seed -1, -2, ... whose first count draws satisfy ok.
Seed findSeed(int count, const std::function<bool(const std::vector<double> &)> &ok) {
  for (Seed s = -1;; s--)
    if (ok(peekDraws(s, count)))
      return s;
}

// Four leaves, mutation age 4 (label order, three loci):
//   0 (age 3) = {1 (age 1) = {3, 4}, 2 (age 2) = {5, 6}}
// In-order sequence 3 1 4 0 5 2 6.
TreeMatrix fourLeafTree() {
  return makeTree({{0, 1, 2, -1, 3, 1, 0, 1, 1, 2},
                   {1, 3, 4, 0, 1, 2, 0, 1, 1, 2},
                   {2, 5, 6, 0, 2, 1, 0, 1, 2, 2},
                   {3, -1, -1, 1, 0, 1, 0, 1, 1, 2},
                   {4, -1, -1, 1, 0, 1, 0, 2, 1, 2},
                   {5, -1, -1, 2, 0, 2, 0, 1, 2, 1},
                   {6, -1, -1, 2, 0, 2, 0, 1, 2, 2}});
}

// A caterpillar of n leaves, mutation age n: internal node i (age n - 1 - i)
// has children i + 1 (or the last leaf) and leaf n - 1 + i.
TreeMatrix caterpillarTree(int n) {
  std::vector<std::vector<double>> rows(2 * n - 1);
  for (int v = 0; v < 2 * n - 1; v++) {
    const bool leaf = v >= n - 1;
    const double age = leaf ? 0 : n - 1 - v;
    const double c1 = leaf ? -1 : (v == n - 2 ? 2 * n - 2 : v + 1);
    const double c2 = leaf ? -1 : n - 1 + v;
    rows[v] = {double(v), c1, c2, -1, age, 0, 0};
    for (int k = 0; k < pset.numLoci; k++)
      rows[v].push_back((v * 7 + k * 3) % 5 < 2 ? 2 : 1);
  }
  TreeMatrix t = makeTree(rows);
  for (int v = 0; v < 2 * n - 1; v++)
    for (int c : {child1, child2})
      if (t[v][c] != -1)
        t[static_cast<int>(t[v][c])][parent] = v;
  for (int v = 0; v < 2 * n - 1; v++) {
    const int up = static_cast<int>(t[v][parent]);
    t[v][branchLength] = (up == -1 ? n : t[up][nodeTime]) - t[v][nodeTime];
  }
  return t;
}

// Settings and tables of a one-chain run with three loci of two alleles
// each, the mutation at 0.7; the population model is the independent one
// unless markov is set.
void setModel(int n, bool markov) {
  setSmallRun(n, 3, 1);
  pset.mapDist = {0, 0, 0.5, 1.2};
  Chain &c = chains[0];
  c.popHapFreqs.assign(3, std::vector<double>(3, 0.0));
  const double first[3] = {0.6, 0.3, 0.45};
  for (int k = 0; k < 3; k++) {
    c.popHapFreqs[1][k] = first[k];
    c.popHapFreqs[2][k] = 1 - first[k];
  }
  maxall.assign(3, 2);
  c.MP1 = {{{0.9, 0.1}, {0.2, 0.8}}, {{0.5, 0.5}, {0.25, 0.75}}};
  pset.algSwitch = markov ? 1.0 : 0.0;
  c.rootLoci = {1, 1, 2};
  c.mutLoc = 0.7;
  c.treeAdjust = 0.5;
  c.rootDepthAdjust = 1.0;
  pset.iterMutAge = 1;
  pset.mutAgeLow = 0.5;
  pset.mutAgeHigh = 30;
  pset.growthRate = 1.5;
  pset.propSampled = 0.1;
  pset.burnInIterations = 0;
  pset.realIterations = 10;
}

// Makes tree the current genealogy of chain 0 at mutation age `age`, with its
// node terms, log terms and node ages computed from scratch.
void installChain(const TreeMatrix &tree, double age) {
  const int n = pset.numChromosomes;
  const int rows = 2 * n - 1;
  Chain &c = chains[0];
  LikelihoodMemo memo;
  c.mutAge = age;
  c.propMutAge = age;
  c.tree = tree;
  c.ageOrder.assign(rows, 0);
  c.propTree = freshTree();
  c.labelOrder.assign(rows, 0);
  c.logLik = chainTprob(c, memo, c.tree, c.mutLoc, c.rootLoci);
  TreeMatrix sorted = tree;
  sortTree(sorted, nodeTime);
  c.nodeTimes.resize(rows);
  for (int r = 0; r < rows; r++)
    c.nodeTimes[r] = sorted[r][nodeTime];
  c.propTimes = c.nodeTimes;
  c.treePrior = tprior(n, c.nodeTimes, age, pset.propSampled, pset.growthRate);
  c.mutAgePrior = tpriormut(n, age, pset.growthRate);
  c.accTree = 0;
  c.ageSamples.assign(pset.realIterations, 0.0);
}

// The child-order exchanges that draws d[first..] make on tree, one per row.
TreeMatrix rotated(TreeMatrix tree, const std::vector<double> &d, int first) {
  for (size_t r = 0; r < tree.size(); r++)
    if (d[first + r] > 0.5)
      std::swap(tree[r][child1], tree[r][child2]);
  return tree;
}

// The chain's state that a rejected move must leave as it was.
struct ChainState {
  TreeMatrix tree;
  std::vector<double> times;
  double logLik, treePrior, agePrior, age;
  int accepted;
};

ChainState chainState() {
  const Chain &c = chains[0];
  return {c.tree, c.nodeTimes, c.logLik, c.treePrior, c.mutAgePrior, c.mutAge, c.accTree};
}

// After a rejection the genealogy differs at most by exchanged child orders.
void expectUnchangedButChildOrder(const ChainState &before) {
  const Chain &c = chains[0];
  EXPECT_EQ(c.logLik, before.logLik);
  EXPECT_EQ(c.treePrior, before.treePrior);
  EXPECT_EQ(c.mutAgePrior, before.agePrior);
  EXPECT_EQ(c.mutAge, before.age);
  EXPECT_EQ(c.nodeTimes, before.times);
  for (size_t r = 0; r < before.tree.size(); r++) {
    TreeRow now = c.tree[r];
    if (now[child1] != before.tree[r][child1])
      std::swap(now[child1], now[child2]);
    EXPECT_EQ(now, before.tree[r]) << "row " << r;
  }
}

// Runs `moves` genealogy moves on chain 0, checking after each that a
// rejection kept the chain's state, an acceptance took over the proposal, and
// every cached term agrees with a recomputation. Returns the acceptances.
int runCheckedMoves(Seed seed, int moves) {
  Rng rng = streamFrom(seed);
  Chain &c = chains[0];
  GenealogyWork work;
  for (int i = 0; i < moves; i++) {
    const ChainState before = chainState();
    updateGenealogy(rng, c, work, i % pset.realIterations);
    if (c.accTree == before.accepted) {
      expectUnchangedButChildOrder(before);
    } else {
      EXPECT_EQ(c.accTree, before.accepted + 1);
      EXPECT_EQ(c.nodeTimes, c.propTimes);
      EXPECT_EQ(c.mutAge, c.propMutAge);
    }
    EXPECT_TRUE(chainMatchesRecomputation(0)) << "after move " << i;
    if (::testing::Test::HasFailure())
      return c.accTree;
  }
  return c.accTree;
}

} // namespace

TEST(RotateNodes, OneDrawPerRowExchangesTheChildrenAboveOneHalf) {
  setSmallRun(4, 3);
  const Seed seed = findSeed(
      7, [](const std::vector<double> &d) { return d[0] > 0.5 && d[1] <= 0.5 && d[2] > 0.5; });
  const std::vector<double> d = peekDraws(seed, 8);
  Rng rng = streamFrom(seed);
  TreeMatrix tree = fourLeafTree();
  rotate_nodes(tree, 4, rng);
  EXPECT_EQ(tree, rotated(fourLeafTree(), d, 0));
  EXPECT_EQ(tree[0][child1], 2);
  EXPECT_EQ(tree[1][child1], 3);
  EXPECT_EQ(tree[2][child1], 6);
  EXPECT_EQ(ran1(rng), d[7]); // leaves drew too: seven draws in all
}

TEST(AdjCoalTimes, WindowZeroKeepsEveryAgeAndDrawsOncePerInternalNode) {
  setSmallRun(4, 3);
  const std::vector<double> d = peekDraws(-3, 4);
  Rng rng = streamFrom(-3);
  TreeMatrix tree = fourLeafTree();
  adjcoaltimes(tree, 4, rng, 0, 4);
  EXPECT_EQ(tree, fourLeafTree());
  EXPECT_EQ(ran1(rng), d[3]);
}

TEST(AdjCoalTimes, StepsAreReflectedIntoZeroToTheMutationAge) {
  setSmallRun(4, 3);
  // Row 0 (age 3) draws first; with u > 0.5 a window w moves it by (2u - 1) w.
  const Seed seed = findSeed(1, [](const std::vector<double> &d) { return d[0] > 0.6; });
  const double up = 2 * peekDraws(seed, 1)[0] - 1;
  struct Case {
    double target, expected;
  } cases[] = {{4.3, 3.7}, {8.5, 0.5}, {12.5, 3.5}, {3.9, 3.9}};
  for (const Case &c : cases) {
    TreeMatrix tree = fourLeafTree();
    Rng rng = streamFrom(seed);
    adjcoaltimes(tree, 4, rng, (c.target - 3) / up, 4);
    EXPECT_NEAR(tree[0][nodeTime], c.expected, 1e-12) << "pushed to " << c.target;
    for (int r = 0; r < 7; r++) {
      EXPECT_GE(tree[r][nodeTime], 0);
      EXPECT_LE(tree[r][nodeTime], 4);
    }
  }
  // Pushed below 0 by 0.2: the absolute value gives 0.2.
  const Seed down = findSeed(1, [](const std::vector<double> &d) { return d[0] < 0.4; });
  TreeMatrix tree = fourLeafTree();
  Rng rng = streamFrom(down);
  adjcoaltimes(tree, 4, rng, -3.2 / (2 * peekDraws(down, 1)[0] - 1), 4);
  EXPECT_NEAR(tree[0][nodeTime], 0.2, 1e-12);
}

TEST(AdjCoalTimes, AFarStepIsFoldedIntoZeroToTheMutationAge) {
  setSmallRun(4, 3);
  const Seed seed = findSeed(1, [](const std::vector<double> &d) { return d[0] > 0.6; });
  const double up = 2 * peekDraws(seed, 1)[0] - 1;
  // Mutation age 0.5, so the reflections repeat every 1: 2^22 + 0.3 folds to
  // 0.3, and 2^22 + 0.7 to 0.7, which reflects once to 0.3.
  for (double target : {4194304.3, 4194304.7}) {
    TreeMatrix tree = fourLeafTree();
    Rng rng = streamFrom(seed);
    adjcoaltimes(tree, 4, rng, (target - 3) / up, 0.5);
    EXPECT_NEAR(tree[0][nodeTime], 0.3, 1e-8) << "pushed to " << target;
  }
  // A step of 1e20 against an age of 50: 2 * 50 is far below the rounding of
  // the ages, which reflections alone would never bring down.
  for (Seed s0 : {-1, -2, -3}) {
    TreeMatrix tree = fourLeafTree();
    Rng rng = streamFrom(s0);
    adjcoaltimes(tree, 4, rng, 1e20, 50);
    for (int r = 0; r < 7; r++) {
      EXPECT_GE(tree[r][nodeTime], 0) << "row " << r;
      EXPECT_LE(tree[r][nodeTime], 50) << "row " << r;
    }
  }
}

TEST(AdjCoalTimes, NoReflectionWithoutAPositiveMutationAge) {
  setSmallRun(4, 3);
  for (double age : {0.0, -2.0}) {
    TreeMatrix tree = fourLeafTree();
    Rng rng = streamFrom(-5);
    adjcoaltimes(tree, 4, rng, 0, age);
    EXPECT_EQ(tree, fourLeafTree());
  }
}

TEST(ReassignNodes, UnchangedAgesRebuildTheSameGenealogy) {
  setSmallRun(4, 3);
  TreeMatrix tree = fourLeafTree();
  for (TreeRow &row : tree) {
    row[child1] = row[child2] = row[parent] = row[branchLength] = 99;
    if (row[nodeTime] == 0)
      row[child1] = row[child2] = -1;
  }
  std::vector<double> ages;
  std::vector<int> byAge;
  ageOrder(fourLeafTree(), ages, byAge);
  std::vector<int> order = {3, 1, 4, 0, 5, 2, 6};
  reassignnodes(tree, byAge, order, 4);
  EXPECT_EQ(tree, fourLeafTree());
  EXPECT_EQ(order, std::vector<int>{0});
}

TEST(ReassignNodes, NewAgesMergeInAgeOrder) {
  setSmallRun(4, 3);
  // Ages 0 -> 1, 1 -> 2, 2 -> 3 with the sequence 3 1 4 0 5 2 6: node 0
  // merges 4 and 5, node 1 merges 3 and 0, node 2 (the root) 1 and 6.
  TreeMatrix tree = fourLeafTree();
  tree[0][nodeTime] = 1;
  tree[1][nodeTime] = 2;
  tree[2][nodeTime] = 3;
  std::vector<double> ages;
  std::vector<int> byAge;
  ageOrder(tree, ages, byAge);
  std::vector<int> order = {3, 1, 4, 0, 5, 2, 6};
  reassignnodes(tree, byAge, order, 4);
  const double expected[7][6] = {{0, 4, 5, 1, 1, 1},   {1, 3, 0, 2, 2, 1},   {2, 1, 6, -1, 3, 1},
                                 {3, -1, -1, 1, 0, 2}, {4, -1, -1, 0, 0, 1}, {5, -1, -1, 0, 0, 1},
                                 {6, -1, -1, 2, 0, 3}};
  for (int r = 0; r < 7; r++)
    for (int c = 0; c < 6; c++)
      EXPECT_EQ(tree[r][c], expected[r][c]) << "row " << r << " column " << c;
  EXPECT_TRUE(genealogyIsConsistent(tree, 4));
}

// A genealogy is fixed by its in-order sequence and the age order of its
// internal nodes: the rebuild must give back the sequence under every node
// older than its children, whatever the sequence and the ages.
TEST(ReassignNodes, RebuildKeepsTheSequenceUnderAgeOrderedNodes) {
  const int n = 30, rows = 2 * n - 1;
  setSmallRun(n, 3);
  std::mt19937 gen(30);
  std::vector<int> internal(n - 1), leaves(n);
  std::iota(internal.begin(), internal.end(), 0);
  std::iota(leaves.begin(), leaves.end(), n - 1);
  for (int trial = 0; trial < 50; trial++) {
    TreeMatrix tree = caterpillarTree(n);
    std::uniform_real_distribution<double> age(0.5, n - 0.5);
    for (int v : internal)
      tree[v][nodeTime] = age(gen);
    std::shuffle(internal.begin(), internal.end(), gen);
    std::shuffle(leaves.begin(), leaves.end(), gen);
    std::vector<int> sequence(rows);
    for (int k = 0; k < rows; k++)
      sequence[k] = k % 2 == 0 ? leaves[k / 2] : internal[k / 2];
    std::vector<double> ages;
    std::vector<int> byAge;
    ageOrder(tree, ages, byAge);
    std::vector<int> order = sequence;
    reassignnodes(tree, byAge, order, n);
    ASSERT_TRUE(genealogyIsConsistent(tree, n)) << "trial " << trial;
    ASSERT_EQ(order, std::vector<int>{byAge.back()});
    std::vector<int> walked(rows);
    getlabelorder(byAge.back(), rows, walked, tree);
    ASSERT_EQ(walked, sequence) << "trial " << trial;
    for (int v = 0; v < rows; v++) {
      const int up = static_cast<int>(tree[v][parent]);
      if (up != -1) {
        ASSERT_GT(tree[up][nodeTime], tree[v][nodeTime]) << "trial " << trial << ", node " << v;
      }
    }
  }
}

class Regraft : public ::testing::Test {
protected:
  void SetUp() override {
    setSmallRun(4, 3);
    tree = fourLeafTree();
  }
  // Regrafts j by g under the mutation age 4 from a fresh stream at seed;
  // returns the draws it made.
  int regraft(int j, double g, Seed seed) {
    const std::vector<double> d = peekDraws(seed, 6);
    Rng rng = streamFrom(seed);
    EXPECT_TRUE(regraftSubtree(tree, j, g, 4, rng));
    EXPECT_TRUE(genealogyIsConsistent(tree, 4));
    const double next = ran1(rng);
    for (int used = 0; used < 6; used++)
      if (d[used] == next)
        return used;
    return -1;
  }
  // Expects cells (time, branch) of row r.
  void expectAges(int r, double time, double branch) {
    EXPECT_NEAR(tree[r][nodeTime], time, 1e-12) << "row " << r;
    EXPECT_NEAR(tree[r][branchLength], branch, 1e-12) << "row " << r;
  }
  void expectLinks(int r, double c1, double c2, double up) {
    EXPECT_EQ(tree[r][child1], c1) << "row " << r;
    EXPECT_EQ(tree[r][child2], c2) << "row " << r;
    EXPECT_EQ(tree[r][parent], up) << "row " << r;
  }
  TreeMatrix tree;
};

TEST_F(Regraft, FirstStepDownTheSiblingBranchMovesOnlyTheParentsAge) {
  EXPECT_EQ(regraft(3, 0.4, -1), 0);
  expectAges(1, 0.6, 2.4);
  expectAges(4, 0, 0.6);
  expectAges(3, 0, 0.6);
  expectLinks(1, 3, 4, 0);
  for (int r : {0, 2, 5, 6})
    EXPECT_EQ(tree[r], fourLeafTree()[r]);
}

TEST_F(Regraft, FirstStepUpRescalesTheMovedSubtree) {
  EXPECT_EQ(regraft(1, -0.5, -1), 0);
  const double f = 3.5 / 3;
  expectAges(0, 3.5, 0.5);
  expectAges(2, 2, 1.5);
  expectAges(1, f, 2 * f);
  expectAges(3, 0, f);
  expectAges(4, 0, f);
  expectLinks(0, 1, 2, -1);
}

TEST_F(Regraft, BranchBoundsOfTheFirstStepAreInclusive) {
  EXPECT_EQ(regraft(3, -2, -1), 0); // exactly p's branch: p reaches the root's age
  expectAges(1, 3, 0);
  expectAges(3, 0, 3);
  expectLinks(1, 3, 4, 0);
  SetUp();
  EXPECT_EQ(regraft(1, 1, -1), 0); // exactly the sibling's branch: p down to 2's age
  expectAges(0, 2, 2);
  expectAges(2, 2, 0);
  expectAges(1, 2.0 / 3, 4.0 / 3);
  expectLinks(0, 1, 2, -1);
  SetUp();
  EXPECT_EQ(regraft(5, 0, -1), 0); // no displacement, no change
  EXPECT_EQ(tree, fourLeafTree());
}

TEST_F(Regraft, WalkIntoALeafTurnsUpItsOwnBranch) {
  // j = 5 with p = 2 and sibling leaf 6: 2.5 exceeds 6's branch (2) by 0.5,
  // the leaf reflects it, and the point lands 0.5 above leaf 6; only the
  // child-order draw is made.
  const double w = peekDraws(-1, 1)[0];
  EXPECT_EQ(regraft(5, 2.5, -1), 1);
  expectAges(2, 0.5, 2.5);
  expectAges(6, 0, 0.5);
  expectAges(5, 0, 0.5);
  expectLinks(2, w > 0.5 ? 5 : 6, w > 0.5 ? 6 : 5, 0);
  expectLinks(0, 1, 2, -1);
}

TEST_F(Regraft, PastTheLeafBranchTheWalkGoesOnUpWithADirectionDraw) {
  // 5.5 - 2 down to leaf 6, back up its merged branch of 3, 0.5 left at the root.
  const Seed up = findSeed(1, [](const std::vector<double> &d) { return d[0] > 0.5; });
  EXPECT_EQ(regraft(5, 5.5, up), 2);
  expectAges(2, 3.5, 0.5);
  expectAges(0, 3, 0.5);
  expectAges(5, 0, 3.5);
  EXPECT_EQ(tree[2][parent], -1);
  expectLinks(0, 1, 6, 2);

  SetUp();
  const Seed turn = findSeed(1, [](const std::vector<double> &d) { return d[0] <= 0.5; });
  EXPECT_EQ(regraft(5, 5.5, turn), 2);
  expectAges(2, 2.5, 0.5);
  expectAges(1, 1, 1.5);
  expectAges(5, 0, 2.5);
  expectLinks(0, 2, 6, -1);
  EXPECT_EQ(tree[1][parent], 2);
}

TEST_F(Regraft, AboveTheMutationAgeTheWalkTurnsDownTheRootBranch) {
  // p = 0 is the root: -1.5 passes its branch (1) by 0.5, reflects at age 4 and
  // comes down 0.5 on the branch of the new root 2. No direction draw.
  const double w = peekDraws(-1, 1)[0];
  EXPECT_EQ(regraft(1, -1.5, -1), 1);
  const double f = 3.5 / 3;
  expectAges(0, 3.5, 0.5);
  expectAges(2, 2, 1.5);
  expectAges(1, f, 2 * f);
  expectLinks(0, w > 0.5 ? 1 : 2, w > 0.5 ? 2 : 1, -1);
  EXPECT_EQ(tree[2][parent], 0);
}

TEST_F(Regraft, DownwardWalkDrawsTheBranchAndCanPassANode) {
  // p = 0 cut out, 2 becomes the root; 0.5 remains below node 2.
  const std::vector<double> d = peekDraws(-2, 1);
  EXPECT_EQ(regraft(1, 1.5, -2), 2);
  const int x = d[0] > 0.5 ? 5 : 6;
  expectAges(0, 1.5, 0.5);
  expectAges(x, 0, 1.5);
  expectAges(1, 0.5, 1);
  expectAges(2, 2, 2);
  EXPECT_EQ(tree[2][parent], -1);
  EXPECT_EQ(tree[0][parent], 2);
  EXPECT_EQ(tree[x][parent], 0);
  EXPECT_EQ(tree[2][d[0] > 0.5 ? child1 : child2], 0);

  // 2.5 below node 2 passes the leaf branch (2), reflects, lands at age 0.5.
  SetUp();
  EXPECT_EQ(regraft(1, 3.5, -2), 2);
  expectAges(0, 0.5, 1.5);
  expectAges(x, 0, 0.5);
  expectAges(1, 1.0 / 6, 1.0 / 3);
}

TEST_F(Regraft, PlacementReachesUpToTheMutationAge) {
  // -2 past p's branch (1) leaves exactly the root's branch: p becomes the
  // root at the mutation age.
  const Seed up = findSeed(1, [](const std::vector<double> &d) { return d[0] > 0.5; });
  EXPECT_EQ(regraft(5, -2, up), 2);
  expectAges(2, 4, 0);
  expectAges(0, 3, 1);
  EXPECT_EQ(tree[2][parent], -1);
}

TEST_F(Regraft, AWalkWithoutEndPlacesNothing) {
  // A distance so far beyond the ages that no branch length changes it walks
  // until its bound; one that is not finite does not walk at all.
  for (int j : {1, 5})
    for (double g : {1e300, -1e300}) {
      tree = fourLeafTree();
      Rng rng = streamFrom(-3);
      EXPECT_FALSE(regraftSubtree(tree, j, g, 4, rng)) << "j " << j << ", g " << g;
    }
  for (double g : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
    tree = fourLeafTree();
    const double first = peekDraws(-3, 1)[0];
    Rng rng = streamFrom(-3);
    EXPECT_FALSE(regraftSubtree(tree, 1, g, 4, rng)) << g;
    EXPECT_EQ(ran1(rng), first) << g;
  }
}

class GenealogyMove : public ::testing::Test {
protected:
  void SetUp() override {
    setModel(4, false);
    installChain(fourLeafTree(), 4);
    ASSERT_TRUE(chainMatchesRecomputation(0));
  }
};

TEST_F(GenealogyMove, CachedTermsStayCurrentUnderManyMoves) {
  const int accepted = runCheckedMoves(-11, 1500);
  EXPECT_GT(accepted, 100);
  EXPECT_LT(accepted, 1400);
}

TEST_F(GenealogyMove, MarkovModelWithoutGrowthOnALargerTree) {
  setModel(7, true);
  pset.growthRate = 0;
  installChain(caterpillarTree(7), 7);
  ASSERT_TRUE(chainMatchesRecomputation(0));
  const int accepted = runCheckedMoves(-23, 1500);
  EXPECT_GT(accepted, 100);
  EXPECT_LT(accepted, 1400);
}

TEST_F(GenealogyMove, TwoLeaves) {
  setModel(2, false);
  installChain(caterpillarTree(2), 2);
  ASSERT_TRUE(chainMatchesRecomputation(0));
  EXPECT_GT(runCheckedMoves(-5, 300), 0);
}

TEST_F(GenealogyMove, NodeTimeMoveWithoutStepsRebuildsTheRotatedGenealogy) {
  GenealogyWork work;
  chains[0].treeAdjust = 0;
  // Node-time move: kind, age, seven child-order draws, three age draws, accept.
  const Seed seed = findSeed(1, [](const std::vector<double> &d) { return d[0] < 0.1; });
  const std::vector<double> d = peekDraws(seed, 14);
  const TreeMatrix start = chains[0].tree;
  Rng rng = streamFrom(seed);
  updateGenealogy(rng, chains[0], work, 0);
  EXPECT_EQ(chains[0].accTree, 1);
  EXPECT_EQ(chains[0].tree, rotated(start, d, 2));
  EXPECT_EQ(ran1(rng), d[13]);
  EXPECT_TRUE(chainMatchesRecomputation(0));
}

TEST_F(GenealogyMove, RejectionKeepsTheExchangedChildOrder) {
  GenealogyWork work;
  // With a window of 100 and bounds [3, 5] the age lands outside its bounds
  // unless the step falls in a narrow range; such proposals are refused.
  chains[0].treeAdjust = 100;
  pset.mutAgeLow = 3;
  pset.mutAgeHigh = 5;
  // The age a draw v proposes, reflected at the bounds and, in a regraft, at
  // the root's age 3.
  auto proposed = [](double v, bool regraft) {
    double age = 4 + (2 * v - 1) * 100;
    if (age < 3)
      age = 6 - age;
    if (age > 5)
      age = 10 - age;
    if (regraft && age < 3)
      age = 6 - age;
    return age;
  };
  auto outside = [](double age) { return age < 3 || age > 5; };
  // Regraft: kind, seven child-order draws, then the age; node-time: kind,
  // age, then the child orders.
  const Seed regraft = findSeed(9, [&](const std::vector<double> &d) {
    return d[0] >= 0.1 && outside(proposed(d[8], true));
  });
  const Seed nodeTime = findSeed(9, [&](const std::vector<double> &d) {
    return d[0] < 0.1 && outside(proposed(d[1], false));
  });
  for (auto [seed, first] : {std::pair{regraft, 1}, std::pair{nodeTime, 2}}) {
    SetUp();
    chains[0].treeAdjust = 100;
    pset.mutAgeLow = 3;
    pset.mutAgeHigh = 5;
    const ChainState before = chainState();
    const std::vector<double> d = peekDraws(seed, 9);
    Rng rng = streamFrom(seed);
    updateGenealogy(rng, chains[0], work, 0);
    EXPECT_EQ(chains[0].accTree, 0);
    EXPECT_EQ(chains[0].tree, rotated(before.tree, d, first));
    expectUnchangedButChildOrder(before);
    EXPECT_TRUE(chainMatchesRecomputation(0));
  }
}

TEST_F(GenealogyMove, AgesOutsideTheBoundsAreNeverAccepted) {
  chains[0].treeAdjust = 100;
  pset.mutAgeLow = 3;
  pset.mutAgeHigh = 5;
  Rng rng = streamFrom(-31);
  Chain &c = chains[0];
  GenealogyWork work;
  int refusedOutside = 0;
  for (int i = 0; i < 400; i++) {
    const int accepted = c.accTree;
    updateGenealogy(rng, c, work, i % pset.realIterations);
    if (c.propMutAge < 3 || c.propMutAge > 5) {
      EXPECT_EQ(c.accTree, accepted);
      refusedOutside++;
    }
    EXPECT_GE(c.mutAge, 3);
    EXPECT_LE(c.mutAge, 5);
    ASSERT_TRUE(chainMatchesRecomputation(0));
  }
  EXPECT_GT(refusedOutside, 300);
}

TEST_F(GenealogyMove, SamplingIterationsRecordTheAgeBeforeTheProposal) {
  pset.burnInIterations = 3;
  pset.realIterations = 5;
  Chain &c = chains[0];
  GenealogyWork work;
  c.ageSamples.assign(5, 0.0);
  Rng rng = streamFrom(-17);
  std::vector<double> agesBefore;
  for (int i = 0; i < 8; i++) {
    agesBefore.push_back(c.mutAge);
    updateGenealogy(rng, c, work, i);
    for (int k = 0; k < 5; k++)
      EXPECT_EQ(c.ageSamples[k], k + 3 <= i ? agesBefore[k + 3] : 0.0) << "after " << i;
  }
  EXPECT_NE(agesBefore.front(), agesBefore.back());
}

TEST_F(GenealogyMove, AgeNotProposedKeepsItAndRecordsNothing) {
  for (int mode : {0, 1}) {
    SetUp();
    pset.iterMutAge = mode == 0 ? 0 : 1;
    pset.starGenealogy = mode;
    const Chain &c = chains[0];
    const double agePrior = c.mutAgePrior;
    runCheckedMoves(-13, 200);
    EXPECT_EQ(c.mutAge, 4);
    EXPECT_EQ(c.mutAgePrior, agePrior);
    EXPECT_EQ(c.ageSamples, std::vector<double>(pset.realIterations, 0.0));
    EXPECT_GT(c.accTree, 0);
  }
}

TEST_F(GenealogyMove, ARegraftWhoseWalkPlacesNothingIsRefusedAtOneDraw) {
  GenealogyWork work;
  // Regraft: kind, seven child-order draws, the age, then the subtree, the
  // displacement and the walk's own draws.
  const Seed seed = findSeed(1, [](const std::vector<double> &d) { return d[0] >= 0.1; });
  for (double width : {1e300, std::nan("")}) {
    SetUp();
    chains[0].rootDepthAdjust = width;
    const ChainState before = chainState();
    const std::vector<double> d = peekDraws(seed, 9);
    Rng rng = streamFrom(seed);
    updateGenealogy(rng, chains[0], work, 0);
    const double next = ran1(rng);
    EXPECT_EQ(chains[0].accTree, 0);
    EXPECT_EQ(chains[0].tree, rotated(before.tree, d, 1));
    expectUnchangedButChildOrder(before);
    EXPECT_TRUE(chainMatchesRecomputation(0));

    // The same draws made step by step: after the walk gives up, exactly one
    // draw (the acceptance) precedes the next one.
    Rng r = streamFrom(seed);
    ran1(r);
    TreeMatrix tree = before.tree;
    rotate_nodes(tree, 4, r);
    const double age = 4 + (2 * ran1(r) - 1) * 0.5; // within bounds, above the root's 3
    EXPECT_EQ(chains[0].propMutAge, age);
    EXPECT_EQ(chains[0].ageSamples[0], 4);
    tree[0][branchLength] = age - 3;
    int j;
    do
      j = random2(7, r);
    while (tree[j][parent] == -1);
    EXPECT_FALSE(regraftSubtree(tree, j, gasdev(r) * width, age, r)) << width;
    ran1(r);
    EXPECT_EQ(ran1(r), next) << width;
  }
  // Many moves with regrafts that never place: node-time moves still go on.
  SetUp();
  chains[0].rootDepthAdjust = std::nan("");
  EXPECT_GT(runCheckedMoves(-7, 300), 0);
}

TEST_F(GenealogyMove, ANodeTimeProposalWithAZeroInternalAgeIsRefused) {
  GenealogyWork work;
  // A step of 1e20 against an age of 4 lands on multiples of 8 (far beyond
  // 2^56 every age is one), which fold to 0 exactly: no rebuild is possible.
  pset.iterMutAge = 0;
  chains[0].treeAdjust = 1e20;
  const Seed seed = findSeed(12, [](const std::vector<double> &d) {
    for (int k = 8; k < 11; k++)
      if (std::fabs(2 * d[k] - 1) < 1e-3)
        return false;
    return d[0] < 0.1;
  });
  const ChainState before = chainState();
  // Kind, seven child-order draws, three node ages, the acceptance draw.
  const std::vector<double> d = peekDraws(seed, 13);
  Rng rng = streamFrom(seed);
  updateGenealogy(rng, chains[0], work, 0);
  EXPECT_EQ(ran1(rng), d[12]);
  EXPECT_EQ(chains[0].accTree, 0);
  EXPECT_EQ(chains[0].tree, rotated(before.tree, d, 1));
  expectUnchangedButChildOrder(before);
  EXPECT_TRUE(chainMatchesRecomputation(0));
}

namespace {

// The stored haplotype run shortened to 20 burn-in and 50 sampling
// iterations, with its adjustment levels replaced by `levels`, and
// `iterate` as its move switches.
RunResult runShortened(const std::string &levels, const std::string &iterate) {
  std::string control = readFile(MUTLOC_TEST_DATA "/golden/hap_markov_loc1_2chains/control.in");
  const std::pair<std::string, std::string> edits[] = {
      {"\n5 10 0.005 0.3 0.3 0.05 1\n", "\n" + levels + "\n"},
      {"Burn-in iteration\n200\n", "Burn-in iteration\n20\n"},
      {"Iterations\n1500\n", "Iterations\n50\n"},
      {"mutation location, allele freq\n1 1 1 1\n",
       "mutation location, allele freq\n" + iterate + "\n"}};
  for (const auto &[from, to] : edits) {
    const size_t at = control.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
      control.replace(at, from.size(), to);
  }
  const std::string dir = makeTempDir();
  writeFile(dir, "control.in", control);
  return runMutloc(dir, "control.in");
}

} // namespace

TEST(GenealogyMoveRun, FarProposalsNeitherHangNorStopTheRun) {
  // A regraft width of 1e300, and node-age steps of 1e20 against a fixed
  // mutation age of 50.
  const std::pair<const char *, const char *> cases[] = {
      {"5 1e300 0.005 0.3 0.3 0.05 1", "1 1 1 1"}, {"1e20 10 0.005 0.3 0.3 0.05 1", "1 0 1 1"}};
  for (const auto &[levels, iterate] : cases) {
    const RunResult r = runShortened(levels, iterate);
    const std::string last = "Finished\n";
    EXPECT_EQ(r.status, 0) << levels;
    EXPECT_TRUE(r.out.size() >= last.size() &&
                r.out.compare(r.out.size() - last.size(), last.size(), last) == 0)
        << levels;
  }
}
