// Recomputation of single node terms and whole subtrees, for the genealogy
// moves: a regraft or a time change alters the branches of nodes that are not
// one node and its children, so these are recomputed row by row and the mover
// sums the nodeLogLik column itself.
#include "likelihood.h"

void tprob2(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
            const Haplotype &rootHap, int node, const TransTable &trans, LikelihoodMemo &memo,
            const PopulationRows *drawn) {
  tree[node][nodeLogLik] = nodeTerm(freqs, tree, x, mapDist, rootHap, node, trans, memo, drawn);
}

// In-order walk of node's subtree: recursion along first children only, a
// loop along second children, so the depth is the longest run of first
// children. Each internal node visited adds 1 to *count.
void partialtprobs(const Table &freqs, int *count, int, int node, TreeMatrix &tree, double x,
                   const Haplotype &rootHap, const TransTable &trans, LikelihoodMemo &memo,
                   const PopulationRows *drawn) {
  while (node != -1) {
    partialtprobs(freqs, count, node, static_cast<int>(tree[node][child1]), tree, x, rootHap, trans,
                  memo, drawn);
    tprob2(freqs, tree, x, pset.mapDist, rootHap, node, trans, memo, drawn);
    if (tree[node][child1] != -1)
      (*count)++;
    node = static_cast<int>(tree[node][child2]);
  }
}
