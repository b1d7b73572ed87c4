// The model's probabilities: population tables and look-ups, the likelihood of
// the haplotypes on a genealogy (full and partial), and the priors. The
// kernels read the tables and genealogy they are given and write only the
// memo they are handed (the one the chain they serve runs with, see
// likelihoodmemo.h); they do no I/O.
#pragma once

#include <cmath>
#include <vector>

#include "chain.h"
#include "likelihoodmemo.h"
#include "mutloc.h"

// Population tables: builds chain's MP1 and popHapFreqs, the transition
// counts taken from countList and the first-locus frequencies from the
// chain's own normal haplotypes; propagateFrequencies repeats the propagation
// of the marginal frequencies along the loci.
void buildPopulationTables(Chain &chain, const std::vector<Haplotype> &countList);
void propagateFrequencies(Table &freqs, const TransTable &trans);

// Allele of a tree row at locus k: a negative cell is a missing allele
// imputed as its absolute value.
inline int rowAllele(const double *row, int k) {
  return static_cast<int>(std::fabs(row[TMAT + k]));
}

// Segment look-ups over the allele cells of a tree row (row points at the
// row's first cell; alleles from TMAT on). out receives numLoci values: a
// right look-up fills out[from..numLoci-1], a left look-up out[0..upTo] (all
// entries by default); the other entries are left as they were. Under
// independent frequencies, or the Markov model through the nested tables.
void rightLookUps(const double *row, double *out, const Table &freqs, int from = 0);
void leftLookUps(const double *row, double *out, const Table &freqs, int upTo = pset.numLoci - 1);
void rightLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                  int from = 0);
void leftLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int upTo = pset.numLoci - 1);
// The same Markov look-ups through the list of the tables' rows, which
// listTransitionRows makes (reusing list's memory; it holds while trans is
// unchanged); the products are the same.
void listTransitionRows(TransitionRows &list, const TransTable &trans);
void rightLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                  int from);
void leftLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                 int upTo);
// The left and right look-ups of a cut before locus split (0-based) in one:
// out[0..split - 1] as a left look-up up to split - 1 fills it, out[split..L - 1]
// as a right look-up from split; under independent frequencies, or the Markov
// model through the nested tables or the list of their rows.
void sideLookUps(const double *row, double *out, const Table &freqs, int split);
void sideLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int split);
void sideLookUps(const double *row, double *out, const TransitionRows &trans, const Table &freqs,
                 int split);
// The look-ups of a cut after the row's allele at locus k changed: the
// entries that read it taken again from their neighbours in out, which holds
// the cut's look-ups of the row as it was; every entry is then the one
// sideLookUps gives the changed row.
void redoLookUps(const double *row, double *out, const Table &freqs, int split, int k);
void redoLookUps(const double *row, double *out, const TransTable &trans, const Table &freqs,
                 int split, int k);
// Natural log of a haplotype's probability under the Markov model.
double probhap2(const Table &freqs, const TransTable &trans, const int *hap, LikelihoodMemo &memo);
// Natural log of the probability of the chain's normal-population sample
// under its tables: the sum of probhap2 over its haplotypes, in list order.
double sampleLogProb(const Chain &chain, LikelihoodMemo &memo);
// Natural log of the probability of a chromosome's numLoci alleles (stored as
// in a tree row) as a draw from the normal population, under the run's model:
// allelesLogProb under independent frequencies, the Markov chain's probability
// of the whole haplotype otherwise.
double populationLogProb(const Table &freqs, const TransTable &trans, const double *alleles,
                         LikelihoodMemo &memo);
// Natural log of the probability of numLoci alleles (stored as in a tree row,
// a missing one as the negative of its imputed allele) under independent
// allele frequencies: the sum over the loci k of log freqs[|allele|][k].
double allelesLogProb(const Table &freqs, const double *alleles, LikelihoodMemo &memo);
// Both remember the logarithms of the table entries they read, per table, and
// take a log again only for an entry whose value has changed since: the
// results are those of taking every log afresh.
// The logs of every entry of freqs, logs[a * numLoci + k] that of [a][k]
// (through the remembered ones), and allelesLogProb from logs so taken, of one
// sequence or of two at once (each the number it gets alone): for a run of
// sums over which the table stays as it is.
void frequencyLogs(const Table &freqs, LikelihoodMemo &memo, std::vector<double> &logs);
double allelesLogProb(const std::vector<double> &logs, const double *alleles);
void allelesLogProbPair(const std::vector<double> &logs, const double *first, const double *second,
                        double &firstLog, double &secondLog);

// Log-likelihood term of one row: the node's haplotype given its parent's (the
// ancestral haplotype at the root) over the node's branch; for a row listed in
// drawn (see PopulationRows, chain.h), its alleles' populationLogProb. Every
// routine below that recomputes terms takes drawn the same way; null means
// every leaf descends from the founder.
double nodeTerm(const Table &freqs, const TreeMatrix &tree, double x,
                const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
                const TransTable &trans, LikelihoodMemo &memo,
                const PopulationRows *drawn = nullptr);
// The kernel: recomputes nodeLogLik of the count rows listed in nodes and
// returns the sum of the column over all rows, in row order.
double recomputeTerms(const Table &freqs, TreeMatrix &tree, double x,
                      const std::vector<double> &mapDist, const Haplotype &rootHap,
                      const TransTable &trans, const int *nodes, int count, LikelihoodMemo &memo,
                      const PopulationRows *drawn = nullptr);
// The same for every row.
double recomputeAllTerms(const Table &freqs, TreeMatrix &tree, double x,
                         const std::vector<double> &mapDist, const Haplotype &rootHap,
                         const TransTable &trans, LikelihoodMemo &memo,
                         const PopulationRows *drawn = nullptr);
// Haplotype likelihood: recomputes nodeLogLik of the rows chosen by
// (start, type) and returns the sum of the column in *total.
void tprob(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
           double *total, const Haplotype &rootHap, int start, int type, const TransTable &trans,
           LikelihoodMemo &memo, const PopulationRows *drawn = nullptr);
// Recomputes nodeLogLik of one row.
void tprob2(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
            const Haplotype &rootHap, int node, const TransTable &trans, LikelihoodMemo &memo,
            const PopulationRows *drawn = nullptr);
// Recomputes every row of node's subtree for the mutation at x, counting its
// internal nodes.
void partialtprobs(const Table &freqs, int *count, int from, int node, TreeMatrix &tree, double x,
                   const Haplotype &rootHap, const TransTable &trans, LikelihoodMemo &memo,
                   const PopulationRows *drawn = nullptr);
// The rows of the chain's genealogy drawn from the population (null when
// every leaf descends from the founder), to pass to the routines above.
const PopulationRows *drawnRows(const Chain &chain);

// Priors.
double tpriormut(int n, double T, double lambda);
double tprior(int n, const std::vector<double> &times, double T, double rho, double lambda);
// The chain's age prior at age: tpriormut of its founder leaves (of all
// leaves without heterogeneity; of one leaf when none descends from the
// founder), so that the age is the age of the founder chromosomes' mutation.
double ageLogPrior(const Chain &chain, double age);
// The age prior of the given number of founder leaves (at least one) as a
// density over the age bounds [mutAgeLow, mutAgeHigh]: tpriormut less the log
// of its integral over the bounds (taken once per count and kept in the
// chain's membership record).
double boundedAgeLogPrior(Chain &chain, int founders, double age);
// The founder count whose age prior ageLogPrior takes.
int ageLeafCount(const Chain &chain);
// What the genealogy prior gains when m of the n leaves descend from the
// founder (the others listed in drawn): the log of the prior of the whole
// genealogy under which the founder leaves' own genealogy is the coalescent
// of m leaves, less tprior's (the coalescent of all n). 0 when m is 0 or n.
// events lists the internal rows in the order of their ages and founders[v]
// counts the founder leaves below row v (itself included); the logs come from
// the tables of the membership record (takeLogTables).
double founderTreeTerm(const TreeMatrix &tree, const std::vector<int> &events,
                       const std::vector<int> &founders, int m, const Membership &tables);
void takeLogTables(Membership &membership);
// The same from the genealogy and the membership record alone, its events and
// founder counts made in the given vectors.
double founderTreeTerm(const TreeMatrix &tree, const Membership &membership,
                       std::vector<int> &events, std::vector<int> &founders);
// The internal rows of a genealogy in the order of their ages, and the
// founder leaves below every row.
void orderEvents(const TreeMatrix &tree, std::vector<int> &events);
void countFounders(const TreeMatrix &tree, const PopulationRows &drawn, std::vector<int> &founders);
// Log weight of location x, or the marker 99.99 for a zero-weight location.
double sequenceprob(double x);
constexpr double zeroWeightMarker = 99.99;

// Sum of the stored node terms over all rows, in row order: the genealogy's
// log-likelihood as every move sums it.
double storedTotal(const TreeMatrix &tree);
// The same number, taking over the running sum of the last call (recorded in
// last) over the leading rows whose terms have not changed since.
double storedTotal(const TreeMatrix &tree, RunningTotal &last);

// What a move that changed the terms of a few rows knows of the new stored
// total without summing every row: from the total before the change and the
// rows' old terms, an estimate and a bound on how far the stored total can lie
// from it (NaN when a term is not finite: nothing is known then).
struct TotalBound {
  double estimate;
  double error;
};
TotalBound totalAfterChange(const TreeMatrix &tree, double before, const int *rows,
                            const double *oldTerms, int count);

// The first marker (1-based) right of the mutation at x: 1 when every marker
// lies right of it, numLoci + 1 when every marker lies left of it.
int firstRightMarker(double x);
// Whether a node's term reads its parent's allele (the ancestral haplotype's,
// at the root) at marker (1-based), b being firstRightMarker of the location:
// on each side the term compares the node with its parent from the mutation
// out to their first difference, and reads nothing of the parent beyond.
bool termReadsParentAt(const TreeMatrix &tree, int node, int b, const Haplotype &rootHap,
                       int marker);

// Recomputes the node terms of the listed rows of the chain's genealogy for its
// location under the ancestral haplotype rootHap, summing nothing.
void chainRowTerms(Chain &chain, LikelihoodMemo &memo, const Haplotype &rootHap, const int *rows,
                   int count);

// The parts of every row's term (see RowParts) at the chain's state. While
// nothing but alleles of the chain's genealogy and its ancestral haplotype
// change, and each change is followed by the term of every row that reads
// it: changedRowTerm gives the term of row node after the allele at locus
// changed, its own (own) or the one it inherits from its parent or the
// ancestral haplotype, and leaves the row's new parts in proposal slot
// `slot` (0..2 for an own change, below the locus's allele count for an
// inherited one); keepRowPart makes them the row's when the change is kept. The terms
// are those nodeTerm gives, bit for bit. The parts of a row drawn from the
// population are still those of its descent from its parent, kept current the
// same way, so that its descent term is at hand (descentTerm) when its
// membership is drawn; changedRowTerm gives its population term.
void takeRowParts(Chain &chain, LikelihoodMemo &memo, RowParts &parts);
double changedRowTerm(Chain &chain, LikelihoodMemo &memo, RowParts &parts, int node, int locus,
                      bool own, int slot);
void keepRowPart(RowParts &parts, int node, bool own, int slot);
// The term of row node as a descendant of its parent, from its parts.
double descentTerm(const RowParts &parts, int node);

// tprob over chain's own tables, with its memo: the log-likelihood of tree (the
// chain's genealogy or a proposal) for the mutation at x under the ancestral
// haplotype rootHap.
double chainTprob(Chain &chain, LikelihoodMemo &memo, TreeMatrix &tree, double x,
                  const Haplotype &rootHap, int start = -1, int type = 0);
