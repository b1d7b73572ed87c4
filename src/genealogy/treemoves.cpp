// The genealogy move of a chain: one Metropolis-Hastings update per iteration
// that proposes a new mutation age (in the default sampler; the mixing
// sampler's moves keep the age) together with either new ages for every
// internal node (node-time move, the topology rebuilt from the in-order leaf
// sequence) or a new attachment point for a random subtree (regraft move, the
// subtree rescaled to fit under its new attachment age). A node-time proposal
// is built in the proposal matrix; a regraft, which changes a few rows, is
// made on the genealogy itself with those rows kept to be put back. Either
// way the chain's genealogy and log terms change only on acceptance, except
// for the child order exchanged at the start of every move.
#include <algorithm>
#include <cmath>

#include "genealogy.h"
#include "likelihood.h"
#include "random.h"

namespace {

// A regraft walk gives up after passing this many branches, and its proposal
// is refused. A displacement of ordinary size passes a handful of branches; a
// distance far beyond the genealogy's ages passes about one branch per branch
// length it holds, and one so large that subtracting a branch length no
// longer changes it would walk for ever.
constexpr long maxWalkBranches = 1000000;

// A stepped node age more than this many times the mutation age is first
// folded into one period of its reflections. Steps of ordinary size never come
// near it and keep the reflections' own arithmetic.
constexpr double foldAgeRatio = 1e6;

// A uniform step of half-width treeAdjust from the chain's age, reflected once
// at the lower and then once at the upper bound.
void proposeMutAge(Rng &rng, Chain &chain) {
  double age = chain.mutAge + (2 * ran1(rng) - 1) * chain.treeAdjust;
  if (age < pset.mutAgeLow)
    age = 2 * pset.mutAgeLow - age;
  if (age > pset.mutAgeHigh)
    age = 2 * pset.mutAgeHigh - age;
  chain.propMutAge = age;
}

// Sampling iterations record the chain's age as it was before the proposal.
void recordAgeSample(Chain &chain, int32_t i) {
  if (i >= pset.burnInIterations)
    chain.ageSamples[i - pset.burnInIterations] = chain.mutAge;
}

// Exchanges child orders in the chain's genealogy and returns the root's
// label: the row that a sort on the ages puts last. That is the one oldest
// node unless several share the oldest age; only then is the sort's order
// itself needed to say which of them comes last.
int rotateAndFindRoot(Rng &rng, Chain &chain) {
  const int rows = 2 * pset.numChromosomes - 1;
  const TreeMatrix &tree = chain.tree;
  rotate_nodes(chain.tree, pset.numChromosomes, rng);
  int oldest = 0;
  bool shared = false;
  for (int r = 1; r < rows; r++) {
    if (tree[r][nodeTime] > tree[oldest][nodeTime]) {
      oldest = r;
      shared = false;
    } else if (tree[r][nodeTime] == tree[oldest][nodeTime]) {
      shared = true;
    }
  }
  if (!shared)
    return link(tree, oldest, nodeLabel);
  // The proposal's ages are set afresh by either move, so they can hold the
  // sorted ages meanwhile.
  ageOrder(tree, chain.propTimes, chain.ageOrder);
  return chain.ageOrder[rows - 1];
}

// Carries the age changes of node's subtree from the rows before to the
// rows after into ages, the ascending ages of before.
void moveSubtreeAges(std::vector<double> &ages, const TreeMatrix &before, const TreeMatrix &after,
                     int node) {
  if (node == -1)
    return;
  moveSortedAge(ages, before[node][nodeTime], after[node][nodeTime]);
  moveSubtreeAges(ages, before, after, link(after, node, child1));
  moveSubtreeAges(ages, before, after, link(after, node, child2));
}

// Fills propTimes with the regraft proposal's node ages in ascending order.
// The regraft changes the ages of p and of j's rescaled subtree only, so the
// genealogy's ascending ages need only those values moved; the ascending
// sequence of the values is the same whichever way it is reached. The rows
// as they were are the ones kept in chain.propTree.
void regraftProposalTimes(Chain &chain, int j, int p) {
  chain.propTimes = chain.nodeTimes;
  moveSortedAge(chain.propTimes, chain.propTree[p][nodeTime], chain.tree[p][nodeTime]);
  moveSubtreeAges(chain.propTimes, chain.propTree, chain.tree, j);
}

// The rows of j's subtree are kept here, all others with keepRow; no row
// of the subtree is one of the others.
void keepSubtree(Chain &chain, GenealogyWork &work, int node) {
  if (node == -1)
    return;
  work.keptRows.push_back(node);
  chain.propTree[node] = chain.tree[node];
  keepSubtree(chain, work, link(chain.tree, node, child1));
  keepSubtree(chain, work, link(chain.tree, node, child2));
}

// A proposal that cannot be built is refused at its acceptance draw, with no
// likelihood work; the chain keeps its state.
void refuse(Rng &rng) {
  ran1(rng);
}

// Node-time move: every internal age takes a uniform step (reflected into
// [0, age]) and the topology is rebuilt by merging the nodes of the in-order
// sequence of the rotated genealogy in the order of their new ages. The
// proposal's mutation age, chain.propMutAge, is set before.
void nodeTimeProposal(Rng &rng, Chain &chain, GenealogyWork &work) {
  const int n = pset.numChromosomes;
  chain.labelOrder.resize(2 * n - 1);
  const int root = rotateAndFindRoot(rng, chain);
  copytree(chain.tree, chain.propTree);
  getlabelorder(root, 2 * n - 1, chain.labelOrder, chain.tree);
  adjcoaltimes(chain.propTree, n, rng, chain.treeAdjust, chain.propMutAge);
  // The rebuild needs every internal node to rank above the leaves' age 0;
  // an age reflected onto 0 exactly (as a far step folded into the interval
  // can be) cannot be placed.
  for (const TreeRow &row : chain.propTree)
    if (row[child1] != -1 && !(row[nodeTime] > 0)) {
      refuse(rng);
      return;
    }
  // The rebuild merges the nodes in the order of their new ages.
  ageOrder(chain.propTree, chain.propTimes, chain.ageOrder);
  reassignnodes(chain.propTree, chain.ageOrder, chain.labelOrder, chain.propMutAge);
  const double logLik = chainTprob(chain, work.memo, chain.propTree, chain.mutLoc, chain.rootLoci);
  // The proposal becomes the chain's genealogy; the working copy carries
  // nothing into the next move, so the two matrices simply change places.
  if (acceptGenealogy(rng, chain, work, chain.propTree, logLik, 0.0)) {
    chain.tree.swap(chain.propTree);
    chain.accTree++;
  }
}

// The node-time move with a new mutation age, drawn before the genealogy's
// child orders are exchanged.
void nodeTimeMove(Rng &rng, Chain &chain, GenealogyWork &work, int32_t i) {
  chain.propMutAge = chain.mutAge;
  if (ageIsProposed()) {
    proposeMutAge(rng, chain);
    recordAgeSample(chain, i);
  }
  nodeTimeProposal(rng, chain, work);
}

// The regraft walk of the cut point through the remaining tree. A positive g
// is the distance still to go toward the present from node c, a negative g the
// distance toward the root from c, entered from below from node `from`. The
// walk reflects at the leaves and at the top of the root's branch (the
// mutation's origin). The placement tests are inclusive: a distance that
// exactly uses up a branch places the point at the node reached, so the
// remaining distance never becomes 0. Returns whether the point was placed:
// then x is the node whose branch receives it and t1 the point's age. A
// distance that is or becomes not finite (on a branch whose length is not a
// number), or one that passes maxWalkBranches branches, places nothing.
bool regraftWalk(Rng &rng, const TreeMatrix &tree, double g, double age, int c, int from, int &x,
                 double &t1) {
  for (long passed = 0; passed < maxWalkBranches && std::isfinite(g); passed++) {
    bool up = false; // going on up c's own branch
    int down = -1;   // otherwise: the branch entered from its top
    double top = 0;  // and the age at that top
    if (g > 0) {
      if (link(tree, c, child1) == -1) {
        // A leaf: turn and go straight back up its own branch.
        g = -g;
        up = true;
      } else {
        down = ran1(rng) > 0.5 ? link(tree, c, child1) : link(tree, c, child2);
        top = tree[c][nodeTime];
      }
    } else if (c == -1) {
      // Past the mutation's origin: turn down into the root's branch.
      g = -g;
      down = from;
      top = age;
    } else if (ran1(rng) > 0.5) {
      up = true;
    } else {
      // Turn down into the child not entered from.
      g = -g;
      down = otherChild(tree, c, from);
      top = tree[c][nodeTime];
    }
    if (up) {
      if (-g <= tree[c][branchLength]) {
        x = c;
        t1 = tree[c][nodeTime] - g;
        return true;
      }
      g += tree[c][branchLength];
      from = c;
      c = link(tree, c, parent);
      continue;
    }
    if (g <= tree[down][branchLength]) {
      x = down;
      t1 = top - g;
      return true;
    }
    g -= tree[down][branchLength];
    c = down;
  }
  return false;
}

// Puts p, carrying j's subtree rescaled to fit under age t1, on the branch
// above x at age t1 (below the mutation age); one draw decides p's child
// order.
void attachAbove(Rng &rng, TreeMatrix &tree, int j, int p, int x, double t1, double age) {
  scaleSubtreeAges(j, tree, t1 / tree[p][nodeTime]);
  const int above = link(tree, x, parent);
  const double top = above == -1 ? age : tree[above][nodeTime];
  tree[p][nodeTime] = t1;
  tree[p][branchLength] = top - t1;
  tree[x][branchLength] = t1 - tree[x][nodeTime];
  tree[p][parent] = above;
  tree[x][parent] = p;
  if (above != -1)
    replaceChild(tree, above, x, p);
  const bool movedFirst = ran1(rng) > 0.5;
  tree[p][child1] = movedFirst ? j : x;
  tree[p][child2] = movedFirst ? x : j;
}

// The regraft of regraftSubtree; beforeAttach(x) is called once the walk has
// placed the point on x's branch, before x and its parent change.
template <class BeforeAttach>
bool regraft(TreeMatrix &tree, int j, double g, double age, Rng &rng, BeforeAttach beforeAttach) {
  const int p = link(tree, j, parent);
  const int s = otherChild(tree, p, j);
  const int grand = link(tree, p, parent);
  const double t0 = tree[p][nodeTime];
  const double sibBranch = tree[s][branchLength];
  const double ownBranch = tree[p][branchLength];
  if (g == 0 || (g > 0 && g <= sibBranch) || (g < 0 && -g <= ownBranch)) {
    // The point stays on the branches through p: only p's age changes.
    scaleSubtreeAges(j, tree, (t0 - g) / t0);
    tree[p][nodeTime] -= g;
    tree[p][branchLength] += g;
    tree[s][branchLength] -= g;
    return true;
  }
  // Cut p out: s takes its place (and becomes the root when p was the root).
  tree[s][parent] = grand;
  if (grand != -1)
    replaceChild(tree, grand, p, s);
  tree[s][branchLength] += ownBranch;
  tree[p][parent] = -2;
  int x;
  double t1;
  const bool placed = g > 0 ? regraftWalk(rng, tree, g - sibBranch, age, s, -1, x, t1)
                            : regraftWalk(rng, tree, g + ownBranch, age, grand, s, x, t1);
  if (placed) {
    beforeAttach(x);
    attachAbove(rng, tree, j, p, x, t1, age);
  }
  return placed;
}

// Regraft move: a random subtree with its parent node is cut out and
// reattached a normal distance away, walking through the remaining tree. The
// child orders were exchanged (root being the genealogy's root) and the
// proposal's mutation age, chain.propMutAge, set before.
void regraftProposal(Rng &rng, Chain &chain, GenealogyWork &work, int root) {
  const int rows = 2 * pset.numChromosomes - 1;
  TreeMatrix &tree = chain.tree;
  work.keptRows.clear();
  keepRow(chain, work, root);
  tree[root][branchLength] = chain.propMutAge - tree[root][nodeTime];
  int j;
  do
    j = random2(rows, rng);
  while (link(tree, j, parent) == -1);
  const int p = link(tree, j, parent);
  const int s = otherChild(tree, p, j);
  const double t0 = tree[p][nodeTime];
  for (int node : {p, s, link(tree, p, parent)})
    keepRow(chain, work, node);
  keepSubtree(chain, work, j);
  const auto keepAttachment = [&](int x) {
    keepRow(chain, work, x);
    keepRow(chain, work, link(tree, x, parent));
  };
  // A walk that finds no place leaves nothing to score.
  if (!regraft(tree, j, gasdev(rng) * chain.rootDepthAdjust, chain.propMutAge, rng,
               keepAttachment)) {
    restoreKeptRows(chain, work);
    refuse(rng);
    return;
  }
  // Rows whose branch or parent changed: j's rescaled subtree, s, p, p's new
  // other child and the root, whose branch follows the mutation age.
  const Table &freqs = chain.popHapFreqs;
  const double x = chain.mutLoc;
  int internalMoved = 0;
  const PopulationRows *drawn = drawnRows(chain);
  partialtprobs(freqs, &internalMoved, p, j, tree, x, chain.rootLoci, chain.MP1, work.memo, drawn);
  for (int node : {s, p, otherChild(tree, p, j), root})
    tprob2(freqs, tree, x, pset.mapDist, chain.rootLoci, node, chain.MP1, work.memo, drawn);
  regraftProposalTimes(chain, j, p);
  const double logLik = storedTotal(tree, work.memo.total);
  // The rescaling of the k internal ages of j's subtree by T1 / T0.
  if (acceptGenealogy(rng, chain, work, tree, logLik,
                      internalMoved * std::log(tree[p][nodeTime] / t0)))
    chain.accTree++;
  else
    restoreKeptRows(chain, work);
}

// The regraft move with a new mutation age, drawn after the child orders are
// exchanged; the origin of the mutation cannot be younger than the root.
void regraftMove(Rng &rng, Chain &chain, GenealogyWork &work, int32_t i) {
  const int root = rotateAndFindRoot(rng, chain);
  const TreeMatrix &tree = chain.tree;
  chain.propMutAge = chain.mutAge;
  if (ageIsProposed()) {
    proposeMutAge(rng, chain);
    if (tree[root][nodeTime] > chain.propMutAge)
      chain.propMutAge = 2 * tree[root][nodeTime] - chain.propMutAge;
    recordAgeSample(chain, i);
  }
  regraftProposal(rng, chain, work, root);
}

// A tenth of the genealogy moves are node-time moves.
constexpr double nodeTimeMoveShare = 0.1;

} // namespace

bool regraftSubtree(TreeMatrix &tree, int j, double g, double age, Rng &rng) {
  return regraft(tree, j, g, age, rng, [](int) {});
}

void updateGenealogy(Rng &rng, Chain &chain, GenealogyWork &work, int32_t i) {
  if (ran1(rng) < nodeTimeMoveShare)
    nodeTimeMove(rng, chain, work, i);
  else
    regraftMove(rng, chain, work, i);
}

void updateGenealogyAtAge(Rng &rng, Chain &chain, GenealogyWork &work) {
  if (ran1(rng) < nodeTimeMoveShare)
    nodeTimeMoveAtAge(rng, chain, work);
  else
    regraftMoveAtAge(rng, chain, work);
}

void nodeTimeMoveAtAge(Rng &rng, Chain &chain, GenealogyWork &work) {
  chain.propMutAge = chain.mutAge;
  nodeTimeProposal(rng, chain, work);
}

void regraftMoveAtAge(Rng &rng, Chain &chain, GenealogyWork &work) {
  const int root = rotateAndFindRoot(rng, chain);
  chain.propMutAge = chain.mutAge;
  regraftProposal(rng, chain, work, root);
}

// Both cells are written whatever the draw: a branch on a fair coin would be
// mispredicted half the time.
void rotate_nodes(TreeMatrix &tree, int n, Rng &rng) {
  for (int r = 0; r < 2 * n - 1; r++) {
    const int exchange = ran1(rng) > 0.5;
    TreeRow &row = tree[r];
    const double children[2] = {row[child1], row[child2]};
    row[child1] = children[exchange];
    row[child2] = children[1 - exchange];
  }
}

void adjcoaltimes(TreeMatrix &tree, int n, Rng &rng, double step, double age) {
  for (int r = 0; r < 2 * n - 1; r++) {
    double t = tree[r][nodeTime];
    if (t > 0)
      t = t + (2 * ran1(rng) - 1) * step;
    t = std::fabs(t);
    // Reflect back below the mutation's origin; a non-positive age has no
    // interval to reflect into (the move is refused then anyway). The
    // reflections at 0 and at the age repeat with period 2 * age, so a far
    // step is first folded exactly into one period: the loop then turns at
    // most once instead of once per period, or for ever once 2 * age is
    // below the rounding of t. The ratio cannot overflow for large ages, and
    // a step that overflowed to infinity folds to NaN, which the node-time
    // move refuses.
    if (age > 0) {
      if (t / age > foldAgeRatio)
        t = std::fmod(t, 2 * age);
      while (t > age)
        t = std::fabs(2 * age - t);
    }
    tree[r][nodeTime] = t;
  }
}

void reassignnodes(TreeMatrix &tree, const std::vector<int> &byAge, std::vector<int> &order,
                   double age) {
  const int n = pset.numChromosomes;
  const int rows = 2 * n - 1;
  // The sequence as a list linked by label behind it in order's own storage:
  // the left neighbour of label l at rows + l, the right one at 2 rows + l
  // (-1 past the ends), so that a merge takes constant time.
  order.resize(3 * rows);
  int *left = order.data() + rows;
  int *right = order.data() + 2 * rows;
  for (int k = 0; k < rows; k++) {
    left[order[k]] = k > 0 ? order[k - 1] : -1;
    right[order[k]] = k + 1 < rows ? order[k + 1] : -1;
  }
  // Internal nodes from the youngest: each takes its two neighbours in the
  // sequence as children and then stands for the merged cluster.
  for (int r = n; r < rows; r++) {
    const int label = byAge[r];
    const int first = left[label];
    const int second = right[label];
    tree[label][child1] = first;
    tree[label][child2] = second;
    tree[first][parent] = label;
    tree[second][parent] = label;
    left[label] = left[first];
    right[label] = right[second];
    if (left[label] != -1)
      right[left[label]] = label;
    if (right[label] != -1)
      left[right[label]] = label;
  }
  const int root = byAge[rows - 1];
  tree[root][parent] = -1;
  order.assign(1, root);
  for (int r = 0; r < rows; r++) {
    const int up = link(tree, r, parent);
    const double top = up == -1 ? age : tree[up][nodeTime];
    tree[r][branchLength] = top - tree[r][nodeTime];
  }
}
