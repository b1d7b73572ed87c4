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

// The proposed haplotype of a state move, and the alleles a rejected
// internal-state proposal puts back.
Haplotype proposedState, savedState;

// Redraws alleles of state with probability p: every locus in turn when
// allLoci is non-zero, else one locus chosen at random. A redraw picks any of
// the locus's alleles, the old one included; *changed tells whether any
// allele now differs.
void redrawAlleles(int *state, Seed *seed, int *changed, int allLoci, double p) {
  const auto redraw = [&](int k) {
    const int allele = random2(maxall[k], seed) + 1;
    if (allele != state[k])
      *changed = 1;
    state[k] = allele;
  };
  *changed = 0;
  if (allLoci) {
    for (int k = 0; k < pset.numLoci; k++)
      if (ran1(seed) < p)
        redraw(k);
    return;
  }
  const int k = random2(pset.numLoci, seed);
  if (ran1(seed) < p)
    redraw(k);
}

// Proposes a new ancestral haplotype for chain ch; only the root's own term of
// the likelihood depends on it, besides its population probability.
void updateRootState(Seed *seed, int ch) {
  proposedState.assign(pset.rootLoci[ch].begin(), pset.rootLoci[ch].end());
  int changed;
  adjY0(proposedState.data(), seed, &changed, pset.flipAllLoci);
  if (!changed)
    return;

  TreeMatrix &tree = chainTree[ch];
  int root = 0;
  while (tree[root][parent] != -1)
    root++;
  const double savedTerm = tree[root][nodeLogLik];

  double lik = 0;
  tprob(pset.popHapFreqs[ch], tree, pset.mutLocStart[ch], pset.mapDist, &lik, proposedState, root,
        1, MP1[ch]);
  const double hapProb = probhap2(pset.popHapFreqs[ch], MP1[ch], proposedState.data());
  const double logRatio = (lik + hapProb) - (chainLogLik[ch] + chainRootHapProb[ch]);
  if (ran1(seed) < acceptanceProbability(logRatio)) {
    pset.rootLoci[ch] = proposedState;
    chainLogLik[ch] = lik;
    chainRootHapProb[ch] = hapProb;
    accRoot[ch] += 1;
  } else {
    tree[root][nodeLogLik] = savedTerm;
  }
}

// Proposes new alleles for every internal node of chain ch in row order; a
// node's alleles enter its own term and those of its two children.
void updateInternalStates(Seed *seed, int ch) {
  TreeMatrix &tree = chainTree[ch];
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
    adjYi(proposedState.data(), seed, &changed, pset.flipAllLoci);
    if (!changed)
      continue;

    const int c1 = static_cast<int>(row[child1]);
    const int c2 = static_cast<int>(row[child2]);
    const double savedNode = row[nodeLogLik];
    const double savedC1 = tree[c1][nodeLogLik];
    const double savedC2 = tree[c2][nodeLogLik];
    for (int k = 0; k < loci; k++)
      row[TMAT + k] = proposedState[k];

    double lik = 0;
    tprob(pset.popHapFreqs[ch], tree, pset.mutLocStart[ch], pset.mapDist, &lik, pset.rootLoci[ch],
          static_cast<int>(node), 0, MP1[ch]);
    // Ties accept: this test is not strict, unlike the others.
    if (ran1(seed) <= acceptanceProbability(lik - chainLogLik[ch])) {
      chainLogLik[ch] = lik;
      accInternal[ch] += 1;
    } else {
      for (int k = 0; k < loci; k++)
        row[TMAT + k] = savedState[k];
      row[nodeLogLik] = savedNode;
      tree[c1][nodeLogLik] = savedC1;
      tree[c2][nodeLogLik] = savedC2;
    }
  }
}

} // namespace

void adjY0(int *state, Seed *seed, int *changed, int allLoci) {
  redrawAlleles(state, seed, changed, allLoci, pset.ancestralAdjust);
}

void adjYi(int *state, Seed *seed, int *changed, int allLoci) {
  redrawAlleles(state, seed, changed, allLoci, pset.internalAdjust);
}

void updateStates(Seed *seed, int ch) {
  if (pset.iterAncestral)
    updateRootState(seed, ch);
  updateInternalStates(seed, ch);
}
