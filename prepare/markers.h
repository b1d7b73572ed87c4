// From the records of the region to the markers of the control file: sites
// with too few calls or a single allele are dropped, the rest get the allele
// labels 1..k.
#pragma once

#include <string>
#include <vector>

#include "callset.h"

struct Marker {
  std::string chrom;
  long pos = 0;
  std::string id;
  std::string where;
  int labels = 0;
  std::vector<std::string> alleles; // the allele of label k at k - 1
  // As in the site, with allele labels 1..labels in place of allele indices
  // (-1 still missing).
  std::vector<Call> calls;
};

struct MarkerCounts {
  size_t records = 0, lowCallRate = 0, monomorphic = 0;
};

// The kept markers in file order. A site is dropped when the share of called
// alleles of the cases, or of the controls, is below minCallRate, or when no
// control allele is called; then when fewer than two alleles are carried. Labels follow the
// order of the site's alleles (REF, ALT1, ... for VCF) over the alleles that
// are carried. Two kept markers at one position, or positions out of order,
// throw DataError. Each dropped site is added to dropped with its reason.
std::vector<Marker> keepMarkers(const Callset &set, double minCallRate, MarkerCounts &counts,
                                std::vector<DroppedSite> &dropped);
