// Likelihood of the haplotypes on a genealogy. Each node inherits the
// mutation-carrying segment of its parent; on each side of the mutation the
// first crossover on the node's branch lies at an exponential map distance
// (rate = branch length). Markers between the mutation and that crossover carry
// the parent's alleles, markers beyond it come from the normal population. A
// node's term is stored in its nodeLogLik cell, so that moves recompute only
// the rows whose term they change.
#include <cmath>

#include "likelihood.h"

namespace {

// First marker (1-based) right of the mutation: 1 when every marker is on the
// right, numLoci + 1 when every marker is on the left. A marker exactly at x
// is a right marker, except that x at the last marker leaves all on the left.
int sideIndex(double x, const std::vector<double> &mapDist, int loci) {
  if (x <= 0)
    return 1;
  if (x >= mapDist[loci])
    return loci + 1;
  int b = 2;
  while (b < loci && mapDist[b] < x)
    b++;
  return b;
}

// Whether the node's allele at marker k (1-based) differs from its parent's;
// the root is compared with the ancestral haplotype.
bool differs(const double *row, const double *parentRow, const Haplotype &rootHap, int k) {
  const int own = static_cast<int>(std::fabs(row[TMAT + k - 1]));
  const int inherited =
      parentRow ? static_cast<int>(std::fabs(parentRow[TMAT + k - 1])) : rootHap[k - 1];
  return own != inherited;
}

// Probability that the right side of the node is explained: the first
// crossover falls between marker j - 1 (or the mutation) and marker j, for j up
// to the first mismatch, and the markers from j on come from the population.
double rightSum(const double *row, const double *parentRow, const Haplotype &rootHap, double x,
                const std::vector<double> &d, int b, const Table &freqs, const TransTable &trans) {
  const int loci = pset.numLoci;
  int mismatch = b;
  while (mismatch <= loci && !differs(row, parentRow, rootHap, mismatch))
    mismatch++;
  double *popProb = answer.data();
  if (pset.algSwitch == 0.0)
    allfreqright(row, 0, popProb, freqs);
  else
    hapfreqcountsright(row, popProb, trans, freqs);
  const double t = row[branchLength];
  const double shift = std::exp(x * t);
  // exp(-d[j - 1] t), carried from one marker to the next.
  double before = mismatch > b ? std::exp(-d[b] * t) : 0.0;
  double sum = 0.0;
  for (int j = b; j <= mismatch; j++) {
    double w;
    if (j == b) {
      w = b == 1 ? 1.0 - shift : 1.0 - std::exp(-(d[b] - x) * t);
    } else if (j <= loci) {
      const double at = std::exp(-d[j] * t);
      w = shift * (before - at);
      before = at;
    } else {
      w = shift * before;
    }
    sum += j <= loci ? w * popProb[j - 1] : w;
  }
  return sum;
}

// The same for the left side: the crossover falls between marker k and
// marker k + 1 (or the mutation), for k down to the last mismatch, and markers
// 1..k come from the population.
double leftSum(const double *row, const double *parentRow, const Haplotype &rootHap, double x,
               const std::vector<double> &d, int b, const Table &freqs, const TransTable &trans) {
  int mismatch = b - 1;
  while (mismatch >= 1 && !differs(row, parentRow, rootHap, mismatch))
    mismatch--;
  double *popProb = answer.data();
  if (pset.algSwitch == 0.0)
    allfreqleft(row, 0, popProb, freqs);
  else
    hapfreqcountsleft(row, popProb, trans, freqs);
  const double t = row[branchLength];
  const double shift = std::exp(-x * t);
  // exp(d[k] t), carried from one marker to the next; exp(d[1] t) is written
  // as 1 since d[1] = 0.
  double below = mismatch >= 2 && mismatch < b - 1 ? std::exp(d[mismatch] * t) : 1.0;
  double sum = 0.0;
  for (int k = mismatch; k <= b - 1; k++) {
    double w;
    if (k == b - 1) {
      w = 1.0 - std::exp(-(x - d[b - 1]) * t);
    } else if (k >= 1) {
      const double above = std::exp(d[k + 1] * t);
      w = shift * (above - below);
      below = above;
    } else {
      w = shift;
    }
    sum += k >= 1 ? w * popProb[k - 1] : w;
  }
  return sum;
}

// Sum of the stored node terms over all rows, in row order.
double storedTotal(const TreeMatrix &tree) {
  const int rows = 2 * pset.numChromosomes - 1;
  double total = 0.0;
  for (int r = 0; r < rows; r++)
    total += tree[r][nodeLogLik];
  return total;
}

} // namespace

double nodeTerm(const Table &freqs, const TreeMatrix &tree, double x,
                const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
                const TransTable &trans) {
  const int loci = pset.numLoci;
  const double *row = tree[node].data();
  const int up = static_cast<int>(row[parent]);
  const double *parentRow = up < 0 ? nullptr : tree[up].data();
  const int b = sideIndex(x, mapDist, loci);
  // The right side's look-up is used up before the left side overwrites answer.
  const double right =
      b <= loci ? rightSum(row, parentRow, rootHap, x, mapDist, b, freqs, trans) : 0;
  const double left = b >= 2 ? leftSum(row, parentRow, rootHap, x, mapDist, b, freqs, trans) : 0;
  double u;
  if (b == 1)
    u = right;
  else if (b == loci + 1)
    u = left;
  else
    u = left * right;
  return std::log(u);
}

// start < 0 recomputes every row. start >= 0 recomputes that row and, with
// type 0, its two children (a changed internal node), with type 2 also its
// partner leaf (a changed paired-genotype leaf); type 1 is that row alone.
// The static counter marks the self-calls for the children: they must not
// descend further, and the top-level call sums the stored terms once both are
// done (counter 4). A child label of -1 makes that self-call recompute all rows.
void tprob(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
           double *total, const Haplotype &rootHap, int start, int type, const TransTable &trans) {
  static int counter = 0;
  *total = 0.0;
  if (start < 0) {
    const int rows = 2 * pset.numChromosomes - 1;
    for (int r = 0; r < rows; r++) {
      tree[r][nodeLogLik] = nodeTerm(freqs, tree, x, mapDist, rootHap, r, trans);
      *total += tree[r][nodeLogLik];
    }
  } else {
    tree[start][nodeLogLik] = nodeTerm(freqs, tree, x, mapDist, rootHap, start, trans);
    *total += tree[start][nodeLogLik];
    if (type == 0 && counter == 0) {
      counter = 1;
      tprob(freqs, tree, x, mapDist, total, rootHap, static_cast<int>(tree[start][child1]), 0,
            trans);
      counter = 3;
      tprob(freqs, tree, x, mapDist, total, rootHap, static_cast<int>(tree[start][child2]), 0,
            trans);
      counter++;
    }
    if (type == 2) {
      tprob(freqs, tree, x, mapDist, total, rootHap, static_cast<int>(tree[start][partnerLeaf]), 1,
            trans);
      type = 1;
    }
  }
  if (counter == 4 || (counter == 0 && type == 1)) {
    *total = storedTotal(tree);
    counter = 0;
  }
}
