// The first updates a chain makes in every iteration: one Metropolis-Hastings
// move on its population tables (an allele frequency at the first locus or one
// row of the transition table between adjacent loci), then the moves on the
// imputed missing alleles of its patient leaves and normal haplotypes. The
// tables enter both the likelihood of the genealogy and the probability of the
// normal-population sample, so the move is scored by both.
#include <cmath>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"
#include "sampleterms.h"

namespace {

// A proposed frequency that stepped outside [0, 1] is reflected back once.
double reflectIntoUnit(double v) {
  if (v < 0)
    return -v;
  if (v > 1)
    return 2 - v;
  return v;
}

// Moves the probability at position chosen of a distribution over count
// cells (cell(i) for i = first..first + count - 1) by a uniform step of the
// given width, reflected into [0, 1], and scales the other cells by one common
// factor so that the distribution again sums to one. Returns that factor.
template <class Cell>
double stepAndRescale(Cell cell, int first, int count, int chosen, double width, Rng &rng) {
  const double value = reflectIntoUnit(cell(chosen) + (2 * ran1(rng) - 1) * width);
  cell(chosen) = value;
  double others = 0;
  for (int i = first; i < first + count; i++)
    if (i != chosen)
      others += cell(i);
  const double factor = (1 - value) / others;
  for (int i = first; i < first + count; i++)
    if (i != chosen)
      cell(i) *= factor;
  return factor;
}

} // namespace

void updateFrequencies(Rng &rng, Chain &chain, bool wholeTarget) {
  Table &freqs = chain.popHapFreqs;
  Table &savedFreqs = chain.scratch.freqs;
  const double width = pset.alleleFreqAdjust[chain.index];
  const int locus = random2(pset.numLoci, rng);

  takeSampleTerms(chain);
  saveNodeTerms(chain);
  savedFreqs.resize(freqs.size());
  for (int a = 1; a <= maxAllele; a++)
    savedFreqs[a] = freqs[a];

  // A distribution over one allele has nothing to move; stepping its one cell
  // would break the sum to one.
  const int alleleCount = maxall[locus];
  if (wholeTarget && alleleCount < 2)
    return;
  int row = 0;
  double factor;
  if (locus == 0) {
    const int allele = random2(maxall[0], rng) + 1;
    factor = stepAndRescale([&](int a) -> double & { return freqs[a][0]; }, 1, maxall[0], allele,
                            width, rng);
  } else {
    // Row i of the table from locus - 1 to locus: the distribution of the
    // allele at locus given allele i + 1 at locus - 1.
    row = random2(maxall[locus - 1], rng);
    const int cell = random2(maxall[locus], rng);
    std::vector<double> &cells = chain.MP1[locus - 1][row];
    chain.scratch.transRow = cells;
    factor = stepAndRescale([&](int j) -> double & { return cells[j]; }, 0, maxall[locus], cell,
                            width, rng);
  }
  // The marginal frequencies of every later locus follow from the changed
  // table.
  propagateFrequencies(freqs, chain.MP1);

  const double logLik = chainTprob(chain, chain.tree, chain.mutLoc, chain.rootLoci);
  const double sampleProb = proposeTableChange(chain, locus, row);
  // Flat prior on the tables and a symmetric step: the ratio is that of the
  // likelihood and of the normal-population sample only.
  double r = (logLik + sampleProb) - (chain.logLik + chain.popSampleProb);
  // The whole posterior also holds the ancestral haplotype's and the partner
  // chromosomes' population terms, which follow the tables. Scaling the
  // alleleCount - 2 free coordinates of the simplex besides the stepped one by
  // one factor makes the step asymmetric in volume: the Jacobian of that
  // scaling, factor^(alleleCount - 2), enters the ratio.
  double rootHapProb = chain.rootHapProb, partnerProb = chain.partnerProb;
  if (wholeTarget) {
    rootHapProb = probhap2(freqs, chain.MP1, chain.rootLoci.data(), chain.memo);
    if (unpairedGenotypes())
      partnerProb = allPartnerTerms(chain);
    r += (rootHapProb + partnerProb) - (chain.rootHapProb + chain.partnerProb) +
         (alleleCount - 2) * std::log(factor);
  }
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.rootHapProb = rootHapProb;
    chain.partnerProb = partnerProb;
    chain.popSampleProb = sampleProb;
    chain.logLik = logLik;
    chain.accFreq++;
    keepTableChange(chain, locus);
    return;
  }
  restoreNodeTerms(chain);
  undoTableChange(chain, locus, row);
  if (locus > 0)
    chain.MP1[locus - 1][row] = chain.scratch.transRow;
  for (int a = 1; a <= maxAllele; a++)
    freqs[a] = savedFreqs[a];
}

void updateFrequenciesAndMissing(Rng &rng, Chain &chain) {
  updateFrequencies(rng, chain, false);
  updatePatientMissing(rng, chain);
  updateNormalMissing(rng, chain);
}
