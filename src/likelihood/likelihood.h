// The model's probabilities: population tables and look-ups, the likelihood of
// the haplotypes on a genealogy (full and partial), and the priors.
#pragma once

#include <vector>

#include "mutloc.h"

// Population tables: builds MP1 and popHapFreqs of every chain from the
// normal-population haplotypes; propagateFrequencies repeats the propagation
// of the marginal frequencies along the loci for one chain.
void buildPopulationTables();
void propagateFrequencies(int ch);

// Segment look-ups over the allele cells of a tree row (row points at the
// row's first cell; alleles from TMAT on). out receives numLoci values: a
// right look-up fills out[from..numLoci-1], a left look-up out[0..upTo] (all
// entries by default), and the other entries are set to 0.
void allfreqright(const double *row, int unused, double *out, const Table &freqs, int from = 0);
void allfreqleft(const double *row, int unused, double *out, const Table &freqs,
                 int upTo = pset.numLoci - 1);
void hapfreqcountsright(const double *row, double *out, const TransTable &trans, const Table &freqs,
                        int from = 0);
void hapfreqcountsleft(const double *row, double *out, const TransTable &trans, const Table &freqs,
                       int upTo = pset.numLoci - 1);
// Natural log of a haplotype's probability under the Markov model.
double probhap2(const Table &freqs, const TransTable &trans, const int *hap);
// Natural log of the probability of numLoci alleles (stored as in a tree row,
// a missing one as the negative of its imputed allele) under independent
// allele frequencies: the sum over the loci k of log freqs[|allele|][k].
double allelesLogProb(const Table &freqs, const double *alleles);
// Both remember the logarithms of the table entries they read, per table, and
// take a log again only for an entry whose value has changed since: the
// results are those of taking every log afresh.

// Log-likelihood term of one row: the node's haplotype given its parent's (the
// ancestral haplotype at the root) over the node's branch. Overwrites answer.
double nodeTerm(const Table &freqs, const TreeMatrix &tree, double x,
                const std::vector<double> &mapDist, const Haplotype &rootHap, int node,
                const TransTable &trans);
// Haplotype likelihood: recomputes nodeLogLik of the rows chosen by
// (start, type) and returns the sum of the column in *total.
void tprob(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
           double *total, const Haplotype &rootHap, int start, int type, const TransTable &trans);
// Recomputes nodeLogLik of one row.
void tprob2(const Table &freqs, TreeMatrix &tree, double x, const std::vector<double> &mapDist,
            const Haplotype &rootHap, int node, const TransTable &trans);
// Recomputes every row of node's subtree, counting its internal nodes.
void partialtprobs(const Table &freqs, int *count, int from, int node, TreeMatrix &tree, int chain,
                   const TransTable &trans);

// Priors.
double tpriormut(int n, double T, double lambda);
double tprior(int n, const std::vector<double> &times, double rho, double lambda);
// Log weight of location x, or the marker 99.99 for a zero-weight location.
double sequenceprob(double x);
constexpr double zeroWeightMarker = 99.99;
