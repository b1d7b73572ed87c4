// The rows of a chain's transition tables listed in one array. A full pass
// over the genealogy reads a transition entry for nearly every marker of every
// row; through the nested vectors each entry costs three dependent loads,
// through this list two, and listing the rows costs a pointer per row (far
// less than copying the entries).
#pragma once

#include <cstddef>
#include <vector>

struct TransitionRows {
  // Row a (alleles from 1) of the table from locus k to locus k + 1 is
  // rows[first[k] + a].
  std::vector<std::ptrdiff_t> first;
  std::vector<const double *> rows;
};
