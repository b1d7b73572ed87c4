// The stretch of one chromosome that is converted, and the matching of
// chromosome names written in different conventions (chr1 / 1, X / 23).
#pragma once

#include <string>

struct Region {
  std::string chrom;
  long start = 0; // 1-based, both ends included
  long end = 0;
};

// Reads CHR:START-END (thousands separators allowed); throws UsageError.
Region parseRegion(const std::string &text);
// "CHR:START-END", as messages show the region.
std::string regionText(const Region &region);
// True when a and b name the same chromosome, with or without a "chr" prefix
// and with PLINK's numeric codes for X, Y and the mitochondrion.
bool sameChromosome(const std::string &a, const std::string &b);
// The note for standard error when file names the region's chromosome
// ours as theirs (chr7 for 7, 23 for X), "" when both names are the same.
std::string nameNote(const std::string &file, const std::string &theirs, const std::string &ours);
bool inRegion(const Region &region, const std::string &chrom, long pos);
