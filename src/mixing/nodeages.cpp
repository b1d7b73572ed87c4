// The mixing sampler's node-age updates: every internal node's age in turn
// redrawn uniformly between its older child's age and its parent's (the
// mutation age above the root), the topology, the haplotypes and every other
// age held. The interval does not depend on the node's own age, so the
// proposal is symmetric. The node's branch and its children's change, and
// with them their three terms and the genealogy prior; the regrafts move a
// node's age only together with a new place, and the stretches of the age
// moves only with every age above a pivot.
#include <algorithm>

#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"

void updateNodeAges(Rng &rng, Chain &chain) {
  TreeMatrix &tree = chain.tree;
  for (int v = 0; v < static_cast<int>(tree.size()); v++) {
    const int first = static_cast<int>(tree[v][child1]);
    if (first == -1)
      continue;
    const int second = static_cast<int>(tree[v][child2]);
    const int up = static_cast<int>(tree[v][parent]);
    const double low = std::max(tree[first][nodeTime], tree[second][nodeTime]);
    const double top = up == -1 ? chain.mutAge : tree[up][nodeTime];
    const double old = tree[v][nodeTime];
    const double now = low + ran1(rng) * (top - low);
    chain.scratch.changedRows.clear();
    const int changed[] = {v, first, second};
    for (int row : changed)
      keepRow(chain, row);
    tree[v][nodeTime] = now;
    tree[v][branchLength] = top - now;
    tree[first][branchLength] = now - tree[first][nodeTime];
    tree[second][branchLength] = now - tree[second][nodeTime];
    chainRowTerms(chain, chain.rootLoci, changed, 3);
    const double logLik = storedTotal(tree, chain.memo.total);
    chain.propTimes = chain.nodeTimes;
    moveSortedAge(chain.propTimes, old, now);
    chain.propMutAge = chain.mutAge;
    if (!acceptGenealogy(rng, chain, tree, logLik, 0))
      restoreKeptRows(chain);
  }
}
