// A starting genealogy that groups similar haplotypes. The random genealogy a
// chain is given at set-up joins the patients' chromosomes in random order,
// and the genealogy moves, which move one subtree a short way at a time, need
// hundreds of thousands of iterations to gather the chromosomes that share
// long stretches around the mutation under common ancestors; until they have,
// the haplotype likelihood is far below its posterior range and the location
// posterior is not yet the one the data give. Average-linkage clustering of
// the leaves' haplotypes gives a topology close to the ones the data support
// at once. The chain keeps its own node ages: the youngest merge of the
// clustering takes the youngest age, and so on, so the genealogy's prior does
// not change; only who descends from whom does.
#include <algorithm>
#include <cmath>
#include <numeric>
#include <utility>
#include <vector>

#include "likelihood.h"
#include "mixing.h"

namespace {

// The clustering holds a distance for every pair of leaves: 128 MB at this
// many. Larger genealogies keep the random one they were given.
constexpr int maxClusteredLeaves = 4096;

// Alleles at which two leaf rows differ (missing alleles compared as
// imputed).
int mismatches(const TreeRow &a, const TreeRow &b) {
  int count = 0;
  for (int k = 0; k < pset.numLoci; k++)
    count += rowAllele(a.data(), k) != rowAllele(b.data(), k);
  return count;
}

} // namespace

// The merges are found by the nearest-neighbour chain, which gives the
// dendrogram of greedy average linkage in O(n^2) time: follow nearest
// neighbours until two clusters are each other's nearest, merge them, and go
// on from the rest of the chain.
std::vector<ClusterMerge> averageLinkage(std::vector<double> dist, int n) {
  std::vector<int> size(n, 1);
  std::vector<bool> active(n, true);
  std::vector<int> stack;
  std::vector<ClusterMerge> merges;
  const auto d = [&](int a, int b) -> double & { return dist[static_cast<size_t>(a) * n + b]; };
  int firstActive = 0;
  while (static_cast<int>(merges.size()) < n - 1) {
    if (stack.empty()) {
      while (!active[firstActive])
        firstActive++;
      stack.push_back(firstActive);
    }
    const int a = stack.back();
    // The previous cluster on the chain wins ties, which keeps the chain
    // from cycling.
    int best = stack.size() > 1 ? stack[stack.size() - 2] : -1;
    for (int c = 0; c < n; c++)
      if (active[c] && c != a && (best == -1 || d(a, c) < d(a, best)))
        best = c;
    if (stack.size() < 2 || best != stack[stack.size() - 2]) {
      stack.push_back(best);
      continue;
    }
    stack.pop_back();
    stack.pop_back();
    merges.push_back({a, best, d(a, best)});
    // The merged cluster takes slot a; its distances are the size-weighted
    // averages of its parts' (Lance-Williams).
    for (int c = 0; c < n; c++)
      if (active[c] && c != a && c != best) {
        const double v = (size[a] * d(a, c) + size[best] * d(best, c)) / (size[a] + size[best]);
        d(a, c) = v;
        d(c, a) = v;
      }
    size[a] += size[best];
    active[best] = false;
  }
  return merges;
}

void startFromClusters(Rng &stream, Chain &chain) {
  TreeMatrix &tree = chain.tree;
  std::vector<int> leaves, internal;
  for (size_t v = 0; v < tree.size(); v++)
    (tree[v][child1] == -1 ? leaves : internal).push_back(static_cast<int>(v));
  const int n = static_cast<int>(leaves.size());
  if (n < 2 || n > maxClusteredLeaves)
    return;
  // Mismatch counts are whole numbers and tie often; a share of a mismatch
  // drawn per pair breaks the ties differently in every chain, so that the
  // chains start from different genealogies.
  std::vector<double> dist(static_cast<size_t>(n) * n, 0.0);
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) {
      const double v = mismatches(tree[leaves[i]], tree[leaves[j]]) + 0.5 * ran1(stream);
      dist[static_cast<size_t>(i) * n + j] = v;
      dist[static_cast<size_t>(j) * n + i] = v;
    }
  const std::vector<ClusterMerge> merges = averageLinkage(std::move(dist), n);
  // A merge is placed no lower than the merges below it (rounding in the
  // averages can put it a hair lower), and the merges are then taken in
  // order of height, each below its parent.
  std::vector<double> height(n - 1);
  std::vector<int> slotMerge(n, -1);
  for (int m = 0; m < n - 1; m++) {
    height[m] = merges[m].height;
    for (int slot : {merges[m].a, merges[m].b})
      if (slotMerge[slot] != -1)
        height[m] = std::max(height[m], height[slotMerge[slot]]);
    slotMerge[merges[m].a] = m;
  }
  std::vector<int> order(n - 1);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](int x, int y) { return height[x] < height[y]; });
  // The internal rows in order of age: the k-th merge becomes the k-th
  // youngest of them, with its age.
  std::stable_sort(internal.begin(), internal.end(),
                   [&](int x, int y) { return tree[x][nodeTime] < tree[y][nodeTime]; });
  std::vector<int> slotNode(leaves);
  std::vector<int> mergeNode(n - 1);
  for (int k = 0; k < n - 1; k++)
    mergeNode[order[k]] = internal[k];
  // Replaying the merges in the order they were found gives every slot the
  // node that stands for its cluster at each step.
  for (int m = 0; m < n - 1; m++) {
    const int node = mergeNode[m];
    const int first = slotNode[merges[m].a], second = slotNode[merges[m].b];
    tree[node][child1] = first;
    tree[node][child2] = second;
    tree[first][parent] = node;
    tree[second][parent] = node;
    slotNode[merges[m].a] = node;
  }
  const int root = mergeNode[order.back()];
  tree[root][parent] = -1;
  for (TreeRow &row : tree) {
    const int up = static_cast<int>(row[parent]);
    const double top = up == -1 ? chain.mutAge : tree[up][nodeTime];
    row[branchLength] = top - row[nodeTime];
  }
}
