// Haplotype-state updates of one chain: the allele-redraw proposal, the move
// of the ancestral haplotype at the root (scored by the likelihood and its
// population probability) and the moves of the internal nodes' haplotypes
// (scored by the likelihood of the node and its two children). The proposal
// is symmetric, so the acceptance tests hold no proposal ratio.
#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

// Redraws alleles of state with probability p: every locus in turn when
// allLoci is non-zero, else one locus chosen at random. A redraw picks any of
// the locus's alleles, the old one included; *changed tells whether any
// allele now differs.
void redrawAlleles(int *state, Rng &rng, int *changed, int allLoci, double p) {
  const auto redraw = [&](int k) {
    const int allele = random2(maxall[k], rng) + 1;
    if (allele != state[k])
      *changed = 1;
    state[k] = allele;
  };
  *changed = 0;
  if (allLoci) {
    for (int k = 0; k < pset.numLoci; k++)
      if (ran1(rng) < p)
        redraw(k);
    return;
  }
  const int k = random2(pset.numLoci, rng);
  if (ran1(rng) < p)
    redraw(k);
}

// Whether the term of child reads one of the alleles in which the proposed
// haplotype of its parent differs from the saved one.
bool readsChange(const TreeMatrix &tree, int child, double x, const Haplotype &rootHap,
                 const Haplotype &proposed, const Haplotype &saved) {
  const MarkerSpan span = parentMarkersRead(tree, child, x, rootHap);
  for (int k = span.first; k <= span.last; k++)
    if (proposed[k - 1] != saved[k - 1])
      return true;
  return false;
}

// Proposes a new ancestral haplotype for chain ch; only the root's own term of
// the likelihood depends on it, besides its population probability.
void updateRootState(Rng &rng, Chain &chain) {
  Haplotype &proposedState = chain.scratch.proposedState;
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

  chainRowTerms(chain, proposedState, &root, 1);
  const double hapProb = probhap2(chain.popHapFreqs, chain.MP1, proposedState.data(), chain.memo);
  double lik;
  if (testRowChange(rng, chain, &root, &savedTerm, 1, hapProb, chain.rootHapProb, false, &lik)) {
    chain.rootLoci = proposedState;
    chain.logLik = lik;
    chain.rootHapProb = hapProb;
    chain.accRoot += 1;
  } else {
    tree[root][nodeLogLik] = savedTerm;
  }
}

// Proposes new alleles for every internal node of chain ch in row order; a
// node's alleles enter its own term and those of its two children.
void updateInternalStates(Rng &rng, Chain &chain) {
  TreeMatrix &tree = chain.tree;
  Haplotype &proposedState = chain.scratch.proposedState;
  Haplotype &savedState = chain.scratch.savedState;
  const int loci = pset.numLoci;
  proposedState.resize(loci);
  savedState.resize(loci);
  int treated = 0;
  for (size_t node = 0; node < tree.size() && treated < pset.numChromosomes - 1; node++) {
    TreeRow &row = tree[node];
    if (row[child1] == -1)
      continue;
    treated++;
    for (int k = 0; k < loci; k++)
      proposedState[k] = savedState[k] = static_cast<int>(row[TMAT + k]);
    int changed;
    adjYi(proposedState.data(), rng, &changed, pset.flipAllLoci);
    if (!changed)
      continue;

    // The node's term changes with its alleles; a child's only when a changed
    // allele lies where the child's term compares it with its own.
    int rows[3] = {static_cast<int>(node)};
    int count = 1;
    for (const int c : {static_cast<int>(row[child1]), static_cast<int>(row[child2])})
      if (readsChange(tree, c, chain.mutLoc, chain.rootLoci, proposedState, savedState))
        rows[count++] = c;
    double oldTerms[3];
    for (int i = 0; i < count; i++)
      oldTerms[i] = tree[rows[i]][nodeLogLik];
    for (int k = 0; k < loci; k++)
      row[TMAT + k] = proposedState[k];

    chainRowTerms(chain, chain.rootLoci, rows, count);
    // Ties accept: this test is not strict, unlike the others.
    double lik;
    if (testRowChange(rng, chain, rows, oldTerms, count, 0, 0, true, &lik)) {
      chain.logLik = lik;
      chain.accInternal += 1;
    } else {
      for (int k = 0; k < loci; k++)
        row[TMAT + k] = savedState[k];
      for (int i = 0; i < count; i++)
        tree[rows[i]][nodeLogLik] = oldTerms[i];
    }
  }
}

} // namespace

void adjY0(int *state, Rng &rng, int *changed, int allLoci) {
  redrawAlleles(state, rng, changed, allLoci, pset.ancestralAdjust);
}

void adjYi(int *state, Rng &rng, int *changed, int allLoci) {
  redrawAlleles(state, rng, changed, allLoci, pset.internalAdjust);
}

void updateStates(Rng &rng, Chain &chain) {
  if (pset.iterAncestral)
    updateRootState(rng, chain);
  updateInternalStates(rng, chain);
}
