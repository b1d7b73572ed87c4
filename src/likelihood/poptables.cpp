// Population tables of the normal (non-disease) chromosomes and their
// look-ups. Each chain carries a first-order Markov chain along the markers
// (MP1: transition rows between adjacent loci) and the allele frequencies per
// locus (popHapFreqs), which are the Markov chain's marginals. The segment
// look-ups give, for every cut point at once, the population probability of a
// row's alleles on one side of it: the likelihood multiplies these by the
// crossover weights. The whole-haplotype probabilities remember the logs of
// the table entries, which change only where a move changed the tables.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "likelihood.h"
#include "remembered.h"

namespace {

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

void propagateFrequencies(Table &freqs, const TransTable &trans) {
  for (int k = 1; k < pset.numLoci; k++)
    for (int b = 1; b <= maxall[k]; b++) {
      double sum = 0.0;
      for (int a = 1; a <= maxall[k - 1]; a++)
        sum += freqs[a][k - 1] * trans[k - 1][a - 1][b - 1];
      freqs[b][k] = sum;
    }
}

void buildPopulationTables(Chain &chain, const std::vector<Haplotype> &countList) {
  const int loci = pset.numLoci;
  // Labels 0 and above maxall[k] keep frequency 0 at locus k.
  chain.popHapFreqs.assign(maxAllele + 1, std::vector<double>(loci, 0.0));
  TransTable &trans = chain.MP1;
  trans.clear();
  for (int k = 0; k + 1 < loci; k++)
    trans.push_back(Table(maxall[k], std::vector<double>(maxall[k + 1], 0.0)));
  countTransitions(trans, countList, loci);
  normaliseAndSmooth(trans);
  firstLocusFrequencies(chain.popHapFreqs, chain.normalHaps);
  propagateFrequencies(chain.popHapFreqs, trans);
}

// Each look-up fills only the part of out its caller reads: a right look-up
// out[from..L-1], computed from the last locus down, a left look-up
// out[0..upTo], computed from the first locus up; every entry filled has the
// value a look-up over all loci gives it. The other entries are left as they
// were: no caller reads them.

namespace {

// Transition entry [a][b] (alleles from 1) of the table from locus k to k + 1,
// read from the nested tables or through the list of their rows: one look-up routine
// serves both.
struct NestedEntries {
  const TransTable &trans;
  double operator()(int k, std::ptrdiff_t a, std::ptrdiff_t b) const {
    return trans[k][a - 1][b - 1];
  }
};

struct ListedEntries {
  const TransitionRows &list;
  double operator()(int k, std::ptrdiff_t a, std::ptrdiff_t b) const {
    return list.rows[list.first[k] + a][b - 1];
  }
};

// The look-ups of a row: the left one into out[leftFrom..leftEnd - 1] (none
// when leftFrom >= leftEnd) and the right one into out[rightFrom..rightTo]
// (none when rightFrom > rightTo). A look-up of a whole side (leftFrom 0 and
// rightTo L - 1) starts each product from the frequency at its end of the
// row; one that carries on (carryOn) starts from the entry before its first
// one, out[leftFrom - 1] or out[rightTo + 1], as a look-up over the whole row
// left it, or from the frequency at the row's end. Either way the entries are
// those a look-up over the whole row gives. When both are asked for, the two
// products do not wait for each other, so they are taken a step of each at a
// time, each carried in a variable of its own. step(k, a, b) is the factor
// between allele a at locus k and allele b at locus k + 1 for the left
// product (reaching k + 1) and the right one (reaching k).
template <bool carryOn, class Steps>
void lookUps(const double *row, double *out, const Table &freqs, int leftFrom, int leftEnd,
             int rightFrom, int rightTo, Steps steps) {
  const int loci = pset.numLoci;
  int l, r;
  std::ptrdiff_t before, after;
  double left, right;
  if constexpr (carryOn) {
    l = std::max(leftFrom, 1);
    r = std::min(rightTo, loci - 2);
    before = rowAllele(row, l - 1);
    after = rowAllele(row, r + 1);
    left = leftFrom == 0 ? freqs[before][0] : out[l - 1];
    right = rightTo == loci - 1 ? freqs[after][loci - 1] : out[r + 1];
    if (leftFrom == 0 && leftEnd > 0)
      out[0] = left;
    if (rightTo == loci - 1 && rightFrom < loci)
      out[loci - 1] = right;
  } else {
    // The start at both ends written out: the full passes take this path, and
    // the general start above, with leftFrom 0 and rightTo L - 1 given, costs
    // them measurably more instructions.
    l = 1;
    r = loci - 2;
    before = rowAllele(row, 0);
    after = rowAllele(row, loci - 1);
    left = freqs[before][0];
    right = freqs[after][loci - 1];
    if (leftEnd > 0)
      out[0] = left;
    if (rightFrom < loci)
      out[loci - 1] = right;
  }
  for (; l < leftEnd && r >= rightFrom; l++, r--) {
    const std::ptrdiff_t a = rowAllele(row, l), c = rowAllele(row, r);
    left = left * steps.left(l - 1, before, a);
    right = right * steps.right(r, c, after);
    out[l] = left;
    out[r] = right;
    before = a;
    after = c;
  }
  for (; l < leftEnd; l++) {
    const std::ptrdiff_t a = rowAllele(row, l);
    left = left * steps.left(l - 1, before, a);
    out[l] = left;
    before = a;
  }
  for (; r >= rightFrom; r--) {
    const std::ptrdiff_t c = rowAllele(row, r);
    right = right * steps.right(r, c, after);
    out[r] = right;
    after = c;
  }
}

// A one-sided look-up fills at least its first entry (out[0] on the left,
// out[L - 1] on the right), whatever its bound.
int leftEnd(int upTo) {
  return std::max(upTo + 1, 1);
}

int rightFrom(int from) {
  return std::min(from, pset.numLoci - 1);
}

// The steps of the Markov look-ups: the transition entry either way.
template <class Entries> struct MarkovSteps {
  Entries entry;
  double left(int k, std::ptrdiff_t a, std::ptrdiff_t b) const { return entry(k, a, b); }
  double right(int k, std::ptrdiff_t a, std::ptrdiff_t b) const { return entry(k, a, b); }
};

// Under independent frequencies a step is the frequency at the locus it
// reaches.
struct IndependentSteps {
  const Table &freqs;
  double left(int k, std::ptrdiff_t, std::ptrdiff_t b) const { return freqs[b][k + 1]; }
  double right(int k, std::ptrdiff_t a, std::ptrdiff_t) const { return freqs[a][k]; }
};

} // namespace

void rightLookUps(const double *row, double *out, const Table &freqs, int from) {
  lookUps<false>(row, out, freqs, 0, 0, rightFrom(from), pset.numLoci - 1, IndependentSteps{freqs});
}

void leftLookUps(const double *row, double *out, const Table &freqs, int upTo) {
  lookUps<false>(row, out, freqs, 0, leftEnd(upTo), pset.numLoci, pset.numLoci - 1,
                 IndependentSteps{freqs});
}

void leftLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int upTo) {
  lookUps<false>(row, out, freqs, 0, leftEnd(upTo), pset.numLoci, pset.numLoci - 1,
                 MarkovSteps<NestedEntries>{{trans}});
}

void rightLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                  int from) {
  lookUps<false>(row, out, freqs, 0, 0, rightFrom(from), pset.numLoci - 1,
                 MarkovSteps<NestedEntries>{{trans}});
}

void sideLookUps(const double *row, double *out, const Table &freqs, int split) {
  lookUps<false>(row, out, freqs, 0, split, split, pset.numLoci - 1, IndependentSteps{freqs});
}

void sideLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int split) {
  lookUps<false>(row, out, freqs, 0, split, split, pset.numLoci - 1,
                 MarkovSteps<NestedEntries>{{trans}});
}

// The entries of the cut's look-ups that read the allele at locus k are
// those on k's side from k outward: the left products from k up, the right
// ones from k down. The entries nearer the row's end, which do not read it,
// are carried on from.
template <class Steps>
void redoFrom(const double *row, double *out, const Table &freqs, int split, int k, Steps steps) {
  if (k < split)
    lookUps<true>(row, out, freqs, k, split, pset.numLoci, pset.numLoci - 1, steps);
  else
    lookUps<true>(row, out, freqs, 0, 0, split, k, steps);
}

void redoLookUps(const double *row, double *out, const Table &freqs, int split, int k) {
  redoFrom(row, out, freqs, split, k, IndependentSteps{freqs});
}

void redoLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int split, int k) {
  redoFrom(row, out, freqs, split, k, MarkovSteps<NestedEntries>{{trans}});
}

void listTransitionRows(TransitionRows &list, const TransTable &trans) {
  list.first.resize(trans.size());
  list.rows.clear();
  for (size_t k = 0; k < trans.size(); k++) {
    list.first[k] = static_cast<std::ptrdiff_t>(list.rows.size()) - 1;
    for (const std::vector<double> &from : trans[k])
      list.rows.push_back(from.data());
  }
}

void leftLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                 int upTo) {
  lookUps<false>(row, out, freqs, 0, leftEnd(upTo), pset.numLoci, pset.numLoci - 1,
                 MarkovSteps<ListedEntries>{{trans}});
}

void rightLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                  int from) {
  lookUps<false>(row, out, freqs, 0, 0, rightFrom(from), pset.numLoci - 1,
                 MarkovSteps<ListedEntries>{{trans}});
}

void sideLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                 int split) {
  lookUps<false>(row, out, freqs, 0, split, split, pset.numLoci - 1,
                 MarkovSteps<ListedEntries>{{trans}});
}

namespace {

// A table entry's logarithm, remembered with the entry's value (+0 and -0
// are equal and both give minus infinity).
double logOf(Remembered &memo, double value) {
  return recall(memo, value, [](double v) { return std::log(v); });
}

// The remembered logs of a table are found by its address: a chain's tables
// stay in place while it runs, so their logs are taken again only for the
// entries a move has changed. Since every log is checked against its entry,
// a table that takes the place of another one simply finds logs that do not
// fit and takes them afresh.

// Logs are remembered for this many tables of each kind, enough for a chain
// and its proposals; the logs of further tables are taken afresh.
constexpr size_t rememberedTables = 64;

// The remembered logs of table, with a place for each of its entries, or none
// when the store is full.
Remembered *logsOf(std::vector<TableLogs> &store, const void *table, size_t entries) {
  TableLogs *found = nullptr;
  for (TableLogs &t : store)
    if (t.table == table) {
      found = &t;
      break;
    }
  if (found == nullptr) {
    if (store.size() == rememberedTables)
      return nullptr;
    store.push_back({table, {}});
    found = &store.back();
  }
  if (found->logs.size() < entries)
    found->logs.resize(entries);
  return found->logs.data();
}

// Log of a table entry remembered at place i of logs.
double entryLog(Remembered *logs, size_t i, double value) {
  return logs == nullptr ? std::log(value) : logOf(logs[i], value);
}

} // namespace

namespace {

// log f(|h_0|, 0) + the logs of the transitions along a haplotype whose
// allele at locus k is allele(k). Entry [a][k] of the frequencies is
// remembered at a * L + k, and the transition tables' entries one table after
// the other, row by row.
template <class Allele>
double markovLogProb(const Table &freqs, const TransTable &trans, Allele allele,
                     LikelihoodMemo &memo) {
  const size_t loci = pset.numLoci;
  size_t transEntries = 0;
  for (size_t k = 1; k < loci; k++)
    transEntries += trans[k - 1].size() * trans[k - 1][0].size();
  Remembered *freqLogs = logsOf(memo.frequencyLogs, &freqs, freqs.size() * loci);
  Remembered *transLogs = logsOf(memo.transitionLogs, &trans, transEntries);
  const size_t first = allele(0);
  double logProb = entryLog(freqLogs, first * loci, freqs[first][0]) + 0.0;
  size_t start = 0; // of the table from locus k - 1 to locus k
  for (size_t k = 1; k < loci; k++) {
    const Table &pair = trans[k - 1];
    const size_t width = pair[0].size();
    const size_t a = allele(k - 1) - 1;
    const size_t b = allele(k) - 1;
    logProb += entryLog(transLogs, start + a * width + b, pair[a][b]);
    start += pair.size() * width;
  }
  return logProb;
}

} // namespace

double probhap2(const Table &freqs, const TransTable &trans, const int *hap, LikelihoodMemo &memo) {
  return markovLogProb(
      freqs, trans, [hap](size_t k) { return static_cast<size_t>(std::abs(hap[k])); }, memo);
}

double sampleLogProb(const Chain &chain, LikelihoodMemo &memo) {
  double sum = 0;
  for (const Haplotype &h : chain.normalHaps)
    sum += probhap2(chain.popHapFreqs, chain.MP1, h.data(), memo);
  return sum;
}

double populationLogProb(const Table &freqs, const TransTable &trans, const double *alleles,
                         LikelihoodMemo &memo) {
  if (pset.algSwitch == 0.0)
    return allelesLogProb(freqs, alleles, memo);
  return markovLogProb(
      freqs, trans, [alleles](size_t k) { return static_cast<size_t>(std::fabs(alleles[k])); },
      memo);
}

namespace {

// The log probabilities of N allele sequences, summed side by side: each sum
// runs over the loci in order as it would alone, and the N chains of
// additions overlap. entryLog(a, k) is the log of frequency [a][k].
template <size_t N, class EntryLog>
void logProbs(EntryLog entryLog, const double *const (&alleles)[N], double (&sums)[N]) {
  const size_t loci = pset.numLoci;
  for (double &sum : sums)
    sum = 0.0;
  for (size_t k = 0; k < loci; k++)
    for (size_t s = 0; s < N; s++)
      sums[s] += entryLog(static_cast<int>(std::fabs(alleles[s][k])), k);
}

// The logs of a table through its remembered ones.
struct RememberedLogs {
  const Table &freqs;
  Remembered *logs;
  double operator()(size_t a, size_t k) const {
    return entryLog(logs, a * pset.numLoci + k, freqs[a][k]);
  }
};

RememberedLogs rememberedLogs(const Table &freqs, LikelihoodMemo &memo) {
  return {freqs, logsOf(memo.frequencyLogs, &freqs, freqs.size() * pset.numLoci)};
}

// The logs of a table taken beforehand.
struct TakenLogs {
  const std::vector<double> &logs;
  double operator()(size_t a, size_t k) const { return logs[a * pset.numLoci + k]; }
};

} // namespace

double allelesLogProb(const Table &freqs, const double *alleles, LikelihoodMemo &memo) {
  double sum[1];
  logProbs(rememberedLogs(freqs, memo), {alleles}, sum);
  return sum[0];
}

void frequencyLogs(const Table &freqs, LikelihoodMemo &memo, std::vector<double> &logs) {
  const size_t loci = pset.numLoci;
  const RememberedLogs remembered = rememberedLogs(freqs, memo);
  logs.resize(freqs.size() * loci);
  for (size_t a = 0; a < freqs.size(); a++)
    for (size_t k = 0; k < loci; k++)
      logs[a * loci + k] = remembered(a, k);
}

double allelesLogProb(const std::vector<double> &logs, const double *alleles) {
  double sum[1];
  logProbs(TakenLogs{logs}, {alleles}, sum);
  return sum[0];
}

void allelesLogProbPair(const std::vector<double> &logs, const double *first, const double *second,
                        double &firstLog, double &secondLog) {
  double sums[2];
  logProbs(TakenLogs{logs}, {first, second}, sums);
  firstLog = sums[0];
  secondLog = sums[1];
}
