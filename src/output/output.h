// Output layouts: the progress trace, histograms with highest-density
// intervals, and the haplotype tallies of chain 0.
#pragma once

#include <iosfwd>
#include <vector>

#include "chain.h"
#include "chaintrace.h"
#include "mutloc.h"

// For every chain: a histogram of bars lines and one interval line. The
// interval levels count from levelBase samples (0: realIterations, which is n
// in a complete run; an interrupted run passes the n samples it has).
void Histogram(const std::vector<std::vector<double>> &samples, long n, int bars, std::ostream &out,
               long levelBase = 0);
// Tallies chain 0's tip haplotypes; with final set, sorts and writes them.
void haplosave1(const TreeMatrix &tree, std::ostream &out, int final);
// Writes the distinct tip haplotypes of tree with their counts.
void haplosave3(const TreeMatrix &tree, std::ostream &out);

// Appends a chain's segment of the row's iteration to the current .dat line:
// its nine state fields and, when acceptance proportions are saved, the five
// of them.
void writeDatSegment(std::ostream &dat, const TraceRow &row);
// Ends the .dat line, after the convergence statistic when chains >= 2.
void endDatLine(std::ostream &dat, double convergenceR);
// Writes a chain's progress line of the row's iteration (chain 0 of a
// multi-chain run also shows the convergence statistic).
void writeScreenLine(std::ostream &screen, const TraceRow &row, int chainIndex,
                     double convergenceR);
