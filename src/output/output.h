// Output layouts: histograms with highest-density intervals, and the haplotype
// tallies of chain 0.
#pragma once

#include <iosfwd>
#include <vector>

#include "mutloc.h"

// For every chain: a histogram of bars lines and one interval line.
void Histogram(const std::vector<std::vector<double>> &samples, long n, int bars,
               std::ostream &out);
// Tallies chain 0's tip haplotypes; with final set, sorts and writes them.
void haplosave1(const TreeMatrix &tree, std::ostream &out, int final);
// Writes the distinct tip haplotypes of tree with their counts.
void haplosave3(const TreeMatrix &tree, std::ostream &out);
