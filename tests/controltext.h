// A small valid control file (haplotype data, 10 chromosomes, 4 markers, 2
// chains, seed -5) and text edits on it, from which the tests that need a
// control file of their own build it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

inline std::string baseControl() {
  return "Data as genotypes\n0\n"
         "Genetic model\n0\n"
         "Read old file\n0\n"
         "Use fixed random seed\n-5\n"
         "# chromosomes\n10\n"
         "#loci per chromosome\n4\n"
         "Numbers of haplotypes in the normal pop\n"
         "5 1 2 1 2\n3 2 1 1 1\n4 1 1 2 2\n2 2 2 2 1\n6 1 2 2 2\n"
         "Map distance\n0 0.01 0.02 0.035\n"
         "Run simulation\n0\n"
         "Mutation location\n0.015\n"
         "Mutation's low and high boundary\n0 0.035\n"
         "# Simulation runs (chains)\n2\n"
         "Starting value(s) for mutation\n0.015\n"
         "Population growth rate\n0.5\n"
         "Proportion of population sampled\n0.1\n"
         "Iterate ancestral state, mutation age, mutation location, allele freq\n1 1 1 1\n"
         "Flip all Loci\n0\n"
         "Adjustment level for tree, root, recdist, ancestral, internal states, "
         "alleles,algswitch\n5 10 0.005 0.3 0.3 0.05 1\n"
         "Burn-in iteration\n10\n"
         "Iterations\n20\n"
         "Screen and file updates, save acceptance props, save haplotypes, save individual "
         "haplotypes...\n10 5 1 1\n"
         "Number of histogram bars\n20\n"
         "Alpha level\n0.05\n"
         "Mutation age\n50\n"
         "Mutation age boundaries\n10 200\n"
         "Star genealogy\n0\n"
         "Loci for the root\n1 2 1 1\n"
         "Patient haplo- or genotypes:\n5 1 2 1 1\n5 2 2 1 2\n"
         "Use sequence weights\n0\n";
}

// Replacements applied in order, each to the first occurrence of its text;
// "" as the replacement of a text that ends the file cuts it there.
using Edits = std::vector<std::pair<std::string, std::string>>;

inline std::string edited(std::string text, const Edits &edits) {
  for (const auto &e : edits) {
    const size_t at = text.find(e.first);
    EXPECT_NE(at, std::string::npos) << "edit target not found: " << e.first;
    if (at != std::string::npos)
      text.replace(at, e.first.size(), e.second);
  }
  return text;
}

// The text up to the first occurrence of marker, marker included.
inline std::string cutAfter(const std::string &text, const std::string &marker) {
  const size_t at = text.find(marker);
  EXPECT_NE(at, std::string::npos) << "cut marker not found: " << marker;
  return text.substr(0, at == std::string::npos ? text.size() : at + marker.size());
}

// The same text with Windows line ends.
inline std::string withCrLf(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n')
      out += '\r';
    out += c;
  }
  return out;
}

// Edits that turn the base file into unpaired genotype data: 10 chromosomes,
// so 5 individuals, each row the two labels of every marker.
inline Edits genotypeEdits() {
  return {{"Data as genotypes\n0\n", "Data as genotypes\n1\n"},
          {"Patient haplo- or genotypes:\n5 1 2 1 1\n5 2 2 1 2\n",
           "Patient haplo- or genotypes:\n1/2 2/2 1/1 1/2\n1 1 2 2 1 1 2 1\n2,2 2,2 1,1 1,2\n"
           "1 2 2 2 1 1 2 2\n1 1 2 2 1 2 1 1\n"}};
}
