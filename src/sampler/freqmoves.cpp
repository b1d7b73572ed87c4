// The first updates a chain makes in every iteration: one Metropolis-Hastings
// move on its population tables (an allele frequency at the first locus or one
// row of the transition table between adjacent loci), then the moves on the
// imputed missing alleles of its patient leaves and normal haplotypes. The
// tables enter both the likelihood of the genealogy and the probability of the
// normal-population sample, so the move is scored by both. The mixing sampler
// makes the same step scored against the whole posterior, which also holds the
// population terms of the ancestral haplotype and the partner chromosomes.
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

// The step a frequency move made: its locus, the transition row (0 at the
// first locus) and the factor that rescaled the other cells of the stepped
// distribution.
struct TableStep {
  int locus;
  int row;
  double factor;
};

// Keeps what a frequency move may change: the chain's node terms and marginal
// frequencies (the sample terms are taken first, so that they hold the tables
// as they are).
void saveTables(Chain &chain, ChainWork &work) {
  takeSampleTerms(chain, work);
  saveNodeTerms(chain, work);
  work.scratch.freqs.resize(chain.popHapFreqs.size());
  for (int a = 1; a <= maxAllele; a++)
    work.scratch.freqs[a] = chain.popHapFreqs[a];
}

// Steps one cell of the tables at locus: a first-locus frequency, or a cell of
// a random row of the transition table from locus - 1 to locus (kept in the
// work record's scratch). The marginal frequencies of every later locus then follow
// from the changed table.
TableStep stepTables(Rng &rng, Chain &chain, ChainWork &work, int locus) {
  Table &freqs = chain.popHapFreqs;
  const double width = chain.alleleFreqAdjust;
  TableStep step{locus, 0, 0};
  if (locus == 0) {
    const int allele = random2(maxall[0], rng) + 1;
    step.factor = stepAndRescale([&](int a) -> double & { return freqs[a][0]; }, 1, maxall[0],
                                 allele, width, rng);
  } else {
    // Row i of the table from locus - 1 to locus: the distribution of the
    // allele at locus given allele i + 1 at locus - 1.
    step.row = random2(maxall[locus - 1], rng);
    const int cell = random2(maxall[locus], rng);
    std::vector<double> &cells = chain.MP1[locus - 1][step.row];
    work.scratch.transRow = cells;
    step.factor = stepAndRescale([&](int j) -> double & { return cells[j]; }, 0, maxall[locus],
                                 cell, width, rng);
  }
  propagateFrequencies(freqs, chain.MP1);
  return step;
}

// An accepted step: the chain takes the new likelihood and sample terms.
void keepTableStep(Chain &chain, ChainWork &work, const TableStep &step, double logLik,
                   double sampleProb) {
  chain.popSampleProb = sampleProb;
  chain.logLik = logLik;
  chain.accFreq++;
  keepTableChange(work, step.locus);
}

// A refused step: the node terms, the sample terms, the stepped row and the
// marginal frequencies return.
void undoTableStep(Chain &chain, ChainWork &work, const TableStep &step) {
  restoreNodeTerms(chain, work);
  undoTableChange(chain, work, step.locus, step.row);
  if (step.locus > 0)
    chain.MP1[step.locus - 1][step.row] = work.scratch.transRow;
  for (int a = 1; a <= maxAllele; a++)
    chain.popHapFreqs[a] = work.scratch.freqs[a];
}

} // namespace

void updateFrequencies(Rng &rng, Chain &chain, ChainWork &work) {
  const int locus = random2(pset.numLoci, rng);
  saveTables(chain, work);
  const TableStep step = stepTables(rng, chain, work, locus);
  const double logLik = chainTprob(chain, work.memo, chain.tree, chain.mutLoc, chain.rootLoci);
  const double sampleProb = proposeTableChange(chain, work, locus, step.row);
  // Flat prior on the tables and a symmetric step: the ratio is that of the
  // likelihood and of the normal-population sample only.
  const double r = (logLik + sampleProb) - (chain.logLik + chain.popSampleProb);
  if (ran1(rng) < acceptanceProbability(r))
    keepTableStep(chain, work, step, logLik, sampleProb);
  else
    undoTableStep(chain, work, step);
}

void updateFrequenciesWhole(Rng &rng, Chain &chain, ChainWork &work) {
  const int locus = random2(pset.numLoci, rng);
  saveTables(chain, work);
  // A distribution over one allele has nothing to move; stepping its one cell
  // would break the sum to one.
  const int alleleCount = maxall[locus];
  if (alleleCount < 2)
    return;
  const TableStep step = stepTables(rng, chain, work, locus);
  const double logLik = chainTprob(chain, work.memo, chain.tree, chain.mutLoc, chain.rootLoci);
  const double sampleProb = proposeTableChange(chain, work, locus, step.row);
  // Besides the likelihood and the normal-population sample, the whole
  // posterior holds the ancestral haplotype's and the partner chromosomes'
  // population terms, which follow the tables. Scaling the alleleCount - 2
  // free coordinates of the simplex besides the stepped one by one factor
  // makes the step asymmetric in volume: the Jacobian of that scaling,
  // factor^(alleleCount - 2), enters the ratio.
  const double rootHapProb =
      probhap2(chain.popHapFreqs, chain.MP1, chain.rootLoci.data(), work.memo);
  const double partnerProb = unpairedGenotypes() ? allPartnerTerms(chain, work) : chain.partnerProb;
  double r = (logLik + sampleProb) - (chain.logLik + chain.popSampleProb);
  r += (rootHapProb + partnerProb) - (chain.rootHapProb + chain.partnerProb) +
       (alleleCount - 2) * std::log(step.factor);
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.rootHapProb = rootHapProb;
    chain.partnerProb = partnerProb;
    keepTableStep(chain, work, step, logLik, sampleProb);
  } else {
    undoTableStep(chain, work, step);
  }
}

void updateFrequenciesAndMissing(Rng &rng, Chain &chain, ChainWork &work) {
  updateFrequencies(rng, chain, work);
  updatePatientMissing(rng, chain, work);
  updateNormalMissing(rng, chain, work);
}
