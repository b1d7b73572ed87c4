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
// row's first cell; alleles from TMAT on). out receives numLoci values.
void allfreqright(const double *row, int unused, double *out, const Table &freqs);
void allfreqleft(const double *row, int unused, double *out, const Table &freqs);
void hapfreqcountsright(const double *row, double *out, const TransTable &trans,
                        const Table &freqs);
void hapfreqcountsleft(const double *row, double *out, const TransTable &trans, const Table &freqs);
// Natural log of a haplotype's probability under the Markov model.
double probhap2(const Table &freqs, const TransTable &trans, const int *hap);

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
