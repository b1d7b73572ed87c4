// Population tables of the normal (non-disease) chromosomes and their
// look-ups. Each chain carries a first-order Markov chain along the markers
// (MP1: transition rows between adjacent loci) and the allele frequencies per
// locus (popHapFreqs), which are the Markov chain's marginals. The segment
// look-ups give, for every cut point at once, the population probability of a
// row's alleles on one side of it: the likelihood multiplies these by the
// crossover weights.
#include <cmath>
#include <cstdlib>

#include "likelihood.h"

namespace {

// Allele of a tree row at locus k: a negative cell is a missing allele
// imputed as its absolute value.
int rowAllele(const double *row, int k) {
  return static_cast<int>(std::fabs(row[TMAT + k]));
}

// Transition counts between adjacent loci from the normal-population
// haplotypes; pairs with a missing allele carry no information and are skipped.
void countTransitions(TransTable &trans, const std::vector<Haplotype> &haps, int loci) {
  for (const Haplotype &h : haps)
    for (int k = 0; k + 1 < loci; k++)
      if (h[k] > 0 && h[k + 1] > 0)
        trans[k][h[k] - 1][h[k + 1] - 1] += 1.0;
}

// Turns the counts of each row into conditional probabilities and keeps a
// small mass on unseen transitions: a row of an allele never seen before its
// neighbour becomes uniform, any other row gives 0.001 to its zero cells.
void normaliseAndSmooth(TransTable &trans) {
  for (Table &pair : trans)
    for (std::vector<double> &row : pair) {
      double total = 0.0;
      for (double c : row)
        total += c;
      for (double &c : row)
        if (c != 0.0)
          c /= total;
      int zeros = 0;
      for (double c : row)
        if (c == 0.0)
          zeros++;
      const int width = static_cast<int>(row.size());
      if (zeros == 0)
        continue;
      if (zeros == width) {
        for (double &c : row)
          c = 1.0 / zeros;
        continue;
      }
      for (double &c : row)
        c *= 0.999;
      for (double &c : row)
        if (c == 0.0)
          c = 0.001 / zeros;
    }
}

// Frequencies of the first locus from the chain's own haplotype list, with the
// same 0.001 smoothing of unseen alleles as the transition rows.
void firstLocusFrequencies(Table &freqs, const std::vector<Haplotype> &haps) {
  const int alleles = maxall[0];
  for (int a = 1; a <= alleles; a++)
    freqs[a][0] = 0.0;
  for (const Haplotype &h : haps)
    freqs[std::abs(h[0])][0] += 1.0;
  const double count = static_cast<double>(haps.size());
  for (int a = 1; a <= alleles; a++)
    freqs[a][0] /= count;
  int zeros = 0;
  for (int a = 1; a <= alleles; a++)
    if (freqs[a][0] == 0.0)
      zeros++;
  if (zeros == 0)
    return;
  for (int a = 1; a <= alleles; a++)
    freqs[a][0] *= 0.999;
  for (int a = 1; a <= alleles; a++)
    if (freqs[a][0] == 0.0)
      freqs[a][0] = 0.001 / zeros;
}

} // namespace

void propagateFrequencies(int ch) {
  Table &freqs = pset.popHapFreqs[ch];
  const TransTable &trans = MP1[ch];
  for (int k = 1; k < pset.numLoci; k++)
    for (int b = 1; b <= maxall[k]; b++) {
      double sum = 0.0;
      for (int a = 1; a <= maxall[k - 1]; a++)
        sum += freqs[a][k - 1] * trans[k - 1][a - 1][b - 1];
      freqs[b][k] = sum;
    }
}

void buildPopulationTables() {
  const int loci = pset.numLoci;
  const int chains = pset.numChains;
  if (static_cast<int>(answer.size()) < loci)
    answer.assign(loci, 0.0);
  MP1.assign(chains, TransTable());
  for (int ch = 0; ch < chains; ch++) {
    // Labels 0 and above maxall[k] keep frequency 0 at locus k.
    for (std::vector<double> &allele : pset.popHapFreqs[ch])
      for (double &f : allele)
        f = 0.0;
    TransTable &trans = MP1[ch];
    for (int k = 0; k + 1 < loci; k++)
      trans.push_back(Table(maxall[k], std::vector<double>(maxall[k + 1], 0.0)));
    // Every chain's list is still the reader's list here; the counts come
    // from the first one.
    countTransitions(trans, normalHaps[0], loci);
    normaliseAndSmooth(trans);
    firstLocusFrequencies(pset.popHapFreqs[ch], normalHaps[ch]);
    propagateFrequencies(ch);
  }
}

void allfreqright(const double *row, int, double *out, const Table &freqs) {
  const int loci = pset.numLoci;
  for (int k = 0; k < loci; k++)
    out[k] = 0.0;
  out[loci - 1] = freqs[rowAllele(row, loci - 1)][loci - 1];
  for (int k = loci - 2; k >= 0; k--)
    out[k] = out[k + 1] * freqs[rowAllele(row, k)][k];
}

void allfreqleft(const double *row, int, double *out, const Table &freqs) {
  const int loci = pset.numLoci;
  for (int k = 0; k < loci; k++)
    out[k] = 0.0;
  out[0] = freqs[rowAllele(row, 0)][0];
  for (int k = 1; k < loci; k++)
    out[k] = out[k - 1] * freqs[rowAllele(row, k)][k];
}

void hapfreqcountsleft(const double *row, double *out, const TransTable &trans,
                       const Table &freqs) {
  const int loci = pset.numLoci;
  for (int k = 0; k < loci; k++)
    out[k] = 0.0;
  out[0] = freqs[rowAllele(row, 0)][0];
  for (int k = 1; k < loci; k++)
    out[k] = out[k - 1] * trans[k - 1][rowAllele(row, k - 1) - 1][rowAllele(row, k) - 1];
}

// The segment from locus k to the last locus: starts from the last locus's
// frequency and multiplies the forward transitions of the chain (the chain is
// not reversed).
void hapfreqcountsright(const double *row, double *out, const TransTable &trans,
                        const Table &freqs) {
  const int loci = pset.numLoci;
  for (int k = 0; k < loci; k++)
    out[k] = 0.0;
  out[loci - 1] = freqs[rowAllele(row, loci - 1)][loci - 1];
  for (int k = loci - 2; k >= 0; k--)
    out[k] = out[k + 1] * trans[k][rowAllele(row, k) - 1][rowAllele(row, k + 1) - 1];
}

double probhap2(const Table &freqs, const TransTable &trans, const int *hap) {
  double logProb = std::log(freqs[std::abs(hap[0])][0]) + 0.0;
  for (int k = 1; k < pset.numLoci; k++)
    logProb += std::log(trans[k - 1][std::abs(hap[k - 1]) - 1][std::abs(hap[k]) - 1]);
  return logProb;
}
