// Node terms against a direct evaluation of the crossover sums, taken with
// no remembered values, while the locus count, the genealogy's size, the map,
// the branch lengths and the location change from one call to the next. The
// remembered exponentials must give the very same numbers in every case.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "likelihood.h"
#include "testkit.h"

namespace {

using std::exp;

int allele(double cell) {
  return static_cast<int>(std::fabs(cell));
}

// The term of row v, evaluated afresh from the crossover weights; the
// population probabilities are the independent products of freqs.
double directTerm(const TreeMatrix &tree, const Table &freqs, const Haplotype &rootHap, double x,
                  int v) {
  const int L = pset.numLoci;
  const std::vector<double> &d = pset.mapDist;
  const TreeRow &row = tree[v];
  const int up = static_cast<int>(row[parent]);
  const double t = row[branchLength];
  const auto differs = [&](int k) {
    const int own = allele(row[TMAT + k - 1]);
    return up < 0 ? own != rootHap[k - 1] : own != allele(tree[up][TMAT + k - 1]);
  };
  const auto f = [&](int k) { return freqs[allele(row[TMAT + k - 1])][k - 1]; };
  int b;
  if (x <= 0) {
    b = 1;
  } else if (x >= d[L]) {
    b = L + 1;
  } else {
    b = 2;
    while (!(x <= d[b]))
      b++;
  }
  double right = 0, left = 0;
  if (b <= L) {
    int mR = b;
    while (mR <= L && !differs(mR))
      mR++;
    for (int j = b; j <= mR; j++) {
      double R = 1;
      for (int k = L; k >= j; k--)
        R = k == L ? f(k) : R * f(k);
      double w;
      if (j == b)
        w = b == 1 ? 1 - exp(x * t) : 1 - exp(-(d[b] - x) * t);
      else if (j <= L)
        w = exp(x * t) * (exp(-d[j - 1] * t) - exp(-d[j] * t));
      else
        w = exp(x * t) * exp(-d[L] * t);
      right += j <= L ? w * R : w;
    }
  }
  if (b >= 2) {
    int mL = b - 1;
    while (mL >= 1 && !differs(mL))
      mL--;
    for (int k = mL; k <= b - 1; k++) {
      double F = 1;
      for (int i = 1; i <= k; i++)
        F = i == 1 ? f(1) : F * f(i);
      double w;
      if (k == b - 1)
        w = 1 - exp(-(x - d[b - 1]) * t);
      else if (k >= 2)
        w = exp(-x * t) * (exp(d[k + 1] * t) - exp(d[k] * t));
      else if (k == 1)
        w = exp(-x * t) * (exp(d[2] * t) - 1);
      else
        w = exp(-x * t);
      left += k >= 1 ? w * F : w;
    }
  }
  const double u = b == 1 ? right : b == L + 1 ? left : left * right;
  return std::log(u);
}

// A genealogy of n leaves in heap layout (internal node i has the children
// 2i + 1 and 2i + 2) with branch lengths and alleles made from the salt, so
// that every evaluation sees other numbers; some alleles are imputed (-a).
TreeMatrix saltedTree(int n, int salt) {
  const int rows = 2 * n - 1;
  TreeMatrix tree(rows, TreeRow(TMAT + TOTLOCI, -1.0));
  for (int i = 0; i < rows; i++) {
    tree[i][nodeLabel] = i;
    tree[i][nodeLogLik] = 0;
    tree[i][branchLength] = 0.3 + 0.7 * ((i * 7 + salt * 3) % 5);
    if (2 * i + 2 < rows) {
      tree[i][child1] = 2 * i + 1;
      tree[i][child2] = 2 * i + 2;
      tree[2 * i + 1][parent] = i;
      tree[2 * i + 2][parent] = i;
    }
    for (int k = 0; k < pset.numLoci; k++)
      tree[i][TMAT + k] = ((i + k + salt) % 3 == 0 ? -1 : 1) * (1 + (i * k + salt) % 2);
  }
  return tree;
}

// A genealogy of n leaves over L markers on the given map, scored at x under
// the independent population model with two alleles.
struct Case {
  int n, L;
  std::vector<double> map;
  double x;
};

// Sets up the run of a case; returns its allele frequencies, which change
// along the map.
Table setUpCase(const Case &cs) {
  setSmallRun(cs.n, cs.L);
  pset.mapDist = cs.map;
  pset.algSwitch = 0.0;
  maxall.assign(cs.L, 2);
  Table freqs(3, std::vector<double>(cs.L, 0.0));
  for (int k = 0; k < cs.L; k++) {
    freqs[1][k] = 0.2 + 0.15 * k;
    freqs[2][k] = 1 - freqs[1][k];
  }
  return freqs;
}

// Transition tables of L markers, unread by the independent model.
TransTable flatTransitions(int L) {
  return TransTable(L > 1 ? L - 1 : 0, Table(2, std::vector<double>(2, 0.5)));
}

} // namespace

TEST(ReplayLikelihood, RememberedExponentialsGiveTheDirectTermsWhateverChanges) {
  // Shapes, maps and locations visited in turn and revisited: on, between
  // and outside the markers, at the first and at the last marker.
  const std::vector<Case> cases = {
      {2, 3, {0, 0, 0.5, 1.5}, 0.5},
      {4, 3, {0, 0, 0.5, 1.5}, 0.7},
      {3, 1, {0, 0}, 0.2},
      {2, 3, {0, 0, 0.5, 2.5}, 0.5},
      {4, 4, {0, 0, 0.2, 0.5, 1}, 0},
      {4, 4, {0, 0, 0.2, 0.5, 1}, 1},
      {2, 3, {0, 0, 0.5, 1.5}, -0.4},
      {4, 4, {0, 0, 0.2, 0.5, 1}, 1.3},
      {3, 2, {0, 0, 2}, 1},
      {4, 3, {0, 0, 0.5, 1.5}, 0.5},
  };
  int finite = 0, terms = 0;
  // One memo for every evaluation, as one chain's likelihood keeps it.
  LikelihoodMemo memo;
  for (int round = 0; round < 3; round++)
    for (size_t c = 0; c < cases.size(); c++) {
      const Case &cs = cases[c];
      const Table freqs = setUpCase(cs);
      const TransTable trans = flatTransitions(cs.L);
      const Haplotype root(cs.L, 1);
      // Round 1 keeps the branch lengths of round 0; round 2 changes them.
      TreeMatrix tree =
          saltedTree(cs.n, round == 2 ? static_cast<int>(c) + 1 : static_cast<int>(c));
      double total = 0;
      tprob(freqs, tree, cs.x, pset.mapDist, &total, root, -1, 0, trans, memo);
      double sum = 0;
      for (int v = 0; v < 2 * cs.n - 1; v++) {
        const double direct = directTerm(tree, freqs, root, cs.x, v);
        EXPECT_EQ(tree[v][nodeLogLik], direct)
            << "case " << c << " round " << round << " row " << v;
        sum += direct;
        finite += std::isfinite(direct) ? 1 : 0;
        terms++;
      }
      EXPECT_EQ(total, sum) << "case " << c << " round " << round;
    }
  // Mismatches next to a mutation on a marker may leave a term at minus
  // infinity; most terms are finite numbers.
  EXPECT_GT(finite, terms * 3 / 4);
}

TEST(ReplayLikelihood, ATermTakenBetweenOthersIsTheSameNumber) {
  setSmallRun(3, 3);
  pset.mapDist = {0, 0, 0.4, 0.9};
  pset.algSwitch = 0.0;
  maxall.assign(3, 2);
  Table freqs(3, std::vector<double>(3, 0.0));
  freqs[1] = {0.3, 0.5, 0.6};
  freqs[2] = {0.7, 0.5, 0.4};
  const TransTable trans(2, Table(2, std::vector<double>(2, 0.5)));
  const Haplotype root(3, 1);
  TreeMatrix tree = saltedTree(3, 0);
  LikelihoodMemo memo;
  const double first = nodeTerm(freqs, tree, 0.4, pset.mapDist, root, 1, trans, memo);
  // Other locations, branch lengths and a larger genealogy in between.
  for (double x : {0.1, 0.65, 2.0, 0.4, -1.0})
    nodeTerm(freqs, tree, x, pset.mapDist, root, 1, trans, memo);
  for (double t : {0.01, 5.0, 0.3}) {
    tree[1][branchLength] = t;
    nodeTerm(freqs, tree, 0.4, pset.mapDist, root, 1, trans, memo);
  }
  setSmallRun(5, 3);
  pset.mapDist = {0, 0, 0.4, 0.9};
  TreeMatrix bigger = saltedTree(5, 2);
  double total = 0;
  tprob(freqs, bigger, 0.4, pset.mapDist, &total, root, -1, 0, trans, memo);
  setSmallRun(3, 3);
  pset.mapDist = {0, 0, 0.4, 0.9};
  tree = saltedTree(3, 0);
  EXPECT_EQ(nodeTerm(freqs, tree, 0.4, pset.mapDist, root, 1, trans, memo), first);
  EXPECT_EQ(first, directTerm(tree, freqs, root, 0.4, 1));
}

// The parent alleles a term reads: an allele of the parent (or of the
// ancestral haplotype, for the root) changed where the term does not read it
// leaves the term the same number, while changes where it reads move some
// terms.
TEST(ReplayLikelihood, AParentAlleleTheTermDoesNotReadLeavesIt) {
  const std::vector<Case> cases = {
      {4, 5, {0, 0, 0.2, 0.5, 0.8, 1}, 0.6},  {4, 5, {0, 0, 0.2, 0.5, 0.8, 1}, 0.5},
      {4, 5, {0, 0, 0.2, 0.5, 0.8, 1}, -0.1}, {4, 5, {0, 0, 0.2, 0.5, 0.8, 1}, 1},
      {4, 5, {0, 0, 0.2, 0.5, 0.8, 1}, 0.05}, {3, 1, {0, 0}, 0.2},
  };
  int unread = 0, readMoved = 0;
  for (size_t c = 0; c < cases.size(); c++) {
    const Case &cs = cases[c];
    const Table freqs = setUpCase(cs);
    const TransTable trans = flatTransitions(cs.L);
    const int b = firstRightMarker(cs.x);
    for (int salt = 0; salt < 6; salt++) {
      TreeMatrix tree = saltedTree(cs.n, salt);
      Haplotype root(cs.L);
      for (int k = 0; k < cs.L; k++)
        root[k] = 1 + (k + salt) % 2;
      LikelihoodMemo memo;
      for (int v = 0; v < 2 * cs.n - 1; v++) {
        const double term = nodeTerm(freqs, tree, cs.x, pset.mapDist, root, v, trans, memo);
        const int up = static_cast<int>(tree[v][parent]);
        for (int k = 1; k <= cs.L; k++) {
          // The other allele, imputed or observed as the cell was.
          TreeMatrix changed = tree;
          Haplotype changedRoot = root;
          if (up < 0) {
            changedRoot[k - 1] = 3 - root[k - 1];
          } else {
            double &cell = changed[up][TMAT + k - 1];
            cell = cell < 0 ? -(3 + cell) : 3 - cell;
          }
          const double after =
              nodeTerm(freqs, changed, cs.x, pset.mapDist, changedRoot, v, trans, memo);
          if (!termReadsParentAt(tree, v, b, root, k)) {
            EXPECT_EQ(after, term)
                << "case " << c << " salt " << salt << " row " << v << " marker " << k;
            unread++;
          } else if (after != term) {
            readMoved++;
          }
        }
      }
    }
  }
  EXPECT_GT(unread, 100);
  EXPECT_GT(readMoved, 100);
}

TEST(ReplayLikelihood, ATermReadsItsParentUpToTheFirstDifferenceOnEachSide) {
  setSmallRun(2, 5);
  pset.mapDist = {0, 0, 0.2, 0.5, 0.8, 1};
  const Haplotype root = {1, 1, 1, 1, 1};
  TreeMatrix tree = saltedTree(2, 0);
  for (int k = 0; k < 5; k++)
    tree[0][TMAT + k] = tree[1][TMAT + k] = 1;
  const auto read = [&](double x) {
    std::string markers;
    for (int k = 1; k <= 5; k++)
      markers += termReadsParentAt(tree, 1, firstRightMarker(x), root, k) ? '+' : '.';
    return markers;
  };
  // Mutation between markers 3 and 4 (map 0.5 and 0.8): the left side reads
  // markers 3, 2, 1 and the right side 4, 5 until they find a difference.
  EXPECT_EQ(firstRightMarker(0.6), 4);
  EXPECT_EQ(read(0.6), "+++++");
  tree[0][TMAT + 1] = 2;  // parent differs at marker 2
  tree[0][TMAT + 3] = -2; // and at marker 4, an imputed allele
  EXPECT_EQ(read(0.6), ".+++.");
  // A cell equal in magnitude is no difference.
  tree[1][TMAT + 3] = 2;
  EXPECT_EQ(read(0.6), ".++++");
  // Every marker on one side: right of a mutation left of them all, left of
  // one on the last marker.
  EXPECT_EQ(read(-0.1), "++...");
  EXPECT_EQ(read(1.0), ".++++");
}

namespace {

bool sameBits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

} // namespace

// The running total gives the plain row-order sum bit for bit over a long
// run of changes at random rows (several at once, terms of either sign of
// zero, minus infinity and NaN among them), also when the genealogy it is
// given has another size or is another genealogy of the same size.
TEST(RunningTotal, GivesTheRowOrderSumAfterEveryChange) {
  std::mt19937 gen(11);
  RunningTotal last;
  for (int n : {5, 9, 5}) {
    setSmallRun(n, 2);
    TreeMatrix trees[2] = {makeTree({}), makeTree({})};
    for (TreeMatrix &tree : trees) {
      tree.assign(2 * n - 1, TreeRow(TMAT + TOTLOCI, 0.0));
      for (TreeRow &row : tree)
        row[nodeLogLik] = -std::uniform_real_distribution<double>(0, 50)(gen);
    }
    const double special[] = {0.0, -0.0, -INFINITY, NAN, -1e-300};
    for (int step = 0; step < 400; step++) {
      TreeMatrix &tree = trees[step % 7 == 0 ? 1 : 0];
      const int changes = std::uniform_int_distribution<int>(0, 3)(gen);
      for (int c = 0; c < changes; c++) {
        const int r = std::uniform_int_distribution<int>(0, 2 * n - 2)(gen);
        const int pick = std::uniform_int_distribution<int>(0, 9)(gen);
        tree[r][nodeLogLik] =
            pick < 5 ? special[pick] : -std::uniform_real_distribution<double>(0, 50)(gen);
      }
      // Put a finite term back where NaN or infinity sits half of the time,
      // so that the sums are not all NaN.
      if (step % 2 == 0)
        for (TreeRow &row : tree)
          if (!std::isfinite(row[nodeLogLik]))
            row[nodeLogLik] = -1.5;
      ASSERT_TRUE(sameBits(storedTotal(tree, last), storedTotal(tree)))
          << "n " << n << " step " << step;
    }
  }
}
