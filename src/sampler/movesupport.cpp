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

double partnerTerm(Chain &chain, const double *secondBlock) {
  return allelesLogProb(chain.popHapFreqs, secondBlock, chain.memo);
}

double allPartnerTerms(Chain &chain) {
  double sum = 0;
  for (const TreeRow &row : chain.tree)
    if (row[child1] == -1)
      sum += partnerTerm(chain, row.data() + TMAT + pset.numLoci);
  return sum;
}

void takeSweepLogs(Chain &chain) {
  if (unpairedGenotypes())
    frequencyLogs(chain.popHapFreqs, chain.memo, chain.scratch.sweepLogs);
}

void saveLeaf(Chain &chain, int leaf) {
  MoveScratch &saved = chain.scratch;
  const TreeRow &row = chain.tree[leaf];
  saved.leafCells.assign(row.begin() + TMAT, row.begin() + TMAT + TOTLOCI);
  saved.leafLik = row[nodeLogLik];
  if (pairedGenotypes()) {
    const TreeRow &mate = chain.tree[partnerOf(chain, leaf)];
    saved.partnerCells.assign(mate.begin() + TMAT, mate.begin() + TMAT + TOTLOCI);
    saved.partnerLik = mate[nodeLogLik];
  }
}

bool testRowChange(Rng &rng, Chain &chain, const int *rows, const double *oldTerms, int count,
                   double proposed, double current, bool tiesAccept, double *total) {
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
  *total = storedTotal(chain.tree, chain.memo.total);
  const double p = acceptanceProbability((*total + proposed) - (chain.logLik + current));
  return tiesAccept ? u <= p : u < p;
}

bool acceptOrRestoreLeaf(Rng &rng, Chain &chain, int leaf, RowParts *parts, int locus) {
  MoveScratch &saved = chain.scratch;
  TreeMatrix &tree = chain.tree;
  TreeRow &row = tree[leaf];
  const bool paired = pairedGenotypes();
  const bool unpaired = unpairedGenotypes();
  const int loci = pset.numLoci;
  // A node term reads the first allele block of its row, the partner term the
  // second: a block that still holds its saved cells keeps its term, which is
  // then not computed again. With paired genotypes the partner leaf's term
  // changes only with the partner's own cells. With parts only the cells at
  // locus can have changed, and only they are compared and put back.
  const auto changed = [&](const TreeRow &cells, const std::vector<double> &before, int from) {
    if (parts != nullptr)
      return !(before[from + locus] == cells[TMAT + from + locus]);
    return !std::equal(before.begin() + from, before.begin() + from + loci,
                       cells.begin() + TMAT + from);
  };
  const auto restore = [&](TreeRow &cells, const std::vector<double> &before) {
    if (parts == nullptr)
      std::copy(before.begin(), before.end(), cells.begin() + TMAT);
    else
      for (size_t c = locus; c < before.size(); c += loci)
        cells[TMAT + c] = before[c];
  };
  int rows[2] = {-1, -1};
  double oldTerms[2] = {0, 0};
  int count = 0;
  if (changed(row, saved.leafCells, 0)) {
    rows[count] = leaf;
    oldTerms[count++] = saved.leafLik;
  }
  if (paired && changed(tree[partnerOf(chain, leaf)], saved.partnerCells, 0)) {
    rows[count] = partnerOf(chain, leaf);
    oldTerms[count++] = saved.partnerLik;
  }
  if (parts == nullptr)
    chainRowTerms(chain, chain.rootLoci, rows, count);
  else
    for (int i = 0; i < count; i++)
      tree[rows[i]][nodeLogLik] = changedRowTerm(chain, *parts, rows[i], locus, true, i);
  // With parts (a sweep of one-locus phase tests, which goes through the loci
  // of one leaf after another), the leaf's partner term is remembered from its
  // last test: what it was then if refused, what it became if kept. Only the
  // new block's term is then summed.
  double partnerProb = chain.partnerProb, partnerAfter = 0;
  if (unpaired) {
    const double *savedBlock = saved.leafCells.data() + loci;
    const double *block = row.data() + TMAT + loci;
    double before, after;
    if (!changed(row, saved.leafCells, loci)) {
      before = after = allelesLogProb(saved.sweepLogs, savedBlock);
    } else if (parts != nullptr && saved.scoredLeaf == leaf) {
      before = saved.scoredPartnerTerm;
      after = allelesLogProb(saved.sweepLogs, block);
    } else {
      allelesLogProbPair(saved.sweepLogs, savedBlock, block, before, after);
    }
    partnerProb = chain.partnerProb - before + after;
    saved.scoredLeaf = parts != nullptr ? leaf : -1;
    saved.scoredPartnerTerm = before;
    partnerAfter = after;
  }
  // Without unpaired genotypes the ratio is that of the totals alone.
  const double proposed = unpaired ? partnerProb : 0, current = unpaired ? chain.partnerProb : 0;
  double total;
  if (testRowChange(rng, chain, rows, oldTerms, count, proposed, current, false, &total)) {
    chain.logLik = total;
    chain.partnerProb = partnerProb;
    if (parts != nullptr)
      for (int i = 0; i < count; i++)
        keepRowPart(*parts, rows[i], true, i);
    saved.scoredPartnerTerm = partnerAfter;
    return true;
  }
  row[nodeLogLik] = saved.leafLik;
  restore(row, saved.leafCells);
  if (paired) {
    TreeRow &mate = tree[partnerOf(chain, leaf)];
    mate[nodeLogLik] = saved.partnerLik;
    restore(mate, saved.partnerCells);
  }
  return false;
}

void saveNodeTerms(Chain &chain) {
  std::vector<double> &terms = chain.scratch.nodeLik;
  terms.resize(chain.tree.size());
  for (size_t r = 0; r < chain.tree.size(); r++)
    terms[r] = chain.tree[r][nodeLogLik];
}

void restoreNodeTerms(Chain &chain) {
  const std::vector<double> &terms = chain.scratch.nodeLik;
  for (size_t r = 0; r < chain.tree.size(); r++)
    chain.tree[r][nodeLogLik] = terms[r];
}
