// Likelihood of the haplotypes on a genealogy. Each node inherits the
// mutation-carrying segment of its parent; on each side of the mutation the
// first crossover on the node's branch lies at an exponential map distance
// (rate = branch length). Markers between the mutation and that crossover carry
// the parent's alleles, markers beyond it come from the normal population. A
// node's term is stored in its nodeLogLik cell, so that moves recompute only
// the rows whose term they change. The exponentials of the crossover weights
// are remembered per row from one evaluation to the next, since most moves
// change a node's haplotypes or the tables but not its branch or the location.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

#include "likelihood.h"
#include "likelihoodmemo.h"
#include "remembered.h"

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

// A node's allele cells beside those it inherited: its parent's, or the
// ancestral haplotype's at the root (parent null).
struct Lineage {
  const double *cells;
  const double *parent;
  const int *root;
};

Lineage lineage(const double *row, const double *parentRow, const Haplotype &rootHap) {
  return {row + TMAT, parentRow == nullptr ? nullptr : parentRow + TMAT, rootHap.data()};
}

// Whether the node's allele at marker k (1-based) differs from the one it
// inherited. Two equal cells hold the same allele, so only cells that differ
// (an imputed -a against an observed a, say) are compared as alleles.
bool differs(const Lineage &l, int k) {
  const double cell = l.cells[k - 1];
  if (l.parent == nullptr)
    return static_cast<int>(std::fabs(cell)) != l.root[k - 1];
  const double inherited = l.parent[k - 1];
  return !(cell == inherited) &&
         static_cast<int>(std::fabs(cell)) != static_cast<int>(std::fabs(inherited));
}

double expOf(Remembered &memo, double arg) {
  return recall(memo, arg, [](double a) { return std::exp(a); });
}

// An exponential of a way's branch length: a NaN place is not yet taken.
// (Only a NaN argument gives a NaN value, and a way of a NaN branch length
// is never found again, so its places are taken afresh each time.)
double expOf(double &place, double arg) {
  if (place != place)
    place = std::exp(arg);
  return place;
}

double expOf(LocatedExp &memo, double arg) {
  if (!(memo.latest.arg == arg))
    std::swap(memo.latest, memo.earlier);
  return expOf(memo.latest, arg);
}

// The exponentials of a node term for one branch length t: exp(-d[j] t) and
// exp(d[j] t) by marker j, and the four that depend on the location too. Only
// a node's branch length and the location change between most evaluations of
// its term, so each row keeps the exponentials of two branch lengths (of the
// chain's current genealogy and of a proposal) in as many ways.
struct BranchExps {
  double *right; // [j]
  double *left;  // [j]
  LocatedExps &located;
};

constexpr size_t waysPerRow = 2;
constexpr double unknown = std::numeric_limits<double>::quiet_NaN();
// Memory the remembered exponentials may take: the rows of a genealogy too
// large for it share places (and find fewer values to reuse).
constexpr size_t expMemory = 16 << 20;

// The layout of prepareEvaluation below.
void fitExps(LikelihoodMemo &memo, size_t rows, const std::vector<double> &mapDist) {
  const size_t markers = pset.numLoci + 1;
  const bool sameMap =
      mapDist.size() == memo.expMap.size() &&
      std::memcmp(mapDist.data(), memo.expMap.data(), mapDist.size() * sizeof(double)) == 0;
  if (rows == memo.expRows && sameMap &&
      memo.markerExps.size() == memo.expPlaces * waysPerRow * 2 * markers)
    return;
  const size_t rowBytes = waysPerRow * 2 * markers * sizeof(double);
  const size_t places = std::max<size_t>(1, std::min(rows, expMemory / rowBytes));
  memo.expRows = rows;
  memo.expMap = mapDist;
  memo.expPlaces = places;
  memo.wayKeys.assign(places * waysPerRow, WayKey());
  memo.markerExps.assign(places * waysPerRow * 2 * markers, unknown);
  memo.locatedExps.assign(places * waysPerRow, LocatedExps());
  memo.sideX = unknown;
}

// Lays out the places of the remembered exponentials for a genealogy of the
// given number of rows and the map, unless they are laid out for both, and
// returns the side index of x (remembered for the last location, since the
// moves that recompute a few rows at a time leave the location alone): every
// evaluation first calls this, once for all the rows it takes. The maps are
// compared bit for bit: a map equal in value but not in bits (a -0 for a 0)
// only lays the places out afresh.
int prepareEvaluation(LikelihoodMemo &memo, size_t rows, const std::vector<double> &mapDist,
                      double x) {
  fitExps(memo, rows, mapDist);
  if (!(memo.sideX == x)) {
    memo.sideX = x;
    memo.side = sideIndex(x, mapDist, pset.numLoci);
  }
  return memo.side;
}

// The exponentials of row r for branch length t: the way of the row's place
// that holds t, else the one used longest ago, now given t (and none of its
// exponentials). A row finds its place without a division while every row
// has its own.
inline __attribute__((always_inline)) BranchExps branchExps(LikelihoodMemo &memo, size_t r,
                                                            double t) {
  std::vector<WayKey> &wayKeys = memo.wayKeys;
  const size_t markers = pset.numLoci + 1;
  const size_t places = memo.expPlaces;
  const size_t first = (r < places ? r : r % places) * waysPerRow;
  size_t pick = first;
  for (size_t w = first; w < first + waysPerRow; w++) {
    if (wayKeys[w].t == t) {
      pick = w;
      break;
    }
    if (wayKeys[w].lastUse < wayKeys[pick].lastUse)
      pick = w;
  }
  double *e = memo.markerExps.data() + pick * 2 * markers;
  // A way given a new branch length forgets the exponentials of its old one.
  if (!(wayKeys[pick].t == t))
    std::fill(e, e + 2 * markers, unknown);
  wayKeys[pick] = {t, ++memo.wayUses};
  return {e, e + markers, memo.locatedExps[pick]};
}

// The population tables a row's term reads: a full pass reads the transitions
// through the rows it listed, a single row from the nested tables.
struct PopTables {
  const Table &freqs;
  const TransTable &trans;
  const TransitionRows *rows;
};

// A segment look-up under the population model: independent (the
// frequencies alone) or Markov, whose transitions markov reads from the listed
// rows or the nested tables.
template <class Independent, class Markov>
void lookUp(const PopTables &pop, Independent independent, Markov markov) {
  if (pset.algSwitch == 0.0)
    independent();
  else if (pop.rows != nullptr)
    markov(*pop.rows);
  else
    markov(pop.trans);
}

// Probability that the right side of the node is explained: the first
// crossover falls between marker j - 1 (or the mutation) and marker j, for j up
// to the first mismatch, and the markers from j on come from the population.
// The sum runs in the order of the markers, so the scan for the mismatch
// goes along with it.
inline __attribute__((always_inline)) double rightSum(const Lineage &l, double t, double x,
                                                      const std::vector<double> &d, int b,
                                                      const BranchExps &e, const double *popProb) {
  const int loci = pset.numLoci;
  const double shift = expOf(e.located.shiftRight, x * t);
  // j = b (a right side has b <= L), then each marker j while the markers
  // b..j - 1 match, then the crossover beyond the last marker when every
  // marker matches.
  const double first = b == 1 ? 1.0 - shift : 1.0 - expOf(e.located.firstRight, -(d[b] - x) * t);
  double sum = 0.0;
  sum += first * popProb[b - 1];
  if (differs(l, b))
    return sum;
  // exp(-d[j - 1] t), carried from one marker to the next.
  double before = expOf(e.right[b], -d[b] * t);
  for (int j = b + 1; j <= loci; j++) {
    const double at = expOf(e.right[j], -d[j] * t);
    const double w = shift * (before - at);
    before = at;
    sum += w * popProb[j - 1];
    if (differs(l, j))
      return sum;
  }
  return sum + shift * before;
}

// The same for the left side: the crossover falls between marker k and
// marker k + 1 (or the mutation), for k down to the last mismatch, and markers
// 1..k come from the population.
inline __attribute__((always_inline)) double leftSum(const Lineage &l, double t, double x,
                                                     const std::vector<double> &d, int b,
                                                     const BranchExps &e, const double *popProb) {
  int mismatch = b - 1;
  while (mismatch >= 1 && !differs(l, mismatch))
    mismatch--;
  // F(k) is read for k = mismatch..b - 1 only.
  const double shift = expOf(e.located.shiftLeft, -x * t);
  // exp(d[k] t), carried from one marker to the next; exp(d[1] t) is written
  // as 1 since d[1] = 0.
  double below = mismatch >= 2 && mismatch < b - 1 ? expOf(e.left[mismatch], d[mismatch] * t) : 1.0;
  // k = 0 (the crossover before the first marker) when every marker matches,
  // then the markers from the mismatch on, then k = b - 1 (a left side has
  // b >= 2).
  double sum = 0.0;
  if (mismatch == 0)
    sum += shift;
  for (int k = std::max(mismatch, 1); k < b - 1; k++) {
    const double above = expOf(e.left[k + 1], d[k + 1] * t);
    const double w = shift * (above - below);
    below = above;
    sum += w * popProb[k - 1];
  }
  sum += (1.0 - expOf(e.located.firstLeft, -(x - d[b - 1]) * t)) * popProb[b - 2];
  return sum;
}

} // namespace

int firstRightMarker(double x) {
  return sideIndex(x, pset.mapDist, pset.numLoci);
}

bool termReadsParentAt(const TreeMatrix &tree, int node, int b, const Haplotype &rootHap,
                       int marker) {
  const double *row = tree[node].data();
  const int up = static_cast<int>(row[parent]);
  const Lineage l = lineage(row, up < 0 ? nullptr : tree[up].data(), rootHap);
  // The scans of rightSum and leftSum, from the mutation to the marker.
  const int step = marker >= b ? 1 : -1;
  for (int k = marker >= b ? b : b - 1; k != marker; k += step)
    if (differs(l, k))
      return false;
  return true;
}

double storedTotal(const TreeMatrix &tree) {
  const int rows = 2 * pset.numChromosomes - 1;
  double total = 0.0;
  for (int r = 0; r < rows; r++)
    total += tree[r][nodeLogLik];
  return total;
}

namespace {

uint64_t bitsOf(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return bits;
}

} // namespace

// The leading rows whose terms are bit for bit those summed last time are
// found by comparison, which does not wait for one row before the next; their
// running sum is taken over, and only the rows from the first changed one are
// added (the additions each wait for the one before).
double storedTotal(const TreeMatrix &tree, RunningTotal &last) {
  const size_t rows = 2 * static_cast<size_t>(pset.numChromosomes) - 1;
  if (last.termBits.size() != rows) {
    last.termBits.assign(rows, 0);
    last.sums.assign(rows, 0.0);
    last.kept = 0;
  }
  size_t r = 0;
  while (r < last.kept && bitsOf(tree[r][nodeLogLik]) == last.termBits[r])
    r++;
  double total = r == 0 ? 0.0 : last.sums[r - 1];
  for (; r < rows; r++) {
    const double term = tree[r][nodeLogLik];
    total += term;
    last.termBits[r] = bitsOf(term);
    last.sums[r] = total;
  }
  last.kept = rows;
  return total;
}

// Each of the two sequential sums (before and after the change) lies within
// (rows - 1) u of the sum of the terms' magnitudes from the exact sum, u the
// unit roundoff. A term is the log of a probability, so the magnitudes add up
// to about minus the total (a term may exceed 0 by rounding only, by far less
// than 1e-12); the bound allows a hundred times that error.
TotalBound totalAfterChange(const TreeMatrix &tree, double before, const int *rows,
                            const double *oldTerms, int count) {
  double change = 0;
  for (int i = 0; i < count; i++)
    change += tree[rows[i]][nodeLogLik] - oldTerms[i];
  const double estimate = before + change;
  const double n = 2.0 * pset.numChromosomes + count;
  const double error = 100 * n * std::numeric_limits<double>::epsilon() *
                       (std::fabs(before) + std::fabs(estimate) + 1);
  return {estimate, std::isfinite(estimate) ? error : std::numeric_limits<double>::quiet_NaN()};
}

namespace {

// The look-ups of a row's cut into popProb: the markers left of the mutation,
// up to b - 2 (0-based), and right of it, from b - 1 on.
void rowLookUps(const PopTables &pop, const double *row, double *popProb, int b) {
  lookUp(
      pop, [&] { sideLookUps(row, popProb, pop.freqs, b - 1); },
      [&](const auto &trans) { sideLookUps(row, popProb, trans, pop.freqs, b - 1); });
}

// The probability of a row from the sums of its sides.
double sidesProduct(double left, double right, int b) {
  if (b == 1)
    return right;
  if (b == pset.numLoci + 1)
    return left;
  return left * right;
}

// A row of the genealogy as its term reads it: its cells, its parent's (null
// at the root) and the remembered exponentials of its branch length.
struct RowView {
  const double *row;
  const double *parentRow;
  BranchExps e;
};

inline __attribute__((always_inline)) RowView rowView(const TreeMatrix &tree, int node,
                                                      LikelihoodMemo &memo) {
  const double *row = tree[node].data();
  const int up = static_cast<int>(row[parent]);
  return {row, up < 0 ? nullptr : tree[up].data(), branchExps(memo, node, row[branchLength])};
}

// The sums of a row's sides from its look-ups popProb, with the side index b
// of x already found; only the sides asked for are summed, the others left as
// they were.
inline __attribute__((always_inline)) void
sideSums(const RowView &v, double x, const std::vector<double> &mapDist, const Haplotype &rootHap,
         int b, const double *popProb, bool leftSide, bool rightSide, double &left, double &right) {
  const int loci = pset.numLoci;
  const Lineage l = lineage(v.row, v.parentRow, rootHap);
  const double t = v.row[branchLength];
  if (rightSide)
    right = b <= loci ? rightSum(l, t, x, mapDist, b, v.e, popProb) : 0;
  if (leftSide)
    left = b >= 2 ? leftSum(l, t, x, mapDist, b, v.e, popProb) : 0;
}

// The probability whose log is the node's term, with the side index b of x
// already found: every row of a pass shares it.
double rowProbability(const PopTables &pop, const TreeMatrix &tree, double x,
                      const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
                      LikelihoodMemo &memo, int b) {
  const RowView v = rowView(tree, node, memo);
  if (memo.popProb.size() < static_cast<size_t>(pset.numLoci))
    memo.popProb.resize(pset.numLoci);
  double *popProb = memo.popProb.data();
  rowLookUps(pop, v.row, popProb, b);
  double left = 0, right = 0;
  sideSums(v, x, mapDist, rootHap, b, popProb, true, true, left, right);
  return sidesProduct(left, right, b);
}

// The tables as a pass over every row reads them: the Markov transitions
// through the list of their rows, listed once for all the rows' look-ups.
PopTables passTables(const Table &freqs, const TransTable &trans, LikelihoodMemo &memo) {
  const bool markov = pset.algSwitch != 0.0;
  if (markov)
    listTransitionRows(memo.transRows, trans);
  return {freqs, trans, markov ? &memo.transRows : nullptr};
}

bool isDrawn(const PopulationRows *drawn, int node) {
  return drawn != nullptr && (*drawn)[node] != 0;
}

// The term of a row drawn from the population: its alleles alone.
double drawnTerm(const PopTables &pop, const TreeMatrix &tree, int node, LikelihoodMemo &memo) {
  return populationLogProb(pop.freqs, pop.trans, tree[node].data() + TMAT, memo);
}

// A row's term, with the side index b of x already found.
double rowTerm(const PopTables &pop, const TreeMatrix &tree, double x,
               const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
               LikelihoodMemo &memo, int b, const PopulationRows *drawn) {
  if (isDrawn(drawn, node))
    return drawnTerm(pop, tree, node, memo);
  return std::log(rowProbability(pop, tree, x, mapDist, rootHap, node, memo, b));
}

} // namespace

double nodeTerm(const Table &freqs, const TreeMatrix &tree, double x,
                const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
                const TransTable &trans, LikelihoodMemo &memo, const PopulationRows *drawn) {
  const int b = prepareEvaluation(memo, tree.size(), mapDist, x);
  return rowTerm({freqs, trans, nullptr}, tree, x, mapDist, rootHap, node, memo, b, drawn);
}

namespace {

void recomputeRows(const Table &freqs, TreeMatrix &tree, double x,
                   const std::vector<double> &mapDist, const Haplotype &rootHap,
                   const TransTable &trans, const int *nodes, int count, LikelihoodMemo &memo,
                   const PopulationRows *drawn) {
  const int b = prepareEvaluation(memo, tree.size(), mapDist, x);
  const PopTables pop{freqs, trans, nullptr};
  for (int i = 0; i < count; i++)
    tree[nodes[i]][nodeLogLik] = rowTerm(pop, tree, x, mapDist, rootHap, nodes[i], memo, b, drawn);
}

} // namespace

double recomputeTerms(const Table &freqs, TreeMatrix &tree, double x,
                      const std::vector<double> &mapDist, const Haplotype &rootHap,
                      const TransTable &trans, const int *nodes, int count, LikelihoodMemo &memo,
                      const PopulationRows *drawn) {
  recomputeRows(freqs, tree, x, mapDist, rootHap, trans, nodes, count, memo, drawn);
  return storedTotal(tree);
}

const PopulationRows *drawnRows(const Chain &chain) {
  return chain.membership.drawn.empty() ? nullptr : &chain.membership.drawn;
}

void chainRowTerms(Chain &chain, LikelihoodMemo &memo, const Haplotype &rootHap, const int *rows,
                   int count) {
  recomputeRows(chain.popHapFreqs, chain.tree, chain.mutLoc, pset.mapDist, rootHap, chain.MP1, rows,
                count, memo, drawnRows(chain));
}

void takeRowParts(Chain &chain, LikelihoodMemo &memo, RowParts &parts) {
  const TreeMatrix &tree = chain.tree;
  const size_t rows = tree.size(), loci = pset.numLoci;
  const int b = prepareEvaluation(memo, rows, pset.mapDist, chain.mutLoc);
  const PopTables pop = passTables(chain.popHapFreqs, chain.MP1, memo);
  parts.b = b;
  parts.lookUps.resize(rows * loci);
  parts.left.resize(rows);
  parts.right.resize(rows);
  parts.proposedLookUps.resize(3 * loci);
  parts.proposedLeft.resize(std::max(3, maxAllele));
  parts.proposedRight.resize(std::max(3, maxAllele));
  for (size_t r = 0; r < rows; r++) {
    const RowView v = rowView(tree, static_cast<int>(r), memo);
    double *popProb = parts.lookUps.data() + r * loci;
    rowLookUps(pop, v.row, popProb, b);
    sideSums(v, chain.mutLoc, pset.mapDist, chain.rootLoci, b, popProb, true, true, parts.left[r],
             parts.right[r]);
  }
}

// Only the side of the changed locus reads it: its look-ups (for the row's
// own allele) and its comparison with the parent. The other side's sum is the
// one taken. Nothing has changed the genealogy's size, the map or the
// location since the parts were taken, so the remembered exponentials are
// laid out as they were then.
double changedRowTerm(Chain &chain, LikelihoodMemo &memo, RowParts &parts, int node, int locus,
                      bool own, int slot) {
  const TreeMatrix &tree = chain.tree;
  const size_t loci = pset.numLoci;
  const int b = parts.b;
  const double *popProb = parts.lookUps.data() + node * loci;
  if (own) {
    double *out = parts.proposedLookUps.data() + slot * loci;
    std::copy(popProb, popProb + loci, out);
    const double *row = tree[node].data();
    if (pset.algSwitch == 0.0)
      redoLookUps(row, out, chain.popHapFreqs, b - 1, locus);
    else
      redoLookUps(row, out, chain.MP1, chain.popHapFreqs, b - 1, locus);
    popProb = out;
  }
  const bool rightSide = locus + 1 >= b;
  double left = parts.left[node], right = parts.right[node];
  sideSums(rowView(tree, node, memo), chain.mutLoc, pset.mapDist, chain.rootLoci, b, popProb,
           !rightSide, rightSide, left, right);
  parts.proposedLeft[slot] = left;
  parts.proposedRight[slot] = right;
  if (isDrawn(drawnRows(chain), node))
    return own ? populationLogProb(chain.popHapFreqs, chain.MP1, tree[node].data() + TMAT, memo)
               : tree[node][nodeLogLik];
  return std::log(sidesProduct(left, right, b));
}

double descentTerm(const RowParts &parts, int node) {
  return std::log(sidesProduct(parts.left[node], parts.right[node], parts.b));
}

void keepRowPart(RowParts &parts, int node, bool own, int slot) {
  const size_t loci = pset.numLoci;
  parts.left[node] = parts.proposedLeft[slot];
  parts.right[node] = parts.proposedRight[slot];
  if (own)
    std::copy(parts.proposedLookUps.begin() + slot * loci,
              parts.proposedLookUps.begin() + (slot + 1) * loci,
              parts.lookUps.begin() + node * loci);
}

// The stored total of every row, summed as the rows are recomputed.
double recomputeAllTerms(const Table &freqs, TreeMatrix &tree, double x,
                         const std::vector<double> &mapDist, const Haplotype &rootHap,
                         const TransTable &trans, LikelihoodMemo &memo,
                         const PopulationRows *drawn) {
  const int rows = 2 * pset.numChromosomes - 1;
  const int b = prepareEvaluation(memo, tree.size(), mapDist, x);
  const PopTables pop = passTables(freqs, trans, memo);
  // The logs are taken after all the rows' probabilities, one after another
  // with nothing between them to wait for.
  std::vector<double> &probs = memo.rowProbs;
  probs.resize(rows);
  for (int r = 0; r < rows; r++)
    if (!isDrawn(drawn, r))
      probs[r] = rowProbability(pop, tree, x, mapDist, rootHap, r, memo, b);
  double total = 0.0;
  for (int r = 0; r < rows; r++) {
    tree[r][nodeLogLik] = isDrawn(drawn, r) ? drawnTerm(pop, tree, r, memo) : std::log(probs[r]);
    total += tree[r][nodeLogLik];
  }
  return total;
}

// start < 0 recomputes every row. start >= 0 recomputes that row and, with
// type 0, its two children (a changed internal node), with type 2 also its
// partner leaf (a changed paired-genotype leaf); type 1 is that row alone. A
// child label of -1 makes the recomputation take every row. The total is the
// sum of the stored terms in row order.
void tprob(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
           double *total, const Haplotype &rootHap, int start, int type, const TransTable &trans,
           LikelihoodMemo &memo, const PopulationRows *drawn) {
  int nodes[3] = {start, -1, -1};
  int count = 1;
  if (start >= 0 && type == 0) {
    nodes[1] = static_cast<int>(tree[start][child1]);
    nodes[2] = static_cast<int>(tree[start][child2]);
    count = 3;
  } else if (start >= 0 && type == 2) {
    nodes[1] = static_cast<int>(tree[start][partnerLeaf]);
    count = 2;
  }
  bool all = start < 0;
  for (int i = 1; i < count; i++)
    all = all || nodes[i] < 0;
  *total = all ? recomputeAllTerms(freqs, tree, x, mapDist, rootHap, trans, memo, drawn)
               : recomputeTerms(freqs, tree, x, mapDist, rootHap, trans, nodes, count, memo, drawn);
}

double chainTprob(Chain &chain, LikelihoodMemo &memo, TreeMatrix &tree, double x,
                  const Haplotype &rootHap, int start, int type) {
  double total = 0;
  tprob(chain.popHapFreqs, tree, x, pset.mapDist, &total, rootHap, start, type, chain.MP1, memo,
        drawnRows(chain));
  return total;
}
