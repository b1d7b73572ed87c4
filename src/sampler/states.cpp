// Haplotype-state updates of one chain: the allele-redraw proposal, the move
// of the ancestral haplotype at the root (scored by the likelihood and its
// population probability) and the moves of the internal nodes' haplotypes
// (scored by the likelihood of the node and its two children). The proposal
// is symmetric, so the acceptance tests hold no proposal ratio.
#include <algorithm>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

// Redraws alleles of a haplotype, read through allele(k) and written through
// redraw(k, a), with probability p: every locus in turn when allLoci is
// non-zero, else one locus chosen at random. A redraw picks any of the
// locus's alleles, the old one included; *changed tells whether any allele
// now differs.
template <class Allele, class Redraw>
void redrawAlleles(Allele allele, Redraw redraw, Rng &rng, int *changed, int allLoci, double p) {
  const auto draw = [&](int k) {
    const int a = random2(maxall[k], rng) + 1;
    if (a != allele(k))
      *changed = 1;
    redraw(k, a);
  };
  *changed = 0;
  if (allLoci) {
    for (int k = 0; k < pset.numLoci; k++)
      if (ran1(rng) < p)
        draw(k);
    return;
  }
  const int k = random2(pset.numLoci, rng);
  if (ran1(rng) < p)
    draw(k);
}

void redrawState(int *state, Rng &rng, int *changed, int allLoci, double p) {
  redrawAlleles([&](int k) { return state[k]; }, [&](int k, int a) { state[k] = a; }, rng, changed,
                allLoci, p);
}

// Whether the term of child reads an allele its parent's proposal changed.
// Each side of the mutation is read from the mutation out, so the term reads
// a changed allele if it reads the changed one nearest the mutation.
bool readsChange(const TreeMatrix &tree, int child, int b, const Haplotype &rootHap,
                 const std::vector<std::pair<int, double>> &changed) {
  int nearestRight = pset.numLoci + 1, nearestLeft = 0;
  for (const auto &cell : changed) {
    const int marker = cell.first + 1;
    if (marker >= b)
      nearestRight = std::min(nearestRight, marker);
    else
      nearestLeft = std::max(nearestLeft, marker);
  }
  return (nearestRight <= pset.numLoci &&
          termReadsParentAt(tree, child, b, rootHap, nearestRight)) ||
         (nearestLeft >= 1 && termReadsParentAt(tree, child, b, rootHap, nearestLeft));
}

// Proposes a new ancestral haplotype for chain ch; only the root's own term of
// the likelihood depends on it, besides its population probability.
void updateRootState(Rng &rng, Chain &chain, ChainWork &work) {
  Haplotype &proposedState = work.scratch.proposedState;
  proposedState.assign(chain.rootLoci.begin(), chain.rootLoci.end());
  int changed;
  adjY0(proposedState.data(), rng, &changed, pset.flipAllLoci);
  if (!changed)
    return;

  TreeMatrix &tree = chain.tree;
  int root = 0;
  while (tree[root][parent] != -1)
    root++;
  const double savedTerm = tree[root][nodeLogLik];

  chainRowTerms(chain, work.memo, proposedState, &root, 1);
  const double hapProb = probhap2(chain.popHapFreqs, chain.MP1, proposedState.data(), work.memo);
  double lik;
  if (testRowChange(rng, chain, work, &root, &savedTerm, 1, hapProb, chain.rootHapProb, false,
                    &lik)) {
    chain.rootLoci = proposedState;
    chain.logLik = lik;
    chain.rootHapProb = hapProb;
    chain.accRoot += 1;
  } else {
    tree[root][nodeLogLik] = savedTerm;
  }
}

// Proposes new alleles for every internal node of chain ch in row order; a
// node's alleles enter its own term and those of its two children. The
// proposal is made in the node's row, keeping the cells it changed.
void updateInternalStates(Rng &rng, Chain &chain, ChainWork &work) {
  TreeMatrix &tree = chain.tree;
  std::vector<std::pair<int, double>> &changedCells = work.scratch.changedCells;
  const int b = firstRightMarker(chain.mutLoc);
  int treated = 0;
  for (size_t node = 0; node < tree.size() && treated < pset.numChromosomes - 1; node++) {
    TreeRow &row = tree[node];
    if (row[child1] == -1)
      continue;
    treated++;
    changedCells.clear();
    const auto allele = [&](int k) { return static_cast<int>(row[TMAT + k]); };
    const auto redraw = [&](int k, int a) {
      if (a != allele(k)) {
        changedCells.emplace_back(k, row[TMAT + k]);
        row[TMAT + k] = a;
      }
    };
    int changed;
    redrawAlleles(allele, redraw, rng, &changed, pset.flipAllLoci, pset.internalAdjust);
    if (!changed)
      continue;

    // The node's term changes with its alleles; a child's only when it reads
    // a changed one.
    int rows[3] = {static_cast<int>(node)};
    int count = 1;
    for (const int c : {static_cast<int>(row[child1]), static_cast<int>(row[child2])})
      if (readsChange(tree, c, b, chain.rootLoci, changedCells))
        rows[count++] = c;
    double oldTerms[3];
    for (int i = 0; i < count; i++)
      oldTerms[i] = tree[rows[i]][nodeLogLik];

    chainRowTerms(chain, work.memo, chain.rootLoci, rows, count);
    // Ties accept: this test is not strict, unlike the others.
    double lik;
    if (testRowChange(rng, chain, work, rows, oldTerms, count, 0, 0, true, &lik)) {
      chain.logLik = lik;
      chain.accInternal += 1;
    } else {
      for (const auto &cell : changedCells)
        row[TMAT + cell.first] = cell.second;
      for (int i = 0; i < count; i++)
        tree[rows[i]][nodeLogLik] = oldTerms[i];
    }
  }
}

} // namespace

void adjY0(int *state, Rng &rng, int *changed, int allLoci) {
  redrawState(state, rng, changed, allLoci, pset.ancestralAdjust);
}

void adjYi(int *state, Rng &rng, int *changed, int allLoci) {
  redrawState(state, rng, changed, allLoci, pset.internalAdjust);
}

void updateStates(Rng &rng, Chain &chain, ChainWork &work) {
  if (pset.iterAncestral)
    updateRootState(rng, chain, work);
  updateInternalStates(rng, chain, work);
}
