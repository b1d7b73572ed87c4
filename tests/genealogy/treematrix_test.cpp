// Tree-matrix operations: fresh rows, copy, sorts on a column, reversal and
// the two in-order walks.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "genealogy.h"
#include "sort.h"
#include "testkit.h"

namespace {

// A genealogy in the generated pattern with 2^depth leaves in label order:
// node j has children 2j + 1 and 2j + 2; ages halve from the root (age 8)
// down, leaves are at 0; the mutation age is 10. Allele cells hold 10 * label
// + locus so that moved rows can be recognised.
TreeMatrix heapTree(int leaves) {
  const int rows = 2 * leaves - 1;
  std::vector<std::vector<double>> cells(rows);
  for (int j = 0; j < rows; j++) {
    bool leaf = j >= leaves - 1;
    int depth = 0;
    for (int k = j; k > 0; k = (k - 1) / 2)
      depth++;
    double time = leaf ? 0 : 8.0 / (1 << depth);
    double parentTime = j == 0 ? 10.0 : 8.0 / (1 << (depth - 1));
    cells[j] = {static_cast<double>(j),
                leaf ? -1.0 : 2.0 * j + 1,
                leaf ? -1.0 : 2.0 * j + 2,
                j == 0 ? -1.0 : (j - 1) / 2,
                time,
                parentTime - time,
                -0.01 * j};
    for (int k = 0; k < TOTLOCI; k++)
      cells[j].push_back(10.0 * j + k);
  }
  return makeTree(cells);
}

std::vector<int> walk(const TreeMatrix &t, int node, int count) {
  std::vector<int> order(count, -7);
  getlabelorder(node, count, order, t);
  return order;
}

} // namespace

TEST(TreeMatrix, FreshRowsForHaplotypes) {
  setSmallRun(3, 2);
  TreeMatrix t = freshTree();
  ASSERT_EQ(t.size(), 5u);
  for (const auto &row : t)
    EXPECT_EQ(row, (TreeRow{-1, -1, -1, -1, 0, -1, 0, -1, -1}));
}

TEST(TreeMatrix, FreshRowsForPairedGenotypes) {
  setSmallRun(4, 3);
  TMAT = 8;
  TreeMatrix t = freshTree();
  ASSERT_EQ(t.size(), 7u);
  for (const auto &row : t)
    EXPECT_EQ(row, (TreeRow{-1, -1, -1, -1, 0, -1, 0, -1, -1, -1, -1}));
}

TEST(TreeMatrix, CopyTakesEveryCellAndTheRowOrder) {
  setSmallRun(4, 2);
  TreeMatrix source = heapTree(4);
  mysorttreematrev(source, 7, TMAT + TOTLOCI);
  TreeMatrix target = freshTree();
  copytree(source, target);
  EXPECT_EQ(target, source);
}

TEST(TreeMatrix, TwoLeavesWalkChildRootChild) {
  setSmallRun(2, 1);
  TreeMatrix t =
      makeTree({{0, 2, 1, -1, 1.0, 0.5, 0}, {1, -1, -1, 0, 0, 1.0, 0}, {2, -1, -1, 0, 0, 1.0, 0}});
  EXPECT_EQ(walk(t, 0, 3), (std::vector<int>{2, 0, 1}));
}

TEST(TreeMatrix, WalkIsInOrderAndRepeatable) {
  setSmallRun(4, 1);
  TreeMatrix t = heapTree(4);
  const std::vector<int> expected{3, 1, 4, 0, 5, 2, 6};
  EXPECT_EQ(walk(t, 0, 7), expected);
  // A second walk fills the same positions.
  EXPECT_EQ(walk(t, 0, 7), expected);
}

TEST(TreeMatrix, WalkFollowsLinksNotLabelsPattern) {
  // A genealogy after tree moves: labels no longer follow the generated
  // pattern, and the child order has been exchanged at the root.
  setSmallRun(3, 1);
  TreeMatrix t = makeTree({{0, 3, 4, -1, 3.0, 1.0, 0},
                           {1, -1, -1, 3, 0, 1.0, 0},
                           {2, -1, -1, 3, 0, 1.0, 0},
                           {3, 2, 1, 0, 1.0, 2.0, 0},
                           {4, -1, -1, 0, 0, 3.0, 0}});
  EXPECT_EQ(walk(t, 0, 5), (std::vector<int>{2, 3, 1, 0, 4}));
}

TEST(TreeMatrix, WalkOfASubtreeWithItsOwnCount) {
  setSmallRun(4, 1);
  TreeMatrix t = heapTree(4);
  EXPECT_EQ(walk(t, 2, 3), (std::vector<int>{5, 2, 6}));
  EXPECT_EQ(walk(t, 0, 7), (std::vector<int>{3, 1, 4, 0, 5, 2, 6}));
}

TEST(TreeMatrix, WalkOfEightLeavesAlternatesLeafAndInternal) {
  setSmallRun(8, 1);
  TreeMatrix t = heapTree(8);
  std::vector<int> order = walk(t, 0, 15);
  for (int i = 0; i < 15; i++)
    EXPECT_EQ(t[order[i]][child1] == -1, i % 2 == 0) << i;
  std::vector<int> sorted = order;
  std::sort(sorted.begin(), sorted.end());
  for (int i = 0; i < 15; i++)
    EXPECT_EQ(sorted[i], i);
}

TEST(TreeMatrix, SortOnColumnOneThenZeroRestoresLabelOrder) {
  setSmallRun(8, 2);
  const TreeMatrix original = heapTree(8);
  TreeMatrix t = original;
  sortTree(t, child1);
  for (int r = 0; r < 8; r++)
    EXPECT_EQ(t[r][child1], -1) << r;
  for (int r = 8; r < 15; r++)
    EXPECT_NE(t[r][child1], -1) << r;
  sortTree(t, nodeLabel);
  EXPECT_EQ(t, original);
}

TEST(TreeMatrix, TimeOrderPutsTheRootLastAndReversalFirst) {
  setSmallRun(8, 2);
  const TreeMatrix original = heapTree(8);
  TreeMatrix t = original;
  sortTree(t, nodeTime);
  EXPECT_EQ(t[14][nodeLabel], 0);
  for (int r = 1; r < 15; r++)
    EXPECT_LE(t[r - 1][nodeTime], t[r][nodeTime]) << r;
  for (const auto &row : t)
    EXPECT_EQ(row, original[static_cast<int>(row[nodeLabel])]);
  TreeMatrix timeOrder = t;
  mysorttreematrev(t, 15, TMAT + TOTLOCI);
  EXPECT_EQ(t[0][nodeLabel], 0);
  for (int r = 0; r < 15; r++)
    EXPECT_EQ(t[r], timeOrder[14 - r]) << r;
}

// The moves rebuild the topology from the age order, so rows of equal age
// must come out exactly as the whole-row sort puts them; ages from a handful
// of values make long runs of ties in every position.
TEST(TreeMatrix, AgeOrderFollowsTheWholeRowSortThroughTies) {
  setSmallRun(12, 2);
  std::mt19937 gen(12);
  std::vector<int> labels(23);
  std::iota(labels.begin(), labels.end(), 0);
  for (int trial = 0; trial < 200; trial++) {
    TreeMatrix t = heapTree(12);
    std::shuffle(labels.begin(), labels.end(), gen);
    const int distinct = 1 + trial % 5;
    for (int r = 0; r < 23; r++) {
      t[r][nodeLabel] = labels[r];
      t[r][nodeTime] = trial == 0 ? 23 - r : static_cast<double>(gen() % distinct);
    }
    const TreeMatrix before = t;
    std::vector<double> ages;
    std::vector<int> byAge;
    ageOrder(t, ages, byAge);
    EXPECT_EQ(t, before);
    sortTree(t, nodeTime);
    ASSERT_EQ(ages.size(), 23u);
    ASSERT_EQ(byAge.size(), 23u);
    for (int r = 0; r < 23; r++) {
      EXPECT_EQ(ages[r], t[r][nodeTime]) << "trial " << trial << ", row " << r;
      EXPECT_EQ(byAge[r], t[r][nodeLabel]) << "trial " << trial << ", row " << r;
    }
    if (::testing::Test::HasFailure())
      return;
  }
}

TEST(TreeMatrix, ReversalOfAnEvenCountAndOfPartialRows) {
  setSmallRun(2, 1);
  TreeMatrix t = makeTree({{0, 1}, {1, 2}, {2, 3}, {3, 4}});
  mysorttreematrev(t, 4, 1);
  EXPECT_EQ(t[0][0], 3);
  EXPECT_EQ(t[1][0], 2);
  EXPECT_EQ(t[2][0], 1);
  EXPECT_EQ(t[3][0], 0);
  // Only the first cell of each row was exchanged.
  EXPECT_EQ(t[0][1], 1);
  EXPECT_EQ(t[3][1], 4);
}

TEST(TreeMatrix, RescaleByOneChangesNothing) {
  setSmallRun(4, 1);
  const TreeMatrix original = heapTree(4);
  TreeMatrix t = original;
  scaleSubtreeAges(0, t, 1.0);
  EXPECT_EQ(t, original);
}

TEST(TreeMatrix, RescaleAtTheRootDoublesEveryAgeAndBranch) {
  setSmallRun(4, 1);
  const TreeMatrix original = heapTree(4);
  TreeMatrix t = original;
  scaleSubtreeAges(0, t, 2.0);
  for (int r = 0; r < 7; r++) {
    EXPECT_EQ(t[r][nodeTime], 2 * original[r][nodeTime]) << r;
    EXPECT_EQ(t[r][branchLength], 2 * original[r][branchLength]) << r;
    TreeRow rest = t[r], restOriginal = original[r];
    rest[nodeTime] = rest[branchLength] = 0;
    restOriginal[nodeTime] = restOriginal[branchLength] = 0;
    EXPECT_EQ(rest, restOriginal) << r;
  }
  EXPECT_EQ(t[0][branchLength], 4.0); // the root's own branch: 2 x (10 - 8)
}

TEST(TreeMatrix, RescaleOfASubtreeLeavesTheOtherRowsAlone) {
  setSmallRun(4, 1);
  const TreeMatrix original = heapTree(4);
  TreeMatrix t = original;
  scaleSubtreeAges(1, t, 0.5);
  for (int r : {1, 3, 4}) {
    EXPECT_EQ(t[r][nodeTime], 0.5 * original[r][nodeTime]) << r;
    EXPECT_EQ(t[r][branchLength], 0.5 * original[r][branchLength]) << r;
  }
  for (int r : {0, 2, 5, 6})
    EXPECT_EQ(t[r], original[r]) << r;
}
