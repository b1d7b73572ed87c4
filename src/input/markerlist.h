// The genome behind the control file's markers: the list mutloc-prepare
// writes beside the control file (<control>.markers.tsv), with each marker's
// ID, chromosome, base position and map position, so that the answers can
// name markers and base pairs instead of marker numbers.
#pragma once

#include <string>
#include <vector>

struct GenomeMarker {
  std::string id, chrom;
  long long pos = 0; // base pairs
  double map = 0;    // Morgans, as the control file gives the marker
};

// Reads the list at path for a control file of markers at mapDist[1..L]
// (pset's map). Returns "" and fills markers, or says in one sentence what
// is wrong (the list cannot be read, a column is missing or malformed, or it
// lists other markers than the control file's).
std::string readMarkerList(const std::string &path, const std::vector<double> &mapDist,
                           std::vector<GenomeMarker> &markers);
