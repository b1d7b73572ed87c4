// Acceptance, the partner-chromosome term and the save / score / restore cycle
// of one leaf, shared by the missing-allele and phase moves.
#include "movesupport.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "likelihood.h"
#include "random.h"

namespace {

int partnerOf(const Chain &chain, int leaf) {
  return static_cast<int>(chain.tree[leaf][partnerLeaf]);
}

// The rows whose node terms a leaf change touched, with their terms before.
struct ChangedRows {
  int rows[2] = {-1, -1};
  double oldTerms[2] = {0, 0};
  int count = 0;
};

// The leaf's row and, with paired genotypes, its partner leaf's, when their
// first allele blocks (which their node terms read) differ from the saved
// cells; changed(cells, saved, from) compares the block from `from` on. A
// block that still holds its saved cells keeps its term, which is then not
// computed again.
template <class Changed>
ChangedRows changedRows(Chain &chain, ChainWork &work, int leaf, Changed changed) {
  const MoveScratch &saved = work.scratch;
  ChangedRows out;
  if (changed(chain.tree[leaf], saved.leafCells, 0)) {
    out.rows[out.count] = leaf;
    out.oldTerms[out.count++] = saved.leafLik;
  }
  if (pairedGenotypes() && changed(chain.tree[partnerOf(chain, leaf)], saved.partnerCells, 0)) {
    out.rows[out.count] = partnerOf(chain, leaf);
    out.oldTerms[out.count++] = saved.partnerLik;
  }
  return out;
}

// The test of a leaf change whose rows hold their new terms, partnerProb
// being the chain's partner term after it (unpaired genotypes; without them
// the ratio is that of the totals alone). A kept change gives the chain its
// new log terms.
bool testLeafChange(Rng &rng, Chain &chain, ChainWork &work, const ChangedRows &changed,
                    double partnerProb) {
  const bool unpaired = unpairedGenotypes();
  const double proposed = unpaired ? partnerProb : 0, current = unpaired ? chain.partnerProb : 0;
  double total;
  if (!testRowChange(rng, chain, work, changed.rows, changed.oldTerms, changed.count, proposed,
                     current, false, &total))
    return false;
  chain.logLik = total;
  chain.partnerProb = partnerProb;
  return true;
}

// Puts back the node terms saveLeaf recorded and, through restore(cells,
// saved), the cells of the leaf and of its partner leaf (paired genotypes).
template <class Restore>
void restoreLeaf(Chain &chain, ChainWork &work, int leaf, Restore restore) {
  const MoveScratch &saved = work.scratch;
  TreeRow &row = chain.tree[leaf];
  row[nodeLogLik] = saved.leafLik;
  restore(row, saved.leafCells);
  if (pairedGenotypes()) {
    TreeRow &mate = chain.tree[partnerOf(chain, leaf)];
    mate[nodeLogLik] = saved.partnerLik;
    restore(mate, saved.partnerCells);
  }
}

} // namespace

double acceptanceProbability(double r) {
  return r >= 0 ? 1.0 : std::exp(r);
}

bool unpairedGenotypes() {
  return pset.dataAsGenotypes != 0 && pset.geneticModel == 0;
}

bool pairedGenotypes() {
  return pset.dataAsGenotypes != 0 && pset.geneticModel != 0;
}

double partnerTerm(Chain &chain, ChainWork &work, const double *secondBlock) {
  return allelesLogProb(chain.popHapFreqs, secondBlock, work.memo);
}

double allPartnerTerms(Chain &chain, ChainWork &work) {
  double sum = 0;
  for (const TreeRow &row : chain.tree)
    if (row[child1] == -1)
      sum += partnerTerm(chain, work, row.data() + TMAT + pset.numLoci);
  return sum;
}

void takeSweepLogs(Chain &chain, ChainWork &work) {
  if (unpairedGenotypes())
    frequencyLogs(chain.popHapFreqs, work.memo, work.scratch.sweepLogs);
}

void saveLeaf(Chain &chain, ChainWork &work, int leaf) {
  MoveScratch &saved = work.scratch;
  const TreeRow &row = chain.tree[leaf];
  saved.leafCells.assign(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
  saved.leafLik = row[nodeLogLik];
  if (pairedGenotypes()) {
    const TreeRow &mate = chain.tree[partnerOf(chain, leaf)];
    saved.partnerCells.assign(mate.begin() + TMAT, mate.begin() + TMAT + TOTLOCI);
    saved.partnerLik = mate[nodeLogLik];
  }
}

bool testRowChange(Rng &rng, Chain &chain, ChainWork &work, const int *rows, const double *oldTerms,
                   int count, double proposed, double current, bool tiesAccept, double *total) {
  const TotalBound bound = totalAfterChange(chain.tree, chain.logLik, rows, oldTerms, count);
  const double u = ran1(rng);
  // The largest log ratio the bound allows, with room for the rounding of the
  // few sums around the total.
  const double room = 8 * std::numeric_limits<double>::epsilon() *
                      (std::fabs(bound.estimate) + std::fabs(proposed) + std::fabs(chain.logLik) +
                       std::fabs(current) + 1);
  const double highest =
      (bound.estimate + proposed) - (chain.logLik + current) + bound.error + room;
  if (highest < 0 && std::exp(highest) < u)
    return false;
  *total = storedTotal(chain.tree, work.memo.total);
  const double p = acceptanceProbability((*total + proposed) - (chain.logLik + current));
  return tiesAccept ? u <= p : u < p;
}

bool acceptOrRestoreLeaf(Rng &rng, Chain &chain, ChainWork &work, int leaf) {
  const MoveScratch &saved = work.scratch;
  const TreeRow &row = chain.tree[leaf];
  const int loci = pset.numLoci;
  const auto changed = [&](const TreeRow &cells, const std::vector<double> &before, int from) {
    return !std::equal(before.begin() + from, before.begin() + from + loci,
                       cells.begin() + TMAT + from);
  };
  const ChangedRows rows = changedRows(chain, work, leaf, changed);
  chainRowTerms(chain, work.memo, chain.rootLoci, rows.rows, rows.count);
  // The partner term reads the second allele block of the leaf.
  double partnerProb = chain.partnerProb;
  if (unpairedGenotypes()) {
    const double *savedBlock = saved.leafCells.data() + loci;
    double before, after;
    if (!changed(row, saved.leafCells, loci))
      before = after = allelesLogProb(saved.sweepLogs, savedBlock);
    else
      allelesLogProbPair(saved.sweepLogs, savedBlock, row.data() + TMAT + loci, before, after);
    partnerProb = chain.partnerProb - before + after;
  }
  if (testLeafChange(rng, chain, work, rows, partnerProb))
    return true;
  restoreLeaf(chain, work, leaf, [](TreeRow &cells, const std::vector<double> &before) {
    std::copy(before.begin(), before.end(), cells.begin() + TMAT);
  });
  return false;
}

bool acceptOrRestoreLocus(Rng &rng, Chain &chain, ChainWork &work, int leaf, RowParts &parts,
                          int locus) {
  MoveScratch &saved = work.scratch;
  TreeMatrix &tree = chain.tree;
  const TreeRow &row = tree[leaf];
  const int loci = pset.numLoci;
  // Only the cells at locus can have changed; only they are compared and put
  // back.
  const auto changed = [&](const TreeRow &cells, const std::vector<double> &before, int from) {
    return !(before[from + locus] == cells[TMAT + from + locus]);
  };
  const ChangedRows rows = changedRows(chain, work, leaf, changed);
  for (int i = 0; i < rows.count; i++)
    tree[rows.rows[i]][nodeLogLik] =
        changedRowTerm(chain, work.memo, parts, rows.rows[i], locus, true, i);
  // A sweep of one-locus tests goes through the loci of one leaf after
  // another, so the leaf's partner term is remembered from its last test:
  // what it was then if refused, what it became if kept. Only the new block's
  // term is then summed.
  double partnerProb = chain.partnerProb, partnerAfter = 0;
  if (unpairedGenotypes()) {
    const double *savedBlock = saved.leafCells.data() + loci;
    const double *block = row.data() + TMAT + loci;
    double before, after;
    if (!changed(row, saved.leafCells, loci)) {
      before = after = allelesLogProb(saved.sweepLogs, savedBlock);
    } else if (saved.scoredLeaf == leaf) {
      before = saved.scoredPartnerTerm;
      after = allelesLogProb(saved.sweepLogs, block);
    } else {
      allelesLogProbPair(saved.sweepLogs, savedBlock, block, before, after);
    }
    partnerProb = chain.partnerProb - before + after;
    saved.scoredLeaf = leaf;
    saved.scoredPartnerTerm = before;
    partnerAfter = after;
  }
  if (testLeafChange(rng, chain, work, rows, partnerProb)) {
    for (int i = 0; i < rows.count; i++)
      keepRowPart(parts, rows.rows[i], true, i);
    saved.scoredPartnerTerm = partnerAfter;
    return true;
  }
  restoreLeaf(chain, work, leaf, [&](TreeRow &cells, const std::vector<double> &before) {
    for (size_t c = locus; c < before.size(); c += loci)
      cells[TMAT + c] = before[c];
  });
  return false;
}

void saveNodeTerms(Chain &chain, ChainWork &work) {
  std::vector<double> &terms = work.scratch.nodeLik;
  terms.resize(chain.tree.size());
  for (size_t r = 0; r < chain.tree.size(); r++)
    terms[r] = chain.tree[r][nodeLogLik];
}

void restoreNodeTerms(Chain &chain, ChainWork &work) {
  const std::vector<double> &terms = work.scratch.nodeLik;
  for (size_t r = 0; r < chain.tree.size(); r++)
    chain.tree[r][nodeLogLik] = terms[r];
}
