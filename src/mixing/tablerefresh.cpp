// The mixing sampler's refresh of a population table: the first-locus
// allele frequencies, or every row of the transitions from one locus to the
// next, drawn afresh from their conditional given the normal-population
// sample alone. The tables have a flat prior on each row's simplex, and the
// sample's probability is a product of one first-locus frequency and one
// transition per haplotype and locus, so that conditional is, row by row, a
// Dirichlet of the sample's counts plus one.
//
// The random-walk move of the tables steps one cell of one row per
// iteration; a Markov model's tables hold hundreds of cells, which then drift
// for tens of thousands of iterations, and the genealogy's likelihood, which
// reads them beyond every crossover, drifts with them. A refresh moves a
// whole table at once to where the sample puts it. As an independence
// proposal q it is scored by the whole target and the ratio q(old) / q(new),
// which is exactly the inverse of the sample's ratio: the test reads only
// the likelihood and the ancestral and partner population terms, the
// agreement of the genealogy's data with the drawn table.
#include <cmath>
#include <cstdlib>

#include "likelihood.h"
#include "mixing.h"
#include "movesupport.h"

namespace {

// Draws a distribution over cells.size() cells from the Dirichlet of
// counts + 1, drawn being the draw's buffer.
void drawRow(Rng &rng, const double *counts, std::vector<double> &cells,
             std::vector<double> &drawn) {
  double sum = 0;
  drawn.resize(cells.size());
  for (size_t j = 0; j < cells.size(); j++)
    sum += (drawn[j] = gammaDeviate(counts[j] + 1, rng));
  for (size_t j = 0; j < cells.size(); j++)
    cells[j] = drawn[j] / sum;
}

} // namespace

void refreshTable(Rng &rng, Chain &chain, ChainWork &work) {
  const int locus = random2(pset.numLoci, rng);
  // A locus of one allele has nothing to draw: its distributions are 1.
  if (maxall[locus] < 2)
    return;
  Table &freqs = chain.popHapFreqs;
  Table &savedFreqs = work.scratch.freqs;
  savedFreqs = freqs;
  saveNodeTerms(chain, work);
  // The sample's counts of the table's cells, row by row.
  const int rows = locus == 0 ? 1 : maxall[locus - 1], columns = maxall[locus];
  std::vector<double> &counts = work.scratch.tableCounts;
  counts.assign(rows * columns, 0.0);
  for (const Haplotype &h : chain.normalHaps)
    counts[(locus == 0 ? 0 : std::abs(h[locus - 1]) - 1) * columns + std::abs(h[locus]) - 1]++;
  Table &savedTransitions = work.scratch.transitions;
  std::vector<double> &drawn = work.scratch.drawnRow;
  if (locus == 0) {
    std::vector<double> &cells = work.scratch.firstLocusRow;
    cells.resize(columns);
    for (int a = 1; a <= columns; a++)
      cells[a - 1] = freqs[a][0];
    drawRow(rng, counts.data(), cells, drawn);
    for (int a = 1; a <= columns; a++)
      freqs[a][0] = cells[a - 1];
  } else {
    savedTransitions = chain.MP1[locus - 1];
    for (int r = 0; r < rows; r++)
      drawRow(rng, &counts[r * columns], chain.MP1[locus - 1][r], drawn);
  }
  propagateFrequencies(freqs, chain.MP1);

  const double logLik = chainTprob(chain, work.memo, chain.tree, chain.mutLoc, chain.rootLoci);
  const double rootHapProb = probhap2(freqs, chain.MP1, chain.rootLoci.data(), work.memo);
  const double partnerProb = unpairedGenotypes() ? allPartnerTerms(chain, work) : chain.partnerProb;
  const double r =
      (logLik + rootHapProb + partnerProb) - (chain.logLik + chain.rootHapProb + chain.partnerProb);
  if (ran1(rng) < acceptanceProbability(r)) {
    chain.logLik = logLik;
    chain.popSampleProb = sampleLogProb(chain, work.memo);
    chain.rootHapProb = rootHapProb;
    chain.partnerProb = partnerProb;
    tablesChanged(work);
    return;
  }
  restoreNodeTerms(chain, work);
  freqs = savedFreqs;
  if (locus > 0)
    chain.MP1[locus - 1] = savedTransitions;
}
