// Genotype phase updates. With genotype data the phase of an individual is
// not observed: at a heterozygous locus either of its two chromosomes may carry
// either allele. Each individual in turn proposes to exchange the two alleles
// at every heterozygous locus with probability one half, and the exchanges are
// kept or undone together by one Metropolis-Hastings test.
#include <utility>

#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

// Exchanges, locus by locus, the alleles first[k] and second[k] with
// probability one half wherever the stored values differ (an imputed allele
// stored as -a differs from an observed a); true when anything was exchanged.
bool proposeExchanges(double *first, double *second, Seed *seed) {
  bool exchanged = false;
  for (int k = 0; k < pset.numLoci; k++)
    if (first[k] != second[k] && ran1(seed) > 0.5) {
      std::swap(first[k], second[k]);
      exchanged = true;
    }
  return exchanged;
}

} // namespace

void updatePhase(Seed *seed, int ch) {
  if (pset.dataAsGenotypes == 0)
    return;
  TreeMatrix &tree = chainTree[ch];
  const bool paired = pairedGenotypes();
  for (size_t t = 0; t < tree.size(); t++) {
    TreeRow &row = tree[t];
    if (row[child1] != -1)
      continue;
    const int leaf = static_cast<int>(t);
    double *second;
    if (paired) {
      // Each individual is treated once, from its higher-labelled leaf.
      if (row[nodeLabel] <= row[partnerLeaf])
        continue;
      second = tree[static_cast<int>(row[partnerLeaf])].data() + TMAT;
    } else {
      second = row.data() + TMAT + pset.numLoci;
    }
    saveLeaf(ch, leaf);
    if (proposeExchanges(row.data() + TMAT, second, seed))
      acceptOrRestoreLeaf(seed, ch, leaf);
  }
}
