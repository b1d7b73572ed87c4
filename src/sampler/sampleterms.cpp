// The remembered terms of the normal-population sample. A haplotype's term is
// a running sum over its loci, so a change at locus k is scored by continuing
// the remembered sum before k with the logs from k on: the same additions, in
// the same order, as a whole evaluation, at a fraction of its reads. The logs
// of the table entries are taken again only for the entries a frequency move
// changed.
#include "sampleterms.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "chainwork.h"
#include "mutloc.h"

namespace {

// Place in the logs of the entry a haplotype reads at locus k: its
// first-locus frequency at k = 0, else its transition from locus k - 1 to k.
int entryAt(const SampleTerms &terms, const TransTable &trans, const int *hap, int k) {
  if (k == 0)
    return std::abs(hap[0]);
  const int width = static_cast<int>(trans[k - 1][0].size());
  return terms.tableStart[k - 1] + (std::abs(hap[k - 1]) - 1) * width + std::abs(hap[k]) - 1;
}

// The running sums of a haplotype's term from locus `from` on, into
// sums[from..loci - 1], continuing the sum `before` of the loci before it
// (unused from the first locus, whose sum is its log plus 0.0). Returns the
// term.
double sumFrom(const std::vector<double> &logs, const int *entries, int from, int loci,
               double before, double *sums) {
  double sum = from == 0 ? logs[entries[0]] + 0.0 : before + logs[entries[from]];
  sums[from] = sum;
  for (int k = from + 1; k < loci; k++) {
    sum += logs[entries[k]];
    sums[k] = sum;
  }
  return sum;
}

// The sum of haplotype h's term before locus (0 at the first locus).
double sumBefore(const SampleTerms &terms, size_t h, int locus) {
  return locus == 0 ? 0 : terms.runningSums[h * pset.numLoci + locus - 1];
}

// The entries a frequency move at locus changes: alleles 1..maxall[0] of the
// first-locus frequencies, or the cells of transition row `row`.
struct EntrySpan {
  int first, count;
};

EntrySpan changedEntries(const Chain &chain, const SampleTerms &terms, int locus, int row) {
  if (locus == 0)
    return {1, maxall[0]};
  const int width = static_cast<int>(chain.MP1[locus - 1][row].size());
  return {terms.tableStart[locus - 1] + row * width, width};
}

} // namespace

void tablesChanged(ChainWork &work) {
  work.sampleTerms.taken = false;
}

void takeSampleTerms(const Chain &chain, ChainWork &work) {
  SampleTerms &terms = work.sampleTerms;
  if (terms.taken)
    return;
  const int loci = pset.numLoci;
  terms.logs.clear();
  for (const std::vector<double> &allele : chain.popHapFreqs)
    terms.logs.push_back(std::log(allele[0]));
  terms.tableStart.clear();
  for (const Table &pair : chain.MP1) {
    terms.tableStart.push_back(static_cast<int>(terms.logs.size()));
    for (const std::vector<double> &row : pair)
      for (double p : row)
        terms.logs.push_back(std::log(p));
  }
  const size_t count = chain.normalHaps.size();
  terms.entries.resize(count * loci);
  terms.runningSums.resize(count * loci);
  for (size_t h = 0; h < count; h++) {
    int *entries = &terms.entries[h * loci];
    for (int k = 0; k < loci; k++)
      entries[k] = entryAt(terms, chain.MP1, chain.normalHaps[h].data(), k);
    sumFrom(terms.logs, entries, 0, loci, 0, &terms.runningSums[h * loci]);
  }
  work.scratch.proposedSums.resize(count * loci);
  work.scratch.changedHaps.reserve(count);
  terms.taken = true;
}

double proposeTableChange(const Chain &chain, ChainWork &work, int locus, int row) {
  SampleTerms &terms = work.sampleTerms;
  MoveScratch &scratch = work.scratch;
  const EntrySpan span = changedEntries(chain, terms, locus, row);
  const auto changedLogs = terms.logs.begin() + span.first;
  scratch.entryLogs.assign(changedLogs, changedLogs + span.count);
  for (int j = 0; j < span.count; j++)
    changedLogs[j] =
        std::log(locus == 0 ? chain.popHapFreqs[1 + j][0] : chain.MP1[locus - 1][row][j]);
  // Every haplotype reads a first-locus frequency; only one with allele
  // row + 1 at locus - 1 reads the changed transition row.
  const int loci = pset.numLoci;
  const std::vector<Haplotype> &haps = chain.normalHaps;
  scratch.changedHaps.clear();
  double sum = 0;
  for (size_t h = 0; h < haps.size(); h++) {
    const size_t at = h * loci;
    if (locus > 0 && std::abs(haps[h][locus - 1]) != row + 1) {
      sum += terms.runningSums[at + loci - 1];
      continue;
    }
    scratch.changedHaps.push_back(static_cast<int>(h));
    sum += sumFrom(terms.logs, &terms.entries[at], locus, loci, sumBefore(terms, h, locus),
                   &scratch.proposedSums[at]);
  }
  return sum;
}

void keepTableChange(ChainWork &work, int locus) {
  const int loci = pset.numLoci;
  const std::vector<double> &proposed = work.scratch.proposedSums;
  std::vector<double> &sums = work.sampleTerms.runningSums;
  for (int h : work.scratch.changedHaps) {
    const size_t at = static_cast<size_t>(h) * loci;
    std::copy(proposed.begin() + at + locus, proposed.begin() + at + loci,
              sums.begin() + at + locus);
  }
}

void undoTableChange(const Chain &chain, ChainWork &work, int locus, int row) {
  const std::vector<double> &saved = work.scratch.entryLogs;
  std::copy(saved.begin(), saved.end(),
            work.sampleTerms.logs.begin() +
                changedEntries(chain, work.sampleTerms, locus, row).first);
}

double sampleTerm(const ChainWork &work, int h) {
  return work.sampleTerms.runningSums[(static_cast<size_t>(h) + 1) * pset.numLoci - 1];
}

double proposeAllele(const Chain &chain, ChainWork &work, int h, int locus, int allele) {
  const SampleTerms &terms = work.sampleTerms;
  MoveScratch &scratch = work.scratch;
  const int loci = pset.numLoci;
  const Haplotype &hap = chain.normalHaps[h];
  Haplotype &alleles = scratch.hapBuffer;
  alleles.assign(hap.begin(), hap.begin() + loci);
  alleles[locus] = allele;
  // The allele enters the entry read at its own locus and at the next.
  const auto entries = terms.entries.begin() + static_cast<size_t>(h) * loci;
  scratch.hapEntries.assign(entries, entries + loci);
  for (int k = locus; k <= locus + 1 && k < loci; k++)
    scratch.hapEntries[k] = entryAt(terms, chain.MP1, alleles.data(), k);
  scratch.hapSums.resize(loci);
  return sumFrom(terms.logs, scratch.hapEntries.data(), locus, loci, sumBefore(terms, h, locus),
                 scratch.hapSums.data());
}

void keepAllele(ChainWork &work, int h, int locus) {
  SampleTerms &terms = work.sampleTerms;
  const MoveScratch &scratch = work.scratch;
  const int loci = pset.numLoci;
  const size_t at = static_cast<size_t>(h) * loci;
  for (int k = locus; k <= locus + 1 && k < loci; k++)
    terms.entries[at + k] = scratch.hapEntries[k];
  std::copy(scratch.hapSums.begin() + locus, scratch.hapSums.end(),
            terms.runningSums.begin() + at + locus);
}
