// Test-only checks of a chain's state: the structure of a label-ordered
// genealogy, and the chain's cached node terms and log terms against a
// recomputation from scratch with the full likelihood and the priors. Meant to
// run after every move in tests that drive the sampler's moves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "genealogy.h"
#include "likelihood.h"
#include "mutloc.h"

namespace chaincheck {

// Equal, both the same infinity, or within tol relative to their size.
inline bool close(double a, double b, double tol) {
  if (a == b)
    return true;
  return std::fabs(a - b) <= tol * std::max(1.0, std::max(std::fabs(a), std::fabs(b)));
}

inline int cell(const TreeMatrix &tree, int row, int column) {
  return static_cast<int>(tree[row][column]);
}

} // namespace chaincheck

// A complete genealogy of numChromosomes leaves in label order (row r holds
// node r) under the mutation age `age`: one root; links that agree in both
// directions; leaves of age 0; every node reachable from the root; and every
// branch length equal to the age above it minus the node's own, never
// negative.
inline ::testing::AssertionResult genealogyIsConsistent(const TreeMatrix &tree, double age,
                                                        double tol = 1e-9) {
  using chaincheck::cell;
  using chaincheck::close;
  const int n = pset.numChromosomes;
  const int rows = 2 * n - 1;
  if (static_cast<int>(tree.size()) != rows)
    return ::testing::AssertionFailure() << "matrix has " << tree.size() << " rows, not " << rows;
  int root = -1, leaves = 0;
  for (int r = 0; r < rows; r++) {
    if (cell(tree, r, nodeLabel) != r)
      return ::testing::AssertionFailure() << "row " << r << " holds node " << tree[r][nodeLabel];
    const int up = cell(tree, r, parent);
    if (up == -1) {
      if (root != -1)
        return ::testing::AssertionFailure() << "two roots: " << root << " and " << r;
      root = r;
    } else if (up < 0 || up >= rows ||
               (cell(tree, up, child1) != r && cell(tree, up, child2) != r)) {
      return ::testing::AssertionFailure()
             << "node " << r << " has parent " << up << " that does not name it";
    }
    const int c1 = cell(tree, r, child1), c2 = cell(tree, r, child2);
    if (c1 == -1 || c2 == -1) {
      if (c1 != c2 || tree[r][nodeTime] != 0)
        return ::testing::AssertionFailure() << "leaf " << r << " has a child or an age";
      leaves++;
    } else {
      for (int c : {c1, c2})
        if (c < 0 || c >= rows || cell(tree, c, parent) != r)
          return ::testing::AssertionFailure() << "child " << c << " of " << r << " is not linked";
      if (c1 == c2)
        return ::testing::AssertionFailure() << "node " << r << " has one child twice";
    }
    const double top = up == -1 ? age : tree[up][nodeTime];
    const double branch = tree[r][branchLength];
    if (!close(branch, top - tree[r][nodeTime], tol) || branch < -tol)
      return ::testing::AssertionFailure()
             << "branch of " << r << " is " << branch << ", expected " << top - tree[r][nodeTime];
  }
  if (root == -1 || leaves != n)
    return ::testing::AssertionFailure() << "root " << root << ", " << leaves << " leaves";
  std::vector<int> stack = {root};
  int reached = 0;
  while (!stack.empty() && reached <= rows) {
    const int v = stack.back();
    stack.pop_back();
    reached++;
    if (cell(tree, v, child1) != -1) {
      stack.push_back(cell(tree, v, child1));
      stack.push_back(cell(tree, v, child2));
    }
  }
  if (reached != rows)
    return ::testing::AssertionFailure() << reached << " nodes reachable from the root";
  return ::testing::AssertionSuccess();
}

// Chain ch's genealogy is consistent under its current age, and its cached
// nodeLogLik terms, log-likelihood, node times, tree prior and age prior
// agree with a recomputation from scratch (with a fresh likelihood memo),
// under its memberships (whose founder count must match them).
inline ::testing::AssertionResult chainMatchesRecomputation(int ch, double tol = 1e-9) {
  using chaincheck::close;
  const int n = pset.numChromosomes;
  const int rows = 2 * n - 1;
  const Chain &c = chains[ch];
  const TreeMatrix &stored = c.tree;
  ::testing::AssertionResult shape = genealogyIsConsistent(stored, c.mutAge, tol);
  if (!shape)
    return shape;
  TreeMatrix fresh = stored;
  LikelihoodMemo memo;
  double total = 0;
  tprob(c.popHapFreqs, fresh, c.mutLoc, pset.mapDist, &total, c.rootLoci, -1, 0, c.MP1, memo,
        drawnRows(c));
  for (int r = 0; r < rows; r++)
    if (!close(stored[r][nodeLogLik], fresh[r][nodeLogLik], tol))
      return ::testing::AssertionFailure()
             << "node term of " << r << " is " << stored[r][nodeLogLik] << ", recomputed "
             << fresh[r][nodeLogLik];
  if (!close(c.logLik, total, tol))
    return ::testing::AssertionFailure()
           << "log-likelihood " << c.logLik << ", recomputed " << total;
  sortTree(fresh, nodeTime);
  std::vector<double> times(rows);
  for (int r = 0; r < rows; r++)
    times[r] = fresh[r][nodeTime];
  if (c.nodeTimes != times)
    return ::testing::AssertionFailure() << "node times differ from the genealogy's sorted ages";
  const PopulationRows &drawn = c.membership.drawn;
  double treePrior = tprior(n, times, c.mutAge, pset.propSampled, pset.growthRate);
  std::vector<int> events, founders;
  if (!drawn.empty())
    treePrior += founderTreeTerm(stored, c.membership, events, founders);
  if (!close(c.treePrior, treePrior, tol))
    return ::testing::AssertionFailure()
           << "tree prior " << c.treePrior << ", recomputed " << treePrior;
  if (!drawn.empty() && c.membership.founders != n - std::count(drawn.begin(), drawn.end(), 1))
    return ::testing::AssertionFailure() << "founder count " << c.membership.founders;
  const double agePrior =
      tpriormut(drawn.empty() ? n : std::max(1, c.membership.founders), c.mutAge, pset.growthRate);
  if (!close(c.mutAgePrior, agePrior, tol))
    return ::testing::AssertionFailure()
           << "age prior " << c.mutAgePrior << ", recomputed " << agePrior;
  return ::testing::AssertionSuccess();
}
