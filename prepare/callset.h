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
  std::string id;                   // the record's or the .map's marker ID, "." when none
  std::vector<std::string> alleles; // REF first for VCF input
  std::vector<Call> calls;          // cases, then controls
  std::string where;                // file and record or line, for messages
  size_t order = 0;                 // the record's place among those read
};

// A record or marker that is not written to the control file, and why; the
// fields are the file's text, since a bad record's position may not be a
// number.
struct DroppedSite {
  std::string chrom, pos, id, reason;
  size_t order = 0; // as Site::order, so that the list keeps the file's order
};

struct Callset {
  std::vector<std::string> samples;     // cases, then controls
  std::vector<std::string> sampleWhere; // "sample ID", with its file and line where known
  size_t cases = 0;
  std::vector<Site> sites;               // the region's records
  std::vector<DroppedSite> dropped;      // records read but outside the region, or bad
  size_t read = 0, outside = 0, bad = 0; // records read; of them outside the region, bad
  std::vector<std::string> notes;        // for standard error: names matched loosely, skips
  std::string index;                     // the index the region was read through, if any
};

// A call's phase is known unless it holds two different alleles, or one
// allele and one missing, written without phase.
inline bool phaseKnown(const Call &c, bool writtenPhased) {
  if (writtenPhased)
    return true;
  return c.allele[0] == c.allele[1];
}
