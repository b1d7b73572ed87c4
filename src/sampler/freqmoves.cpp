// The first updates a chain makes in every iteration: one Metropolis-Hastings
// move on its population tables (an allele frequency at the first locus or one
// row of the transition table between adjacent loci), then the moves on the
// imputed missing alleles of its patient leaves and normal haplotypes. The
// tables enter both the likelihood of the genealogy and the probability of the
// normal-population sample, so the move is scored by both.
#include <cstdlib>

#include "likelihood.h"
#include "movesupport.h"
#include "random.h"
#include "sampler.h"

namespace {

// What a rejected frequency move restores: every row's node term, the allele
// rows of the frequency table and the changed transition row.
std::vector<double> savedNodeLik;
Table savedFreqs;
std::vector<double> savedTransRow;
// The terms of the normal-population sample under the proposed tables.
std::vector<double> proposedTerms;

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
// factor so that the distribution again sums to one.
template <class Cell>
void stepAndRescale(Cell cell, int first, int count, int chosen, double width, Seed *seed) {
  const double value = reflectIntoUnit(cell(chosen) + (2 * ran1(seed) - 1) * width);
  cell(chosen) = value;
  double others = 0;
  for (int i = first; i < first + count; i++)
    if (i != chosen)
      others += cell(i);
  const double factor = (1 - value) / others;
  for (int i = first; i < first + count; i++)
    if (i != chosen)
      cell(i) *= factor;
}

// Log probability of the chain's normal-population sample under its tables
// as the move changed them at locus (the first-locus frequencies when locus is
// 0, else transition row `row` from locus - 1 to locus), its terms left in
// proposedTerms. A remembered term is used again when the remembered terms
// fitted the tables before the change (fitted), its haplotype still holds the
// remembered alleles and it does not read what changed: every term reads a
// first-locus frequency, but only a haplotype with allele row + 1 at
// locus - 1 reads the changed transition row.
double sampleProbability(int ch, bool fitted, int locus, int row) {
  const SampleTerms &terms = sampleTerms(ch);
  const std::vector<Haplotype> &haps = normalHaps[ch];
  proposedTerms.resize(haps.size());
  double sum = 0;
  for (size_t h = 0; h < haps.size(); h++) {
    const bool kept =
        fitted && locus > 0 && std::abs(haps[h][locus - 1]) != row + 1 && terms.haps[h] == haps[h];
    proposedTerms[h] =
        kept ? terms.logProbs[h] : probhap2(pset.popHapFreqs[ch], MP1[ch], haps[h].data());
    sum += proposedTerms[h];
  }
  return sum;
}

// After an accepted move the proposed terms are the chain's.
void keepProposedTerms(int ch) {
  SampleTerms &terms = sampleTerms(ch);
  terms.logProbs.swap(proposedTerms);
  terms.haps = normalHaps[ch];
  recordTables(terms, ch);
}

void updateFrequencies(Seed *seed, int ch) {
  Table &freqs = pset.popHapFreqs[ch];
  TreeMatrix &tree = chainTree[ch];
  const double width = pset.alleleFreqAdjust[ch];
  const int locus = random2(pset.numLoci, seed);

  const bool fitted = termsFitTables(sampleTerms(ch), ch);
  savedNodeLik.resize(tree.size());
  for (size_t v = 0; v < tree.size(); v++)
    savedNodeLik[v] = tree[v][nodeLogLik];
  savedFreqs.resize(freqs.size());
  for (int a = 1; a <= maxAllele; a++)
    savedFreqs[a] = freqs[a];

  int row = 0;
  if (locus == 0) {
    const int allele = random2(maxall[0], seed) + 1;
    stepAndRescale([&](int a) -> double & { return freqs[a][0]; }, 1, maxall[0], allele, width,
                   seed);
  } else {
    // Row i of the table from locus - 1 to locus: the distribution of the
    // allele at locus given allele i + 1 at locus - 1.
    row = random2(maxall[locus - 1], seed);
    const int cell = random2(maxall[locus], seed);
    std::vector<double> &cells = MP1[ch][locus - 1][row];
    savedTransRow = cells;
    stepAndRescale([&](int j) -> double & { return cells[j]; }, 0, maxall[locus], cell, width,
                   seed);
  }
  // The marginal frequencies of every later locus follow from the changed
  // table.
  propagateFrequencies(ch);

  double logLik = 0;
  tprob(freqs, tree, pset.mutLocStart[ch], pset.mapDist, &logLik, pset.rootLoci[ch], -1, 0,
        MP1[ch]);
  const double sampleProb = sampleProbability(ch, fitted, locus, row);
  // Flat prior on the tables and a symmetric step: the ratio is that of the
  // likelihood and of the normal-population sample only.
  const double r = (logLik + sampleProb) - (chainLogLik[ch] + chainPopSampleProb[ch]);
  if (ran1(seed) < acceptanceProbability(r)) {
    chainPopSampleProb[ch] = sampleProb;
    chainLogLik[ch] = logLik;
    accFreq[ch]++;
    keepProposedTerms(ch);
    return;
  }
  for (size_t v = 0; v < tree.size(); v++)
    tree[v][nodeLogLik] = savedNodeLik[v];
  if (locus > 0)
    MP1[ch][locus - 1][row] = savedTransRow;
  for (int a = 1; a <= maxAllele; a++)
    freqs[a] = savedFreqs[a];
}

} // namespace

void updateFrequenciesAndMissing(Seed *seed, int ch) {
  updateFrequencies(seed, ch);
  updatePatientMissing(seed, ch);
  updateNormalMissing(seed, ch);
}
