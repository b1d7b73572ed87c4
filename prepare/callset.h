// The genotype calls of the region as read from either input, before any
// marker is dropped or relabelled: one site per record, one call per chosen
// sample, the cases first.
#pragma once

#include <string>
#include <vector>

struct Call {
  int allele[2] = {-1, -1}; // index into Site::alleles, -1 for a missing allele
  // The order of the two alleles is the phase: a phased call, a homozygous
  // one, or one without any allele.
  bool phased = true;
};

struct Site {
  std::string chrom;
  long pos = 0;
  std::vector<std::string> alleles; // REF first for VCF input
  std::vector<Call> calls;          // cases, then controls
  std::string where;                // file and record or line, for messages
};

struct Callset {
  std::vector<std::string> samples;     // cases, then controls
  std::vector<std::string> sampleWhere; // "sample ID", with its file and line where known
  size_t cases = 0;
  std::vector<Site> sites;
};

// A call's phase is known unless it holds two different alleles, or one
// allele and one missing, written without phase.
inline bool phaseKnown(const Call &c, bool writtenPhased) {
  if (writtenPhased)
    return true;
  return c.allele[0] == c.allele[1];
}
