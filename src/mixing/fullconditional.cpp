// Draws of single alleles of the hidden haplotypes. The alleles of an
// internal node enter only its own branch term (its haplotype given its
// parent's) and the terms of its two children (theirs given its); the
// ancestral haplotype enters only the root's term and its own population
// probability. The ancestral allele of a locus is drawn from its exact
// conditional: every allele is tried in turn and one picked with probability
// proportional to the product of those terms. An internal node's allele is
// moved by Metropolis-Hastings with a proposal from its neighbours: nearly
// always the conditional puts its mass on an allele of the parent or a child,
// so proposing one of those (or, less often, any allele) is accepted about as
// often as the exact draw changes the allele, while the proposal that keeps
// the allele costs no likelihood evaluation at all.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "likelihood.h"
#include "mixing.h"

int rootRow(const TreeMatrix &tree) {
  int r = 0;
  while (tree[r][parent] != -1)
    r++;
  return r;
}

namespace {

// Picks candidate a (0-based) with probability proportional to
// exp(logWeight(a)); -1 when no candidate has a finite positive weight.
template <class Weight> int drawCandidate(Rng &rng, int count, Weight logWeight) {
  double top = -std::numeric_limits<double>::infinity();
  for (int a = 0; a < count; a++)
    if (logWeight(a) > top)
      top = logWeight(a);
  if (!std::isfinite(top))
    return -1;
  double total = 0;
  for (int a = 0; a < count; a++)
    total += std::exp(logWeight(a) - top);
  double u = ran1(rng) * total;
  for (int a = 0; a < count; a++) {
    const double w = std::exp(logWeight(a) - top);
    if (u < w)
      return a;
    u -= w;
  }
  // Rounding left u above the last weight: the last candidate with weight.
  for (int a = count - 1; a >= 0; a--)
    if (logWeight(a) > -std::numeric_limits<double>::infinity())
      return a;
  return -1;
}

} // namespace

namespace {

// Share of the neighbour proposal spread evenly over every allele, so that an
// allele no neighbour carries can still be reached.
constexpr double evenShare = 0.2;

// Log of the proposal probability of allele a (1-based) at a node whose
// neighbours, its parent (or the ancestral haplotype) and its two children,
// carry `votes`. The probability depends only on the locus's allele count and
// on how many neighbours carry a, so its logs are taken once each and kept in
// logs (by count and that number; NaN where not yet taken).
double logNeighbourProposal(int a, const int votes[3], int count, std::vector<double> &logs) {
  int same = 0;
  for (int j = 0; j < 3; j++)
    same += votes[j] == a;
  const size_t place = 4 * static_cast<size_t>(count) + same;
  if (logs.size() <= place)
    logs.resize(4 * static_cast<size_t>(count) + 4, std::numeric_limits<double>::quiet_NaN());
  if (logs[place] != logs[place])
    logs[place] = std::log(evenShare / count + (1 - evenShare) * same / 3.0);
  return logs[place];
}

} // namespace

bool drawNodeAllele(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts, int node, int locus) {
  const int count = maxall[locus];
  TreeMatrix &tree = chain.tree;
  TreeRow &row = tree[node];
  if (count < 2 || row[child1] == -1)
    return false;
  const int rows[3] = {node, static_cast<int>(row[child1]), static_cast<int>(row[child2])};
  const int up = static_cast<int>(row[parent]);
  const int votes[3] = {up < 0 ? chain.rootLoci[locus] : rowAllele(tree[up].data(), locus),
                        rowAllele(tree[rows[1]].data(), locus),
                        rowAllele(tree[rows[2]].data(), locus)};
  // Draw from the proposal: an even draw with probability evenShare, else the
  // allele of a neighbour picked at random.
  const double u = ran1(rng);
  int proposed;
  if (u < evenShare) {
    proposed = 1 + std::min(count - 1, static_cast<int>(u / evenShare * count));
  } else {
    const int pick = std::min(2, static_cast<int>((u - evenShare) / (1 - evenShare) * 3));
    proposed = votes[pick];
  }
  const double old = row[TMAT + locus];
  const int current = rowAllele(row.data(), locus);
  if (proposed == current || proposed < 1 || proposed > count)
    return false;
  row[TMAT + locus] = proposed;
  // A child whose term does not read the node's allele at the locus keeps
  // its term.
  const int b = parts.b;
  double terms[3], change = 0;
  bool reads[3];
  for (int j = 0; j < 3; j++) {
    reads[j] = j == 0 || termReadsParentAt(tree, rows[j], b, chain.rootLoci, locus + 1);
    terms[j] = reads[j] ? changedRowTerm(chain, work.memo, parts, rows[j], locus, j == 0, j)
                        : tree[rows[j]][nodeLogLik];
    change += terms[j] - tree[rows[j]][nodeLogLik];
  }
  std::vector<double> &logs = work.scratch.proposalLogs;
  const double logRatio = change + logNeighbourProposal(current, votes, count, logs) -
                          logNeighbourProposal(proposed, votes, count, logs);
  if (!(std::log(ran1(rng)) < logRatio)) {
    row[TMAT + locus] = old;
    return false;
  }
  for (int j = 0; j < 3; j++)
    if (reads[j]) {
      tree[rows[j]][nodeLogLik] = terms[j];
      keepRowPart(parts, rows[j], j == 0, j);
    }
  chain.logLik = storedTotal(tree, work.memo.total);
  return true;
}

bool drawRootAllele(Rng &rng, Chain &chain, ChainWork &work, RowParts &parts, int locus) {
  const int count = maxall[locus];
  if (count < 2)
    return false;
  TreeMatrix &tree = chain.tree;
  const int root = rootRow(tree);
  std::vector<double> &terms = work.scratch.candidateTerms;
  terms.resize(2 * count);
  const int old = chain.rootLoci[locus];
  for (int a = 0; a < count; a++) {
    chain.rootLoci[locus] = a + 1;
    terms[2 * a] = changedRowTerm(chain, work.memo, parts, root, locus, false, a);
    terms[2 * a + 1] = probhap2(chain.popHapFreqs, chain.MP1, chain.rootLoci.data(), work.memo);
  }
  const int pick =
      drawCandidate(rng, count, [&](int a) { return terms[2 * a] + terms[2 * a + 1]; });
  if (pick < 0) {
    chain.rootLoci[locus] = old;
    return false;
  }
  chain.rootLoci[locus] = pick + 1;
  tree[root][nodeLogLik] = terms[2 * pick];
  keepRowPart(parts, root, false, pick);
  chain.rootHapProb = terms[2 * pick + 1];
  chain.logLik = storedTotal(tree, work.memo.total);
  return pick + 1 != old;
}
