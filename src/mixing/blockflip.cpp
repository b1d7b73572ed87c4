// The mixing sampler's change of an allele a clade's internal nodes share.
// The allele draws change one node at a time, and a node that shares its
// allele with its parent and children pays for a change twice over: its own
// branch and its children's then differ at that marker. When the data favour
// another allele for a whole clade, the chain has to pass through such
// states one node at a time. This move changes, at one marker, a node and
// every internal node below it reached through nodes of the same allele (its
// block) to another allele at once.
//
// The block is a function of the state, so the move is its own reverse only
// when the block after the change is the same set: a proposal whose block
// borders an internal node that already carries the new allele (which would
// join the block after the change) is refused. Node, marker and new allele
// are then picked with the same probabilities both ways, and the test is
// that of the likelihood alone.
#include "genealogy.h"
#include "likelihood.h"
#include "mixing.h"
#include "movesupport.h"

namespace {

bool isInternal(const TreeMatrix &tree, int node) {
  return link(tree, node, child1) != -1;
}

} // namespace

void flipAlleleBlock(Rng &rng, Chain &chain, ChainWork &work) {
  TreeMatrix &tree = chain.tree;
  const int rows = static_cast<int>(tree.size());
  int v;
  do
    v = random2(rows, rng);
  while (!isInternal(tree, v));
  const int k = random2(pset.numLoci, rng);
  if (maxall[k] < 2)
    return;
  const int a = rowAllele(tree[v].data(), k);
  int b = 1 + random2(maxall[k] - 1, rng);
  if (b >= a)
    b++;
  // The block from v, then the rows whose terms change: the block's and
  // those of the children below it.
  std::vector<int> &block = work.scratch.block;
  std::vector<int> &changed = work.scratch.blockRows;
  block.assign(1, v);
  changed.clear();
  for (size_t i = 0; i < block.size(); i++) {
    changed.push_back(block[i]);
    for (int column : {child1, child2}) {
      const int c = link(tree, block[i], column);
      if (!isInternal(tree, c)) {
        changed.push_back(c);
        continue;
      }
      const int allele = rowAllele(tree[c].data(), k);
      if (allele == b)
        return;
      if (allele == a)
        block.push_back(c);
      else
        changed.push_back(c);
    }
  }
  work.keptRows.clear();
  for (int row : changed)
    keepRow(chain, work, row);
  for (int row : block)
    tree[row][TMAT + k] = b;
  chainRowTerms(chain, work.memo, chain.rootLoci, changed.data(), static_cast<int>(changed.size()));
  const double logLik = storedTotal(tree, work.memo.total);
  if (ran1(rng) < acceptanceProbability(logLik - chain.logLik))
    chain.logLik = logLik;
  else
    restoreKeptRows(chain, work);
}
