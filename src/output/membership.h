// Which patient chromosomes descend from the founder, row by row of the
// control file's patient block (with --heterogeneity): the table written as
// <control>.membership.tsv and read by the verdict.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// By row of the patient block: the chromosomes the row holds (0 for a row the
// run does not use) and, per chain, the posterior probability that they
// descend from the founder (the mean over the row's chromosomes; NaN for a
// row without chromosomes or a run without sampling iterations).
struct MembershipTable {
  std::vector<int> copies;
  std::vector<std::vector<double>> chains; // [chain][row]
};

// The probability of row over every chain (their mean).
double pooledFounderProbability(const MembershipTable &table, size_t row);
// The table with its header line: row (from 1), copies, p_founder, then
// chain1, chain2, ..., and last the run's identity, run; NA where a figure
// does not exist.
void writeMembershipTable(std::ostream &out, const MembershipTable &table, const std::string &run);
